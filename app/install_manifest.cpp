#include "app/install_manifest.h"

#include "app/install_command.h"
#include "app/run_manifest.h"
#include "engine/base/ascii.h"
#include "engine/library/content_paths.h"
#include "engine/library/walk.h"

using nlohmann::json;

namespace {

constexpr const char* k_install_kind = "install";
constexpr const char* k_staged_prefix = "new/";
constexpr const char* k_old_prefix = "old/";

json digest_json(const fsys::FileDigest& d)
{
    return d.size < 0 ? json(nullptr) : json{{"size", d.size}, {"sha256", d.sha256}};
}

json stamp_json(const fsys::FileStamp& s)
{
    return s.size < 0 ? json(nullptr) : json{{"size", s.size}, {"changed", s.changed}, {"id", s.id}};
}

// A stamp that is not its file's costs only a reading of the file, which then tells.
bool stamp_field(const json& object, const char* name, fsys::FileStamp& stamp)
{
    const json* s = field(object, name);
    const json* id = s == nullptr ? nullptr : field(*s, "id");
    if (id == nullptr || !id->is_number_unsigned() || !number_field(*s, "size", stamp.size) ||
        !number_field(*s, "changed", stamp.changed) || stamp.size < 0) {
        return false;
    }
    stamp.id = id->get<std::uint64_t>();
    return true;
}

json text_or_null(const std::string& text)
{
    return text.empty() ? json(nullptr) : json(text);
}

json file_json(const InstalledFile& f)
{
    return json{{"path", f.path},           {"staged", f.staged},           {"old", text_or_null(f.old)},
                {"before", digest_json(f.before)}, {"after", digest_json(f.after)}, {"stamp", stamp_json(f.stamp)},
                {"undone", text_or_null(f.undone)}};
}

// An optional field: absent or null leaves `value` as it is.
template <typename Read, typename Value>
bool optional_field(const json& object, const char* name, Read read, Value& value)
{
    const json* f = field(object, name);
    return f == nullptr || f->is_null() || read(object, name, value);
}

// The paths of one manifest checked against the disk, each folder on their way asked about once.
struct PathCheck {
    fsys::FileSystem& fs;
    PlainFolders plain;
};

// A path the manifest names below `base` (the root, or the run folder: `where`): safe, in the
// part of it the install may touch (`allowed`), no link on the way to it.
bool is_path_below(PathCheck& check, const std::string& base, const std::string& path, bool allowed, const char* where,
                   std::string& error)
{
    if (!is_safe_relative(path) || !allowed) {
        error = std::string("names a file outside its ") + where + ": " + path;
        return false;
    }
    const std::string link = link_below(check.fs, base, path, &check.plain);
    if (!link.empty()) {
        error = "refused: " + link + " is a link, which may lead anywhere";
        return false;
    }
    return true;
}

// A path below the root, outside the run folders.
bool is_content_path(PathCheck& check, const std::string& root, const std::string& path, std::string& error)
{
    const bool allowed = !equals_ignoring_case(path.substr(0, path.find('/')), k_runs_folder_name);
    return is_path_below(check, root, path, allowed, "root", error);
}

// A path below the run folder, in the part of it `prefix` names.
bool is_run_path(PathCheck& check, const std::string& run, const std::string& path, const char* prefix, std::string& error)
{
    return is_path_below(check, run, path, path.rfind(prefix, 0) == 0, "run folder", error);
}

bool read_file(PathCheck& check, const json& f, InstallRecord& record, std::string& error)
{
    InstalledFile file;
    file.before.size = file.after.size = -1;
    if (!text_field(f, "path", file.path) || !text_field(f, "staged", file.staged) ||
        !optional_field(f, "old", text_field, file.old) || !optional_field(f, "before", digest_field, file.before) ||
        !optional_field(f, "after", digest_field, file.after) || !optional_field(f, "stamp", stamp_field, file.stamp) ||
        !undone_field(f, file.undone) ||
        file.old.empty() != (file.before.size < 0)) {
        error = "is corrupt: file " + std::to_string(record.files.size() + 1) + " is incomplete";
        return false;
    }
    if (!is_content_path(check, record.root, file.path, error) ||
        !is_run_path(check, record.run_folder, file.staged, k_staged_prefix, error) ||
        (!file.old.empty() && !is_run_path(check, record.run_folder, file.old, k_old_prefix, error))) {
        return false;
    }
    record.files.push_back(std::move(file));
    return true;
}

// The record of the manifest, every path it names checked.
bool read_record(PathCheck& check, const json& doc, InstallRecord& record, std::string& error)
{
    const json* folders = field(doc, "folders");
    const json* files = field(doc, "files");
    if (folders == nullptr || !folders->is_array()) {
        error = "is corrupt: its folders are no list";
        return false;
    }
    for (const json& folder : *folders) {
        if (!folder.is_string()) {
            error = "is corrupt: a folder is no name";
            return false;
        }
        if (!is_content_path(check, record.root, folder.get<std::string>(), error)) {
            return false;
        }
        record.folders.push_back(folder.get<std::string>());
    }
    for (const json& f : *files) {
        if (!read_file(check, f, record, error)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool InstallManifest::keep(const InstallRecord& record)
{
    json product = json::array();
    for (const std::string& zip : record.zips) {
        product.push_back(name_of(zip));
    }
    // In this order, the files last.
    const nlohmann::ordered_json head{{"program", "tarnwick"},       {"format", 2},
                    {"kind", k_install_kind},      {"version", m_version},
                    {"started", m_stamp},          {"root", record.root},
                    {"zips", record.zips},         {"product", product},
                    {"finished", record.finished}, {"undone", text_or_null(record.undone)},
                    {"folders", record.folders},   {"files", nlohmann::ordered_json::array()}};
    // The files one at a time: the whole document for thousands of them would take many times
    // the room of its text.
    std::string text = head.dump(-1, ' ', false, json::error_handler_t::replace);
    text.resize(text.size() - 3);  // "[]}"
    text += "[";
    for (std::size_t k = 0; k < record.files.size(); ++k) {
        text += (k > 0 ? ",\n" : "\n") + file_json(record.files[k]).dump(-1, ' ', false, json::error_handler_t::replace);
    }
    text += "\n]}\n";
    return rewrite_manifest_text(m_fs, child_path(record.run_folder, "manifest.json"), text);
}

bool is_install_manifest(const json& doc)
{
    std::string kind;
    return text_field(doc, "kind", kind) && kind == k_install_kind;
}

std::string installed_product(const json& doc)
{
    const json* product = field(doc, "product");
    std::string names;
    if (!is_install_manifest(doc) || product == nullptr || !product->is_array()) {
        return names;
    }
    for (const json& name : *product) {
        if (name.is_string()) {
            names += (names.empty() ? "" : ", ") + name.get<std::string>();
        }
    }
    return names.empty() ? "a product" : names;
}

bool undo_install(fsys::FileSystem& fs, const std::string& manifest, const std::string& root, json& doc,
                  const std::string& when, UndoOutcome& outcome, std::string& error)
{
    InstallRecord record;
    record.root = root;
    record.run_folder = folder_of(manifest);
    PathCheck check{fs, {}};
    if (!read_record(check, doc, record, error)) {
        error = error.rfind("refused", 0) == 0 ? error : "the manifest " + manifest + " " + error;
        return false;
    }
    TakenBack taken;
    take_back(fs, record, when, taken, install_threads());
    json& files = doc["files"];
    for (std::size_t k = 0; k < record.files.size(); ++k) {
        files[k]["undone"] = text_or_null(record.files[k].undone);
    }
    doc["undone"] = text_or_null(record.undone);
    outcome.restored.insert(outcome.restored.end(), taken.restored.begin(), taken.restored.end());
    outcome.left.insert(outcome.left.end(), taken.left.begin(), taken.left.end());
    if (!rewrite_manifest(fs, manifest, doc)) {
        error = "can't note in " + manifest + " what was undone";
        return false;
    }
    std::vector<std::string> links;
    remove_tree(fs, record.run_folder, Removal::empty_folders, links);
    return true;
}
