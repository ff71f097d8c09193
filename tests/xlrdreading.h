// Reading workbooks with python3-xlrd, an independent reader, for the round-trip tests: every
// sheet as JSON, sheet1's cells as the tests expect them, and those cells with edits applied.
#pragma once

#include "workbook/xls/xlssheeteditor.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QtDebug>

namespace xlrdreading {

inline const QString Python = QStringLiteral("/usr/bin/python3");

// Whether Debian's python3 with xlrd is there; the tests that need it skip otherwise.
inline bool available() {
    QProcess p;
    p.start(Python, {QStringLiteral("-c"), QStringLiteral("import xlrd")});
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Every sheet as xlrd reads it: name, nrows, ncols, cells [row, col, ctype, value, xf].
inline QJsonArray sheets(const QString &path) {
    QProcess p;
    p.start(Python, {QStringLiteral(KML_TEST_DATA "/workbooks/dump-xlrd.py"), path});
    if (!p.waitForFinished(120000) || p.exitCode() != 0) {
        qWarning() << p.readAllStandardError();
        return {};
    }
    return QJsonDocument::fromJson(p.readAllStandardOutput()).array();
}

inline QJsonObject sheetNamed(const QJsonArray &sheets, const QString &name) {
    for (const QJsonValue &s : sheets)
        if (s[u"name"].toString().compare(name, Qt::CaseInsensitive) == 0)
            return s.toObject();
    return {};
}

// A cell as a test expects to read it back: kind (1 text, 2 number, 4 bool, 5 error,
// 6 blank), value, and XF (-1: any, for cells the edits created).
struct Expected {
    int kind = 0;
    QJsonValue value;
    int xf = -1;
    bool operator==(const Expected &o) const {
        return kind == o.kind && value == o.value && (xf < 0 || o.xf < 0 || xf == o.xf);
    }
};
using Cells = QMap<QPair<int, int>, Expected>;

inline Cells cellsOf(const QJsonObject &sheet) {
    Cells cells;
    for (const QJsonValue &v : sheet[u"cells"].toArray()) {
        const QJsonArray c = v.toArray();
        const int ctype = c[2].toInt();
        cells.insert({c[0].toInt(), c[1].toInt()},
                     Expected{ctype == 3 ? 2 : ctype, c[3], c[4].toInt()}); // dates are numbers
    }
    return cells;
}

// What sheet1 should hold: the original reading with the edits applied by hand, as write-back
// applies them (an emptied cell keeps its format as a blank; rows below a deleted one move up).
class SheetModel {
public:
    explicit SheetModel(Cells cells) : m_cells(std::move(cells)) {}

    // The last row holding any cell record, blanks too: appended rows go after it.
    int lastRow() const { return m_cells.isEmpty() ? -1 : m_cells.lastKey().first; }

    void set(int row, int column, const workbook::EditValue &value) {
        const auto it = m_cells.find({row, column});
        const int xf = it == m_cells.end() ? -1 : it->xf;
        if (const double *n = std::get_if<double>(&value))
            m_cells[{row, column}] = Expected{2, *n, xf};
        else if (const QString *t = std::get_if<QString>(&value))
            m_cells[{row, column}] = Expected{1, *t, xf};
        else if (it != m_cells.end())
            m_cells[{row, column}] = Expected{6, QString(), xf};
    }

    void remove(int row) {
        Cells moved;
        for (auto it = m_cells.cbegin(); it != m_cells.cend(); ++it) {
            const int r = it.key().first;
            if (r != row)
                moved.insert({r > row ? r - 1 : r, it.key().second}, it.value());
        }
        m_cells = moved;
    }

    const Cells &cells() const { return m_cells; }

private:
    Cells m_cells;
};

// The first difference between what was read and what was expected; empty when they agree.
inline QString difference(const Cells &read, const Cells &expected) {
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const QString at = workbook::cellName(it.key().first, it.key().second);
        const auto found = read.constFind(it.key());
        if (found == read.cend())
            return at + QStringLiteral(": missing");
        if (!(*found == it.value()))
            return at + QStringLiteral(": read %1 %2 xf %3, expected %4 %5 xf %6")
                            .arg(found->kind)
                            .arg(found->value.toVariant().toString().left(40))
                            .arg(found->xf)
                            .arg(it->kind)
                            .arg(it->value.toVariant().toString().left(40))
                            .arg(it->xf);
    }
    for (auto it = read.cbegin(); it != read.cend(); ++it)
        if (!expected.contains(it.key()))
            return workbook::cellName(it.key().first, it.key().second) +
                   QStringLiteral(": not expected");
    return QString();
}

} // namespace xlrdreading
