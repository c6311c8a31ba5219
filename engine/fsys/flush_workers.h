// The flushes of files on a real disk, several at once.
#pragma once

#include "engine/fsys/raw_file.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace fsys {

// start_sync and sync_together for a real disk: flushes issued from several threads at once.
// A flush mostly waits for the disk, which serves several at once (a file system that journals
// commits them together), and one started as soon as its file is written goes on while the
// next file is read and written. The threads start with the first flushes and stay: a library's
// repair flushes thousands of files, and a thread started for each would cost more than the
// flush of a small file.
class FlushWorkers {
public:
    // Flushes files by `flush` (the disk's own flush, true when the file is on the disk); the
    // disk that owns the workers hands it in.
    using Flush = std::function<bool(RawFile& f)>;
    // When the files are written and flushed: as soon as they are started, several at once; or
    // once sync asks for them, one at a time in the order they were started, on one thread, so
    // that a disk that fails its steps on demand meets them in the same order every time.
    enum class Order { at_once, in_turn_at_sync };
    explicit FlushWorkers(Flush flush, Order order = Order::at_once) : m_flush(std::move(flush)), m_order(order) {}
    ~FlushWorkers();
    FlushWorkers(const FlushWorkers&) = delete;
    FlushWorkers& operator=(const FlushWorkers&) = delete;

    // Starts flushing `f` in a thread of its own, after `write` has opened and written it
    // there when given; `f` must then be passed to sync before it is closed or goes.
    void start(RawFile& f, Writing write = {});
    // Flushes the files of `files` not started yet, and waits for all: `synced[k]` tells
    // whether files[k] is on the disk.
    void sync(const std::vector<RawFile*>& files, std::vector<bool>& synced);

private:
    enum class State { waiting, running, done };
    struct Pending {
        State state = State::waiting;
        bool ok = false;
        Writing write;  // run by the thread that flushes, before the flush
    };
    bool add(RawFile& f, Writing write = {});
    void serve();
    void run_next(std::unique_lock<std::mutex>& lock);

    Flush m_flush;
    const Order m_order;
    std::mutex m_mutex;  // guards what follows
    std::condition_variable m_wake;  // a flush waits, or the threads are to end
    std::condition_variable m_done;  // a flush has ended
    std::vector<std::thread> m_threads;
    std::unordered_map<RawFile*, Pending> m_flushes;  // started and not yet asked for
    std::deque<RawFile*> m_waiting;                 // of those, the ones no thread has taken
    std::size_t m_idle = 0;                          // threads waiting for a flush
    std::size_t m_syncing = 0;                       // syncs waiting (Order::in_turn_at_sync)
    bool m_stopping = false;
};

}  // namespace fsys
