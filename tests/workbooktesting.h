// Helpers shared by the workbook tests: a sheet read as the dataset reads it, the Workbook stream
// of a file, and sheet1's records laid out for checks at the record level.
#pragma once

#include "testsupport.h"
#include "workbook/formatregistry.h"
#include "workbook/sheetchange.h"
#include "workbook/xls/biffrecords.h"
#include "workbook/xls/compoundfile.h"
#include "workbook/xls/streamlayout.h"

#include <QFile>
#include <QRandomGenerator>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <vector>

namespace workbooktesting {

using namespace testsupport;

// The sheet as the dataset reads it: the file whole, its format by its content, the format's read.
inline workbook::SheetRead readSheet(const QString &path, const QString &sheet = u"sheet1"_qs) {
    const QByteArray bytes = workbook::readWorkbookFile(path);
    return workbook::formatOf(bytes, path).read(bytes, path, sheet);
}

// The write-back's refusals of a whole workbook, as the user reads them.
inline const QString OlderFormatRefused =
    QStringLiteral("The workbook is in the Excel 5.0/95 format and cannot be changed; save it as "
                   "an Excel 97-2003 workbook first");
inline const QString EncryptedRefused =
    QStringLiteral("The workbook is encrypted and cannot be changed");

// A copy of a workbook fixture in dir, named book.xls, for a test to change. A copy that fails
// fails the test.
inline QString copyOfFixture(const QTemporaryDir &dir, const QString &name) {
    const QString path = dir.filePath(QStringLiteral("book.xls"));
    QTest::qVerify(QFile::copy(fixture(name), path), "QFile::copy", qPrintable(name), __FILE__,
                   __LINE__);
    return path;
}

// A random value as a user might put it into a cell: numbers of every size, Chinese and Latin
// text, markup, texts long enough to run over CONTINUE records, the empty text, and nothing.
inline workbook::EditValue randomValue(QRandomGenerator &g) {
    switch (g.bounded(10)) {
    case 0:
        return double(g.bounded(-1000000, 1000000));
    case 1:
        return g.generateDouble() * 360 - 180;
    case 2:
        return 1e-5 * g.bounded(1, 100);
    case 3:
        return QStringLiteral("地点%1").arg(g.bounded(100));
    case 4:
        return QStringLiteral("<b>粗体</b>&amp; 😀 地图");
    case 5:
        return QString(QStringLiteral("长")).repeated(g.bounded(3000, 9000)); // across CONTINUEs
    case 6:
        return QString(QStringLiteral("Latin text ")).repeated(g.bounded(500, 1500));
    case 7:
        return g.bounded(2) ? QStringLiteral("café") : QString();
    default:
        return workbook::EditValue();
    }
}

inline QByteArray workbookStream(const QByteArray &fileBytes) {
    workbook::xls::CompoundFile file;
    if (!file.parse(fileBytes))
        return {};
    const workbook::xls::OleEntry *stream = file.root().child(QStringLiteral("Workbook"));
    return stream ? stream->data : QByteArray();
}

inline QByteArray fixtureStream(const QString &name) {
    return workbookStream(readFile(fixture(name)));
}

// A stream split into records and laid out, for checks at the record level.
struct Parsed {
    QByteArray stream;
    std::vector<workbook::xls::BiffRecord> records;
    workbook::xls::StreamLayout layout;

    explicit Parsed(const QByteArray &s) : stream(s) {
        workbook::xls::splitRecords(stream, records);
        layout = workbook::xls::readLayout(stream, records);
    }
    const workbook::xls::SheetSubstream &sheet1() const {
        return layout.sheets[size_t(layout.sheet1)];
    }
    const char *data(size_t i) const { return records[i].data(stream); }
    // Indices of the records of a type in [begin, end).
    std::vector<size_t> find(std::uint16_t type, int begin, int end) const {
        std::vector<size_t> out;
        for (int i = begin; i < end; ++i)
            if (records[size_t(i)].type == type)
                out.push_back(size_t(i));
        return out;
    }
    std::vector<size_t> inSheet1(std::uint16_t type) const {
        return find(type, sheet1().begin, sheet1().end);
    }
    std::vector<size_t> inGlobals(std::uint16_t type) const {
        return find(type, 0, layout.globalsEnd);
    }
};

} // namespace workbooktesting
