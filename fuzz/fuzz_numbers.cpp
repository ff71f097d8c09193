// The number and coordinate readers on any text: the number reading rule with either decimal
// separator, degrees-minutes-seconds, XML's numbers and indexes, typed dates, error values and
// number formats; and the writers they pair with, whose texts must read back as the numbers
// they were (the first eight bytes taken as a double).
#include "fuzzsupport.h"

#include "common/commanderror.h"
#include "coords/dms.h"
#include "coords/numtext.h"
#include "workbook/fieldtext.h"
#include "workbook/numberformat.h"
#include "workbook/xml/xmlvalues.h"

#include <cmath>
#include <cstring>

namespace {

// Fifteen significant digits, as the writing rule keeps; in the reading rule's own range, as
// the largest doubles round up past the range of double.
bool closeEnough(long double read, double value) {
    return std::fabs(read - (long double)value) <= std::fabs((long double)value) * 1e-14L;
}

void readText(const QString &text) {
    long double value = 0;
    const bool ok = numtext::TextToFloat(text, value);
    try {
        const long double strict = numtext::StrToFloat(text);
        if (!ok || (strict != value && !(std::isnan(strict) && std::isnan(value))))
            fuzzing::finding(QStringLiteral("StrToFloat and TextToFloat disagree"));
    } catch (const CommandError &e) {
        if (ok)
            fuzzing::finding(QStringLiteral("StrToFloat refuses what TextToFloat reads"));
        if (e.message() != QStringLiteral("'%1' is not a valid floating point value").arg(text))
            fuzzing::finding(QStringLiteral("StrToFloat's message: ") + e.message());
    }

    const QStringList parts = text.split(u'\n');
    try {
        DmsToDecimal(parts.value(0), parts.value(1), parts.value(2));
    } catch (const CommandError &) {
    }

    if (const std::optional<double> serial = workbook::fieldtext::dateSerial(text, false))
        workbook::fieldtext::dateTime(*serial, false);
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

void writeAndReadBack(double value) {
    if (!std::isfinite(value))
        return;
    const QString text = numtext::FloatToStr(value);
    char16_t out[numtext::FloatTextCapacity];
    const char16_t *end = numtext::formatFloat(value, out);
    if (QStringView(out, end) != text)
        fuzzing::finding(QStringLiteral("formatFloat and FloatToStr disagree: ") + text);
    long double back = 0;
    if (!numtext::TextToFloat(text, back) || !closeEnough(back, value))
        fuzzing::finding(QStringLiteral("a number written does not read back: ") + text);
    workbook::fieldtext::number(value);
    workbook::fieldtext::currency(value);
    workbook::fieldtext::dateTime(value, false);

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
    numtext::setDecimalSeparator(size % 2 ? u',' : u'.');
    readText(text);
    readXml(raw);
    if (size >= 8) {
        double value;
        std::memcpy(&value, data, sizeof value);
        writeAndReadBack(value);
    }
    return 0;
}
