// Where a referenced file lies: the paths inside Poser documents, in any of their notations
// (':', '\' or '/' between names, with or without a leading separator), resolved against the
// content roots ("runtimes") of a library, letter case as written or ignored.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

// The names of a reference's path, without the separators.
std::vector<std::string_view> path_components(std::string_view target);

// True for a path that does not depend on a root: a drive, a colon and a separator
// ("C:\...", "C:/..."), two separators ("\\server\..."), or '/' and a file that exists as
// the path stands. Every other path lies below a root, a leading separator ignored.
bool is_absolute_reference(std::string_view target);

// `base`, then each component after one native separator.
std::string join_path(std::string base, const std::vector<std::string_view>& components);

// The folder listings a search has made, so that each folder is listed once.
using ListingCache = std::map<std::string, std::vector<std::string>>;

// Every regular file that `base` and `components` name when letter case is ignored in the
// components (the base as given). Only meaningful where the file system tells case apart.
std::vector<std::string> find_ignoring_case(const std::string& base, const std::vector<std::string_view>& components,
                                            ListingCache& listings);

// The root that holds `path`: the longest of `roots` that `path` lies inside, or nullptr.
const std::string* root_holding(const std::string& path, const std::vector<std::string>& roots);
