#include "engine/collect/collect_plan.h"

#include "engine/base/ascii.h"
#include "engine/base/poser_documents.h"
#include "engine/base/run_stop.h"
#include "engine/base/text_encoding.h"
#include "engine/fsys/textio.h"
#include "engine/library/content_paths.h"
#include "engine/library/disk_cache.h"
#include "engine/library/name_index.h"
#include "engine/library/resolver.h"
#include "engine/text/document_references.h"

#include <algorithm>
#include <unordered_map>

namespace {

// Where Poser's library keeps each type of document, by the extensions of the type.
struct LibraryFolder {
    std::string_view extensions;  // plain and compressed, each followed by a space
    std::string_view folder;
};
constexpr LibraryFolder k_library_folders[] = {
    {".pz3 .pzz ", "Scenes"}, {".cr2 .crz ", "Character"}, {".pp2 .ppz ", "Props"},  {".hr2 .hrz ", "Hair"},
    {".pz2 .p2z ", "Pose"},   {".mt5 .mz5 .mc6 .mcz ", "Materials"},                   {".fc2 .fcz ", "Face"},
    {".hd2 .hdz ", "Hand"},   {".lt2 .ltz ", "Light"},  {".cm2 .cmz ", "Camera"},
};

// The thumbnails Poser's library shows beside a document, NAME.png or NAME.jpg beside NAME.ext.
constexpr std::string_view k_thumbnail_extensions[] = {".png", ".jpg"};

std::string extension_of(std::string_view name)
{
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? std::string() : lower_ascii(name.substr(dot));
}

// `name` without its extension: "a/b/x" for "a/b/x.pz3".
std::string without_extension(const std::string& name)
{
    const std::size_t dot = name.rfind('.');
    const std::size_t slash = name.find_last_of("/\\");
    return dot == std::string::npos || (slash != std::string::npos && dot <= slash + 1) ? name : name.substr(0, dot);
}

// The n-th name of a file whose name is taken: "x-2.obj", "x-3.obj" ...
std::string numbered(const std::string& name, int n)
{
    const std::string stem = without_extension(name);
    return stem + "-" + std::to_string(n) + name.substr(stem.size());
}

// A name in the collection as a Poser document names it from the content folder's top.
std::string colon_name(const std::string& name)
{
    std::string text = ":" + name;
    std::replace(text.begin(), text.end(), '/', ':');
    return text;
}

class Collector {
public:
    Collector(fsys::FileSystem& fs, const std::vector<std::string>& roots)
        : m_fs(fs), m_roots(roots), m_cache(fs), m_resolver(roots, m_cache)
    {
        m_names.emplace(k_collect_listing, std::string());
    }
    void add_given(const std::string& path) { take_file(path, RefKind::geometry, true); }
    void run(const CollectProgress& progress);
    CollectPlan take() { return std::move(m_plan); }

private:
    std::size_t take_file(const std::string& path, RefKind kind, bool document);
    std::string name_for(const std::string& path, RefKind kind);
    std::string free_name(const std::string& name, const std::string& key);
    void read_document(std::size_t index);
    void plan_reference(std::size_t index, const FoundReference& f, unsigned long long offset, const std::string& folder);
    // The file a reference names, or "" with why not (a refusal, or none when it is missing).
    struct Found {
        std::string path;
        Refusal refusal = Refusal::none;
    };
    Found found_path(const FileReference& ref, const std::string& folder);
    void add_thumbnails(std::size_t index);

    fsys::FileSystem& m_fs;
    const std::vector<std::string>& m_roots;
    DiskCache m_cache;
    Resolver m_resolver;
    NameIndex m_no_names;  // the runtime path alone decides, never a namesake
    CollectPlan m_plan;
    std::unordered_map<std::string, std::size_t> m_by_key;    // a file's real path: its index
    std::unordered_map<std::string, std::string> m_names;     // a name in lower case: its file's key
    std::unordered_map<std::string, Found> m_resolved;        // a reference's key: the file found, or why not
    unsigned long long m_documents = 0;                       // documents among the files
};

void Collector::run(const CollectProgress& progress)
{
    unsigned long long done = 0;
    for (std::size_t k = 0; k < m_plan.files.size(); ++k) {
        if (!m_plan.files[k].document) {
            continue;
        }
        if (run_stop::requested()) {
            m_plan.stopped = true;
            return;
        }
        read_document(k);
        add_thumbnails(k);
        if (progress) {
            progress(++done, m_documents);
        }
    }
}

// The file `path` in the collection, taken when it is new: a document when it is a Poser
// document or was given as one.
std::size_t Collector::take_file(const std::string& path, RefKind kind, bool document)
{
    std::string key = m_fs.resolved_path(path);
    if (key.empty()) {
        key = path;
    }
    const auto known = m_by_key.find(key);
    if (known != m_by_key.end()) {
        return known->second;
    }
    CollectedFile file;
    file.source = path;
    file.name = free_name(name_for(path, kind), key);
    file.document = document || is_poser_document(name_of(path));
    m_documents += file.document ? 1 : 0;
    file.mtime = m_fs.modified_time(path);
    m_plan.files.push_back(std::move(file));
    m_by_key.emplace(std::move(key), m_plan.files.size() - 1);
    return m_plan.files.size() - 1;
}

// Its path from the root that holds it where it really lies, or its place by kind.
std::string Collector::name_for(const std::string& path, RefKind kind)
{
    std::string placed = path;
    const std::size_t root = place_under_root(m_fs, placed, m_roots);
    if (root == std::string::npos) {
        return folder_outside_roots(name_of(path), kind) + "/" + name_of(path);
    }
    const std::string& top = m_roots[root];
    std::string below = placed.substr(std::min(placed.size(), top.size() + (top.back() == fsys::k_sep ? 0 : 1)));
    std::replace(below.begin(), below.end(), fsys::k_sep, '/');
    return below;
}

// `name`, or the first numbered name not taken by another file: two files never share a
// name, nor names that differ only in letter case, which Windows takes for one.
std::string Collector::free_name(const std::string& name, const std::string& key)
{
    std::string candidate = name;
    for (int n = 2;; ++n) {
        const auto [taken, added] = m_names.try_emplace(lower_ascii(candidate), key);
        if (added || taken->second == key) {
            return candidate;
        }
        candidate = numbered(name, n);
    }
}

void Collector::read_document(std::size_t index)
{
    const std::string source = m_plan.files[index].source;
    TextReader in;
    if (!open_document(in, m_fs, source)) {
        m_plan.unreadable.push_back(UnreadableFile{source, "cannot be opened"});
        m_plan.files[index].left_out = true;
        return;
    }
    const std::string folder = folder_of(source);
    const bool read = read_references(
        in,
        [&](const FoundReference& f, std::uint64_t offset) {
            if (!f.ref.builtin) {
                plan_reference(index, f, offset, folder);
            }
        },
        [] {});
    // A document that cannot be read to its end cannot be written with its references renamed.
    if (!read) {
        m_plan.unreadable.push_back(UnreadableFile{source, in.compressed() ? "corrupt or truncated gzip data" : "read error"});
        m_plan.files[index].left_out = true;
        m_plan.files[index].edits.clear();
    }
}

void Collector::plan_reference(std::size_t index, const FoundReference& f, unsigned long long offset, const std::string& folder)
{
    const Found found = found_path(f.ref, folder);
    const std::string& path = found.path;
    if (path.empty()) {
        m_plan.missing.push_back(
            MissingReference{std::string(f.ref.target), f.ref.kind, m_plan.files[index].source, f.line, found.refusal});
        return;
    }
    const std::size_t file = take_file(path, f.ref.kind, false);
    // A name the system gave, as the repair writes a pick: in the code page older versions wrote.
    std::string text = poser_file_text(colon_name(m_plan.files[file].name));
    if (text != f.ref.target) {
        m_plan.files[index].edits.push_back(Edit{offset, f.ref.target.size(), std::move(text)});
    }
}

// The file a reference names, as the report finds it; "" when it finds none. A path saved on
// another machine is found by its part from Runtime on, as Poser finds it; a namesake elsewhere
// is no proof, and is not taken.
Collector::Found Collector::found_path(const FileReference& ref, const std::string& folder)
{
    std::string key(1, static_cast<char>('0' + static_cast<int>(ref.kind)));
    key += ref.beside_document ? folder : std::string();
    key += '\0';
    key.append(ref.target);
    const auto known = m_resolved.find(key);
    if (known != m_resolved.end()) {
        return known->second;
    }
    const Located at = m_resolver.locate(ref, ref.beside_document ? folder : std::string());
    Found found{std::string(), at.refusal};
    if (at.status == RefStatus::ok || at.status == RefStatus::case_only || at.status == RefStatus::absolute) {
        found.path = at.paths.front();
    } else if (at.status == RefStatus::missing && is_written_elsewhere(ref.target)) {
        for (const Candidate& c : m_resolver.candidates(ref.target, m_no_names)) {
            if (c.by_runtime_path) {
                found.path = c.path;
                break;
            }
        }
    }
    m_resolved.emplace(std::move(key), found);
    return found;
}

void Collector::add_thumbnails(std::size_t index)
{
    const std::string source = without_extension(m_plan.files[index].source);
    for (std::string_view extension : k_thumbnail_extensions) {
        const std::string thumbnail = source + std::string(extension);
        if (m_fs.is_readable_file(thumbnail) && m_by_key.count(m_fs.resolved_path(thumbnail)) == 0) {
            CollectedFile file;
            file.source = thumbnail;
            file.name = free_name(without_extension(m_plan.files[index].name) + std::string(extension), thumbnail);
            file.mtime = m_fs.modified_time(thumbnail);
            m_by_key.emplace(m_fs.resolved_path(thumbnail), m_plan.files.size());
            m_plan.files.push_back(std::move(file));
        }
    }
}

}  // namespace

std::string folder_outside_roots(std::string_view file_name, RefKind kind)
{
    const std::string extension = extension_of(file_name) + " ";
    if (is_poser_document(file_name)) {
        for (const LibraryFolder& f : k_library_folders) {
            if (f.extensions.find(extension) != std::string_view::npos) {
                return "Runtime/Libraries/" + std::string(f.folder);
            }
        }
    }
    switch (kind) {
    case RefKind::image: return "Runtime/Textures/collected";
    // Poser keeps a figure's morph files beside it, in its library folder.
    case RefKind::morph: return "Runtime/Libraries/Character/collected";
    case RefKind::script: return "Runtime/Python/collected";
    case RefKind::geometry: break;
    }
    return "Runtime/Geometries/collected";
}

CollectPlan plan_collection(fsys::FileSystem& fs, const std::vector<std::string>& documents,
                            const std::vector<std::string>& roots, const CollectProgress& progress)
{
    Collector collector(fs, roots);
    for (const std::string& document : documents) {
        collector.add_given(document);
    }
    collector.run(progress);
    return collector.take();
}
