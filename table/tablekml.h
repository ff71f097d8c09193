// A table's placemarks as a UTF-8 KML 2.2 document: a style per category (or one for all), a
// folder per category in order of first appearance, and in each placemark its name,
// description, time, style, the other columns as extended data and the point.
#pragma once

#include "table/tablerows.h"

#include <QByteArrayView>
#include <QString>

#include <functional>
#include <vector>

namespace table {

class TableView;

// What a table made: placemarks written and the problems of the rows (those that left a row
// out, and the warnings).
struct TableResult {
    qint64 placemarks = 0;
    std::vector<Problem> problems;

    qint64 rowsLeftOut() const;
    qint64 warnings() const;
};

// The colour of the n-th category (from 0) as KML writes it, aabbggrr: twelve colours told
// apart on satellite imagery, then steps of the golden ratio round the hue circle.
QString categoryColour(int n);

// Told how far a write has come, from 0 to 1, now and then; false stops it.
using WriteProgress = std::function<bool(double)>;

// Writes the document to sink in pieces (false from sink or progress stops the writing and
// returns false). documentName is the <Document>'s name ("book.xlsx: Sheet2").
bool writeTableKml(const TableView &table, const TableOptions &options, const QString &documentName,
                   const std::function<bool(QByteArrayView)> &sink, TableResult &result,
                   const WriteProgress &progress = {});

// How the placemarks' text is made: in pieces of this many placemarks, on this many threads (1
// or 2), each piece handed to sink whole and progress told after each; of each placemark's texts
// (name, description, then the extended data's) the first textsAhead found before any is
// written, in row order, the rest as they are written. The document is the same whatever they
// are.
struct KmlMaking {
    int threads = 2;
    int placemarksPerPiece = 4096;
    int textsAhead = 8;
};

bool writeTableKml(const TableView &table, const TableOptions &options, const QString &documentName,
                   const std::function<bool(QByteArrayView)> &sink, TableResult &result,
                   const WriteProgress &progress, const KmlMaking &making);

} // namespace table
