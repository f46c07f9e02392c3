#pragma once
// A second thread that does part of some work while its owner goes on with
// other things. When the owner needs the result it asks the thread to stop,
// waits only for the step under way, and does what is left itself: a busy
// machine, where the second thread gets little time, is never slower for it.

#include <atomic>
#include <system_error>
#include <thread>
#include <utility>

namespace tav {

class AideThread {
public:
    AideThread() = default;
    ~AideThread() { stop(); }
    AideThread(const AideThread &) = delete;
    AideThread &operator=(const AideThread &) = delete;

    // Runs f on the thread; without a thread to be had, f does not run and
    // the owner does all the work.
    template <typename F> void start(F &&f) {
        try {
            m_thread = std::thread(std::forward<F>(f));
        } catch (const std::system_error &) {
        }
    }
    // Polled by the thread between steps.
    bool stopAsked() const { return m_stop.load(std::memory_order_relaxed); }
    // Asks the thread to stop and waits for it: what it wrote is then visible.
    void stop() {
        m_stop.store(true, std::memory_order_relaxed);
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace tav
