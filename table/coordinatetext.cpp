// Coordinates as people write them: decimal degrees or degrees, minutes and seconds, with a sign
// or a hemisphere.
#include "table/coordinatetext.h"

#include <QVarLengthArray>

#include <charconv>

namespace table {

namespace {

bool isBlank(QChar c) {
    return c.isSpace();
}

enum class Unit { None = -1, Degrees = 0, Minutes = 1, Seconds = 2 };

// The mark at text[at], and its length; Unit::None when there is none.
Unit markAt(QStringView text, qsizetype at, qsizetype &length) {
    length = 1;
    switch (text[at].unicode()) {
    case u'°':
    case u'º':
    case u'˚':
    case u'度':
    case u'd':
    case u'D':
        return Unit::Degrees;
    case u'\'':
        if (at + 1 < text.size() && text[at + 1] == u'\'') {
            length = 2;
            return Unit::Seconds;
        }
        return Unit::Minutes;
    case u'′':
    case u'’':
    case u'分':
    case u'm':
    case u'M':
        return Unit::Minutes;
    case u'″':
    case u'"':
    case u'”':
    case u'秒':
    case u's':
        return Unit::Seconds;
    default:
        return Unit::None;
    }
}

struct Hemisphere {
    Axis axis = Axis::Either;
    bool negative = false;
};

// A hemisphere word or letter at the start (prefix) or the end of text; its length, 0 if none.
qsizetype hemisphereAt(QStringView text, bool prefix, Hemisphere &h) {
    static const struct {
        const char16_t *word;
        Axis axis;
        bool negative;
    } words[] = {{u"北纬", Axis::Latitude, false},
                 {u"南纬", Axis::Latitude, true},
                 {u"东经", Axis::Longitude, false},
                 {u"西经", Axis::Longitude, true}};
    // Each word is two characters: compared as such, without a string comparison per word.
    if (text.size() >= 2) {
        const qsizetype at = prefix ? 0 : text.size() - 2;
        for (const auto &w : words)
            if (text[at] == w.word[0] && text[at + 1] == w.word[1]) {
                h = {w.axis, w.negative};
                return 2;
            }
    }
    if (text.isEmpty())
        return 0;
    switch ((prefix ? text.front() : text.back()).unicode()) {
    case u'N':
    case u'n':
        h = {Axis::Latitude, false};
        return 1;
    case u'S': // a lower-case s is a seconds mark
        h = {Axis::Latitude, true};
        return 1;
    case u'E':
    case u'e':
        h = {Axis::Longitude, false};
        return 1;
    case u'W':
    case u'w':
        h = {Axis::Longitude, true};
        return 1;
    default:
        return 0;
    }
}

QStringView trimmed(QStringView text) {
    return text.trimmed();
}

// A number of digits with an optional point followed by digits, at text[at]; its value.
bool numberAt(QStringView text, qsizetype &at, double &value, bool &hasPoint) {
    QVarLengthArray<char, 32> ascii;
    const qsizetype start = at;
    while (at < text.size() && text[at] >= u'0' && text[at] <= u'9')
        ascii.append(char(text[at++].unicode()));
    if (at == start)
        return false;
    hasPoint = at < text.size() && text[at] == u'.';
    if (hasPoint) {
        ascii.append('.');
        const qsizetype digits = ++at;
        while (at < text.size() && text[at] >= u'0' && text[at] <= u'9')
            ascii.append(char(text[at++].unicode()));
        if (at == digits)
            return false; // "116."
    }
    const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    return error == std::errc() && end == ascii.data() + ascii.size();
}

// The degrees of a body without sign or hemisphere: one to three parts, each marked in order,
// the last of which may leave out its mark, or separated by blanks or ":" only.
bool readBody(QStringView body, double &degrees) {
    double parts[3] = {0, 0, 0};
    Unit units[3] = {Unit::None, Unit::None, Unit::None};
    bool points[3] = {false, false, false};
    int count = 0;
    bool colon = false, marked = false;
    qsizetype at = 0;
    while (at < body.size()) {
        if (count > 0) {
            const qsizetype before = at;
            while (at < body.size() && isBlank(body[at]))
                ++at;
            if (at < body.size() && body[at] == u':') {
                colon = true;
                ++at;
                while (at < body.size() && isBlank(body[at]))
                    ++at;
            } else if (at == before && units[count - 1] == Unit::None) {
                return false; // two parts run together
            }
        }
        if (count == 3 || !numberAt(body, at, parts[count], points[count]))
            return false;
        if (at < body.size()) {
            qsizetype length = 0;
            units[count] = markAt(body, at, length);
            if (units[count] != Unit::None) {
                marked = true;
                at += length;
            }
        }
        ++count;
    }
    if (count == 0 || (marked && colon))
        return false;
    for (int i = 0; i < count; ++i) {
        if (points[i] && i != count - 1)
            return false; // only the last part has decimals
        Unit expected = Unit(i);
        if (marked) {
            if (i > 0 && units[i - 1] != Unit::None)
                expected = Unit(int(units[i - 1]) + 1);
            if (units[i] == Unit::None && i != count - 1)
                return false; // only the last part leaves out its mark
            if (units[i] != Unit::None && units[i] != expected)
                return false;
            if (int(expected) > 2)
                return false;
            units[i] = expected;
        } else {
            units[i] = expected;
        }
    }
    double d = 0, m = 0, s = 0;
    for (int i = 0; i < count; ++i) {
        if (units[i] == Unit::Degrees)
            d = parts[i];
        else if (units[i] == Unit::Minutes)
            m = parts[i];
        else
            s = parts[i];
    }
    if (m >= 60 || s >= 60)
        return false;
    degrees = d + m / 60 + s / 3600;
    return true;
}

} // namespace

QString foldToAscii(QStringView text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0xFF01 && u <= 0xFF5E)
            out += QChar(char16_t(u - 0xFF01 + 0x21));
        else if (u == 0x3000)
            out += u' ';
        else if (u == 0x2212)
            out += u'-';
        else
            out += c;
    }
    // U+FF0D folds to "-" above.
    return out.trimmed();
}

QStringView foldToAscii(QStringView text, QString &storage) {
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= 0xFF01 && u <= 0xFF5E) || u == 0x3000 || u == 0x2212) {
            storage = foldToAscii(text);
            return storage;
        }
    }
    return text.trimmed();
}

Coordinate readCoordinate(QStringView text, Axis axis) {
    QString storage;
    QStringView rest = foldToAscii(text, storage);
    Coordinate out;

    QChar sign;
    auto takeSign = [&] {
        if (!rest.isEmpty() && (rest.front() == u'+' || rest.front() == u'-') && sign.isNull()) {
            sign = rest.front();
            rest = trimmed(rest.mid(1));
            return true;
        }
        return false;
    };
    takeSign();
    Hemisphere h;
    bool hasHemisphere = false;
    if (const qsizetype n = hemisphereAt(rest, true, h)) {
        rest = trimmed(rest.mid(n));
        hasHemisphere = true;
        takeSign();
    }
    if (Hemisphere after; const qsizetype n = hemisphereAt(rest, false, after)) {
        if (hasHemisphere)
            return out;
        h = after;
        hasHemisphere = true;
        rest = trimmed(rest.left(rest.size() - n));
    }
    if (hasHemisphere) {
        if (sign == u'-')
            return out;
        if (axis != Axis::Either && h.axis != axis)
            return out;
    }

    double degrees = 0;
    bool read = readBody(rest, degrees);
    if (!read && rest.count(u',') == 1 && !rest.contains(u'.')) {
        // A decimal comma, in decimal degrees only.
        QString withPoint = rest.toString();
        withPoint.replace(u',', u'.');
        qsizetype at = 0;
        double value = 0;
        bool point = false;
        QStringView number(withPoint);
        if (numberAt(number, at, value, point)) {
            qsizetype length = 0;
            if (at == number.size() ||
                (at + 1 == number.size() && markAt(number, at, length) == Unit::Degrees)) {
                degrees = value;
                read = true;
            }
        }
    }
    if (!read)
        return out;
    out.ok = true;
    out.value = (sign == u'-' || (hasHemisphere && h.negative)) ? -degrees : degrees;
    out.hemisphere = hasHemisphere ? h.axis : Axis::Either;
    return out;
}

bool splitCoordinatePair(QStringView text, QString &first, QString &second) {
    const QString folded = foldToAscii(text);
    auto take = [&](qsizetype at, qsizetype length) {
        first = folded.left(at).trimmed();
        second = folded.mid(at + length).trimmed();
        return !first.isEmpty() && !second.isEmpty();
    };
    if (const qsizetype semicolon = folded.indexOf(u';'); semicolon >= 0)
        return folded.count(u';') == 1 && take(semicolon, 1);
    if (folded.count(u',') == 1)
        return take(folded.indexOf(u','), 1);
    qsizetype found = -1, foundLength = 0;
    for (qsizetype at = 0; at < folded.size();) {
        if (!isBlank(folded[at])) {
            ++at;
            continue;
        }
        qsizetype end = at;
        while (end < folded.size() && isBlank(folded[end]))
            ++end;
        if (readCoordinate(QStringView(folded).left(at)).ok &&
            readCoordinate(QStringView(folded).mid(end)).ok) {
            if (found >= 0)
                return false; // two places: which is meant cannot be told
            found = at;
            foundLength = end - at;
        }
        at = end;
    }
    return found >= 0 && take(found, foundLength);
}

} // namespace table
