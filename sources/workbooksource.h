// The workbook page's commands without their dialogs: open a workbook into the query, and
// write the open sheet's rows as a KML folder. The buttons and the benchmark both run these.
#pragma once

#include <QString>

class KmlBuffer;
class TADOQuery;

namespace workbooksource {

inline constexpr char16_t SheetQuery[] = u"Select * from [sheet1$]";

// "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=<file>;Extended Properties=Excel 8.0". A file
// name that the connection string's syntax would cut (one holding ";", a quote, or blanks at
// either end) is quoted, so that every file can be opened.
QString connectionString(const QString &fileName);

// Closes the query, gives it the file's connection string and the sheet query, and opens it.
// Throws CommandError; the query is then closed.
void openWorkbook(TADOQuery &query, const QString &fileName);

// Clears the buffer, adds the KML start line and "<Folder>", then from the first record one
// placemark per record (fields 0 longitude, 1 latitude, 3 description, 2 name), then
// "</Folder></kml>", and saves the buffer under the name. The cursor ends on the last record.
// Throws CommandError: on a closed query after the first two entries.
void exportFolder(TADOQuery &query, KmlBuffer &buffer, const QString &fileName);

} // namespace workbooksource
