// Reading zip archives with independent readers for the round-trip tests: python3's zipfile
// (every member's entry and content, every CRC checked), and Info-ZIP's unzip -t, which also
// checks each local header against the central directory.
#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QtDebug>

namespace zipreading {

struct Member {
    QString name;
    int method = -1;
    qint64 size = -1;
    qint64 compressed = -1;
    quint32 crc = 0;
    QJsonArray dateTime; // year, month, day, hour, minute, second
    int flags = 0;
    QByteArray data;
};

struct Archive {
    bool read = false; // false when zipfile refused it; error then says why
    QString error;
    QList<Member> members;
    bool zip64 = false; // ends with zip64 records
};

inline Archive read(const QString &path) {
    Archive archive;
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral(KML_TEST_DATA "/read-zip.py"), path});
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        archive.error = QString::fromUtf8(p.readAllStandardError());
        return archive;
    }
    const QJsonObject o = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    for (const QJsonValue &v : o[u"members"].toArray()) {
        Member m;
        m.name = v[u"name"].toString();
        m.method = v[u"method"].toInt();
        m.size = qint64(v[u"size"].toDouble());
        m.compressed = qint64(v[u"compressed"].toDouble());
        m.crc = quint32(v[u"crc"].toDouble());
        m.dateTime = v[u"date_time"].toArray();
        m.flags = v[u"flags"].toInt();
        m.data = QByteArray::fromBase64(v[u"data"].toString().toLatin1());
        archive.members << m;
    }
    archive.zip64 = o[u"zip64"].toBool();
    archive.read = true;
    return archive;
}

// The one member's content of an archive that holds exactly one, named name; empty otherwise.
inline QByteArray onlyMember(const QString &path, const QString &name) {
    const Archive a = read(path);
    if (!a.read || a.members.size() != 1 || a.members[0].name != name) {
        qWarning() << "not a one-member archive of" << name << a.error;
        return {};
    }
    return a.members[0].data;
}

inline QString unzipProgram() {
    return QStandardPaths::findExecutable(QStringLiteral("unzip"));
}

// Whether Info-ZIP's unzip is there; the checks that need it skip otherwise.
inline bool unzipAvailable() {
    return !unzipProgram().isEmpty();
}

// unzip -t's verdict: empty when it finds the archive sound, else what it said.
inline QString unzipTest(const QString &path) {
    QProcess p;
    p.start(unzipProgram(), {QStringLiteral("-tq"), path});
    if (p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        return {};
    const QString said =
        QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
    return said.isEmpty() ? QStringLiteral("unzip failed") : said;
}

} // namespace zipreading
