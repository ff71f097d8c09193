// Code page text through iconv, with an RAII handle.
#include "workbook/xls/codepage.h"

#include <QByteArray>

#include <cerrno>
#include <iconv.h>
#include <vector>

namespace workbook::xls {

struct CodePageDecoder::Iconv {
    iconv_t handle = iconv_t(-1);
    ~Iconv() {
        if (handle != iconv_t(-1))
            iconv_close(handle);
    }
};

const char *iconvName(int codePage) {
    switch (codePage) {
    case 367:
        return "ASCII";
    case 437:
        return "CP437";
    case 720:
        return "CP720";
    case 737:
        return "CP737";
    case 775:
        return "CP775";
    case 850:
        return "CP850";
    case 852:
        return "CP852";
    case 855:
        return "CP855";
    case 857:
        return "CP857";
    case 858:
        return "CP858";
    case 860:
        return "CP860";
    case 861:
        return "CP861";
    case 862:
        return "CP862";
    case 863:
        return "CP863";
    case 864:
        return "CP864";
    case 865:
        return "CP865";
    case 866:
        return "CP866";
    case 869:
        return "CP869";
    case 874:
        return "CP874";
    case 932:
        return "CP932";
    case 936:
        return "CP936";
    case 949:
        return "CP949";
    case 950:
        return "CP950";
    case 1200:
        return "UTF-16LE";
    case 1250:
        return "CP1250";
    case 1251:
        return "CP1251";
    case 1252:
        return "CP1252";
    case 1253:
        return "CP1253";
    case 1254:
        return "CP1254";
    case 1255:
        return "CP1255";
    case 1256:
        return "CP1256";
    case 1257:
        return "CP1257";
    case 1258:
        return "CP1258";
    case 1361:
        return "JOHAB";
    case 10000:
        return "MACINTOSH";
    case 32768:
        return "MACINTOSH";
    case 32769:
        return "CP1252";
    case 65001:
        return "UTF-8";
    default:
        return nullptr;
    }
}

CodePageDecoder::CodePageDecoder(int codePage) : m_iconv(new Iconv) {
    const char *name = iconvName(codePage);
    if (name)
        m_iconv->handle = iconv_open("UTF-16LE", name);
    if (m_iconv->handle == iconv_t(-1))
        m_iconv->handle = iconv_open("UTF-16LE", "CP1252");
    else
        m_asciiCompatible = codePage != 1200;
}

CodePageDecoder::~CodePageDecoder() = default;

QString CodePageDecoder::decode(const char *bytes, std::size_t length) {
    if (m_asciiCompatible) {
        std::size_t i = 0;
        while (i < length && static_cast<unsigned char>(bytes[i]) < 0x80)
            ++i;
        if (i == length)
            return QString::fromLatin1(bytes, qsizetype(length));
    }
    if (m_iconv->handle == iconv_t(-1))
        return QString::fromLatin1(bytes, qsizetype(length));

    iconv(m_iconv->handle, nullptr, nullptr, nullptr, nullptr);
    std::vector<char> out(length * 4 + 8);
    QString result;
    char *in = const_cast<char *>(bytes);
    std::size_t inLeft = length;
    while (true) {
        char *outPtr = out.data();
        std::size_t outLeft = out.size();
        const std::size_t rc = iconv(m_iconv->handle, &in, &inLeft, &outPtr, &outLeft);
        const int err = errno;
        const std::size_t produced = out.size() - outLeft;
        result.append(reinterpret_cast<const QChar *>(out.data()), qsizetype(produced / 2));
        if (rc != std::size_t(-1))
            break;
        if (err == E2BIG)
            continue;
        // An invalid or incomplete sequence: mark it and go on after its first byte.
        result.append(QChar(QChar::ReplacementCharacter));
        if (inLeft == 0)
            break;
        ++in;
        --inLeft;
        iconv(m_iconv->handle, nullptr, nullptr, nullptr, nullptr);
        if (inLeft == 0)
            break;
    }
    return result;
}

} // namespace workbook::xls
