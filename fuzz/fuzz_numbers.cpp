// The number and coordinate readers on any text: the number reading rule with either decimal
// separator, degrees-minutes-seconds, XML's numbers and indexes, typed dates, error values and
// number formats; and the writers they pair with, whose texts must read back as the numbers
// they were (the first eight bytes taken as a double).
#include "fuzzsupport.h"

#include "common/commanderror.h"
#include "common/numtext.h"
#include "coords/dms.h"
#include "workbook/fieldtext.h"
#include "workbook/numberformat.h"
#include "workbook/xml/xmlvalues.h"

#include <cmath>
#include <cstring>

namespace {

// Fifteen significant digits, as the writing rule keeps. The largest doubles are written as
// 1.79769313486232E308, past the range of double, and read back as infinite.
bool closeEnough(const numtext::Extended &read, double value) {
    const double back = toDouble(read);
    if (std::isinf(back))
        return std::fabs(value) >= 1.797693134862315e308 &&
               std::signbit(back) == std::signbit(value);
    return std::fabs(back - value) <= std::fabs(value) * 1e-14;
}

// The two readings alike, as the doubles the program keeps of them.
bool same(const numtext::Extended &a, const numtext::Extended &b) {
    const double x = toDouble(a), y = toDouble(b);
    return x == y || (std::isnan(x) && std::isnan(y));
}

void readText(const QString &text, QChar separator) {
    numtext::Extended value = 0;
    const bool ok = numtext::TextToFloat(text, separator, value);
    try {
        const numtext::Extended strict = numtext::StrToFloat(text, separator);
        if (!ok || !same(strict, value))
            fuzzing::finding(QStringLiteral("StrToFloat and TextToFloat disagree"));
    } catch (const CommandError &e) {
        if (ok)
            fuzzing::finding(QStringLiteral("StrToFloat refuses what TextToFloat reads"));
        if (e.message() != QStringLiteral("'%1' is not a valid floating point value").arg(text))
            fuzzing::finding(QStringLiteral("StrToFloat's message: ") + e.message());
    }

    const QStringList parts = text.split(u'\n');
    try {
        DmsToDecimal(parts.value(0), parts.value(1), parts.value(2), separator);
    } catch (const CommandError &) {
    }

    if (const std::optional<double> serial = workbook::fieldtext::dateSerial(text, false))
        workbook::fieldtext::dateTime(*serial, false, separator);
    workbook::fieldtext::dateSerial(text, true);
    workbook::fieldtext::errorCode(text);
    workbook::classifyFormatString(text);
}

void readXml(QByteArrayView raw) {
    double number = 0;
    const bool isNumber = workbook::xml::parseNumber(raw, number);
    std::uint32_t index = 0;
    if (workbook::xml::parseIndex(raw, index) && (!isNumber || number != double(index)))
        fuzzing::finding(QStringLiteral("an index that does not read as its number"));
    workbook::xml::isTrue(raw);
}

void writeAndReadBack(double value, QChar separator) {
    if (!std::isfinite(value))
        return;
    const QString text = numtext::FloatToStr(value, separator);
    char16_t out[numtext::FloatTextCapacity];
    const char16_t *end = numtext::formatFloat(value, separator, out);
    if (QStringView(out, end) != text)
        fuzzing::finding(QStringLiteral("formatFloat and FloatToStr disagree: ") + text);
    numtext::Extended back = 0;
    if (!numtext::TextToFloat(text, separator, back) || !closeEnough(back, value))
        fuzzing::finding(QStringLiteral("a number written does not read back: ") + text);
    workbook::fieldtext::number(value, separator);
    workbook::fieldtext::currency(value, separator);
    workbook::fieldtext::dateTime(value, false, separator);

    double xmlBack = 0;
    const QByteArray xmlText = workbook::xml::numberText(value);
    if (!workbook::xml::parseNumber(xmlText, xmlBack) || xmlBack != value)
        fuzzing::finding(QStringLiteral("an XML number does not read back: ") +
                         QString::fromLatin1(xmlText));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArrayView raw(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = QString::fromUtf8(raw);
    const QChar separator = size % 2 ? u',' : u'.';
    readText(text, separator);
    readXml(raw);
    if (size >= 8) {
        double value;
        std::memcpy(&value, data, sizeof value);
        writeAndReadBack(value, separator);
    }
    return 0;
}
