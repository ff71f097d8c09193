// The line on a terminal's standard error that says what a long command is doing.
#pragma once

#include <QString>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace cli {

// Once the work has taken a second, shows "kmlmaker: <step>... N s" on standard error and
// rewrites it in place every second; erases it when the work ends. Shows nothing when
// standard error is not a terminal, so that logs and pipes get only the final line.
class ProgressLine {
public:
    explicit ProgressLine(bool terminal);
    ~ProgressLine();
    ProgressLine(const ProgressLine &) = delete;
    ProgressLine &operator=(const ProgressLine &) = delete;

    void step(const QString &what);
    // Erases the line, if shown, and stops; the destructor does it too.
    void finish();

    // True when standard error is a terminal.
    static bool stderrIsTerminal();

private:
    void show(std::unique_lock<std::mutex> &lock);

    std::mutex m_mutex;
    std::condition_variable m_wake;
    QString m_step;
    bool m_done = false;
    bool m_shown = false;
    std::chrono::steady_clock::time_point m_start;
    std::thread m_thread;
};

} // namespace cli
