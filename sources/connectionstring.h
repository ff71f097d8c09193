// The workbook query's connection string and query text, as the window builds them and as the
// query reads them back: which file, which sheet, and the provider's refusals of anything else.
#pragma once

#include <QString>

namespace connection {

inline constexpr char16_t SheetQuery[] = u"Select * from [sheet1$]";

// "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=<file>;Extended Properties=Excel 8.0". A file
// name that the connection string's syntax would cut (one holding ";", a quote, or blanks at
// either end) is quoted, so that every file can be opened.
QString connectionString(const QString &fileName);

// The parts of a connection string the query understands.
struct ConnectionSettings {
    QString provider;
    QString dataSource;
    QString extendedProperties;
};
// Key=value pairs separated by ";"; a value may be quoted with " or '. Keys without regard to
// case.
ConnectionSettings parseConnectionString(const QString &text);

// The sheet a query text selects from; throws CommandError when it is not "Select * from [x$]".
QString sheetOfQuery(const QString &text);

// What a connection string and query text name: the workbook file and the sheet.
struct Target {
    QString fileName;
    QString sheetName;
};
// Throws CommandError with the provider's message for another provider, a version that is not
// Excel's, a missing Data Source, or a query not understood.
Target targetOf(const QString &connectionString, const QString &queryText);

} // namespace connection
