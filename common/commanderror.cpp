// The program's exception type and helpers for system error texts.
#include "commanderror.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

CommandError::CommandError(const QString &message)
    : std::runtime_error(message.toStdString()), m_message(message) {}

QString systemErrorText(int errnum) {
    return withoutFinalPeriod(QString::fromLocal8Bit(std::strerror(errnum)));
}

QString streamWriteError(int errnum) {
    const QString message = QStringLiteral("Stream write error");
    switch (errnum) {
    case ENOSPC:
    case EDQUOT:
    case EROFS:
    case EIO:
        return message + QStringLiteral(". ") + systemErrorText(errnum);
    default:
        return message;
    }
}

QString withoutFinalPeriod(QString text) {
    while (!text.isEmpty() && (text.back().isSpace() || text.back() == u'.'))
        text.chop(1);
    return text;
}

QString displayPath(const QString &fileName) {
    return QDir::toNativeSeparators(QFileInfo(fileName).absoluteFilePath());
}

QString errorBoxText(const QString &message) {
    if (message.isEmpty() || message.back().unicode() <= u'.')
        return message;
    return message + u'.';
}
