// The flushes of a batch of files on a real disk, several at once.
#pragma once

#include "engine/fsys.h"

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

namespace fsys {

// sync_together for a real disk: the flushes of `files` issued from several threads at once.
// A flush mostly waits for the disk, which serves several at once (a file system that
// journals commits them together). The threads start with the first batch and stay: a
// library's repair flushes a batch for each folder, thousands of times, and a thread started
// for each batch would cost more than the flush of a small file.
class FlushWorkers {
public:
    FlushWorkers() = default;
    ~FlushWorkers();
    FlushWorkers(const FlushWorkers&) = delete;
    FlushWorkers& operator=(const FlushWorkers&) = delete;

    void sync(FileSystem& fs, const std::vector<RawFile*>& files, std::vector<bool>& synced);

private:
    void serve();
    void take_flushes(std::unique_lock<std::mutex>& lock);

    std::mutex m_one_batch;  // a batch at a time, whoever asks
    std::mutex m_mutex;      // guards what follows
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::vector<std::thread> m_threads;
    FileSystem* m_fs = nullptr;
    const std::vector<RawFile*>* m_files = nullptr;
    std::vector<char> m_synced;  // not vector<bool>: each thread writes its own entries
    std::size_t m_next = 0;
    std::size_t m_left = 0;
    bool m_stopping = false;
};

}  // namespace fsys
