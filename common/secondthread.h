// One piece of work done on a second thread while the calling thread does another: the thread is
// joined however the caller leaves, and what the work threw comes out of wait(). Where no second
// thread is to be had, or where it would only take turns on a single core, the work is done on
// the calling thread at once, so that the caller's steps are the same on either path.
#pragma once

#include <exception>
#include <functional>
#include <thread>

class SecondThread {
public:
    // Always: a second thread whenever the system gives one. SeveralCores: only where the
    // machine has more than one core (cores, which tests set).
    enum class When { Always, SeveralCores };

    // Starts work; done at once on this thread when no second thread is started. Throws only
    // std::bad_alloc.
    explicit SecondThread(std::function<void()> work, When when = When::Always,
                          unsigned cores = std::thread::hardware_concurrency());
    // Waits for the work; anything it threw is dropped (the caller is leaving by an exception of
    // its own, or did not ask).
    ~SecondThread();
    SecondThread(const SecondThread &) = delete;
    SecondThread &operator=(const SecondThread &) = delete;

    // Waits for the work to end and throws what it threw, once; later calls return at once.
    void wait();
    // Whether the work runs on a second thread rather than having been done on this one.
    bool onSecondThread() const { return m_onSecondThread; }

private:
    void run() noexcept;

    std::function<void()> m_work;
    std::exception_ptr m_failure;
    std::thread m_thread;
    bool m_onSecondThread = false;
};
