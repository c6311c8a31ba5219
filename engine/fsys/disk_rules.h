// Whose rules a disk held in memory follows, and how it is told to fail (memory_fs.h).
#pragma once

#include "engine/fsys/fsys.h"

#include <functional>
#include <string>

namespace fsys {

// POSIX: names compared exactly, symbolic links to files and folders, permission bits.
// Windows: letter case ignored (ASCII) but kept as first written, device names (CON, PRN, AUX,
// NUL, COM1-9, LPT1-9, with any extension) in every folder, read-only files, junctions (links
// to folders, listed and refused as reparse points), and a file held open by another program
// that cannot be renamed or removed.
enum class DiskRules { posix, windows };
#ifdef _WIN32
inline constexpr DiskRules k_native_rules = DiskRules::windows;
#else
inline constexpr DiskRules k_native_rules = DiskRules::posix;
#endif

// Asked before each operation that changes the disk; when it returns true the operation
// fails as if the disk had refused it, changing nothing.
using FailWhen = std::function<bool(Op op, const std::string& path)>;

}  // namespace fsys
