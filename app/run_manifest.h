// What every reader of a run folder's manifest shares: its fields read without trusting their
// types, the paths it names checked before anything is done with them, and the manifest written
// again in one step. Run folders arrive with the library and may be planted or damaged.
#pragma once

#include "engine/fsys/fsys.h"

#include <string>
#include <unordered_set>
#include <vector>
#include <nlohmann/json.hpp>

// The fields of a stored record: a field that is missing or of another type reads as absent,
// and nothing can throw.
const nlohmann::json* field(const nlohmann::json& object, const char* name);
bool text_field(const nlohmann::json& object, const char* name, std::string& value);
bool number_field(const nlohmann::json& object, const char* name, long long& value);
// A time of undoing: absent or null while not undone, else the time as text.
bool undone_field(const nlohmann::json& object, std::string& undone);
// A size and a SHA-256 in hex.
bool digest_field(const nlohmann::json& object, const char* name, fsys::FileDigest& digest);

// A path the manifest gives relative to a folder: names joined by '/', none empty, "." or
// "..", no drive, no backslash, no NUL, nothing the path boundary refuses (on Windows a
// device's name, a name of dots and blanks). Anything else could reach outside the folder.
bool is_safe_relative(const std::string& rel);
// The first link on the way from `base` down to `base/relative`, or "" when there is none.
// `plain`, when given, holds the folders already found to be plain folders on such a way, which
// are not asked about again: a manifest names thousands of files in a few folders.
using PlainFolders = std::unordered_set<std::string>;
std::string link_below(fsys::FileSystem& fs, const std::string& base, const std::string& relative,
                       PlainFolders* plain = nullptr);
// True when `a` and `b` are one folder, every link followed in both.
bool same_place(fsys::FileSystem& fs, const std::string& a, const std::string& b);
// True when the folder that would hold `file` lies, links followed, inside `root`.
bool stays_inside(fsys::FileSystem& fs, const std::string& file, const std::string& root);

// What remove_tree does below a folder: only looks for what would stop it, removes the
// folders that hold nothing, or removes everything.
enum class Removal { look, empty_folders, everything };
// Removes `top` and what lies below it, deepest first, as `removal` says. A link, or anything
// that is no plain file or folder, is never followed nor removed; `refused` names it. False
// when something stays. The walk keeps its own stack and one path, so that a planted tree of
// any depth costs the length of its names.
bool remove_tree(fsys::FileSystem& fs, const std::string& top, Removal removal, std::vector<std::string>& refused);

// Writes the manifest `path` again as `doc`: the old one is replaced in one step.
bool rewrite_manifest(fsys::FileSystem& fs, const std::string& path, const nlohmann::json& doc);
// The same with the manifest's text.
bool rewrite_manifest_text(fsys::FileSystem& fs, const std::string& path, const std::string& text);
