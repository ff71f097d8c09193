// The second thread's start, with its fallback onto the calling thread, and its join.
#include "common/secondthread.h"

#include <system_error>
#include <utility>

SecondThread::SecondThread(std::function<void()> work, When when, unsigned cores)
    : m_work(std::move(work)) {
    if (when == When::Always || cores > 1) {
        try {
            m_thread = std::thread([this] { run(); });
            m_onSecondThread = true;
            return;
        } catch (const std::system_error &) { // no thread to be had
        }
    }
    run();
}

SecondThread::~SecondThread() {
    if (m_thread.joinable())
        m_thread.join();
}

void SecondThread::wait() {
    if (m_thread.joinable())
        m_thread.join();
    if (m_failure)
        std::rethrow_exception(std::exchange(m_failure, nullptr));
}

void SecondThread::run() noexcept {
    try {
        m_work();
    } catch (...) { // carried to wait(), on the thread that asks
        m_failure = std::current_exception();
    }
}
