// The land resource read, and its shapes per zoom level.
#include "map/land.h"

#include "map/webmercator.h"

#include <QFile>
#include <QPainter>

#include <cmath>
#include <cstring>

namespace map {

namespace {

// The resource's bytes read with every length checked.
class Reader {
public:
    explicit Reader(const QByteArray &bytes) : m_bytes(bytes) {}

    bool ok() const { return m_ok; }
    bool atEnd() const { return m_pos == m_bytes.size(); }

    bool expect(const char *magic) {
        const qsizetype n = qsizetype(std::strlen(magic));
        if (!take(n) || std::memcmp(m_bytes.constData() + m_pos - n, magic, std::size_t(n)) != 0)
            m_ok = false;
        return m_ok;
    }
    double float64() {
        double value = 0;
        if (take(8))
            std::memcpy(&value, m_bytes.constData() + m_pos - 8, 8); // little-endian hosts only
        return value;
    }
    quint32 uint32() {
        quint32 value = 0;
        if (take(4))
            std::memcpy(&value, m_bytes.constData() + m_pos - 4, 4);
        return value;
    }
    quint64 varint() {
        quint64 value = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (!take(1))
                return 0;
            const auto byte = quint8(m_bytes[m_pos - 1]);
            value |= quint64(byte & 0x7f) << shift;
            if (!(byte & 0x80))
                return value;
        }
        m_ok = false;
        return 0;
    }
    qint64 zigzag() {
        const quint64 v = varint();
        return qint64(v >> 1) ^ -qint64(v & 1);
    }

private:
    bool take(qsizetype n) {
        if (!m_ok || m_bytes.size() - m_pos < n) {
            m_ok = false;
            return false;
        }
        m_pos += n;
        return true;
    }

    const QByteArray &m_bytes;
    qsizetype m_pos = 0;
    bool m_ok = true;
};

double shoelace(const std::vector<QPointF> &ring) {
    double area = 0;
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const QPointF &a = ring[i], &b = ring[(i + 1) % ring.size()];
        area += a.x() * b.y() - b.x() * a.y();
    }
    return area / 2;
}

// Douglas and Peucker's simplification of a closed ring: the points that a line within tolerance
// of the rest can stand for are dropped.
QPolygonF simplified(const std::vector<QPointF> &ring, double tolerance) {
    const std::size_t n = ring.size();
    std::vector<char> keep(n, 0);
    // The ring split at its first point and the point farthest from it.
    std::size_t far = 0;
    double farthest = -1;
    for (std::size_t i = 1; i < n; ++i) {
        const QPointF d = ring[i] - ring[0];
        const double distance = d.x() * d.x() + d.y() * d.y();
        if (distance > farthest) {
            farthest = distance;
            far = i;
        }
    }
    keep[0] = keep[far] = 1;
    std::vector<std::pair<std::size_t, std::size_t>> spans{{0, far}, {far, n}};
    while (!spans.empty()) {
        const auto [first, last] = spans.back();
        spans.pop_back();
        const QPointF a = ring[first], b = ring[last % n];
        const QPointF ab = b - a;
        const double length = std::hypot(ab.x(), ab.y());
        double worst = tolerance;
        std::size_t worstAt = 0;
        for (std::size_t i = first + 1; i < last; ++i) {
            const QPointF ap = ring[i] - a;
            const double distance = length > 0
                                        ? std::abs(ab.x() * ap.y() - ab.y() * ap.x()) / length
                                        : std::hypot(ap.x(), ap.y());
            if (distance > worst) {
                worst = distance;
                worstAt = i;
            }
        }
        if (worstAt) {
            keep[worstAt] = 1;
            spans.emplace_back(first, worstAt);
            spans.emplace_back(worstAt, last);
        }
    }
    QPolygonF out;
    for (std::size_t i = 0; i < n; ++i)
        if (keep[i])
            out.append(ring[i]);
    return out;
}

} // namespace

const Land &Land::builtIn() {
    static const Land land = [] {
        Land l;
        QFile file(QStringLiteral(":/map/land-50m.bin"));
        if (file.open(QIODevice::ReadOnly))
            l.read(file.readAll());
        return l;
    }();
    return land;
}

bool Land::read(const QByteArray &bytes) {
    *this = Land();
    Reader in(bytes);
    in.expect("KMLLAND1");
    const double sx = in.float64(), sy = in.float64(), tx = in.float64(), ty = in.float64();
    const quint32 count = in.uint32();
    // Each ring takes at least three points of two bytes each.
    if (!in.ok() || count > quint32(bytes.size()))
        return false;
    std::vector<std::vector<std::vector<QPointF>>> polygons(count);
    int rings = 0, points = 0;
    double area = 0;
    for (auto &polygon : polygons) {
        const quint64 ringCount = in.varint();
        if (!in.ok() || ringCount == 0 || ringCount > quint64(bytes.size()))
            return false;
        polygon.resize(ringCount);
        for (std::size_t r = 0; r < polygon.size(); ++r) {
            const quint64 n = in.varint();
            if (!in.ok() || n < 3 || n > quint64(bytes.size()))
                return false;
            std::vector<QPointF> degrees;
            degrees.reserve(n);
            qint64 x = 0, y = 0;
            for (quint64 i = 0; i < n && in.ok(); ++i) {
                x += in.zigzag();
                y += in.zigzag();
                degrees.emplace_back(tx + sx * double(x), ty + sy * double(y));
            }
            if (!in.ok())
                return false;
            const double a = std::abs(shoelace(degrees));
            area += r == 0 ? a : -a;
            polygon[r].reserve(n);
            for (const QPointF &p : degrees)
                polygon[r].push_back(project(p.x(), p.y()));
            ++rings;
            points += int(n);
        }
    }
    if (!in.atEnd())
        return false;
    m_polygons = std::move(polygons);
    m_rings = rings;
    m_points = points;
    m_area = area;
    return true;
}

const std::vector<Land::Shape> &Land::level(int zoomLevel) const {
    auto found = m_levels.find(zoomLevel);
    if (found != m_levels.end())
        return found->second;
    std::vector<Shape> &shapes = m_levels[zoomLevel];
    const double scale = TileSize * std::exp2(zoomLevel);
    std::vector<QPointF> pixels;
    for (const auto &polygon : m_polygons) {
        Shape shape;
        for (std::size_t r = 0; r < polygon.size(); ++r) {
            pixels.clear();
            for (const QPointF &world : polygon[r])
                pixels.push_back(world * scale);
            // A third of a pixel off the coast is not seen.
            QPolygonF ring = simplified(pixels, 0.35);
            const QRectF bounds = ring.boundingRect();
            // A ring smaller than a pixel is no shape; a polygon's outer ring takes its holes.
            if (ring.size() < 3 || (bounds.width() < 1 && bounds.height() < 1)) {
                if (r == 0)
                    break;
                continue;
            }
            ring.append(ring.first());
            shape.path.addPolygon(ring);
            if (r == 0)
                shape.bounds = bounds;
        }
        if (!shape.path.isEmpty())
            shapes.push_back(std::move(shape));
    }
    return shapes;
}

void Land::draw(QPainter &painter, const MapView &view, const QColor &colour) const {
    const int zoomLevel = std::clamp(int(std::ceil(view.zoom())), 0, MaxLevel);
    const double levelPixels = TileSize * std::exp2(zoomLevel);
    const double factor = view.worldPixels() / levelPixels;
    // The window in the level's pixels, and the world's square within it.
    const QRectF visible = view.visibleWorld();
    const QRectF window(visible.topLeft() * levelPixels, visible.size() * levelPixels);
    painter.save();
    const QPointF origin = view.toPixel(QPointF(0, 0));
    painter.setClipRect(QRectF(origin, QSizeF(view.worldPixels(), view.worldPixels())));
    painter.translate(origin);
    painter.scale(factor, factor);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    // Shape by shape: Qt's antialiased fill of one path of every shape takes several times as
    // long.
    for (const Shape &shape : level(zoomLevel))
        if (shape.bounds.intersects(window))
            painter.drawPath(shape.path);
    painter.restore();
}

} // namespace map
