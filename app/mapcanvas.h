// The map preview's view: the renderer's frame of the table's points, zoomed with the wheel or
// + and − about the pointer, dragged to pan, a point named on hover and its row chosen by a
// click.
#pragma once

#include "map/maprenderer.h"
#include "map/webmercator.h"

#include <QImage>
#include <QWidget>

namespace map {
class MapPoints;
}

class MapCanvas : public QWidget {
    Q_OBJECT

public:
    explicit MapCanvas(QWidget *parent = nullptr);

    // The points drawn (kept by the caller while shown; null for none).
    void setPoints(const map::MapPoints *points);
    void setCurrentSheetRow(int sheetRow);
    int currentSheetRow() const { return m_currentRow; }
    // Makes the row current and, when its mark lies outside the window, centres the map on it.
    void showSheetRow(int sheetRow);

    // The view round the points with a margin, the whole world without any; kept fitted as
    // the window's size changes until the user moves the map.
    void fit();
    const map::MapView &view() const { return m_view; }
    void setView(const map::MapView &view);
    // The frame as shown, drawn again if anything changed.
    const QImage &frame();
    // The row of the mark under a pixel of the frame, -1 for none.
    int rowAt(QPoint pixel);
    // What hovering over the row shows: its name and its row.
    QString hoverText(int sheetRow) const;

    QSize sizeHint() const override { return {800, 560}; }

Q_SIGNALS:
    void sheetRowClicked(int sheetRow);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void changed();
    void zoomAbout(QPointF pixel, double steps);

    const map::MapPoints *m_points = nullptr;
    map::MapRenderer m_renderer;
    map::MapView m_view;
    QImage m_frame;
    bool m_dirty = true;
    bool m_keepFitted = true;
    int m_currentRow = -1;
    QPoint m_pressed;
    QPoint m_last;
    bool m_dragging = false;
    bool m_pressing = false;
};
