// The map view's drawing and its mouse and keys.
#include "app/mapcanvas.h"

#include "map/land.h"
#include "map/mappoints.h"

#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <optional>

namespace {
// The empty frame round the points when fitted, in pixels.
const int FitMargin = 40;
// Pixels a press may move and still be a click.
const int DragThreshold = 4;
} // namespace

MapCanvas::MapCanvas(QWidget *parent) : QWidget(parent), m_renderer(map::Land::builtIn()) {
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 150);
}

void MapCanvas::setPoints(const map::MapPoints *points) {
    m_points = points;
    changed();
}

void MapCanvas::setCurrentSheetRow(int sheetRow) {
    if (sheetRow == m_currentRow)
        return;
    m_currentRow = sheetRow;
    changed();
}

void MapCanvas::showSheetRow(int sheetRow) {
    setCurrentSheetRow(sheetRow);
    const std::optional<QPointF> place = m_points ? m_points->placeOf(sheetRow) : std::nullopt;
    if (!place)
        return;
    m_view.setSize(size());
    // Kept where it is when already in sight, clear of the edges.
    if (rect().adjusted(20, 20, -20, -20).contains(m_view.toPixel(*place).toPoint()))
        return;
    m_view.panBy(QPointF(width() / 2.0, height() / 2.0) - m_view.toPixel(*place));
    m_keepFitted = false;
    changed();
}

void MapCanvas::fit() {
    const std::optional<QRectF> bounds = m_points ? m_points->bounds() : std::nullopt;
    // The legend's side kept clear too.
    const int legend = m_points ? map::MapRenderer::legendSize(*m_points, true).width() + 16 : 0;
    m_view = bounds ? map::MapView::fitted(
                          size(), *bounds,
                          QMargins(FitMargin, FitMargin, std::max(FitMargin, legend), FitMargin))
                    : map::MapView::wholeWorld(size());
    m_keepFitted = true;
    changed();
}

void MapCanvas::setView(const map::MapView &view) {
    m_view = view;
    m_view.setSize(size());
    m_keepFitted = false;
    changed();
}

void MapCanvas::changed() {
    m_dirty = true;
    update();
}

const QImage &MapCanvas::frame() {
    if (m_dirty || m_frame.size() != size()) {
        static const map::MapPoints none;
        m_view.setSize(size());
        m_renderer.render(m_frame, m_view, m_points ? *m_points : none, m_currentRow);
        m_dirty = false;
    }
    return m_frame;
}

int MapCanvas::rowAt(QPoint pixel) {
    frame();
    return m_renderer.rowAt(pixel);
}

QString MapCanvas::hoverText(int sheetRow) const {
    const QString name = m_points ? m_points->name(sheetRow) : QString();
    const QString row = QStringLiteral("第 %1 行").arg(sheetRow + 1);
    return name.isEmpty() ? row : name + QStringLiteral("（") + row + QStringLiteral("）");
}

void MapCanvas::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.drawImage(0, 0, frame());
}

void MapCanvas::resizeEvent(QResizeEvent *event) {
    if (m_keepFitted)
        fit();
    else
        changed();
    QWidget::resizeEvent(event);
}

void MapCanvas::zoomAbout(QPointF pixel, double steps) {
    m_view.zoomAbout(pixel, steps);
    m_keepFitted = false;
    changed();
}

void MapCanvas::wheelEvent(QWheelEvent *event) {
    // Half a step (a factor of √2) for each notch of 120.
    zoomAbout(event->position(), event->angleDelta().y() / 240.0);
    event->accept();
}

void MapCanvas::keyPressEvent(QKeyEvent *event) {
    const QPoint pointer = mapFromGlobal(QCursor::pos());
    const QPointF about = rect().contains(pointer) ? QPointF(pointer) : QPointF(rect().center());
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoomAbout(about, 1);
        break;
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
        zoomAbout(about, -1);
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void MapCanvas::mousePressEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton)
        return;
    m_pressing = true;
    m_dragging = false;
    m_pressed = m_last = event->position().toPoint();
}

void MapCanvas::mouseMoveEvent(QMouseEvent *event) {
    const QPoint at = event->position().toPoint();
    if (m_pressing) {
        if (!m_dragging && (at - m_pressed).manhattanLength() > DragThreshold)
            m_dragging = true;
        if (m_dragging) {
            m_view.panBy(at - m_last);
            m_last = at;
            m_keepFitted = false;
            setCursor(Qt::ClosedHandCursor);
            changed();
        }
        return;
    }
    const int row = rowAt(at);
    if (row >= 0)
        QToolTip::showText(event->globalPosition().toPoint(), hoverText(row), this);
    else
        QToolTip::hideText();
}

void MapCanvas::mouseReleaseEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton || !m_pressing)
        return;
    m_pressing = false;
    unsetCursor();
    if (m_dragging)
        return;
    const int row = rowAt(event->position().toPoint());
    if (row >= 0) {
        setCurrentSheetRow(row);
        Q_EMIT sheetRowClicked(row);
    }
}
