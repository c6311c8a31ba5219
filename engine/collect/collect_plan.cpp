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
    const std::size_t slash = last_separator(name, PathStyle::windows);
    return dot == std::string::npos || (slash != std::string::npos && dot <= slash + 1) ? name : name.substr(0, dot);
}

// The n-th name of a file whose name is taken: "x-2.obj", "x-3.obj" ...
std::string numbered(const std::string& name, int n)
{
    const std::string stem = without_extension(name);
    return stem + "-" + std::to_string(n) + name.substr(stem.size());
}

// The last name of `path`, after any separator this system reads: on Windows a path written
// with '/' is cut there too, so that no name in the collection holds a drive or a "..".
std::string last_name(const std::string& path)
{
    const std::size_t cut = last_separator(path, k_native_style);
    return cut == std::string::npos ? path : path.substr(cut + 1);
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
    void add_given(const std::string& path)
    {
        std::string why;
        if (take_file(path, RefKind::geometry, true, why) == std::string::npos) {
            m_plan.left_out.push_back(UnreadableFile{path, why});
        }
    }
    void run(const CollectProgress& progress);
    CollectPlan take() { return std::move(m_plan); }

private:
    std::size_t take_file(const std::string& path, RefKind kind, bool given, std::string& why);
    std::string why_left_out(const std::string& path, const std::string& real, std::size_t root, RefKind kind, bool given);
    std::string from_of(const std::string& path, std::size_t root, const std::string& placed) const;
    std::string free_name(const std::string& name, const std::string& key);
    void read_document(std::size_t index);
    void plan_reference(std::size_t index, const FoundReference& f, const std::string& folder,
                        std::unordered_map<std::string, std::size_t>& missing);
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
// document or was given as one. npos, with `why`, when it is not to be taken.
std::size_t Collector::take_file(const std::string& path, RefKind kind, bool given, std::string& why)
{
    std::string key = m_fs.resolved_path(path);
    const std::string real = key;
    if (key.empty()) {
        key = path;
    }
    const auto known = m_by_key.find(key);
    if (known != m_by_key.end()) {
        return known->second;
    }
    std::string placed = path;
    const std::size_t root = place_under_root(m_fs, placed, m_roots);
    why = why_left_out(path, real, root, kind, given);
    if (!why.empty()) {
        return std::string::npos;
    }
    CollectedFile file;
    file.source = path;
    file.outside_roots = root == std::string::npos;
    file.from = from_of(path, root, placed);
    // A control character, which no zip tool takes and Windows refuses in a name, made an underscore.
    std::string name = file.outside_roots ? folder_outside_roots(file.from, kind) + "/" + file.from : file.from;
    std::replace_if(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }, '_');
    file.name = free_name(name, key);
    file.document = given || is_poser_document(last_name(path));
    m_documents += file.document ? 1 : 0;
    file.mtime = m_fs.modified_time(path);
    m_plan.files.push_back(std::move(file));
    m_by_key.emplace(std::move(key), m_plan.files.size() - 1);
    return m_plan.files.size() - 1;
}

// Where `path` comes from as the listing names it: its path from `root` (`placed` below it),
// or its name alone.
std::string Collector::from_of(const std::string& path, std::size_t root, const std::string& placed) const
{
    if (root == std::string::npos) {
        return last_name(path);
    }
    const std::string& top = m_roots[root];
    std::string from = placed.substr(std::min(placed.size(), top.size() + (top.back() == fsys::k_sep ? 0 : 1)));
    std::replace(from.begin(), from.end(), fsys::k_sep, '/');
    return from;
}

// Why `path` (`real` where it really lies, below `root` of the roots or none) is not to be
// shared, or "": a link is followed only to a file inside a root, and a file from outside every
// root (not given by the user) must be what its reference names, never a key or a system file.
std::string Collector::why_left_out(const std::string& path, const std::string& real, std::size_t root, RefKind kind,
                                    bool given)
{
    if (root != std::string::npos) {
        return std::string();
    }
    const std::string spelt = m_fs.absolute_path(path);
    const bool through_link = m_fs.path_style() == PathStyle::windows ? !equals_ignoring_case(real, spelt) : real != spelt;
    if (through_link) {
        return "a link leading out of the library, not followed";
    }
    const std::string name = last_name(path);
    if (given || fits_filter(name, files_of_kind(kind)) || (kind == RefKind::script && is_poser_document(name))) {
        return std::string();
    }
    return "from outside the roots, and not one of the " + std::string(files_of_kind(kind).display);
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
    DocumentSeen seen;
    if (!open_document(in, m_fs, source, fsys::Listed::unknown, &seen)) {
        m_plan.unreadable.push_back(UnreadableFile{source, "cannot be opened"});
        m_plan.files[index].left_out = true;
        return;
    }
    const std::string folder = folder_of(source);
    std::unordered_map<std::string, std::size_t> missing;  // a missing reference's key: its index
    const bool read = read_references(
        in,
        [&](const FoundReference& f, std::uint64_t offset) {
            seen.note(f, offset);
            if (!f.ref.builtin) {
                plan_reference(index, f, folder, missing);
            }
        },
        [] {});
    CollectedFile& file = m_plan.files[index];
    file.seen = seen;
    // A document that cannot be read to its end cannot be written with its references renamed.
    const std::string why = !read ? (in.compressed() ? "corrupt or truncated gzip data" : "read error")
                            : !still_as_seen(m_fs, source, seen) ? "changed while it was read" : "";
    if (!why.empty()) {
        m_plan.unreadable.push_back(UnreadableFile{source, why});
        file.left_out = true;
        file.rewrites = ReferenceRewrites();
        file.renamed = 0;
    }
}

// Each distinct reference of a document planned once, however often the document uses it.
void Collector::plan_reference(std::size_t index, const FoundReference& f, const std::string& folder,
                               std::unordered_map<std::string, std::size_t>& missing)
{
    const Found found = found_path(f.ref, folder);
    const std::string& path = found.path;
    std::string why;
    const std::size_t file = path.empty() ? std::string::npos : take_file(path, f.ref.kind, false, why);
    if (file == std::string::npos) {
        const auto [known, added] = missing.try_emplace(reference_key(f.ref), m_plan.missing.size());
        if (added) {
            m_plan.missing.push_back(MissingReference{std::string(f.ref.target), f.ref.kind, m_plan.files[index].source, f.line,
                                                      path.empty() ? found.refusal : Refusal::none, why});
        } else {
            ++m_plan.missing[known->second].uses;
        }
        return;
    }
    // A name the system gave, as the repair writes a pick: in the code page older versions wrote.
    std::string text = poser_file_text(colon_name(m_plan.files[file].name));
    if (text != f.ref.target) {
        m_plan.files[index].rewrites.add(f.ref, std::move(text));
        ++m_plan.files[index].renamed;
    }
}

// The file a reference names, as the report finds it; "" when it finds none. A path saved on
// another machine is found by its part from Runtime on, as Poser finds it; a namesake elsewhere
// is no proof, and is not taken.
Collector::Found Collector::found_path(const FileReference& ref, const std::string& folder)
{
    std::string key = reference_key(ref, folder);
    const auto known = m_resolved.find(key);
    if (known != m_resolved.end()) {
        return known->second;
    }
    Found found;
    found.path = m_resolver.found_file(ref, ref.beside_document ? folder : std::string(), &found.refusal);
    m_resolved.emplace(std::move(key), found);
    return found;
}

void Collector::add_thumbnails(std::size_t index)
{
    const std::string source = without_extension(m_plan.files[index].source);
    const std::string folder = folder_of(source);
    for (std::string_view extension : k_thumbnail_extensions) {
        // Content made on Windows names its thumbnail in any letter case: the exact name first.
        const std::string wanted = last_name(source) + std::string(extension);
        const std::vector<std::string> names = m_cache.names_like(folder, wanted);
        if (names.empty()) {
            continue;
        }
        const auto exact = std::find(names.begin(), names.end(), wanted);
        const std::string thumbnail = child_path(folder, exact != names.end() ? *exact : names.front());
        if (!m_fs.is_readable_file(thumbnail) || m_by_key.count(m_fs.resolved_path(thumbnail)) > 0) {
            continue;
        }
        std::string placed = thumbnail;
        const std::size_t root = place_under_root(m_fs, placed, m_roots);
        const std::string why = why_left_out(thumbnail, m_fs.resolved_path(thumbnail), root, RefKind::image, false);
        if (!why.empty()) {
            m_plan.left_out.push_back(UnreadableFile{thumbnail, why});
        } else {
            CollectedFile file;
            file.source = thumbnail;
            file.from = from_of(thumbnail, root, placed);
            file.outside_roots = root == std::string::npos;
            file.name = free_name(without_extension(m_plan.files[index].name) + std::string(extension), m_fs.resolved_path(thumbnail));
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
