// Number format classification. Literal text ("..."), escaped characters (\x), padding (_x, *x)
// and bracketed colours, conditions and locale tags say nothing about the kind of value, so they
// are removed before looking for date letters; elapsed times ([h], [mm], [ss]) are kept. A
// currency symbol counts wherever it stands: bare, escaped, quoted or in a [$sym-xxxx] tag.
#include "workbook/numberformat.h"

namespace workbook {

namespace {

bool isCurrencySymbol(QChar c) {
    switch (c.unicode()) {
    case u'$':
    case u'¥':
    case u'￥':
    case u'€':
    case u'£':
        return true;
    default:
        return false;
    }
}

bool isElapsed(const QString &inside) {
    if (inside.isEmpty())
        return false;
    const QChar first = inside.front().toLower();
    if (first != u'h' && first != u'm' && first != u's')
        return false;
    for (QChar c : inside)
        if (c.toLower() != first)
            return false;
    return true;
}

} // namespace

NumberClass classifyFormatString(const QString &format) {
    QString reduced;
    bool currency = false;
    const qsizetype n = format.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = format[i];
        if (c == u'"') {
            // A quoted symbol is money too: Excel writes its currency formats this way in
            // Chinese locales ("¥"#,##0.00).
            const qsizetype end = format.indexOf(u'"', i + 1);
            for (qsizetype k = i + 1; k < (end < 0 ? n : end); ++k)
                currency = currency || isCurrencySymbol(format[k]);
            i = end < 0 ? n : end;
        } else if (c == u'\\' || c == u'_' || c == u'*') {
            if (c == u'\\' && i + 1 < n && isCurrencySymbol(format[i + 1]))
                currency = true;
            ++i;
        } else if (c == u'[') {
            const qsizetype end = format.indexOf(u']', i + 1);
            const QString inside = format.mid(i + 1, end < 0 ? -1 : end - i - 1);
            // [$€-407] carries a symbol; [$-804] only a locale.
            if (inside.startsWith(u'$') && inside.size() > 1 && inside[1] != u'-')
                currency = true;
            if (isElapsed(inside))
                reduced += inside;
            i = end < 0 ? n : end;
        } else if (isCurrencySymbol(c)) {
            currency = true;
        } else {
            reduced += c;
        }
    }
    const QString lower = reduced.toLower();
    if (lower == u"general" || lower == u"@")
        return NumberClass::Plain;
    int dateLetters = 0;
    int digitPlaces = 0;
    for (QChar c : lower) {
        switch (c.unicode()) {
        case u'y':
        case u'm':
        case u'd':
        case u'h':
        case u's':
            ++dateLetters;
            break;
        case u'0':
        case u'#':
        case u'?':
            ++digitPlaces;
            break;
        default:
            break;
        }
    }
    // "0.00E+00" has an "e" but no date letter; "General" none either.
    if (dateLetters > digitPlaces)
        return NumberClass::Date;
    return currency ? NumberClass::Currency : NumberClass::Plain;
}

NumberClass classifyBuiltInFormat(int index) {
    if ((index >= 14 && index <= 22) || (index >= 45 && index <= 47) ||
        (index >= 27 && index <= 36) || (index >= 50 && index <= 58))
        return NumberClass::Date;
    if ((index >= 5 && index <= 8) || index == 42 || index == 44)
        return NumberClass::Currency;
    return NumberClass::Plain;
}

} // namespace workbook
