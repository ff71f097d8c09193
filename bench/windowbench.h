// What the benchmarks through the window share: a dialog host that answers every dialog with the
// file it is given and keeps the messages, the offscreen platform when there is no display, the
// time of one step, and the process's peak memory.
#pragma once

#include "app/dialoghost.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QtGlobal>

#include <functional>

#include <sys/resource.h>

namespace windowbench {

class ScriptedHost : public DialogHost {
public:
    QString answer;
    QStringList errors;

    std::optional<FileDialogAnswer> chooseFile(QWidget *, const FileDialogRequest &) override {
        return FileDialogAnswer{answer, 1};
    }
    void showMessage(const QString &, const QString &text) override { errors << text; }
    void showError(const QString &, const QString &text) override { errors << text; }
    bool confirm(QWidget *, const QString &, const QString &) override { return true; }
};

// Called before the QApplication is made.
inline void offscreenWithoutDisplay() {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// Milliseconds f takes.
inline double timed(const std::function<void()> &f) {
    QElapsedTimer t;
    t.start();
    f();
    return double(t.nsecsElapsed()) / 1e6;
}

// The process's peak resident memory so far, in KB.
inline long peakMemoryKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace windowbench
