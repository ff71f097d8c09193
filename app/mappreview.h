// The map preview, "地图预览": a window of its own beside the table page, not modal, showing
// the table's points as the KML will place them. The page gives it the table and its current
// row; the window tells the page the row a click chose.
#pragma once

#include "map/mappoints.h"
#include "table/tablerows.h"

#include <QWidget>

#include <memory>

class DialogHost;
class MapCanvas;
class QLabel;
class QPushButton;

namespace table {
class TableView;
}

class MapPreview : public QWidget {
    Q_OBJECT

public:
    // host asks where the picture goes; the standard dialogs when null. With a parent the
    // window still stands on its own, closed with it.
    explicit MapPreview(DialogHost *host = nullptr, QWidget *parent = nullptr);
    ~MapPreview() override;

    // The table read with the options and shown fitted; null for none. The table stays alive
    // until the next call. While the window is hidden the reading waits until it is shown, so
    // that a page whose map is closed does not read a million rows at each change.
    // rows and problems, when given, are what table::placeRows gave for the options, kept by the
    // caller as long as the table, so that they are not read again.
    void setTable(const table::TableView *table, const table::TableOptions &options,
                  const std::vector<table::PlacedRow> *rows = nullptr,
                  const std::vector<table::Problem> *problems = nullptr);
    // Highlights the row, given as a sheet row (-1 for none), and brings its mark into sight.
    void setCurrentSheetRow(int sheetRow);
    // Writes the current view as PNG where the user chooses.
    void saveImage();

    const map::MapPoints &points() const { return m_points; }
    MapCanvas *canvas() const { return m_canvas; }
    QPushButton *fitButton() const { return m_fit; }
    QPushButton *saveButton() const { return m_save; }
    QLabel *statusLabel() const { return m_status; }

Q_SIGNALS:
    // The user clicked the row's mark.
    void sheetRowChosen(int sheetRow);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void readTable();

    std::unique_ptr<DialogHost> m_ownHost;
    DialogHost *m_host;
    const table::TableView *m_table = nullptr;
    table::TableOptions m_options;
    const std::vector<table::PlacedRow> *m_rows = nullptr;
    const std::vector<table::Problem> *m_problems = nullptr;
    bool m_unread = false;
    map::MapPoints m_points;
    MapCanvas *m_canvas;
    QPushButton *m_fit;
    QPushButton *m_save;
    QLabel *m_status;
    QString m_lastImage;
};
