// Helpers shared by the workbook write-back tests: fixtures, the Workbook stream of a file,
// sheet1's records, and the exact message of a refusal.
#pragma once

#include "common/commanderror.h"
#include "workbook/xls/biffrecords.h"
#include "workbook/xls/compoundfile.h"
#include "workbook/xls/streamlayout.h"

#include <QFile>
#include <QString>

#include <functional>
#include <vector>

namespace workbooktesting {

inline QString fixture(const QString &name) {
    return QStringLiteral(KML_TEST_DATA "/workbooks/") + name;
}

inline QByteArray readFile(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
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

// The exact message of the CommandError the call throws; empty when it throws none.
inline QString errorOf(const std::function<void()> &f) {
    try {
        f();
    } catch (const CommandError &e) {
        return e.message();
    }
    return QString();
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
