// Web Mercator's formulas and the view's arithmetic.
#include "map/webmercator.h"

#include <algorithm>
#include <cmath>

namespace map {

namespace {
const double Pi = 3.14159265358979323846;
// The sphere of Web Mercator, WGS-84's semi-major axis.
const double EarthRadius = 6378137;
} // namespace

QPointF project(double lon, double lat) {
    const double clamped = std::clamp(lat, -MaxLatitude, MaxLatitude);
    const double s = std::sin(clamped * Pi / 180);
    const double y = 0.5 - std::log((1 + s) / (1 - s)) / (4 * Pi);
    return {(lon + 180) / 360, y};
}

QPointF unproject(QPointF world) {
    const double lon = world.x() * 360 - 180;
    const double lat = std::atan(std::sinh(Pi * (1 - 2 * world.y()))) * 180 / Pi;
    return {lon, lat};
}

double MapView::worldPixels() const {
    return TileSize * std::exp2(m_zoom);
}

void MapView::setZoom(double zoom) {
    m_zoom = std::clamp(zoom, MinZoom, MaxZoom);
}

QPointF MapView::toPixel(QPointF world) const {
    const double scale = worldPixels();
    return {(world.x() - m_centre.x()) * scale + m_size.width() / 2.0,
            (world.y() - m_centre.y()) * scale + m_size.height() / 2.0};
}

QPointF MapView::toWorld(QPointF pixel) const {
    const double scale = worldPixels();
    return {(pixel.x() - m_size.width() / 2.0) / scale + m_centre.x(),
            (pixel.y() - m_size.height() / 2.0) / scale + m_centre.y()};
}

QRectF MapView::visibleWorld() const {
    return QRectF(toWorld(QPointF(0, 0)), toWorld(QPointF(m_size.width(), m_size.height())));
}

void MapView::zoomAbout(QPointF pixel, double steps) {
    const QPointF fixed = toWorld(pixel);
    setZoom(m_zoom + steps);
    // The centre moved so that the fixed point's pixel is where it was.
    const double scale = worldPixels();
    m_centre = {fixed.x() - (pixel.x() - m_size.width() / 2.0) / scale,
                fixed.y() - (pixel.y() - m_size.height() / 2.0) / scale};
}

void MapView::panBy(QPointF pixels) {
    const double scale = worldPixels();
    // Some of the world stays in sight however far the map is dragged.
    m_centre = {std::clamp(m_centre.x() - pixels.x() / scale, 0.0, 1.0),
                std::clamp(m_centre.y() - pixels.y() / scale, 0.0, 1.0)};
}

double MapView::metresPerPixel() const {
    const double lat = unproject(m_centre).y();
    return 2 * Pi * EarthRadius * std::cos(lat * Pi / 180) / worldPixels();
}

MapView MapView::fitted(QSize size, const QRectF &world, const QMargins &margins, double maxZoom) {
    const double width = std::max(1, size.width() - margins.left() - margins.right());
    const double height = std::max(1, size.height() - margins.top() - margins.bottom());
    double zoom = maxZoom;
    if (world.width() > 0 || world.height() > 0) {
        const double fit = std::min(world.width() > 0 ? width / world.width() : HUGE_VAL,
                                    world.height() > 0 ? height / world.height() : HUGE_VAL);
        zoom = std::min(maxZoom, std::log2(fit / TileSize));
    }
    MapView view(size, world.center(), zoom);
    // The rectangle's centre at the centre of the window less its margins.
    const QPointF shift((margins.left() - margins.right()) / 2.0,
                        (margins.top() - margins.bottom()) / 2.0);
    view.m_centre -= shift / view.worldPixels();
    return view;
}

MapView MapView::wholeWorld(QSize size) {
    return MapView(size, {0.5, 0.5}, std::log2(std::min(size.width(), size.height()) / TileSize));
}

} // namespace map
