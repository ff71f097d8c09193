// Web Mercator, the projection of the web maps people know: a point's place in the world square
// (x from 0 at 180° W to 1 at 180° E, y from 0 at the north edge to 1 at the south), and a view
// of that square at a zoom, centred on a point, in a window of pixels.
#pragma once

#include <QMargins>
#include <QPointF>
#include <QRectF>
#include <QSize>

namespace map {

// The latitude at which the square ends; points beyond it are drawn at the edge.
inline constexpr double MaxLatitude = 85.05112877980659;
// The world square's width in pixels at zoom 0, as web maps tile it.
inline constexpr double TileSize = 256;
inline constexpr double MinZoom = -3;
inline constexpr double MaxZoom = 19;

// A longitude and latitude in degrees to the world square; latitudes clamped to the edge.
QPointF project(double lon, double lat);
// The world square's point to longitude and latitude in degrees.
QPointF unproject(QPointF world); // x longitude, y latitude

class MapView {
public:
    MapView() = default;
    MapView(QSize size, QPointF centre, double zoom) : m_size(size), m_centre(centre) {
        setZoom(zoom);
    }

    QSize size() const { return m_size; }
    QPointF centre() const { return m_centre; }
    double zoom() const { return m_zoom; }
    // The world square's width in pixels: 256 at zoom 0, doubling with each step.
    double worldPixels() const;

    void setSize(QSize size) { m_size = size; }
    void setZoom(double zoom);

    QPointF toPixel(QPointF world) const;
    QPointF toWorld(QPointF pixel) const;
    QPointF pixelOf(double lon, double lat) const { return toPixel(project(lon, lat)); }
    // The world square's part that the window shows.
    QRectF visibleWorld() const;

    // Zoom by steps (a step doubles), keeping the point under pixel where it is.
    void zoomAbout(QPointF pixel, double steps);
    void panBy(QPointF pixels);
    // Ground metres that one pixel spans at the window's centre.
    double metresPerPixel() const;

    // The view of the world square's rectangle within the window less its margins, at most
    // maxZoom (a single point, a rectangle of no size, is shown at that zoom).
    static MapView fitted(QSize size, const QRectF &world, const QMargins &margins,
                          double maxZoom = 14);
    // The whole world square, as large as the window takes it.
    static MapView wholeWorld(QSize size);

private:
    QSize m_size;
    QPointF m_centre{0.5, 0.5};
    double m_zoom = 0;
};

} // namespace map
