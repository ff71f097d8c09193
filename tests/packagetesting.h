// Helpers for the write-back tests of zip workbooks (.xlsx, .ods): a sheet as a map of values
// to compare before and after, the entries of two archives compared byte for byte, random
// texts, and the message of a refusal.
#pragma once

#include "testsupport.h"
#include "workbook/workbookformat.h"
#include "workbook/zip/ziparchive.h"

#include <QDebug>
#include <QRandomGenerator>
#include <QStringList>

#include <algorithm>
#include <functional>
#include <map>
#include <variant>

namespace packagetesting {

// What a cell holds, as the tests model it: a number, a text, or a value of another kind left
// as it was read (a truth value, an error), compared by its text.
using Value = std::variant<double, QString>;
using Model = std::map<std::pair<int, int>, Value>;

inline Model modelOf(const workbook::SheetData &s) {
    using workbook::CellKind;
    Model m;
    for (const workbook::Cell &c : s.cells()) {
        if (c.kind == CellKind::Text)
            m[{c.row, c.column}] = s.text(c);
        else if (c.kind == CellKind::Number || c.kind == CellKind::Date ||
                 c.kind == CellKind::Currency)
            m[{c.row, c.column}] = c.number;
        else
            m[{c.row, c.column}] = QStringLiteral("<kind %1>").arg(int(c.kind) * 256 + c.code);
    }
    return m;
}

// Sheet1 of the file as the dataset reads it, and the identity a write checks; false, with a
// warning, when it cannot be read.
inline bool readSheet(const QString &path, workbook::SheetData &sheet,
                      workbook::FileIdentity &identity) {
    try {
        const QByteArray bytes = workbook::readWorkbookFile(path);
        workbook::SheetRead read =
            workbook::formatOf(bytes, path).read(bytes, path, QStringLiteral("sheet1"));
        sheet = std::move(*read.sheet);
        identity = read.identity;
    } catch (const CommandError &e) {
        qWarning() << e.message();
        return false;
    }
    return true;
}

using testsupport::errorOf;

// Entries other than the named ones: the same local header, data and central record but for
// its offset. Empty when they all are.
inline QString untouchedDiffer(const QByteArray &before, const QByteArray &after,
                               const QList<QByteArray> &rewritten) {
    const workbook::zip::Archive a(before), b(after);
    for (const workbook::zip::Entry &e : a.entries()) {
        if (rewritten.contains(e.name))
            continue;
        const workbook::zip::Entry *n = b.find(e.name);
        if (!n)
            return QString::fromUtf8(e.name) + " is missing";
        if (a.raw(e) != b.raw(*n))
            return QString::fromUtf8(e.name) + " differs";
        QByteArray c1 = a.centralRecord(e).toByteArray(), c2 = b.centralRecord(*n).toByteArray();
        c1.replace(42, 4, "\0\0\0\0", 4);
        c2.replace(42, 4, "\0\0\0\0", 4);
        if (c1 != c2)
            return QString::fromUtf8(e.name) + " has another central record";
    }
    return QString();
}

// The entries' names in the order their bytes stand.
inline QStringList entryOrder(const QByteArray &bytes) {
    QStringList names;
    std::vector<workbook::zip::Entry> entries = workbook::zip::Archive(bytes).entries();
    std::sort(entries.begin(), entries.end(),
              [](const workbook::zip::Entry &x, const workbook::zip::Entry &y) {
                  return x.localOffset < y.localOffset;
              });
    for (const workbook::zip::Entry &e : entries)
        names << QString::fromUtf8(e.name);
    return names;
}

inline QByteArray part(const QByteArray &bytes, const QByteArray &name) {
    const workbook::zip::Archive a(bytes);
    const workbook::zip::Entry *e = a.find(name);
    return e ? a.read(*e) : QByteArray();
}

} // namespace packagetesting
