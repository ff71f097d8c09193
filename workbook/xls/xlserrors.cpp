// The .xls format's shared failure messages.
#include "workbook/xls/xlserrors.h"

#include "common/commanderror.h"

namespace workbook::xls {

void damaged(const QString &path, const char *why) {
    throw CommandError(
        QStringLiteral("The workbook \"%1\" is damaged: %2").arg(path, QString::fromLatin1(why)));
}

void damagedForWriting() {
    throw CommandError(QStringLiteral("The workbook is damaged and cannot be changed"));
}

void olderFormatForWriting() {
    throw CommandError(QStringLiteral("The workbook is in the Excel 5.0/95 format and cannot be "
                                      "changed; save it as an Excel 97-2003 workbook first"));
}

} // namespace workbook::xls
