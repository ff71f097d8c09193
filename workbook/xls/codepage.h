// 8-bit text of Excel 5.0/95 workbooks, decoded from the workbook's code page with iconv.
#pragma once

#include <QString>

#include <memory>

namespace workbook::xls {

class CodePageDecoder {
public:
    // A Windows code page number as the CODEPAGE record gives it; an unknown one reads as 1252.
    explicit CodePageDecoder(int codePage = 1252);
    ~CodePageDecoder();
    CodePageDecoder(const CodePageDecoder &) = delete;
    CodePageDecoder &operator=(const CodePageDecoder &) = delete;

    // Bytes the code page cannot map become U+FFFD; nothing is dropped silently.
    QString decode(const char *bytes, std::size_t length);

private:
    struct Iconv;
    std::unique_ptr<Iconv> m_iconv;
    bool m_asciiCompatible = true;
};

// The iconv name of a Windows code page; empty when there is none.
const char *iconvName(int codePage);

} // namespace workbook::xls
