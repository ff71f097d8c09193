// What many tests need: their data files, whole files read and written, the exact message of a
// failing call, a path as messages show it, and a written file compared with its golden copy.
#pragma once

#include "common/commanderror.h"
#include "common/numtext.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <clocale>
#include <csignal>
#include <functional>

#include <sys/resource.h>

namespace testsupport {

// A file of tests/data; a workbook fixture of tests/data/workbooks, or of its folder for one
// format ("ods", "xlsx").
inline QString dataFile(const QString &name) {
    return QStringLiteral(KML_TEST_DATA "/") + name;
}
inline QString fixture(const QString &name) {
    return QStringLiteral(KML_TEST_DATA "/workbooks/") + name;
}
inline QString fixture(const char *format, const QString &name) {
    return fixture(QLatin1String(format) + u'/' + name);
}

// The whole file; empty when it cannot be read.
inline QByteArray readFile(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Replaces the file's content; false when it cannot be written.
inline bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size() &&
           f.flush();
}

// The golden file of that name in tests/data.
inline QByteArray golden(const QString &name) {
    return readFile(dataFile(name));
}

// The path as the program's messages name a file.
inline QString native(const QString &path) {
    return displayPath(path);
}

// The settings the tests' expected texts are written for: the C library's date and time formats
// with UTF-8 text ("." is the decimal separator a query has until it is given another).
inline void useTestLocale() {
    std::setlocale(LC_TIME, "C.UTF-8");
}

// The exact message of the CommandError the call throws; empty when it throws none.
inline QString errorOf(const std::function<void()> &call) {
    try {
        call();
    } catch (const CommandError &e) {
        return e.message();
    }
    return QString();
}

// The message of the call made under a file-size limit of that many bytes, with the signal the
// limit raises ignored: a write past it fails part way, as on a full disk.
inline QString errorUnderFileSizeLimit(rlim_t bytes, const std::function<void()> &call) {
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit small = old;
    small.rlim_cur = bytes;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    QString message = QStringLiteral("the file-size limit could not be set");
    if (setrlimit(RLIMIT_FSIZE, &small) == 0) {
        message = errorOf(call);
        setrlimit(RLIMIT_FSIZE, &old);
    }
    std::signal(SIGXFSZ, previousHandler);
    return message;
}

} // namespace testsupport
