// Opening a workbook and exporting its rows.
#include "sources/workbooksource.h"

#include "common/numtext.h"
#include "common/secondthread.h"
#include "kml/kmlbuffer.h"
#include "kml/kmldocument.h"
#include "kml/xmlsafe.h"
#include "sources/adoquery.h"
#include "sources/connectionstring.h"
#include "workbook/fieldtext.h"

#include <optional>
#include <vector>

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

// The fields of a record that make its placemark, by their position in the sheet.
enum PlacemarkField : int { Longitude = 0, Latitude = 1, Name = 2, Description = 3 };
// The order in which the export reads them, as the page's export always has.
constexpr PlacemarkField ReadOrder[] = {Longitude, Latitude, Description, Name};

// Below this many records a second thread costs more than it saves.
constexpr int ManyRecords = 4096;

// The placemarks of count records from records on, added to buffer, which shares the sheet's
// texts.
void addPlacemarks(const TADOQuery &query, const workbook::SheetData &sheet, KmlBuffer &buffer,
                   const int *records, int count) {
    // A number's text is digits, "-", "E" and the decimal separator: with a separator that
    // needs no care in XML, it needs no check either.
    const QChar separator = query.decimalSeparator();
    QString separatorStorage;
    const bool plainNumbers =
        xmlsafe::text(QStringView(&separator, 1), separatorStorage).data() == &separator;
    workbook::fieldtext::TextScratch texts[4];
    QString safe[4];
    QStringView values[4];
    for (int i = 0; i < count; ++i) {
        for (const PlacemarkField field : ReadOrder) {
            const workbook::Cell *cell = query.fieldCell(records[i], field);
            const QStringView text =
                workbook::fieldtext::cellTextView(sheet, cell, separator, texts[field]);
            if (field == Description)
                values[field] = xmlsafe::description(text, safe[field]);
            else if (plainNumbers && cell && cell->kind == workbook::CellKind::Number)
                values[field] = text;
            else
                values[field] = xmlsafe::text(text, safe[field]);
        }
        kml::addSafeFolderPlacemark(buffer, values[Description], values[Name], values[Longitude],
                                    values[Latitude]);
    }
}

} // namespace

void openWorkbook(TADOQuery &query, const QString &fileName) {
    query.Close();
    query.ConnectionString = connection::connectionString(fileName);
    query.SQL.clear();
    query.SQL.append(QString::fromUtf16(connection::SheetQuery));
    query.Open();
}

void exportFolder(TADOQuery &query, KmlBuffer &buffer, const QString &fileName,
                  KmlFileFormat format) {
    kml::beginFolder(buffer);
    ControlsDisabled quiet(query);
    query.First();
    const int count = query.RecordCount();
    if (count > 0) {
        // A missing field ends the export before its first placemark.
        for (const PlacemarkField field : ReadOrder)
            query.Fields(field);
        // The texts straight from the sheet: a text cell as it lies there, a number written
        // into a small buffer. The buffer shares the sheet's texts, so it stores only what is
        // not one of them: the numbers, and texts that had to be made safe.
        const workbook::SheetData &sheet = *query.sheet();
        buffer.shareText(sheet.strings.chars());
        buffer.reserve(buffer.count() + count + 1);
        buffer.reserveText(2 * qsizetype(count) * 24);
        // The records in the order the cursor visits them, the cursor left where it always was.
        std::vector<int> records(std::size_t(count), 0);
        for (int &record : records) {
            record = query.RecNo();
            query.Next();
        }
        // A long export's second half is made on a second thread, into a buffer of its own.
        const int half = count >= ManyRecords ? count / 2 : count;
        KmlBuffer second;
        std::optional<SecondThread> worker;
        if (half < count) {
            second.shareText(sheet.strings.chars());
            second.reserve(count - half);
            second.reserveText(2 * qsizetype(count - half) * 24);
            worker.emplace(
                [&] { addPlacemarks(query, sheet, second, records.data() + half, count - half); });
        }
        // A failure in the first half is the one the user sees, as when one thread does both.
        addPlacemarks(query, sheet, buffer, records.data(), half);
        if (worker) {
            worker->wait();
            buffer.append(second);
        }
    }
    kml::endFolder(buffer);
    buffer.SaveToFile(fileName, format);
}

} // namespace workbooksource
