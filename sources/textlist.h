// The text-list page without its widgets: a text file read into the list, and the list's lines
// of "name(longitude,latitude)description" written as a KML folder document.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

class KmlBuffer;
enum class KmlFileFormat;

namespace textlist {

// The most the list holds, in UTF-16 code units: 2^28, so every text file of up to 256 MiB
// loads, whatever its encoding (no encoding takes fewer than one byte per code unit). That is
// some three million lines of typical points, far beyond any real list, and still well inside
// what the text box can address.
inline constexpr qsizetype Capacity = qsizetype(1) << 28;

inline constexpr char16_t CapacityExceeded[] = u"Text exceeds memo capacity";

// The code set of the user's locale, as nl_langinfo(CODESET) names it ("UTF-8", "GB18030"...).
QByteArray localeCodeset();

// A text file's bytes as text. A UTF-8, UTF-16LE or UTF-16BE byte-order mark selects that
// encoding and is dropped. Other bytes are read in codeset, except that under a UTF-8 (or
// plain ASCII) locale bytes that are not valid UTF-8 are read as GB18030. The text ends at the
// first zero character (a zero byte, or a zero code unit in UTF-16). Line breaks are kept.
QString decode(QByteArrayView bytes, const QByteArray &codeset);

// The text with every CR LF and lone CR turned into LF: LF CR stays two breaks.
QString withLineFeeds(QString text);

// The list text of a file: decoded, with LF line breaks. Throws CommandError when the file
// cannot be read, or when its text holds more than capacity code units.
QString readFile(const QString &fileName, const QByteArray &codeset = localeCodeset(),
                 qsizetype capacity = Capacity);

// One line cut at its first "(", first "," and first ")", each found over the whole line.
struct Pieces {
    QStringView name;
    QStringView longitude;
    QStringView latitude;
    QStringView description;
};
Pieces cutLine(QStringView line);

// True when one of the 8 code units at p may end a line: CR, LF or anything below them, U+2028
// or U+2029. Lines run to some eighty characters, so most blocks of 8 hold none.
inline bool mayEndLine8(const char16_t *p) {
#ifdef __SSE2__
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    const __m128i zero = _mm_setzero_si128();
    const __m128i control = _mm_cmpeq_epi16(_mm_subs_epu16(v, _mm_set1_epi16(u'\r')), zero);
    const __m128i separator =
        _mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(short(0xFFFE))), _mm_set1_epi16(0x2028));
    return _mm_movemask_epi8(_mm_or_si128(control, separator)) != 0;
#else
    for (int k = 0; k < 8; ++k) {
        if (p[k] <= u'\r' || (p[k] & 0xFFFE) == 0x2028)
            return true;
    }
    return false;
#endif
}

// Calls f(QStringView line) for each line of the list, first to last. CR LF, LF, CR and the
// text box's own separators (U+2029 between paragraphs, U+2028 within one) each end a line; a
// final empty line is not one, any other empty line is.
template <typename F> void forEachLine(QStringView text, F &&f) {
    const char16_t *p = text.utf16();
    const qsizetype n = text.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        while (i + 8 <= n && !mayEndLine8(p + i))
            i += 8;
        if (i >= n)
            break;
        const char16_t c = p[i];
        if (c > u'\r' && (c < 0x2028 || c > 0x2029))
            continue;
        if (c == u'\r') {
            f(text.sliced(start, i - start));
            if (i + 1 < n && p[i + 1] == u'\n')
                ++i;
            start = i + 1;
        } else if (c == u'\n' || c >= 0x2028) {
            f(text.sliced(start, i - start));
            start = i + 1;
        }
    }
    if (start < n)
        f(text.sliced(start));
}

// Clears the buffer and fills it with the folder document of the list: one placemark per line.
void fillFolder(KmlBuffer &buffer, QStringView list);

// Fills the buffer with the list's folder document and saves it in the format. Throws
// CommandError.
void exportTo(KmlBuffer &buffer, const QString &fileName, KmlFileFormat format, QStringView list);

} // namespace textlist
