// The workbook page's commands without their dialogs: open a workbook into the query, and
// write the open sheet's rows as a KML folder. The buttons and the benchmark both run these.
#pragma once

#include <QString>

class KmlBuffer;
enum class KmlFileFormat;
class TADOQuery;

namespace workbooksource {

// Closes the query, gives it the file's connection string and the sheet query, and opens it.
// Throws CommandError; the query is then closed.
void openWorkbook(TADOQuery &query, const QString &fileName);

// Clears the buffer, adds the KML start line and "<Folder>", then from the first record one
// placemark per record (fields 0 longitude, 1 latitude, 3 description, 2 name), then
// "</Folder></kml>", and saves the buffer under the name in the format. The cursor ends on the
// last record. Throws CommandError: on a closed query after the first two entries.
void exportFolder(TADOQuery &query, KmlBuffer &buffer, const QString &fileName,
                  KmlFileFormat format);

} // namespace workbooksource
