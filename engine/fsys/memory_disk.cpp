#include "engine/fsys/memory_disk.h"

#include "engine/base/ascii.h"
#include "engine/base/windows_names.h"

#include <cstring>

namespace fsys {

using memory_disk::Entry;
using memory_disk::Node;
using memory_disk::PathText;
using memory_disk::Place;
using memory_disk::Step;

namespace {

// Linux's own limit on the links one lookup follows (ELOOP beyond it).
constexpr int k_max_links = 40;

}  // namespace


bool MemoryDisk::refused(Op op, const std::string& path)
{
    FailWhen when;
    {
        std::lock_guard<std::mutex> lock(mutex);
        when = fail_when;
    }
    return when && when(op, path);
}

void MemoryDisk::step(const std::string& path)
{
    std::function<void(const std::string&)> hook;
    {
        std::lock_guard<std::mutex> lock(mutex);
        hook = before_step;
    }
    if (hook) {
        hook(path);
    }
}

std::shared_ptr<Node> MemoryDisk::new_node(Node::Kind kind)
{
    auto node = std::make_shared<Node>();
    node->kind = kind;
    node->serial = next_serial++;
    if (kind == Node::Kind::folder) {
        node->id = FolderId{1, next_folder++};
    }
    return node;
}

Node* MemoryDisk::top(char drive) const
{
    auto it = tops.find(drive);
    return it == tops.end() ? nullptr : it->second.get();
}

Node* MemoryDisk::made_top(char drive)
{
    std::shared_ptr<Node>& top = tops[drive];
    if (!top) {
        top = new_node(Node::Kind::folder);
    }
    return top.get();
}

Entry* MemoryDisk::find(Node& folder, const std::string& name) const
{
    auto it = folder.entries.find(key_of(name));
    return it == folder.entries.end() ? nullptr : &it->second;
}

// The names of `text` from `from` on, appended to `p`. Windows drops the trailing dots and
// spaces of each name before the file system sees it.
void MemoryDisk::split_names(const std::string& text, std::size_t from, PathText& p) const
{
    std::size_t k = from;
    while (k < text.size()) {
        std::size_t end = k;
        while (end < text.size() && !is_sep(text[end])) {
            ++end;
        }
        std::string name = text.substr(k, end - k);
        if (windows() && name != "..") {
            name.erase(name.find_last_not_of(". ") + 1);
            p.valid = p.valid && is_windows_name(name);
        }
        p.ends_in_folder = end < text.size() || name == "." || (name.empty() && k < end);
        if (!name.empty() && name != ".") {
            p.names.push_back(name);
        }
        k = end + 1;
    }
}

// `path` read from the current folder. With Windows rules ".." goes by the text alone, as
// GetFullPathNameW takes it; with POSIX rules the lookup goes up from where it has arrived.
PathText MemoryDisk::parse(const std::string& path) const
{
    PathText p;
    if (!is_nameable(path) || (windows() && path.size() > 1 && is_sep(path[0]) && is_sep(path[1]))) {
        return p;
    }
    p.drive = current.drive;
    std::size_t from = 0;
    bool rooted = !path.empty() && is_sep(path[0]);
    if (windows() && starts_with_drive(path)) {
        p.drive = ascii_upper(path[0]);
        from = 2;
        rooted = true;
    }
    if (!rooted) {
        p.names = current.names;
    }
    split_names(path, from, p);
    if (windows()) {
        std::vector<std::string> names;
        for (std::string& name : p.names) {
            if (name != "..") {
                names.push_back(std::move(name));
            } else if (!names.empty()) {
                names.pop_back();
            }
        }
        p.names = std::move(names);
    }
    p.ok = true;
    return p;
}

std::string MemoryDisk::text_of(char drive, const std::vector<std::string>& names) const
{
    std::string out = top_text(drive);
    for (const std::string& name : names) {
        out += k_sep + name;
    }
    return names.empty() ? out + k_sep : out;
}

// Where the lookup arrived, with the names as stored.
std::string MemoryDisk::text_of(const Place& w) const
{
    std::vector<std::string> names;
    for (std::size_t k = 1; k < w.trail.size(); ++k) {
        names.push_back(w.trail[k].name);
    }
    if (!w.name.empty()) {
        names.push_back(w.entry != nullptr ? w.entry->name : w.name);
    }
    return text_of(w.trail[0].name.empty() ? 0 : w.trail[0].name[0], names);
}

// Goes on at the target of a link met in the folder `w.trail.back()`: a relative target from
// that folder, an absolute one from its top folder. A junction's target is read as Windows
// reads any path, ".." by the text.
bool MemoryDisk::follow_link(Place& w, const std::string& target, std::deque<std::string>& rest) const
{
    PathText t;
    if (windows()) {
        const bool absolute = !target.empty() && (is_sep(target[0]) || starts_with_drive(target));
        t = parse(absolute ? target : text_of(w) + k_sep + target);
    } else {
        t.ok = true;
        split_names(target, 0, t);
    }
    if (!t.ok || !t.valid || top(t.drive) == nullptr) {
        return false;
    }
    if (windows() || (!target.empty() && is_sep(target[0]))) {
        w.trail.assign(1, Step{top(t.drive), top_text(t.drive)});
    }
    rest.insert(rest.begin(), t.names.begin(), t.names.end());
    return true;
}

// Looks `p` up, following every link on the way, and the last name's link when `follow_last`
// or when the path ends in a separator.
Place MemoryDisk::walk(const PathText& p, bool follow_last) const
{
    Place w;
    Node* root = p.ok && p.valid ? top(p.drive) : nullptr;
    if (root == nullptr) {
        return w;
    }
    w.trail.push_back(Step{root, top_text(p.drive)});
    std::deque<std::string> rest(p.names.begin(), p.names.end());
    int links = 0;
    bool last_was_link = false;
    while (!rest.empty()) {
        const std::string name = std::move(rest.front());
        rest.pop_front();
        if (name == "..") {
            w.trail.resize(w.trail.size() > 1 ? w.trail.size() - 1 : 1);
            continue;
        }
        Entry* e = find(w.folder(), name);
        if (e != nullptr && e->node->kind == Node::Kind::link && (!rest.empty() || follow_last || p.ends_in_folder)) {
            last_was_link = last_was_link || rest.empty();
            if (++links > k_max_links || !follow_link(w, e->node->target, rest)) {
                w.fault = links > k_max_links ? Place::Fault::loop : Place::Fault::missing;
                return w;
            }
            continue;
        }
        if (rest.empty()) {
            w.name = name;
            w.entry = e;
            w.device = e == nullptr && windows() && is_windows_device_name(name);
            break;
        }
        if (e == nullptr || e->node->kind != Node::Kind::folder) {
            w.fault = e == nullptr ? Place::Fault::missing : Place::Fault::not_folder;
            return w;
        }
        w.trail.push_back(Step{e->node.get(), e->name});
    }
    // A file cannot stand for a folder, and a junction leads only to a folder.
    const Node* n = w.node();
    const bool folder_wanted = p.ends_in_folder || (windows() && last_was_link);
    const bool wrong = folder_wanted && n != nullptr && n->kind != Node::Kind::folder;
    w.fault = wrong ? Place::Fault::not_folder : Place::Fault::none;
    w.through_link = last_was_link;
    return w;
}

// Setting up: `p` as a folder, with every missing folder above it; nullptr when a file is in the way.
Node* MemoryDisk::made_folder(const PathText& p)
{
    if (!p.ok || !p.valid) {
        return nullptr;
    }
    made_top(p.drive);
    PathText prefix = p;
    prefix.names.clear();
    prefix.ends_in_folder = false;
    for (const std::string& name : p.names) {
        prefix.names.push_back(name);
        const Place w = walk(prefix, true);
        if (w.found() && w.node() == nullptr && !w.device) {
            w.folder().entries[key_of(w.name)] = Entry{w.name, new_node(Node::Kind::folder)};
        }
    }
    const Place w = walk(p, true);
    return w.is(Node::Kind::folder) ? w.node() : nullptr;
}

// The folder cannot gain, lose or rename entries: locked, or without write permission on POSIX.
bool MemoryDisk::refuses_changes(const Node& folder) const
{
    return folder.locked || (!windows() && folder.read_only);
}

// To Windows a junction is a folder: removed and replaced as one.
bool MemoryDisk::is_folder_like(const Node& n) const
{
    return n.kind == Node::Kind::folder || (windows() && n.kind == Node::Kind::link);
}

// Windows refuses to rename or remove a file that another program holds open, or that a
// handle of ours reads (the program's own layer opens without FILE_SHARE_DELETE), and a
// folder holding such a file.
bool MemoryDisk::is_busy(const Node& n) const
{
    if (!windows()) {
        return false;
    }
    if (n.held || n.readers > 0) {
        return true;
    }
    for (const auto& [key, e] : n.entries) {
        if (is_busy(*e.node)) {
            return true;
        }
    }
    return false;
}

bool MemoryDisk::rename(const std::string& from, const std::string& to, bool replace, bool& unflushed)
{
    const Place src = walk(from, false);
    const Place dst = walk(to, false);
    // "link/" names what the link leads to, which rename() refuses to move or replace.
    if (!src.found() || src.entry == nullptr || src.through_link || !dst.found() || dst.name.empty() || dst.device ||
        dst.through_link) {
        return false;
    }
    const Node& moved = *src.entry->node;
    if (refuses_changes(src.folder()) || refuses_changes(dst.folder()) || is_busy(moved)) {
        return false;
    }
    // Without MOVEFILE_COPY_ALLOWED Windows never moves a name to another drive.
    if (windows() && src.trail[0].folder != dst.trail[0].folder) {
        return false;
    }
    for (const Step& s : dst.trail) {
        if (s.folder == &moved) {
            return false;  // a folder cannot move into itself
        }
    }
    if (dst.entry == src.entry) {
        // Windows changes the letter case of the name; POSIX leaves the name as it is, and the
        // exclusive rename finds it taken.
        src.entry->name = windows() ? dst.name : src.entry->name;
        return windows() || replace;
    }
    if (dst.entry != nullptr) {
        const Node& old = *dst.entry->node;
        // Only a file (or a POSIX link) is replaced, and only by one.
        const bool protected_file = windows() && (old.read_only || is_busy(old));
        if (!replace || is_folder_like(moved) || is_folder_like(old) || protected_file) {
            return false;
        }
    }
    unflushed = moved.kind == Node::Kind::file && unflushed_files.contains(moved.serial);
    Entry e = *src.entry;
    e.name = dst.name;
    src.folder().entries.erase(key_of(src.name));
    dst.folder().entries[key_of(dst.name)] = std::move(e);
    return true;
}

bool MemoryDisk::open(const std::shared_ptr<Node>& node, bool writing, const std::string& path, RawFile& f)
{
    (writing ? node->writers : node->readers) += 1;
    const std::intptr_t handle = next_handle++;
    open_files[handle] = OpenFile{node, 0, writing, sync_key(path)};
    f.handle = handle;
    f.path = path;
    return true;
}

memory_disk::OpenFile* MemoryDisk::open_file(const RawFile& f)
{
    auto it = open_files.find(f.handle);
    return it == open_files.end() ? nullptr : &it->second;
}

std::string MemoryDisk::sync_key(const std::string& path) const
{
    const PathText p = parse(path);
    return p.ok ? key_of(text_of(p.drive, p.names)) : path;
}

void MemoryDisk::list_below(const Node& folder, const std::string& path, std::vector<std::string>* tree,
                      std::map<std::string, std::string>* files) const
{
    for (const auto& [key, e] : folder.entries) {
        const std::string child = path.back() == k_sep ? path + e.name : path + k_sep + e.name;
        const Node& n = *e.node;
        if (tree != nullptr) {
            tree->push_back(n.kind == Node::Kind::folder ? child + k_sep
                            : n.kind == Node::Kind::link ? child + " -> " + n.target
                                                         : child);
        }
        if (files != nullptr && n.kind == Node::Kind::file) {
            (*files)[child] = n.bytes;
        }
        if (n.kind == Node::Kind::folder) {
            list_below(n, child, tree, files);
        }
    }
}

}  // namespace fsys
