// Reading the workbooks the round trips wrote with LibreOffice, an independent reader: every
// sheet of all of them converted to CSV in one run (its start is slow), sheet1 compared with the
// test's model and every other sheet with LibreOffice's reading of the fixture it came from.
#pragma once

#include "packagetesting.h"
#include "workbook/fieldtext.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <cmath>
#include <functional>
#include <map>
#include <optional>

namespace libreofficereading {

// A CSV field; the filter quotes every text cell and no other value.
struct Field {
    QString text;
    bool quoted = false;
};
using Rows = QList<QList<Field>>;
using Sheets = std::map<QString, Rows>; // by sheet name

inline bool available() {
    return !QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty();
}

// Comma, double quote, UTF-8, quote every text, values as stored rather than as shown, no
// formulas, every sheet into a file of its own.
inline const char *const CsvFilter =
    "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,true,true,false,false,false,-1";

// The rows of a CSV text as LibreOffice writes it: each ends with a line feed, a quoted field may
// hold commas, line feeds and doubled quotes.
inline Rows parseCsv(const QString &text) {
    Rows rows;
    QList<Field> row;
    Field field;
    bool inQuotes = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (inQuotes) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"')
                field.text += c, ++i;
            else if (c == u'"')
                inQuotes = false;
            else
                field.text += c;
        } else if (c == u'"') {
            inQuotes = field.quoted = true;
        } else if (c == u',' || c == u'\n') {
            row << field;
            field = Field();
            if (c == u'\n')
                rows << row, row.clear();
        } else {
            field.text += c;
        }
    }
    return rows;
}

// Every sheet of each workbook as LibreOffice reads it, in one run with a profile of its own
// (so that a running LibreOffice or another test does not get in the way); empty, with a
// warning, when the run fails.
inline std::vector<Sheets> sheets(const QStringList &paths) {
    QTemporaryDir dir;
    QStringList copies;
    for (int i = 0; i < paths.size(); ++i) {
        // The output is named "<input's base name>-<sheet>.csv": the copies' names tell apart
        // inputs of the same name.
        copies << dir.filePath(QStringLiteral("%1.%2").arg(i).arg(QFileInfo(paths[i]).suffix()));
        QFile::copy(paths[i], copies.last());
    }
    QProcess p;
    p.start(QStringLiteral("soffice"),
            QStringList{"-env:UserInstallation=" +
                            QUrl::fromLocalFile(dir.filePath(QStringLiteral("profile"))).toString(),
                        "--headless", "--convert-to", CsvFilter, "--outdir",
                        dir.filePath(QStringLiteral("csv"))} +
                copies);
    if (!p.waitForFinished(300000) || p.exitCode() != 0) {
        qWarning() << p.readAllStandardError();
        return {};
    }
    std::vector<Sheets> out(std::size_t(paths.size()));
    const QDir csv(dir.filePath(QStringLiteral("csv")));
    for (const QString &name : csv.entryList(QDir::Files)) {
        const qsizetype dash = name.indexOf(u'-');
        out[std::size_t(name.left(dash).toInt())][name.mid(dash + 1).chopped(4)] =
            parseCsv(QString::fromUtf8(testsupport::readFile(csv.filePath(name))));
    }
    return out;
}

// Where LibreOffice's reading of a format parts from ours: the text it reads for one ours
// reads, and the serial ours reads for a date LibreOffice shows that many days after 1899-12-30
// (1904-01-01 in the 1904 date system).
struct Differences {
    std::function<QString(const QString &)> text = [](const QString &t) { return t; };
    std::function<double(double)> serial = [](double days) { return days; };
};

// A number as a field shows it, and how far from it the value may be.
struct Shown {
    double value, within;
};

// The number a field shows: plain, a percentage, a date and time, or a time or duration, as
// LibreOffice writes them without their cell's format; dates and times only to the second (it
// cuts the seconds of a date rather than rounding them).
inline std::optional<Shown> numberOf(const Field &f, bool date1904,
                                     const Differences &differences) {
    if (f.quoted)
        return std::nullopt;
    bool ok = false;
    double d = f.text.toDouble(&ok);
    if (ok)
        return Shown{d, std::abs(d) * 1e-15};
    if (f.text.endsWith(u'%') && (d = f.text.chopped(1).toDouble(&ok), ok))
        return Shown{d / 100, std::abs(d) * 1e-17};
    const double second = 1 / 86400.0;
    const QDate epoch = date1904 ? QDate(1904, 1, 1) : QDate(1899, 12, 30);
    for (const char *format :
         {"yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd", "MM/dd/yyyy HH:mm:ss", "MM/dd/yyyy"}) {
        const QDateTime t = QDateTime::fromString(f.text, QString::fromLatin1(format));
        if (t.isValid())
            return Shown{differences.serial(double(epoch.daysTo(t.date())) +
                                            t.time().msecsSinceStartOfDay() / 86400e3),
                         second};
    }
    // [-]h:mm:ss[.f] or [-]mm:ss.f, a time of day with AM or PM.
    static const QRegularExpression time(
        QStringLiteral("^(-?)(?:(\\d+):)?(\\d+):(\\d+(?:\\.\\d+)?)(?: ([AP])M)?$"));
    const QRegularExpressionMatch m = time.match(f.text);
    if (!m.hasMatch())
        return std::nullopt;
    double hours = m.captured(2).toDouble();
    if (!m.captured(5).isEmpty())
        hours = std::fmod(hours, 12) + (m.captured(5) == u"P" ? 12 : 0);
    const double days =
        (hours * 3600 + m.captured(3).toDouble() * 60 + m.captured(4).toDouble()) / 86400;
    return Shown{m.captured(1).isEmpty() ? days : -days, second};
}

// Whether LibreOffice shows the model's value: numbers as numbers (or as truth values, which is
// all it writes for a number in a cell formatted for them), texts exactly, truth values and
// errors by their text.
inline bool shows(const Field &f, const packagetesting::Value &v, bool date1904,
                  const Differences &differences) {
    if (const double *d = std::get_if<double>(&v)) {
        // a number in a cell formatted for truth values
        if (!f.quoted && (f.text == u"TRUE" || f.text == u"FALSE"))
            return (*d != 0) == (f.text == u"TRUE");
        const std::optional<Shown> n = numberOf(f, date1904, differences);
        return n && std::abs(n->value - *d) <= n->within;
    }
    const QString &t = std::get<QString>(v);
    static const QRegularExpression other(QStringLiteral("^<kind (\\d+)>$"));
    const QRegularExpressionMatch m = other.match(t);
    if (!m.hasMatch())
        return f.quoted && f.text == differences.text(t);
    const int kind = m.captured(1).toInt();
    const auto code = std::uint8_t(kind & 0xFF);
    if (kind >> 8 == int(workbook::CellKind::Bool))
        return !f.quoted && f.text == (code ? u"TRUE" : u"FALSE");
    return f.text == workbook::fieldtext::error(code); // quoted when a formula's result
}

inline QString describe(const Field &f) {
    return f.quoted ? '"' + f.text + '"' : f.text;
}

// The workbooks the round trips wrote, as LibreOffice reads them beside their fixtures: as many
// sheets, sheet1 as the model says, every other sheet as the fixture. LibreOffice computes anew
// the formulas that read sheet1 (the writers ask for it, the edits change their results) and
// those with no stored result (which the model holds as empty): the cells named in
// Written::recomputed are left out, on sheet1 while their mark stays (no edit overwrote them).
// A failed check fails the test.
inline void checkWritten(const std::vector<packagetesting::Written> &written,
                         const Differences &differences = {}) {
    QStringList paths;
    for (const packagetesting::Written &w : written)
        paths << w.original << w.path;
    const std::vector<Sheets> all = sheets(paths);
    QCOMPARE(all.size(), std::size_t(paths.size()));
    for (std::size_t k = 0; k < written.size(); ++k) {
        const packagetesting::Written &w = written[k];
        const Sheets &before = all[2 * k], &now = all[2 * k + 1];
        QCOMPARE(now.size(), before.size());
        int sheet1Seen = 0;
        for (const auto &[name, rows] : now) {
            // LibreOffice 7.4 reads an .xlsx sheet named "sheet1" in lower case as "sheet1 -1",
            // in the fixture too.
            static const QRegularExpression sheet1(QStringLiteral("^sheet1( -1)?$"),
                                                   QRegularExpression::CaseInsensitiveOption);
            const bool isSheet1 = sheet1.match(name).hasMatch();
            sheet1Seen += isSheet1;
            auto where = [&](int r, int c) {
                return QStringLiteral("%1 %2!%3: ")
                    .arg(QFileInfo(w.original).fileName(), name, workbook::cellName(r, c));
            };
            auto field = [](const Rows &rs, int r, int c) {
                return r < rs.size() && c < rs[r].size() ? rs[r][c] : Field();
            };
            auto skipped = [&](int r, int c) {
                if (isSheet1) {
                    const auto it = w.marked.find({r, c});
                    return it != w.marked.end() &&
                           it->second == packagetesting::Value(packagetesting::Recomputed);
                }
                return w.recomputed.contains(name + u'!' + workbook::cellName(r, c));
            };
            if (!isSheet1) {
                QVERIFY2(before.count(name), qPrintable(where(0, 0) + "a new sheet"));
                const Rows &old = before.at(name);
                for (int r = 0; r < std::max(rows.size(), old.size()); ++r) {
                    const qsizetype columns = std::max(r < rows.size() ? rows[r].size() : 0,
                                                       r < old.size() ? old[r].size() : 0);
                    for (int c = 0; c < columns; ++c) {
                        const Field a = field(rows, r, c), b = field(old, r, c);
                        QVERIFY2((a.text == b.text && a.quoted == b.quoted) || skipped(r, c),
                                 qPrintable(where(r, c) + describe(a) + " for " + describe(b)));
                    }
                }
                continue;
            }
            for (const auto &[at, v] : w.model) {
                const Field f = field(rows, at.first, at.second);
                const QString expected = std::holds_alternative<double>(v)
                                             ? QString::number(std::get<double>(v), 'g', 17)
                                             : std::get<QString>(v);
                QVERIFY2(shows(f, v, w.date1904, differences) || skipped(at.first, at.second),
                         qPrintable(where(at.first, at.second) + describe(f) + " for " + expected));
            }
            // An empty field, quoted too, is no cell: a formula's empty text reads as none.
            for (int r = 0; r < rows.size(); ++r)
                for (int c = 0; c < rows[r].size(); ++c)
                    QVERIFY2(rows[r][c].text.isEmpty() || w.model.count({r, c}) || skipped(r, c),
                             qPrintable(where(r, c) + describe(rows[r][c]) + " for nothing"));
        }
        QVERIFY2(sheet1Seen == 1, qPrintable(w.original));
    }
}

} // namespace libreofficereading
