// The one exception type of the program: a command that fails throws it with the exact
// message the user is to see; the window's top-level guard shows it in the error box.
#pragma once

#include <QString>
#include <stdexcept>

class CommandError : public std::runtime_error {
public:
    explicit CommandError(const QString &message);

    const QString &message() const noexcept { return m_message; }

private:
    QString m_message;
};

// The operating system's text for an errno value, without a final period or trailing blanks.
QString systemErrorText(int errnum);

// "Stream write error", followed by the system's text where the cause lies with the disk (full,
// over quota, read-only, failing), which the user has to see to; other causes, a file-size limit
// among them, keep the plain message.
QString streamWriteError(int errnum);

// Removes a final period and any trailing blanks or line breaks from a system message.
QString withoutFinalPeriod(QString text);

// A file's absolute path with the platform's separators, as messages name a file.
QString displayPath(const QString &fileName);

// The text of the window's error box, and of the command line's error line: the message with
// "." appended unless it is empty or ends in a character whose code is at or below that of ".".
QString errorBoxText(const QString &message);
