#include "engine/fsys/memory_fs.h"

#include "engine/fsys/memory_disk.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace fsys {

using memory_disk::Entry;
using memory_disk::Node;
using memory_disk::OpenFile;
using memory_disk::PathText;
using memory_disk::Place;

using Lock = std::lock_guard<std::mutex>;

// The largest file this disk holds; no test needs more.
constexpr std::size_t k_max_file_bytes = std::size_t(1) << 30;

MemoryFileSystem::MemoryFileSystem(DiskRules rules, const std::string& current) : m_disk(std::make_unique<MemoryDisk>())
{
    m_disk->rules = rules;
    // Windows reads a path without a drive letter on the current drive: C: to begin with.
    m_disk->current.drive = rules == DiskRules::windows ? 'C' : 0;
    m_disk->current.ok = true;
    m_disk->made_top(m_disk->current.drive);
    set_current_folder(current);
}

namespace {

// The call of when_files_left_open, for every disk.
std::function<void(std::size_t)>& left_open_call()
{
    static std::function<void(std::size_t)> call;
    return call;
}

// The call of when_renamed_unflushed, for every disk.
std::function<void(const std::string&, const std::string&)>& unflushed_call()
{
    static std::function<void(const std::string&, const std::string&)> call;
    return call;
}

}  // namespace

MemoryFileSystem::~MemoryFileSystem()
{
    if (!m_disk->open_files.empty() && left_open_call()) {
        left_open_call()(m_disk->open_files.size());
    }
}

void MemoryFileSystem::when_files_left_open(std::function<void(std::size_t open)> call) { left_open_call() = std::move(call); }

void MemoryFileSystem::when_renamed_unflushed(std::function<void(const std::string& from, const std::string& to)> call)
{
    unflushed_call() = std::move(call);
}

void MemoryFileSystem::add_file(const std::string& path, const std::string& bytes)
{
    Lock lock(m_disk->mutex);
    PathText p = m_disk->parse(path);
    if (p.names.empty()) {
        return;
    }
    const std::string name = p.names.back();
    p.names.pop_back();
    if (m_disk->made_folder(p) == nullptr) {
        return;
    }
    p.names.push_back(name);
    const Place w = m_disk->walk(p, true);
    if (w.found() && w.node() == nullptr && !w.device) {
        w.folder().entries[m_disk->key_of(w.name)] = Entry{w.name, m_disk->new_node(Node::Kind::file)};
    }
    // The node stays the same, so that a file open meanwhile reads the new bytes.
    const Place file = m_disk->walk(p, true);
    if (file.is(Node::Kind::file)) {
        file.node()->bytes = bytes;
        file.node()->modified = k_setup_time;
        ++file.node()->changes;
    }
}

void MemoryFileSystem::set_modified_time(const std::string& path, long long seconds)
{
    Lock lock(m_disk->mutex);
    const Place w = m_disk->walk(path, true);
    if (w.found() && w.node() != nullptr) {
        w.node()->modified = seconds;
        ++w.node()->changes;
    }
}

long long MemoryFileSystem::modified_time(const std::string& path)
{
    m_disk->step(path);
    Lock lock(m_disk->mutex);
    m_disk->asked.push_back(path);
    const Place w = m_disk->walk(path, true);
    return w.found() && w.node() != nullptr ? w.node()->modified : -1;
}

void MemoryFileSystem::add_folder(const std::string& path)
{
    Lock lock(m_disk->mutex);
    m_disk->made_folder(m_disk->parse(path));
}

void MemoryFileSystem::add_link(const std::string& path, const std::string& target)
{
    Lock lock(m_disk->mutex);
    PathText p = m_disk->parse(path);
    if (p.names.empty() || !is_nameable(target)) {
        return;
    }
    const std::string name = p.names.back();
    p.names.pop_back();
    Node* folder = m_disk->made_folder(p);
    Entry* old = folder != nullptr ? m_disk->find(*folder, name) : nullptr;
    if (folder != nullptr && (old == nullptr || old->node->kind != Node::Kind::folder)) {
        auto link = m_disk->new_node(Node::Kind::link);
        link->target = target;
        folder->entries[m_disk->key_of(name)] = Entry{old != nullptr ? old->name : name, link};
    }
}

std::string MemoryFileSystem::bytes(const std::string& path) const
{
    Lock lock(m_disk->mutex);
    const Place w = m_disk->walk(path, true);
    return w.is(Node::Kind::file) ? w.node()->bytes : std::string("<missing>");
}

std::map<std::string, std::string> MemoryFileSystem::files_below(const std::string& folder) const
{
    Lock lock(m_disk->mutex);
    std::map<std::string, std::string> files;
    const PathText p = m_disk->parse(folder);
    const Place w = m_disk->walk(p, true);
    if (w.is(Node::Kind::folder)) {
        m_disk->list_below(*w.node(), m_disk->text_of(p.drive, p.names), nullptr, &files);
    }
    return files;
}

std::vector<std::string> MemoryFileSystem::tree(const std::string& folder) const
{
    Lock lock(m_disk->mutex);
    std::vector<std::string> tree;
    const PathText p = m_disk->parse(folder);
    const Place w = m_disk->walk(p, true);
    if (w.is(Node::Kind::folder)) {
        m_disk->list_below(*w.node(), m_disk->text_of(p.drive, p.names), &tree, nullptr);
    }
    return tree;
}

void MemoryFileSystem::set_read_only(const std::string& path, bool read_only)
{
    Lock lock(m_disk->mutex);
    const Place w = m_disk->walk(path, true);
    if (w.is(Node::Kind::file) || w.is(Node::Kind::folder)) {
        w.node()->read_only = read_only;
    }
}

void MemoryFileSystem::set_folder_locked(const std::string& path, bool locked)
{
    Lock lock(m_disk->mutex);
    const Place w = m_disk->walk(path, true);
    if (w.is(Node::Kind::folder)) {
        w.node()->locked = locked;
    }
}

void MemoryFileSystem::hold_open(const std::string& path, bool held)
{
    Lock lock(m_disk->mutex);
    const Place w = m_disk->walk(path, true);
    if (w.is(Node::Kind::file)) {
        w.node()->held = held;
    }
}

void MemoryFileSystem::set_current_folder(const std::string& path)
{
    Lock lock(m_disk->mutex);
    const PathText p = m_disk->parse(path);
    if (m_disk->made_folder(p) == nullptr) {
        return;
    }
    // getcwd() tells the folder reached, links followed; Windows keeps the path as given.
    m_disk->current = m_disk->windows() ? p : m_disk->parse(m_disk->text_of(m_disk->walk(p, true)));
}

void MemoryFileSystem::fail_when(FailWhen when)
{
    Lock lock(m_disk->mutex);
    m_disk->fail_when = std::move(when);
}

void MemoryFileSystem::before_each_step(std::function<void(const std::string& path)> step)
{
    Lock lock(m_disk->mutex);
    m_disk->before_step = std::move(step);
}

bool MemoryFileSystem::stamp(const std::string& path, FileStamp& stamp)
{
    m_disk->step(path);
    Lock lock(m_disk->mutex);
    const Place w = m_disk->walk(path, true);
    if (!w.is(Node::Kind::file)) {
        return false;
    }
    const Node& n = *w.node();
    stamp = FileStamp{static_cast<long long>(n.bytes.size()), n.modified * 1000000000LL + static_cast<long long>(n.changes % 1000000000),
                      n.serial};
    return true;
}

int MemoryFileSystem::syncs(const std::string& path) const
{
    Lock lock(m_disk->mutex);
    auto it = m_disk->syncs.find(m_disk->sync_key(path));
    return it == m_disk->syncs.end() ? 0 : it->second;
}

bool MemoryFileSystem::open_for_reading(const std::string& path, RawFile& f, Listed)
{
    m_disk->step(path);
    Lock lock(m_disk->mutex);
    m_disk->asked.push_back(path);
    const Place w = m_disk->walk(path, true);
    return w.is(Node::Kind::file) && m_disk->open(w.entry->node, false, path, f);
}

bool MemoryFileSystem::open_for_writing(const std::string& path, Create mode, RawFile& f)
{
    m_disk->step(path);
    Lock lock(m_disk->mutex);
    m_disk->asked.push_back(path);
    const PathText p = m_disk->parse(path);
    // O_CREAT | O_TRUNC follows a link to a file, even to a missing one, which it creates;
    // O_EXCL never follows one. A junction is a folder to Windows: no file to open.
    const Place w = m_disk->walk(p, mode == Create::truncate && !m_disk->windows());
    if (!w.found() || w.name.empty() || w.device || p.ends_in_folder) {
        return false;
    }
    if (w.entry == nullptr) {
        Node& folder = w.folder();
        if (m_disk->refuses_changes(folder)) {
            return false;
        }
        Entry& e = folder.entries[m_disk->key_of(w.name)] = Entry{w.name, m_disk->new_node(Node::Kind::file)};
        e.node->modified = std::time(nullptr);
        return m_disk->open(e.node, true, path, f);
    }
    Node& n = *w.entry->node;
    // Windows: our writers share reading and deletion but not writing, and a file another
    // program holds open for its own use refuses us.
    const bool shared = !m_disk->windows() || (!n.held && n.writers == 0);
    if (mode == Create::exclusive || n.kind != Node::Kind::file || n.read_only || !shared) {
        return false;
    }
    n.bytes.clear();
    n.modified = std::time(nullptr);
    ++n.changes;
    return m_disk->open(w.entry->node, true, path, f);
}

long long MemoryFileSystem::read_some(RawFile& f, char* buf, std::size_t size)
{
    m_disk->step(f.path);
    Lock lock(m_disk->mutex);
    OpenFile* o = m_disk->open_file(f);
    if (o == nullptr || o->writing) {
        return -1;
    }
    const std::string& bytes = o->node->bytes;
    const auto at = static_cast<std::size_t>(o->position);
    if (at >= bytes.size()) {
        return 0;
    }
    const std::size_t n = std::min(size, bytes.size() - at);
    std::memcpy(buf, bytes.data() + at, n);
    o->position += static_cast<long long>(n);
    return static_cast<long long>(n);
}

bool MemoryFileSystem::write_all(RawFile& f, const char* data, std::size_t size)
{
    m_disk->step(f.path);
    if (m_disk->refused(Op::write, f.path)) {
        return false;
    }
    Lock lock(m_disk->mutex);
    OpenFile* o = m_disk->open_file(f);
    if (o == nullptr || !o->writing) {
        return false;
    }
    std::string& bytes = o->node->bytes;
    const auto at = static_cast<std::size_t>(o->position);
    if (at > k_max_file_bytes || size > k_max_file_bytes - at) {
        return false;  // EFBIG: a seek far past the end must not exhaust the memory
    }
    // Past the end, the gap reads as zero bytes, as on every system.
    if (bytes.size() < at + size) {
        bytes.resize(at + size, '\0');
    }
    bytes.replace(at, size, data, size);
    o->position += static_cast<long long>(size);
    o->node->modified = std::time(nullptr);
    ++o->node->changes;
    m_disk->unflushed_files.insert(o->node->serial);
    return true;
}

bool MemoryFileSystem::seek_to(RawFile& f, long long offset)
{
    m_disk->step(f.path);
    Lock lock(m_disk->mutex);
    OpenFile* o = m_disk->open_file(f);
    if (o == nullptr || offset < 0) {
        return false;
    }
    o->position = offset;
    return true;
}

long long MemoryFileSystem::file_size(RawFile& f)
{
    m_disk->step(f.path);
    Lock lock(m_disk->mutex);
    const OpenFile* o = m_disk->open_file(f);
    return o != nullptr ? static_cast<long long>(o->node->bytes.size()) : -1;
}

bool MemoryFileSystem::sync_to_disk(RawFile& f)
{
    m_disk->step(f.path);
    if (m_disk->refused(Op::sync, f.path)) {
        return false;
    }
    Lock lock(m_disk->mutex);
    const OpenFile* o = m_disk->open_file(f);
    if (o == nullptr) {
        return false;
    }
    m_disk->syncs[o->sync_key] += 1;
    m_disk->unflushed_files.erase(o->node->serial);
    return true;
}

bool MemoryFileSystem::close_file(RawFile& f)
{
    m_disk->step(f.path);
    if (!f.is_open()) {
        return true;
    }
    const bool refused = m_disk->refused(Op::close, f.path);
    Lock lock(m_disk->mutex);
    auto it = m_disk->open_files.find(f.handle);
    f.handle = -1;
    if (it == m_disk->open_files.end()) {
        return false;
    }
    (it->second.writing ? it->second.node->writers : it->second.node->readers) -= 1;
    m_disk->open_files.erase(it);
    return !refused;
}

bool MemoryFileSystem::is_readable_file(const std::string& path)
{
    m_disk->step(path);
    Lock lock(m_disk->mutex);
    m_disk->asked.push_back(path);
    return m_disk->walk(path, true).is(Node::Kind::file);
}

bool MemoryFileSystem::entry_exists(const std::string& path)
{
    m_disk->step(path);
    if (!is_nameable(path)) {
        return false;
    }
    Lock lock(m_disk->mutex);
    m_disk->asked.push_back(path);
    const PathText p = m_disk->parse(path);
    // A name that cannot be looked up may still be somebody's file: lstat() failing with
    // ENOTDIR or ELOOP, a name Windows rejects.
    if (!p.ok || !p.valid) {
        return true;
    }
    const Place w = m_disk->walk(p, false);
    if (!w.found()) {
        return w.fault == Place::Fault::loop || (w.fault == Place::Fault::not_folder && !m_disk->windows());
    }
    return w.node() != nullptr || w.device;
}

NameKind MemoryFileSystem::name_kind(const std::string& path)
{
    m_disk->step(path);
    Lock lock(m_disk->mutex);
    m_disk->asked.push_back(path);
    const Place w = m_disk->walk(path, false);
    if (!w.found() || w.node() == nullptr) {
        return w.found() && w.device ? NameKind::other : NameKind::none;
    }
    switch (w.node()->kind) {
    case Node::Kind::file:
        return NameKind::file;
    case Node::Kind::folder:
        return NameKind::folder;
    case Node::Kind::link:
        return NameKind::link;
    }
    return NameKind::other;
}

bool MemoryFileSystem::is_folder(const std::string& path)
{
    m_disk->step(path);
    Lock lock(m_disk->mutex);
    m_disk->asked.push_back(path);
    return m_disk->walk(path, true).is(Node::Kind::folder);
}

bool MemoryFileSystem::folder_identity(const std::string& path, FolderId& id)
{
    m_disk->step(path);
    Lock lock(m_disk->mutex);
    m_disk->asked.push_back(path);
    // Windows opens the last name itself (FILE_FLAG_OPEN_REPARSE_POINT): a junction is refused.
    if (m_disk->windows() && m_disk->walk(path, false).is(Node::Kind::link)) {
        return false;
    }
    const Place w = m_disk->walk(path, true);
    if (!w.is(Node::Kind::folder)) {
        return false;
    }
    id = w.node()->id;
    // Each drive is a volume of its own, between which no rename moves a name.
    id.volume = w.trail.front().name.empty() ? 1 : static_cast<unsigned char>(w.trail.front().name[0]);
    return true;
}

bool MemoryFileSystem::list_folder_entries(const std::string& path, std::vector<FolderEntry>& entries)
{
    m_disk->step(path);
    Lock lock(m_disk->mutex);
    m_disk->asked.push_back(path);
    const Place w = m_disk->walk(path, true);
    if (!w.is(Node::Kind::folder)) {
        return false;
    }
    entries.clear();
    for (const auto& [key, e] : w.node()->entries) {
        const Node::Kind kind = e.node->kind;
        entries.push_back(FolderEntry{e.name, kind == Node::Kind::file     ? EntryType::file
                                              : kind == Node::Kind::folder ? EntryType::folder
                                                                           : EntryType::other});
    }
    return true;
}

bool MemoryFileSystem::sync_file_system(const std::string& path)
{
    m_disk->step(path);
    if (m_disk->refused(Op::sync, path)) {
        return false;
    }
    Lock lock(m_disk->mutex);
    m_disk->unflushed_files.clear();
    return true;
}

bool MemoryFileSystem::rename_noreplace(const std::string& from, const std::string& to)
{
    return rename_entry(from, to, false);
}

bool MemoryFileSystem::rename_replace(const std::string& from, const std::string& to)
{
    return rename_entry(from, to, true);
}

bool MemoryFileSystem::rename_entry(const std::string& from, const std::string& to, bool replace)
{
    m_disk->step(from);
    if (!is_nameable(from) || !is_nameable(to) || m_disk->refused(Op::rename, from)) {
        return false;
    }
    bool unflushed = false;
    {
        Lock lock(m_disk->mutex);
        m_disk->asked.push_back(from);
        m_disk->asked.push_back(to);
        if (!m_disk->rename(from, to, replace, unflushed)) {
            return false;
        }
    }
    if (unflushed && unflushed_call()) {
        unflushed_call()(from, to);
    }
    return true;
}

bool MemoryFileSystem::remove_file(const std::string& path)
{
    m_disk->step(path);
    return remove_entry(path, false);
}

// Takes the entry `path` names away from its folder: a file (or link) for remove_file, an
// empty folder for remove_folder.
bool MemoryFileSystem::remove_entry(const std::string& path, bool folder)
{
    if (!is_nameable(path) || m_disk->refused(Op::remove, path)) {
        return false;
    }
    Lock lock(m_disk->mutex);
    m_disk->asked.push_back(path);
    const Place w = m_disk->walk(path, false);
    if (!w.found() || w.entry == nullptr || w.through_link || m_disk->refuses_changes(w.folder())) {
        return false;
    }
    const Node& n = *w.entry->node;
    // With Windows rules the read-only mark of a file of ours is cleared first: no refusal.
    // RemoveDirectoryW takes a junction away, never what it leads to; rmdir() refuses a link.
    const bool junction = m_disk->windows() && n.kind == Node::Kind::link;
    const bool may_go = folder ? junction || (n.kind == Node::Kind::folder && n.entries.empty() &&
                                              !(m_disk->windows() && n.read_only))
                               : !m_disk->is_folder_like(n) && !m_disk->is_busy(n);
    if (!may_go) {
        return false;
    }
    w.folder().entries.erase(m_disk->key_of(w.name));
    return true;
}

bool MemoryFileSystem::make_folder(const std::string& path)
{
    m_disk->step(path);
    if (!is_nameable(path) || m_disk->refused(Op::make_folder, path)) {
        return false;
    }
    Lock lock(m_disk->mutex);
    m_disk->asked.push_back(path);
    const Place w = m_disk->walk(path, false);
    if (!w.found() || w.name.empty() || w.entry != nullptr || w.device || w.through_link ||
        m_disk->refuses_changes(w.folder())) {
        return false;
    }
    w.folder().entries[m_disk->key_of(w.name)] = Entry{w.name, m_disk->new_node(Node::Kind::folder)};
    return true;
}

bool MemoryFileSystem::remove_folder(const std::string& path)
{
    m_disk->step(path);
    return remove_entry(path, true);
}

bool MemoryFileSystem::give_protection(const std::string& from, const std::string& to)
{
    m_disk->step(from);
    Lock lock(m_disk->mutex);
    m_disk->asked.push_back(from);
    m_disk->asked.push_back(to);
    const Place a = m_disk->walk(from, true);
    const Place b = m_disk->walk(to, true);
    if (!a.found() || !b.found() || a.node() == nullptr || b.node() == nullptr) {
        return false;
    }
    b.node()->read_only = a.node()->read_only;
    return true;
}

bool MemoryFileSystem::is_read_only(const std::string& path)
{
    Lock lock(m_disk->mutex);
    const Place w = m_disk->walk(path, true);
    return w.found() && w.node() != nullptr && w.node()->read_only;
}

bool MemoryFileSystem::is_special_file(const std::string& path)
{
    Lock lock(m_disk->mutex);
    m_disk->asked.push_back(path);
    const Place w = m_disk->walk(path, true);
    return w.found() && w.device;
}

PathStyle MemoryFileSystem::path_style() const
{
    return m_disk->windows() ? PathStyle::windows : PathStyle::posix;
}

std::vector<std::string> MemoryFileSystem::paths_asked() const
{
    Lock lock(m_disk->mutex);
    return m_disk->asked;
}

std::string MemoryFileSystem::current_folder()
{
    m_disk->step(std::string());
    Lock lock(m_disk->mutex);
    return m_disk->text_of(m_disk->current.drive, m_disk->current.names);
}

std::string MemoryFileSystem::absolute_path(const std::string& path)
{
    m_disk->step(path);
    Lock lock(m_disk->mutex);
    m_disk->asked.push_back(path);
    const PathText p = m_disk->parse(path);
    return p.ok ? m_disk->text_of(p.drive, p.names) : std::string();
}

std::string MemoryFileSystem::resolved_path(const std::string& path)
{
    m_disk->step(path);
    Lock lock(m_disk->mutex);
    m_disk->asked.push_back(path);
    const Place w = m_disk->walk(path, true);
    return w.is(Node::Kind::file) || w.is(Node::Kind::folder) ? m_disk->text_of(w) : std::string();
}

}  // namespace fsys
