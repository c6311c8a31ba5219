// The manifest of an install's run folder (`<root>/tarnwick-runs/<when>/manifest.json`): the
// record of the install (engine/install/install_files.h) kept as JSON, of kind "install", and
// read back, checked whole, to take the install back.
#pragma once

#include "app/undo.h"
#include "engine/install/install_files.h"

#include <string>
#include <nlohmann/json.hpp>

// Keeps the record as the manifest of its run folder, written whole each time and replaced in
// one step, so that a crash leaves the last record kept.
class InstallManifest : public InstallJournal {
public:
    InstallManifest(fsys::FileSystem& fs, std::string version, std::string stamp)
        : m_fs(fs), m_version(std::move(version)), m_stamp(std::move(stamp))
    {
    }
    bool keep(const InstallRecord& record) override;

private:
    fsys::FileSystem& m_fs;
    std::string m_version;
    std::string m_stamp;
};

bool is_install_manifest(const nlohmann::json& doc);
// The names of the zips an install's manifest names ("a.zip, b.zip"); "" for another run's.
std::string installed_product(const nlohmann::json& doc);

// Takes back the install whose manifest `doc` lies at `manifest`, its run folder below `root`,
// at `when`: every path it names checked first (nothing outside the root or the run folder,
// no link on the way), then each file not yet taken back (take_back), and the manifest noted.
// False, with a reason and nothing changed, for a manifest that is damaged or names what it
// must not.
bool undo_install(fsys::FileSystem& fs, const std::string& manifest, const std::string& root, nlohmann::json& doc,
                  const std::string& when, UndoOutcome& outcome, std::string& error);
