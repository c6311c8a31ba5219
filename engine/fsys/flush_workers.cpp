#include "engine/fsys/flush_workers.h"

#include <utility>

namespace fsys {

namespace {

// So many flushes at once at most. A disk given a batch all at once writes it sooner than in
// two or three waves (measured on ext4 over virtio: 8 threads against 16, the repair 10% slower).
constexpr std::size_t k_most_threads = 16;

}  // namespace

FlushWorkers::~FlushWorkers()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread& t : m_threads) {
        t.join();
    }
}

void FlushWorkers::start(RawFile& f, Writing write)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const bool wake = add(f, std::move(write));
    // Woken after the lock is let go, the thread need not wait for it.
    lock.unlock();
    if (wake) {
        m_wake.notify_one();
    }
}

// Queues the flush of `f`, with a thread more while there are fewer idle than flushes waiting;
// the lock is held. True when an idle thread is to be woken for it.
bool FlushWorkers::add(RawFile& f, Writing write)
{
    if (!m_flushes.emplace(&f, Pending{State::waiting, false, std::move(write)}).second) {
        return false;
    }
    m_waiting.push_back(&f);
    if (m_order == Order::in_turn_at_sync) {
        return false;
    }
    if (m_idle < m_waiting.size() && m_threads.size() + 1 < k_most_threads) {
        m_threads.emplace_back([this] { serve(); });
        return false;
    }
    return true;
}

void FlushWorkers::sync(const std::vector<RawFile*>& files, std::vector<bool>& synced)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (RawFile* f : files) {
        if (add(*f)) {
            m_wake.notify_one();
        }
    }
    if (m_order == Order::in_turn_at_sync) {
        ++m_syncing;
        if (m_threads.empty()) {
            m_threads.emplace_back([this] { serve(); });
        }
        m_wake.notify_one();
    }
    // The one asking only waits: its own work goes on on one core, the flushes on the other.
    m_done.wait(lock, [&] {
        for (RawFile* f : files) {
            if (m_flushes.at(f).state != State::done) {
                return false;
            }
        }
        return true;
    });
    synced.assign(files.size(), false);
    for (std::size_t k = 0; k < files.size(); ++k) {
        synced[k] = m_flushes.at(files[k]).ok;
    }
    for (RawFile* f : files) {
        m_flushes.erase(f);
    }
    m_syncing -= m_order == Order::in_turn_at_sync ? 1 : 0;
}

void FlushWorkers::serve()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        ++m_idle;
        m_wake.wait(lock, [this] { return m_stopping || (!m_waiting.empty() && (m_order == Order::at_once || m_syncing > 0)); });
        --m_idle;
        if (m_stopping) {
            return;
        }
        run_next(lock);
    }
}

// Flushes the first file waiting, the lock let go meanwhile.
void FlushWorkers::run_next(std::unique_lock<std::mutex>& lock)
{
    RawFile* f = m_waiting.front();
    m_waiting.pop_front();
    Pending& flush = m_flushes.at(f);  // stays: only sync takes it away, once it is done
    flush.state = State::running;
    const Writing write = std::move(flush.write);
    lock.unlock();
    const bool ok = (!write || write(*f)) && m_flush(*f);
    lock.lock();
    flush.ok = ok;
    flush.state = State::done;
    m_done.notify_all();
}

}  // namespace fsys
