// The any-table export's command: its options as the command line gives them, checked for
// form, and its handler.
#pragma once

#include <QString>

// Where a table's coordinates come from. Each column is named by its heading or by its letter
// ("C", "AB"); an empty name leaves the choice of that role to the table engine.
struct TableCommand {
    enum class CoordsOrder { LatLon, LonLat };
    enum class Datum { Wgs84, Gcj02, Bd09 };

    QString input;
    QString output; // empty only with showRoles
    QString sheet;
    QString lon;
    QString lat;
    QString coords;
    CoordsOrder coordsOrder = CoordsOrder::LatLon;
    bool coordsOrderGiven = false;
    QString name;
    QString description;
    QString category;
    QString altitude;
    QString time;
    Datum datum = Datum::Wgs84;
    bool extendedData = true;
    QString problems; // a TSV file for the rows left out and the warnings; empty for none
    bool overwrite = false;
    bool showRoles = false; // print the roles chosen and exit
};

// Runs the command; returns the program's exit status.
int runTable(const TableCommand &command);
