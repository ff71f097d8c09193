// A view of a table's points drawn into an image: sea and land, the graticule, the points in
// their categories' colours binned by pixel, the problem rows' rings, the current row, a scale
// bar, the land's attribution and the legend. It keeps the last frame's bins to tell which row
// a pixel shows.
#pragma once

#include "map/pixelbins.h"
#include "map/webmercator.h"

#include <QImage>
#include <QPoint>

namespace map {

class Land;
class MapPoints;

struct RenderOptions {
    // Words drawn (legend names, scale, attribution): off for a picture that must not depend
    // on the fonts of the machine.
    bool text = true;
    bool legend = true;
};

class MapRenderer {
public:
    // Pixels round a mark within which a pointer is on it.
    static constexpr int HitRadius = 6;

    explicit MapRenderer(const Land &land);

    // Draws the view into image (made the view's size, 32-bit RGB). currentSheetRow, when it
    // is placed or ringed, is highlighted.
    void render(QImage &image, const MapView &view, const MapPoints &points, int currentSheetRow,
                const RenderOptions &options = RenderOptions());

    // The sheet row of the mark the last frame drew nearest to the pixel, within HitRadius;
    // a point before a ring; -1 for none.
    int rowAt(QPoint pixel) const;

    // The graticule's step in degrees for a view: 10, or 1 when zoomed in.
    static int graticuleStep(const MapView &view);
    // The legend's box for the points, which stands at the frame's top right corner.
    static QSize legendSize(const MapPoints &points, bool text);
    // The scale bar's length in metres for a view: 1, 2 or 5 times a power of ten, no longer
    // than maxPixels.
    static double scaleBarMetres(const MapView &view, int maxPixels);

private:
    void drawGraticule(QPainter &painter, const MapView &view) const;
    void drawPoints(QImage &image, const MapPoints &points) const;
    void drawRings(QPainter &painter, const MapPoints &points) const;
    void drawScaleBar(QPainter &painter, const MapView &view, bool text) const;
    void drawLegend(QPainter &painter, const MapPoints &points, bool text) const;

    const Land &m_land;
    PixelBins m_points;
    PixelBins m_rings;
    const MapPoints *m_drawn = nullptr;
};

} // namespace map
