#include "engine/repair/backup_name.h"

#include "engine/fsys/fsys.h"

int lengthenname(std::string& f, std::string_view e)
{
    if (f.size() < 5 || f[f.size() - 4] != '.') {
        return 0;
    }
    f.insert(f.size() - 4, e);
    return 1;
}

std::string next_free_backup_name(fsys::FileSystem& fs, const std::string& orig)
{
    for (int k = 0; k < 100; ++k) {
        const char suffix[] = {'_', 'z', 'z', static_cast<char>('0' + k / 10), static_cast<char>('0' + k % 10), '\0'};
        std::string cor = orig;
        lengthenname(cor, suffix);
        // Any entry under the name, even one that cannot be read, is somebody's file.
        if (!fs.entry_exists(cor)) {
            return cor;
        }
    }
    return std::string();
}
