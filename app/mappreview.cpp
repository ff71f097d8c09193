// The map preview's window: its buttons, status line and picture save.
#include "app/mappreview.h"

#include "app/dialoghost.h"
#include "app/filedialog.h"
#include "app/mapcanvas.h"
#include "common/commanderror.h"
#include "common/replacingfile.h"
#include "kml/kmlbuffer.h"
#include "table/tablerows.h"
#include "table/tableview.h"

#include <QBuffer>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

MapPreview::MapPreview(DialogHost *host, QWidget *parent)
    : QWidget(parent, Qt::Window), m_ownHost(host ? nullptr : new QtDialogHost),
      m_host(host ? host : m_ownHost.get()) {
    setObjectName(QStringLiteral("MapPreview"));
    setWindowTitle(QStringLiteral("地图预览"));
    m_canvas = new MapCanvas(this);
    m_fit = new QPushButton(QStringLiteral("显示全部地标"), this);
    m_save = new QPushButton(QStringLiteral("保存图片"), this);
    m_status = new QLabel(this);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_fit);
    buttons->addWidget(m_save);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_canvas, 1);
    layout->addWidget(m_status);

    connect(m_fit, &QPushButton::clicked, m_canvas, &MapCanvas::fit);
    connect(m_save, &QPushButton::clicked, this, &MapPreview::saveImage);
    connect(m_canvas, &MapCanvas::sheetRowClicked, this, &MapPreview::sheetRowChosen);
    setTable(nullptr, table::TableOptions());
}

MapPreview::~MapPreview() = default;

void MapPreview::setTable(const table::TableView *table, const table::TableOptions &options,
                          const std::vector<table::PlacedRow> *rows,
                          const std::vector<table::Problem> *problems) {
    m_table = table;
    m_options = options;
    m_rows = rows;
    m_problems = problems;
    m_unread = true;
    if (isVisible()) {
        readTable();
    } else {
        // Nothing kept of a table that may go before the window is shown again.
        m_points = map::MapPoints();
        m_canvas->setPoints(&m_points);
    }
}

void MapPreview::readTable() {
    m_unread = false;
    if (!m_table)
        m_points = map::MapPoints();
    else if (m_rows && m_problems)
        m_points = map::MapPoints::of(*m_table, m_options, *m_rows, *m_problems);
    else
        m_points = map::MapPoints::of(*m_table, m_options);
    m_canvas->setPoints(&m_points);
    m_canvas->fit();
    m_status->setText(m_points.status());
}

void MapPreview::showEvent(QShowEvent *event) {
    if (m_unread)
        readTable();
    QWidget::showEvent(event);
}

void MapPreview::setCurrentSheetRow(int sheetRow) {
    m_canvas->showSheetRow(sheetRow);
}

void MapPreview::saveImage() {
    FileDialog dialog(FileDialogKind::Save, *m_host, this);
    dialog.Filter = QStringLiteral("PNG 图片(*.png)|*.png");
    dialog.DefaultExt = QStringLiteral("*.png");
    dialog.FileName = m_lastImage;
    if (!dialog.Execute())
        return;
    m_lastImage = dialog.FileName;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    m_canvas->frame().save(&buffer, "PNG");
    try {
        saveKmlFile(dialog.FileName, ".png.tmp",
                    [&](ReplacingFile &file) { return file.write(png.constData(), png.size()); });
    } catch (const CommandError &error) {
        m_host->showError(applicationTitle(), errorBoxText(error.message()));
    }
}
