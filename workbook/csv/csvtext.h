// A field's characters from its units, in the file's encoding, appended to a sheet's string pool
// without a copy of the whole file; and a written text in the file's encoding, with the first
// character that encoding cannot hold. GB18030 goes through the C library's iconv, as the text
// lists' code pages do.
#pragma once

#include "workbook/csv/csvdialect.h"
#include "workbook/sheetdata.h"

#include <QByteArray>
#include <QStringDecoder>
#include <QStringView>

#include <vector>

namespace workbook::csv {

class FieldDecoder {
public:
    explicit FieldDecoder(Encoding encoding);
    ~FieldDecoder();
    FieldDecoder(const FieldDecoder &) = delete;
    FieldDecoder &operator=(const FieldDecoder &) = delete;

    // Appends the characters of units begin to end of the text at data (after the mark).
    void append(StringPool &pool, const unsigned char *data, qsizetype begin, qsizetype end);

    // A field's text: its quotes taken away and doubled ones made one, then the rest of the
    // field after its closing quote as it stands.
    template <class Units> void appendField(StringPool &pool, const Units &u, FieldRange f) {
        if (!f.quoted) {
            append(pool, u.data, f.begin, f.end);
            return;
        }
        qsizetype from = f.begin + 1;
        for (qsizetype at = from; at < f.end; ++at) {
            if (u[at] != Quote)
                continue;
            if (at + 1 < f.end && u[at + 1] == Quote) {
                append(pool, u.data, from, at + 1);
                from = ++at + 1;
                continue;
            }
            append(pool, u.data, from, at);
            from = at + 1;
            break;
        }
        append(pool, u.data, from, f.end);
    }

private:
    Encoding m_encoding;
    QStringDecoder m_utf8;
    std::vector<char16_t> m_buffer;
    void *m_iconv = nullptr;
};

// A text as the file's encoding writes it; bad is the position of the first character it cannot
// hold (a lone surrogate, U+0000, anything GB18030 has no bytes for), -1 when there is none.
struct Encoded {
    QByteArray bytes;
    qsizetype bad = -1;
};
Encoded encodeText(QStringView text, Encoding encoding);

// The character at that position as messages name it: "U+00E9".
QString characterName(QStringView text, qsizetype at);

// Whether GB18030 bytes read into Unicode and written back give the same bytes.
bool gb18030RoundTrips(QByteArrayView bytes);

} // namespace workbook::csv
