// Opening a workbook and exporting its rows.
#include "sources/workbooksource.h"

#include "kml/kmlbuffer.h"
#include "kml/kmldocument.h"
#include "sources/adoquery.h"

namespace workbooksource {

namespace {

// Suspends the query's announcements for the length of an export: the grid need not follow
// every step, only the last.
class ControlsDisabled {
public:
    explicit ControlsDisabled(TADOQuery &query) : m_query(query) { m_query.DisableControls(); }
    ~ControlsDisabled() { m_query.EnableControls(); }
    ControlsDisabled(const ControlsDisabled &) = delete;
    ControlsDisabled &operator=(const ControlsDisabled &) = delete;

private:
    TADOQuery &m_query;
};

bool needsQuotes(const QString &value) {
    return value.contains(u';') || value.contains(u'"') || value.contains(u'\'') ||
           (!value.isEmpty() && (value.front().isSpace() || value.back().isSpace()));
}

} // namespace

QString connectionString(const QString &fileName) {
    QString source = fileName;
    if (needsQuotes(source))
        source = u'"' + QString(source).replace(u'"', QStringLiteral("\"\"")) + u'"';
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0; Data Source=") + source +
           QStringLiteral(";Extended Properties=Excel 8.0");
}

void openWorkbook(TADOQuery &query, const QString &fileName) {
    query.Close();
    query.ConnectionString = connectionString(fileName);
    query.SQL.clear();
    query.SQL.append(QString::fromUtf16(SheetQuery));
    query.Open();
}

void exportFolder(TADOQuery &query, KmlBuffer &buffer, const QString &fileName) {
    kml::beginFolder(buffer);
    ControlsDisabled quiet(query);
    query.First();
    const int count = query.RecordCount();
    if (count > 0) {
        buffer.reserve(buffer.count() + count + 1);
        for (int i = 0; i < count; ++i) {
            const QString x = query.Fields(0).AsString();
            const QString y = query.Fields(1).AsString();
            const QString d = query.Fields(3).AsString();
            const QString n = query.Fields(2).AsString();
            buffer.Add(kml::folderPlacemarkEntry(d, n, x, y));
            query.Next();
        }
    }
    kml::endFolder(buffer);
    buffer.SaveToFile(fileName);
}

} // namespace workbooksource
