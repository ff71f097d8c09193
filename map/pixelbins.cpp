// The binning of points by pixel, and the search round a pixel.
#include "map/pixelbins.h"

#include "map/webmercator.h"

#include <algorithm>
#include <cmath>

namespace map {

void PixelBins::fill(const std::vector<double> &xs, const std::vector<double> &ys,
                     const MapView &view) {
    m_width = std::max(0, view.size().width());
    m_height = std::max(0, view.size().height());
    m_cells.assign(std::size_t(m_width) * std::size_t(m_height), -1);
    m_occupied.clear();
    const double scale = view.worldPixels();
    const double originX = m_width / 2.0 - view.centre().x() * scale;
    const double originY = m_height / 2.0 - view.centre().y() * scale;
    const double w = m_width, h = m_height;
    const std::size_t n = std::min(xs.size(), ys.size());
    for (std::size_t i = 0; i < n; ++i) {
        const double px = xs[i] * scale + originX;
        const double py = ys[i] * scale + originY;
        // Written so that NaN fails too.
        if (!(px >= 0 && px < w && py >= 0 && py < h))
            continue;
        const int cell = int(py) * m_width + int(px);
        int &slot = m_cells[std::size_t(cell)];
        if (slot < 0)
            m_occupied.push_back(cell);
        slot = int(i);
    }
}

int PixelBins::nearest(QPoint pixel, int radius) const {
    int best = -1;
    int bestDistance = radius * radius + 1;
    for (int dy = -radius; dy <= radius; ++dy) {
        for (int dx = -radius; dx <= radius; ++dx) {
            const int d = dx * dx + dy * dy;
            if (d >= bestDistance)
                continue;
            const int found = at(pixel.x() + dx, pixel.y() + dy);
            if (found >= 0) {
                best = found;
                bestDistance = d;
            }
        }
    }
    return best;
}

} // namespace map
