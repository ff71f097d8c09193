// Builds small BIFF8 workbooks record by record in memory, for reader tests that need a file
// no program writes: damaged records, stale offsets, extreme cell positions.
#pragma once

#include "workbook/xls/compoundfile.h"

#include <QByteArray>
#include <QString>
#include <QtEndian>

#include <cstdint>

namespace biff {

inline QByteArray u16(std::uint16_t v) {
    QByteArray b(2, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

inline QByteArray u32(std::uint32_t v) {
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

inline QByteArray record(std::uint16_t type, const QByteArray &data) {
    return u16(type) + u16(std::uint16_t(data.size())) + data;
}

inline QByteArray bof(std::uint16_t kind) {
    return record(0x0809, u16(0x0600) + u16(kind) + QByteArray(12, '\0'));
}

inline QByteArray eof() {
    return record(0x000A, QByteArray());
}

inline QByteArray cell(std::uint16_t type, std::uint16_t row, std::uint16_t col,
                       const QByteArray &payload) {
    return record(type, u16(row) + u16(col) + u16(0) + payload);
}

inline QByteArray number(std::uint16_t row, std::uint16_t col, double v) {
    QByteArray b(8, '\0');
    qToLittleEndian(v, b.data());
    return cell(0x0203, row, col, b);
}

inline QByteArray label(std::uint16_t row, std::uint16_t col, const QString &text) {
    QByteArray chars(text.size() * 2, '\0');
    qToLittleEndian<quint16>(text.utf16(), text.size(), chars.data());
    return cell(0x0204, row, col, u16(std::uint16_t(text.size())) + '\x01' + chars);
}

// A workbook whose globals name one worksheet "Sheet1" holding the given records; the sheet
// offset is right unless told otherwise.
inline QByteArray workbookStream(const QByteArray &sheetRecords, const QByteArray &globals = {},
                                 std::int64_t offsetShift = 0) {
    const QByteArray name = QByteArray("\x06\x00", 2) + "Sheet1";
    const QByteArray head = bof(0x0005) + globals;
    const qsizetype boundLength = 4 + 6 + name.size();
    const auto offset = std::uint32_t(head.size() + boundLength + 4 + offsetShift);
    return head + record(0x0085, u32(offset) + u16(0) + name) + eof() + bof(0x0010) + sheetRecords +
           eof();
}

inline QByteArray compoundFile(const QByteArray &stream, const QString &name = "Workbook") {
    workbook::xls::CompoundFile file;
    file.root().isStorage = true;
    workbook::xls::OleEntry entry;
    entry.name = name;
    entry.data = stream;
    file.root().children.push_back(entry);
    return file.serialize();
}

} // namespace biff
