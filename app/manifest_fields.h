// Reading what a run folder's manifest stores, without trusting it: the manifest arrives with
// the library and may be planted or damaged. A field of another type reads as absent, nothing
// can throw, and a path it names is checked before anything is done with it.
#pragma once

#include "engine/fsys/fsys.h"

#include <string>
#include <nlohmann/json.hpp>

namespace manifest_fields {

using json = nlohmann::json;

// The field `name` of `object`, or nullptr when it is missing or `object` is no object.
const json* field(const json& object, const char* name);
bool text_field(const json& object, const char* name, std::string& value);
bool number_field(const json& object, const char* name, long long& value);
// A time of undoing: absent or null while not undone, else the time as text.
bool undone_field(const json& object, std::string& undone);

// A path the manifest gives relative to a folder: names joined by '/', none empty, "." or
// "..", no drive, no backslash, no NUL. Anything else could reach outside the folder.
bool is_safe_relative(const std::string& rel);
// The first link on the way from `base` down to `base/relative`, or "" when there is none.
std::string link_below(fsys::FileSystem& fs, const std::string& base, const std::string& relative);
// True when the folder that would hold `file` lies, links followed, inside `root`.
bool stays_inside(fsys::FileSystem& fs, const std::string& file, const std::string& root);

}  // namespace manifest_fields
