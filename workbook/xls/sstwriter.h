// The shared string table (SST) of a workbook being edited: finds a string already there, or
// appends it after the last one, splitting it into CONTINUE records by the BIFF8 rules.
#pragma once

#include "workbook/xls/biffrecords.h"

#include <QHash>
#include <QString>

#include <vector>

namespace workbook::xls {

class SstWriter {
public:
    // first is the record index of the SST (its CONTINUE records follow it), or -1 when the
    // workbook has none. Throws CommandError when the table does not hold what it claims.
    SstWriter(const QByteArray &stream, const std::vector<BiffRecord> &records, int first);

    bool existed() const { return m_first >= 0; }
    int firstRecord() const { return m_first; }
    int endRecord() const { return m_end; } // after the last CONTINUE

    // The index of a plain string equal to text, appended if there is none.
    std::uint32_t indexOf(const QString &text);
    // The table's count of cells referring to it (cstTotal).
    void countReferences(int delta);

    bool headerChanged() const {
        return m_total != m_originalTotal || m_unique != m_originalUnique;
    }
    bool stringsAdded() const { return m_unique != m_originalUnique; }
    std::uint32_t total() const { return m_total; }
    std::uint32_t unique() const { return m_unique; }

    // What the appended strings add: bytes after the last existing record, then new records (for
    // a workbook without a table, the first of them is the SST, with a zero header to be set).
    const QByteArray &tail() const { return m_tail; }
    const std::vector<QByteArray> &newRecords() const { return m_new; }

    // Where string i starts: the ordinal of its record among SST and CONTINUE records (existing,
    // then new) and its offset in that record's data.
    struct Start {
        int record;
        std::uint32_t offset;
    };
    Start start(std::uint32_t i) const;

    // The text of string i; empty for an index past the end.
    QString text(std::uint32_t i) const;

private:
    struct Entry {
        int record;
        std::uint32_t offset;
        std::uint16_t length;
        bool plain; // neither rich-text runs nor phonetic data
    };

    // Checks every existing string; notes where each starts when given where.
    void walk(std::vector<Entry> *entries) const;
    const std::vector<Entry> &entries() const;
    // The bytes of the record with that ordinal, as it stands with appended strings.
    const char *recordData(int ordinal, int &length) const;
    int currentLength() const;
    void appendBytes(const char *p, int n);
    void startRecord();
    void appendString(const QString &text);

    const QByteArray &m_stream;
    const std::vector<BiffRecord> &m_records;
    int m_first = -1, m_end = -1;
    int m_originalCount = 0; // SST and CONTINUE records in the file
    std::uint32_t m_originalTotal = 0, m_originalUnique = 0, m_total = 0, m_unique = 0;
    mutable std::vector<Entry> m_entries; // once asked for
    mutable bool m_entriesKnown = false;
    QHash<QString, std::uint32_t> m_added;
    std::vector<QString> m_addedTexts;
    std::vector<Start> m_addedStarts;
    QByteArray m_tail;
    std::vector<QByteArray> m_new;
};

} // namespace workbook::xls
