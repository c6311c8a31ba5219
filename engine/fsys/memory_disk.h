// The inside of a disk held in memory (memory_fs.h): its nodes, how it reads a path under either
// platform's rules, and the one lookup every operation goes through. Only memory_fs.cpp and
// memory_disk.cpp include it.
#pragma once

#include "engine/base/ascii.h"
#include "engine/base/path_style.h"
#include "engine/fsys/disk_rules.h"
#include "engine/fsys/fsys.h"

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <unordered_map>

namespace fsys {
namespace memory_disk {

struct Node;

// A name in a folder: the name as first written, and what it names.
struct Entry {
    std::string name;
    std::shared_ptr<Node> node;
};

struct Node {
    enum class Kind { file, folder, link };
    Kind kind = Kind::file;
    std::string bytes;                     // a file's content
    std::string target;                    // a link's target, as the link holds it
    std::map<std::string, Entry> entries;  // a folder's entries, by lookup key
    FolderId id;                           // a folder's identity
    bool read_only = false;
    bool locked = false;
    bool held = false;  // open in another program (Windows rules)
    int readers = 0;    // handles of this disk reading the file
    int writers = 0;    // handles of this disk writing the file
    long long modified = 0;  // seconds since 1970 UTC
    std::uint64_t changes = 0;  // how often its content changed: a stamp tells versions apart within a second
    std::uint64_t serial = 0;   // its identity
};

// A path as the disk reads it: a top folder (a drive letter with Windows rules) and names.
struct PathText {
    bool ok = false;    // false: no name on this disk (a NUL, a network path)
    bool valid = true;  // false: a name Windows cannot look up (a wildcard, a colon...)
    char drive = 0;     // 'A'-'Z' with Windows rules, 0 with POSIX rules
    std::vector<std::string> names;
    bool ends_in_folder = false;  // written with a trailing separator or "."
};

// A folder on the way down from a top folder, with its name as stored.
struct Step {
    Node* folder = nullptr;
    std::string name;
};

// Where a lookup ended: the folder that holds the last name, and what that name is.
struct Place {
    enum class Fault { none, missing, not_folder, loop };
    Fault fault = Fault::missing;
    std::vector<Step> trail;  // the top folder first, the folder of `name` last
    std::string name;         // "" when the path names trail.back() itself (a top folder, "..")
    Entry* entry = nullptr;   // the entry under `name`, nullptr when there is none
    bool device = false;      // a device name of Windows (CON, NUL.cr2...)
    bool through_link = false;  // the last name was a link, followed to what it names

    bool found() const { return fault == Fault::none; }
    Node* node() const { return name.empty() ? trail.back().folder : entry != nullptr ? entry->node.get() : nullptr; }
    bool is(Node::Kind kind) const { return found() && node() != nullptr && node()->kind == kind; }
    Node& folder() const { return *trail.back().folder; }
};

struct OpenFile {
    std::shared_ptr<Node> node;
    long long position = 0;
    bool writing = false;
    std::string sync_key;
};

}  // namespace memory_disk

struct MemoryDisk {
    using Node = memory_disk::Node;
    using Entry = memory_disk::Entry;
    using PathText = memory_disk::PathText;
    using Place = memory_disk::Place;
    using OpenFile = memory_disk::OpenFile;

    DiskRules rules = k_native_rules;
    std::mutex mutex;
    std::map<char, std::shared_ptr<Node>> tops;  // by drive letter; POSIX has the one top 0
    PathText current;
    std::unordered_map<std::intptr_t, OpenFile> open_files;
    std::intptr_t next_handle = 3;
    std::uint64_t next_folder = 1;
    std::map<std::string, int> syncs;
    std::set<std::uint64_t> unflushed_files;  // the files written since their last flush, by serial
    FailWhen fail_when;
    std::function<void(const std::string& path)> before_step;
    std::uint64_t next_serial = 1;
    std::vector<std::string> asked;  // every path the program asked about, in order

    bool windows() const { return rules == DiskRules::windows; }
    bool is_sep(char c) const { return c == k_sep || is_separator(c, windows() ? PathStyle::windows : PathStyle::posix); }
    std::string key_of(const std::string& name) const { return windows() ? lower_ascii(name) : name; }
    // True when the hook set by fail_when refuses `op` on `path`; asked without the lock held.
    bool refused(Op op, const std::string& path);
    // Runs the hook set by before_each_step; called without the lock held.
    void step(const std::string& path);

    std::shared_ptr<Node> new_node(Node::Kind kind);
    Node* top(char drive) const;
    Node* made_top(char drive);
    Entry* find(Node& folder, const std::string& name) const;

    PathText parse(const std::string& path) const;
    std::string text_of(char drive, const std::vector<std::string>& names) const;
    std::string text_of(const Place& w) const;
    Place walk(const PathText& p, bool follow_last) const;
    Place walk(const std::string& path, bool follow_last) const { return walk(parse(path), follow_last); }
    Node* made_folder(const PathText& p);

    bool refuses_changes(const Node& folder) const;
    bool is_folder_like(const Node& n) const;
    bool is_busy(const Node& n) const;
    // `unflushed` tells whether the file moved was written since its last flush.
    bool rename(const std::string& from, const std::string& to, bool replace, bool& unflushed);

    bool open(const std::shared_ptr<Node>& node, bool writing, const std::string& path, RawFile& f);
    OpenFile* open_file(const RawFile& f);
    std::string sync_key(const std::string& path) const;
    void list_below(const Node& folder, const std::string& path, std::vector<std::string>* tree,
                    std::map<std::string, std::string>* files) const;

private:
    void split_names(const std::string& text, std::size_t from, PathText& p) const;
    std::string top_text(char drive) const { return windows() ? std::string{drive, ':'} : std::string(); }
    bool follow_link(Place& w, const std::string& target, std::deque<std::string>& rest) const;
};

}  // namespace fsys
