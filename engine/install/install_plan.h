// The plan of installing product zips into a content folder, made before anything is written:
// each zip checked whole (every entry inflated), each entry that is content given the path it
// takes below the folder, where a folder of that name in another letter case is met, and each
// file compared with what lies there already. A zip that cannot be installed safely is refused
// with every reason; what an archiver left beside the content, and old copies, are skipped.
// Nothing is written anywhere.
#pragma once

#include "engine/fsys/disk_rules.h"
#include "engine/zip/zip_entries.h"

#include <functional>
#include <string>
#include <vector>

// What the install does with one file of a product.
enum class InstallAction {
    add,           // nothing lies at its path: the file is new
    replace,       // a file with other bytes lies there: it is kept in the run folder, then replaced
    already_there  // a file with the same bytes lies there: it is left as it is
};

struct PlannedFile {
    std::size_t zip = 0;    // into InstallPlan::zips
    zipfs::ZipEntry entry;  // the entry it is unpacked from
    std::string path;       // below the content folder, '/' between names, each folder as it lies there
    InstallAction action = InstallAction::add;
    fsys::FileDigest before;  // of the file replaced
};

// An entry of a zip, or the zip as a whole, with what the plan says about it.
struct EntryNote {
    std::size_t zip = 0;
    std::string entry;   // the entry's stored name (bytes, untrusted), or "" for the whole zip
    std::string reason;  // one line; holds no entry name
};

struct InstallPlan {
    std::string root;               // the content folder
    std::vector<std::string> zips;  // the product's zips, as given
    std::vector<PlannedFile> files;
    std::vector<std::string> folders;  // to be made, below the root, each after the folder that holds it
    std::vector<EntryNote> refusals;   // why the product cannot be installed; then nothing is planned
    std::vector<EntryNote> blocked;    // files it would replace that the user cannot write, or that cannot be read
    std::vector<EntryNote> junk;       // archiver leftovers, not installed
    std::vector<EntryNote> skipped;    // other files not installed: old copies, what lies beside the Runtime's folder
    std::vector<EntryNote> notes;      // said once: a Runtime one folder down, names read in code page 437
    bool stopped = false;              // a stop was asked for (run_stop) before the plan was whole

    long long count(InstallAction action) const;
    // The bytes of the files to be written (new or replacing).
    unsigned long long bytes_to_write() const;
    bool can_install() const { return refusals.empty() && blocked.empty() && !stopped; }
};

// Plans the install of `zips` (one product, read through `fs`) into the content folder `root`
// (absolute, normalised), on a system whose names follow `rules`. Never writes.
InstallPlan plan_install(fsys::FileSystem& fs, const std::vector<std::string>& zips, const std::string& root,
                         fsys::DiskRules rules = fsys::k_native_rules);

// The word of an action: "new", "replaced", "already there".
const char* action_words(InstallAction action);
