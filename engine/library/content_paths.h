// The paths inside Poser documents, in any of their notations (':', '\' or '/' between names,
// with or without a leading separator), taken apart and put together as disk paths below the
// content roots ("runtimes") of a library.
#pragma once

#include "engine/fsys/fsys.h"
#include "engine/text/refline.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Calls `each` with every name of a reference's path (':', '\\' or '/' between names), in
// order, while it returns true; false when it stopped. Makes no copies.
template <typename Each>
bool for_each_component(std::string_view target, Each each)
{
    std::size_t k = 0;
    while (k < target.size()) {
        while (k < target.size() && is_separator(target[k], PathStyle::poser)) {
            ++k;
        }
        std::size_t end = k;
        while (end < target.size() && !is_separator(target[end], PathStyle::poser)) {
            ++end;
        }
        if (end > k && !each(target.substr(k, end - k))) {
            return false;
        }
        k = end;
    }
    return true;
}

// The names of a reference's path, without the separators.
std::vector<std::string_view> path_components(std::string_view target);

// True for a path that does not depend on a root: a drive, a colon and a separator
// ("C:\...", "C:/..."), two separators ("\\server\..."), or '/' and a file that exists as
// the path stands. Every other path lies below a root, a leading separator ignored.
bool is_absolute_reference(fsys::FileSystem& fs, std::string_view target);

// True for a path that another machine wrote from its own top folder, which no root here
// continues: a drive or a share, or a path from the top ("/Volumes/...", or a Mac volume as
// "Macintosh HD:Users:...") with a Runtime folder further down. Poser finds such files by
// the part from that Runtime folder on.
bool is_written_elsewhere(std::string_view target);

// The index of the last component named "Runtime" (letter case ignored), or npos.
std::size_t last_runtime_component(const std::vector<std::string_view>& components);

// `path` without trailing separators of `style`; a top folder ("/", "C:\\") keeps its own. The
// program's one trimming of a root's separators.
std::string without_trailing_separators(std::string path, PathStyle style);

// `folder`, one native separator unless it ends in one ("/" gives "/a", not "//a"), then `name`.
std::string child_path(std::string folder, std::string_view name);
// `relative`, names joined by '/' as a run's manifest keeps them, below `folder`.
std::string child_path_of_slashed(std::string folder, std::string relative);
// The folder that holds `path` ("" for a bare name, the top folder for a name right below it),
// and the name it has there.
std::string folder_of(const std::string& path);
// folder_of as a view into `path`, for comparisons that need no copy.
std::string_view folder_view(std::string_view path);
std::string name_of(const std::string& path);
// `base`, then each component as child_path adds it.
std::string join_path(std::string base, const std::vector<std::string_view>& components);

// The root of `roots` that `path` lies inside, by the text of both (the longest when roots
// nest), or npos.
std::size_t root_holding(std::string_view path, const std::vector<std::string>& roots);

// The root of `roots` that holds the file `path` where it really lies, every link (and on
// Windows every junction) followed in both, or npos. `path` is then spelt below that root as
// the root is given, so that its path below the root can be written ("/link/Runtime/x.obj"
// becomes "/poser/Runtime/x.obj" for the root "/poser" when "/link" leads there).
std::size_t place_under_root(fsys::FileSystem& fs, std::string& path, const std::vector<std::string>& roots);

// The colon path that names `path` below `root` (which holds it): ":Runtime:Geometries:x.obj".
std::string colon_path_below(const std::string& root, const std::string& path);
