// The progress line: a thread that wakes each second while the command works.
#include "cli/progressline.h"

#include <cstdio>

#include <unistd.h>

namespace cli {

ProgressLine::ProgressLine(bool terminal) : m_start(std::chrono::steady_clock::now()) {
    if (!terminal)
        return;
    m_thread = std::thread([this] {
        std::unique_lock<std::mutex> lock(m_mutex);
        auto next = m_start + std::chrono::seconds(1);
        while (!m_wake.wait_until(lock, next, [this] { return m_done; })) {
            show(lock);
            next += std::chrono::seconds(1);
        }
    });
}

ProgressLine::~ProgressLine() {
    finish();
}

void ProgressLine::step(const QString &what) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_step = what;
}

void ProgressLine::show(std::unique_lock<std::mutex> &) {
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - m_start)
            .count();
    // "\033[K" clears what a longer step left at the end of the line.
    std::fprintf(stderr, "\rkmlmaker: %s... %lld s\033[K", qPrintable(m_step),
                 static_cast<long long>(seconds));
    std::fflush(stderr);
    m_shown = true;
}

void ProgressLine::finish() {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_done = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    if (m_shown) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        m_shown = false;
    }
}

bool ProgressLine::stderrIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

} // namespace cli
