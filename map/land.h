// The land of the map: Natural Earth's 1:50m land polygons (public domain) built into the
// program (land/land-50m.bin, made by land/make-land.py), held in the world square, and drawn
// from shapes simplified once for each zoom level and kept.
#pragma once

#include <QByteArray>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>

#include <map>
#include <vector>

class QPainter;

namespace map {

class MapView;

class Land {
public:
    // One polygon at one zoom level: its path in that level's pixels and its bounds.
    struct Shape {
        QRectF bounds;
        QPainterPath path;
    };

    // The land built into the program, read on first use.
    static const Land &builtIn();

    // Reads the resource's bytes; false, holding nothing, when they are not one whole.
    bool read(const QByteArray &bytes);

    int polygonCount() const { return int(m_polygons.size()); }
    int ringCount() const { return m_rings; }
    int pointCount() const { return m_points; }
    // The polygons' area on the plane of longitude and latitude, in square degrees, holes
    // taken away: what the making script writes beside the resource.
    double area() const { return m_area; }

    // The shapes of a zoom level (0 to MaxLevel), points closer than a pixel of that level
    // merged and shapes smaller than one left out; made on first use and kept. Not to be asked
    // from two threads at once.
    const std::vector<Shape> &level(int zoomLevel) const;
    static constexpr int MaxLevel = 11;

    // Fills the land of the view, cut at the world's edges.
    void draw(QPainter &painter, const MapView &view, const QColor &colour) const;

private:
    // Rings in the world square, each polygon its outer ring and then its holes.
    std::vector<std::vector<std::vector<QPointF>>> m_polygons;
    int m_rings = 0;
    int m_points = 0;
    double m_area = 0;
    mutable std::map<int, std::vector<Shape>> m_levels;
};

} // namespace map
