// The workbook engine's shared messages.
#include "workbook/workbookerrors.h"

#include "common/commanderror.h"
#include "workbook/sheetchange.h"

namespace workbook {

void damage(const QString &why) {
    throw DamagedFile(why);
}

void damage(const char *why) {
    throw DamagedFile(QString::fromLatin1(why));
}

QString notWellFormed(QByteArrayView part, const QString &error) {
    return QStringLiteral("its part \"%1\" is not well-formed XML (%2)")
        .arg(QString::fromUtf8(part.data(), part.size()), error);
}

void textTooLong() {
    damage("a cell holds a text longer than any sheet holds");
}

void damaged(const QString &path, const QString &why) {
    throw CommandError(QStringLiteral("The workbook \"%1\" is damaged: %2").arg(path, why));
}

void damaged(const QString &path, const char *why) {
    damaged(path, QString::fromLatin1(why));
}

void protectedByPassword(const QString &path) {
    throw CommandError(
        QStringLiteral("The workbook \"%1\" is protected by a password and cannot be read")
            .arg(path));
}

void noSuchSheet(const QString &path, const QString &sheetName) {
    throw CommandError(
        QStringLiteral("The workbook \"%1\" has no sheet named \"%2\"").arg(path, sheetName));
}

void notAWorksheet(const QString &path, const QString &sheetName) {
    throw CommandError(QStringLiteral("The sheet \"%1\" of the workbook \"%2\" is a chart or macro "
                                      "sheet, not a worksheet")
                           .arg(sheetName, path));
}

void damagedForWriting() {
    throw CommandError(QStringLiteral("The workbook is damaged and cannot be changed"));
}

void encryptedForWriting() {
    throw CommandError(QStringLiteral("The workbook is encrypted and cannot be changed"));
}

void noSheet1ForWriting() {
    throw CommandError(QStringLiteral("The workbook has no worksheet named sheet1"));
}

void writtenDiffers(int row, int column, const QString &found, const QString &expected) {
    throw CommandError(QStringLiteral("The workbook cannot be changed safely: cell %1 of sheet1 "
                                      "would read back as %2 instead of %3")
                           .arg(cellName(row, column), found, expected));
}

void unreadableAfterWriting() {
    throw CommandError(QStringLiteral("The workbook cannot be changed safely: it would not open "
                                      "again after the change"));
}

void noLongerThere(const QString &path) {
    throw CommandError(QStringLiteral("The workbook \"%1\" no longer exists; it was moved or "
                                      "deleted since it was opened or last refreshed")
                           .arg(displayPath(path)));
}

void changedOnDisk(const QString &path) {
    throw CommandError(QStringLiteral("The workbook \"%1\" was changed by another program since "
                                      "it was opened or last refreshed. Refresh the data, then "
                                      "make the change again")
                           .arg(displayPath(path)));
}

} // namespace workbook
