// A disk in memory on which another program changes a file at a chosen step of the program's
// work: the test runs the work once for every step there is, the change made just before it.
#pragma once

#include "engine/fsys/memory_fs.h"

#include <functional>
#include <string>

using DiskSetup = std::function<void(fsys::MemoryFileSystem&, const std::string& text)>;
using DiskWork = std::function<void(fsys::MemoryFileSystem&)>;

// What `read` finds once `work` has run on a disk `setup` makes with `text`, which nobody changes.
template <class Read>
auto left_by(const DiskSetup& setup, const std::string& text, const DiskWork& work, Read read)
{
    fsys::MemoryFileSystem disk;
    setup(disk, text);
    work(disk);
    return read(disk);
}

// Runs `work` on a disk `setup` makes with `text`, once for each step of the work, with `path`
// given `bytes` just before that step (counted from 0), and `check(disk, changed)` after; ends
// after the first run whose work ended before its step came. Returns the number of steps.
inline int at_every_step(const DiskSetup& setup, const std::string& text, const std::string& path, const std::string& bytes,
                         const DiskWork& work, const std::function<void(fsys::MemoryFileSystem&, bool changed)>& check)
{
    for (int step = 0;; ++step) {
        fsys::MemoryFileSystem disk;
        setup(disk, text);
        int seen = 0;
        bool changed = false;
        disk.before_each_step([&](const std::string&) {
            if (seen++ == step) {
                disk.add_file(path, bytes);
                disk.set_modified_time(path, fsys::MemoryFileSystem::k_setup_time + 1);
                changed = true;
            }
        });
        work(disk);
        disk.before_each_step(nullptr);
        check(disk, changed);
        if (!changed) {
            return step;
        }
    }
}
