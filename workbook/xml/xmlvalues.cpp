// Numbers read with std::from_chars in the C locale, whatever the program's locale says.
#include "workbook/xml/xmlvalues.h"

#include <charconv>
#include <system_error>

namespace workbook::xml {

QByteArrayView trimmed(QByteArrayView v) {
    auto blank = [](char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; };
    while (!v.isEmpty() && blank(v.front()))
        v = v.sliced(1);
    while (!v.isEmpty() && blank(v.back()))
        v.chop(1);
    return v;
}

bool parseNumber(QByteArrayView raw, double &value) {
    raw = trimmed(raw);
    if (!raw.isEmpty() && raw.front() == '+')
        raw = raw.sliced(1);
    if (raw.isEmpty())
        return false;
    const auto r = std::from_chars(raw.data(), raw.data() + raw.size(), value);
    return r.ec == std::errc() && r.ptr == raw.data() + raw.size();
}

bool parseIndex(QByteArrayView raw, std::uint32_t &value) {
    raw = trimmed(raw);
    const auto r = std::from_chars(raw.data(), raw.data() + raw.size(), value);
    return r.ec == std::errc() && r.ptr == raw.data() + raw.size() && !raw.isEmpty();
}

bool isTrue(QByteArrayView raw) {
    raw = trimmed(raw);
    return raw == "1" || raw == "true";
}

QByteArray numberText(double value) {
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QByteArray(buffer, r.ptr - buffer);
}

} // namespace workbook::xml
