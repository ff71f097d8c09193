// Points binned by the pixel of a view they fall on: each pixel keeps its last point, so that a
// frame draws each pixel's mark once however many of a million points share it, and a click
// finds its point by looking at the pixels round it.
#pragma once

#include <QPoint>

#include <vector>

namespace map {

class MapView;

class PixelBins {
public:
    // Bins the world square's points (xs[i], ys[i]) by the view's pixels; those outside the
    // window are left out.
    void fill(const std::vector<double> &xs, const std::vector<double> &ys, const MapView &view);

    int width() const { return m_width; }
    int height() const { return m_height; }
    // The last point on the pixel, -1 for none.
    int at(int px, int py) const {
        return px < 0 || py < 0 || px >= m_width || py >= m_height
                   ? -1
                   : m_cells[std::size_t(py) * std::size_t(m_width) + std::size_t(px)];
    }
    // The pixels that hold a point, as y * width + x, in the order their first point came.
    const std::vector<int> &occupied() const { return m_occupied; }
    // The point on the pixel nearest to the given one within radius pixels; -1 for none.
    int nearest(QPoint pixel, int radius) const;

private:
    int m_width = 0;
    int m_height = 0;
    std::vector<int> m_cells;
    std::vector<int> m_occupied;
};

} // namespace map
