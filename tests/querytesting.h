// Testing the workbook query: its records as texts, as a fresh query reads a file, a fixture
// copied and opened as the window opens it, and the unprivileged user a read-only test needs.
#pragma once

#include "sources/adoquery.h"
#include "sources/workbooksource.h"
#include "testsupport.h"
#include "workbook/formatregistry.h"

#include <QFile>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>

#include <unistd.h>

namespace querytesting {

// Every record's field texts.
inline QList<QStringList> textsOf(const TADOQuery &q) {
    QList<QStringList> out;
    for (int r = 0; r < q.RecordCount(); ++r) {
        QStringList texts;
        for (int f = 0; f < q.FieldCount(); ++f)
            texts << q.fieldText(r, f);
        out << texts;
    }
    return out;
}

// The records as a fresh query reads the file.
inline QList<QStringList> recordsInFile(const QString &path) {
    TADOQuery fresh;
    workbooksource::openWorkbook(fresh, path);
    return textsOf(fresh);
}

// The user the read-only tests become where they run as root.
constexpr uid_t Nobody = 65534;

inline const QString ReadOnly = QStringLiteral("detailCore: Cannot modify a read-only dataset");
inline const QString NotEditing = QStringLiteral("detailCore: Dataset not in edit or insert mode");

// A copy of a fixture in a folder of its own, opened in a query named as the window's.
struct Copy {
    QTemporaryDir dir;
    QString path;
    TADOQuery q;

    explicit Copy(const QString &file) : path(dir.filePath(QStringLiteral("book.xls"))) {
        QFile::copy(testsupport::fixture(file), path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        q.setObjectName(QStringLiteral("detailCore"));
    }
    void open() { workbooksource::openWorkbook(q, path); }
    QByteArray bytes() const { return testsupport::readFile(path); }
    // Changes the file as another program would: through write-back with the file's own
    // identity.
    void changeBehindItsBack(const workbook::SheetChange &change) const {
        const QByteArray now = bytes();
        workbook::formatOf(now, path).write(path, workbook::fileIdentity(path, now), {change});
    }
};

// Where the tests run as root, who may write every file, the effective user becomes an
// unprivileged one for the length of a scope.
class Unprivileged {
public:
    Unprivileged() : m_switched(geteuid() == 0 && seteuid(Nobody) == 0) {}
    ~Unprivileged() {
        if (m_switched && seteuid(0) != 0)
            qFatal("cannot return to the root user");
    }
    Unprivileged(const Unprivileged &) = delete;
    Unprivileged &operator=(const Unprivileged &) = delete;

private:
    bool m_switched;
};

} // namespace querytesting
