// The frame's layers, drawn bottom to top.
#include "map/maprenderer.h"

#include "map/land.h"
#include "map/mappoints.h"
#include "map/vectorstate.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace map {

namespace {

const QRgb Outside = qRgb(0xdd, 0xdd, 0xdd);
const QColor Sea(0xaa, 0xd3, 0xdf);
const QColor LandColour(0xf2, 0xef, 0xe9);
const QColor GraticuleColour(0x70, 0x90, 0xa8, 0x70);
const QColor ProblemRed(0xe0, 0x10, 0x10);
const QColor DuplicateOrange(0xff, 0x8c, 0x00);
const QRgb Outline = qRgb(0x30, 0x30, 0x30);
const int DotRadius = 3;
const int RingRadius = 7;

// The pixel offsets of a disc.
std::vector<QPoint> disc(int radius) {
    std::vector<QPoint> offsets;
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx)
            if (dx * dx + dy * dy <= radius * radius + radius / 2)
                offsets.emplace_back(dx, dy);
    return offsets;
}

void drawRing(QPainter &painter, QPointF centre, RingKind kind) {
    QPen pen(kind == RingKind::Duplicate ? DuplicateOrange : ProblemRed, 2);
    if (kind == RingKind::Swapped)
        pen.setDashPattern({2.5, 1.5});
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(centre, RingRadius, RingRadius);
}

} // namespace

MapRenderer::MapRenderer(const Land &land) : m_land(land) {}

int MapRenderer::graticuleStep(const MapView &view) {
    // Lines a degree apart once ten degrees span more than 600 pixels: never closer than 60.
    return view.worldPixels() / 36 > 600 ? 1 : 10;
}

double MapRenderer::scaleBarMetres(const MapView &view, int maxPixels) {
    const double most = view.metresPerPixel() * maxPixels;
    if (!(most > 0) || !std::isfinite(most))
        return 0;
    const double power = std::pow(10, std::floor(std::log10(most)));
    for (double step : {5.0, 2.0, 1.0})
        if (step * power <= most)
            return step * power;
    return power;
}

void MapRenderer::render(QImage &image, const MapView &view, const MapPoints &points,
                         int currentSheetRow, const RenderOptions &options) {
    if (image.size() != view.size() || image.format() != QImage::Format_RGB32)
        image = QImage(view.size(), QImage::Format_RGB32);
    image.fill(Outside);
    m_drawn = &points;
    clearUpperVectorState();
    m_points.fill(points.x, points.y, view);
    m_rings.fill(points.ringX, points.ringY, view);
    if (image.isNull())
        return;

    QPainter painter(&image);
    const QPointF origin = view.toPixel(QPointF(0, 0));
    painter.fillRect(QRectF(origin, QSizeF(view.worldPixels(), view.worldPixels())), Sea);
    painter.setRenderHint(QPainter::Antialiasing);
    m_land.draw(painter, view, LandColour);
    painter.setRenderHint(QPainter::Antialiasing, false);
    drawGraticule(painter, view);
    painter.end();

    clearUpperVectorState();
    drawPoints(image, points);

    painter.begin(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    drawRings(painter, points);
    const int current = points.indexOf(currentSheetRow);
    if (const std::optional<QPointF> place = points.placeOf(currentSheetRow)) {
        const QPointF highlight = view.toPixel(*place);
        painter.setPen(QPen(Qt::white, 5));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(highlight, 10, 10);
        painter.setPen(QPen(QColor(0x10, 0x40, 0xc0), 2.5));
        painter.drawEllipse(highlight, 10, 10);
        if (current >= 0) {
            painter.setPen(QPen(Qt::black, 1));
            painter.setBrush(categoryColor(points.category[std::size_t(current)]));
            painter.drawEllipse(highlight, DotRadius + 1.5, DotRadius + 1.5);
        }
    }
    drawScaleBar(painter, view, options.text);
    if (options.text) {
        // Natural Earth asks no credit; the map names its source all the same.
        QFont font = painter.font();
        font.setPixelSize(11);
        painter.setFont(font);
        const QString attribution = QStringLiteral("地图数据：Natural Earth");
        const QRect box = painter.fontMetrics().boundingRect(attribution).adjusted(-4, -1, 4, 1);
        const QRect placed(image.width() - box.width() - 2, image.height() - box.height() - 2,
                           box.width(), box.height());
        painter.fillRect(placed, QColor(255, 255, 255, 190));
        painter.setPen(QColor(0x33, 0x33, 0x33));
        painter.drawText(placed, Qt::AlignCenter, attribution);
    }
    if (options.legend)
        drawLegend(painter, points, options.text);
}

void MapRenderer::drawGraticule(QPainter &painter, const MapView &view) const {
    const int step = graticuleStep(view);
    const QRectF world = view.visibleWorld();
    const QPointF westNorth = unproject(world.topLeft()),
                  eastSouth = unproject(world.bottomRight());
    painter.setPen(QPen(GraticuleColour, 1));
    const double top = std::max(0.0, view.toPixel({0, 0}).y());
    const double bottom = std::min(double(view.size().height()), view.toPixel({0, 1}).y());
    const double left = std::max(0.0, view.toPixel({0, 0}).x());
    const double right = std::min(double(view.size().width()), view.toPixel({1, 0}).x());
    for (int lon = std::max(-180, int(std::floor(westNorth.x() / step)) * step);
         lon <= std::min(180, int(std::ceil(eastSouth.x()))); lon += step) {
        const double x = std::round(view.pixelOf(lon, 0).x());
        painter.drawLine(QPointF(x, top), QPointF(x, bottom));
    }
    const int south = std::max(-80, int(std::floor(eastSouth.y() / step)) * step);
    for (int lat = south; lat <= std::min(80, int(std::ceil(westNorth.y()))); lat += step) {
        const double y = std::round(view.pixelOf(0, lat).y());
        painter.drawLine(QPointF(left, y), QPointF(right, y));
    }
}

void MapRenderer::drawPoints(QImage &image, const MapPoints &points) const {
    // The outline is the ring round the fill; outlines first, then every fill, so that a crowd
    // of points reads as one patch with an edge.
    static const std::vector<QPoint> fill = disc(DotRadius);
    static const std::vector<QPoint> outline = [] {
        std::vector<QPoint> ring;
        for (const QPoint &p : disc(DotRadius + 1))
            if (std::find(fill.begin(), fill.end(), p) == fill.end())
                ring.push_back(p);
        return ring;
    }();
    std::vector<QRgb> colours(std::size_t(points.styleCount()));
    for (std::size_t c = 0; c < colours.size(); ++c)
        colours[c] = categoryColor(int(c)).rgb();
    const int w = image.width(), h = image.height();
    auto *pixels = reinterpret_cast<QRgb *>(image.bits());
    const qsizetype stride = image.bytesPerLine() / 4;
    auto linear = [stride](const std::vector<QPoint> &shape) {
        std::vector<qsizetype> offsets;
        for (const QPoint &d : shape)
            offsets.push_back(qsizetype(d.y()) * stride + d.x());
        return offsets;
    };
    const std::vector<qsizetype> outlineOffsets = linear(outline), fillOffsets = linear(fill);
    const int edge = DotRadius + 1;
    // The bins walked in raster order, which keeps the image's lines in the cache; where
    // stamps overlap, the lower pixel's is on top.
    auto stamp = [&](const std::vector<QPoint> &shape, const std::vector<qsizetype> &offsets,
                     auto colourOf) {
        for (int y = 0; y < h; ++y) {
            QRgb *line = pixels + qsizetype(y) * stride;
            const bool innerLine = y >= edge && y < h - edge;
            for (int x = 0; x < w; ++x) {
                const int point = m_points.at(x, y);
                if (point < 0)
                    continue;
                const QRgb colour = colourOf(point);
                if (innerLine && x >= edge && x < w - edge) {
                    QRgb *centre = line + x;
                    for (qsizetype offset : offsets)
                        centre[offset] = colour;
                    continue;
                }
                for (const QPoint &d : shape) {
                    const int px = x + d.x(), py = y + d.y();
                    if (px >= 0 && py >= 0 && px < w && py < h)
                        pixels[qsizetype(py) * stride + px] = colour;
                }
            }
        }
    };
    stamp(outline, outlineOffsets, [](int) { return Outline; });
    stamp(fill, fillOffsets, [&](int point) {
        const int category = points.category[std::size_t(point)];
        return colours[std::size_t(std::clamp(category, 0, int(colours.size()) - 1))];
    });
}

void MapRenderer::drawRings(QPainter &painter, const MapPoints &points) const {
    const int w = m_rings.width();
    for (int cell : m_rings.occupied()) {
        const int ring = m_rings.at(cell % w, cell / w);
        drawRing(painter, QPointF(cell % w + 0.5, cell / w + 0.5),
                 points.ringKind[std::size_t(ring)]);
    }
}

void MapRenderer::drawScaleBar(QPainter &painter, const MapView &view, bool text) const {
    const double metres = scaleBarMetres(view, 120);
    if (metres <= 0)
        return;
    const double length = metres / view.metresPerPixel();
    const QPointF start(10, view.size().height() - 12);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(start, start + QPointF(length, 0));
    painter.setPen(QPen(QColor(0x20, 0x20, 0x20), 2, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(start, start + QPointF(length, 0));
    painter.drawLine(start + QPointF(1, 0), start + QPointF(1, -6));
    painter.drawLine(start + QPointF(length - 1, 0), start + QPointF(length - 1, -6));
    painter.setRenderHint(QPainter::Antialiasing);
    if (!text)
        return;
    const QString label = metres >= 1000 ? QStringLiteral("%1 km").arg(metres / 1000)
                                         : QStringLiteral("%1 m").arg(metres);
    QFont font = painter.font();
    font.setPixelSize(11);
    painter.setFont(font);
    painter.drawText(QPointF(start.x() + 4, start.y() - 5), label);
}

namespace {

struct LegendEntry {
    QString label;
    int category; // -1 for a ring, -2 for the line that counts the categories left out
    RingKind ring;
};

const int LegendLine = 18;
const int LegendSwatch = 22;

// The categories by name, at most 16 of them and then their number, and the three rings.
std::vector<LegendEntry> legendEntries(const MapPoints &points) {
    const int shown = std::min(points.styleCount(), 16);
    std::vector<LegendEntry> entries;
    for (int c = 0; c < shown; ++c)
        entries.push_back(
            {points.categories.isEmpty() ? QStringLiteral("地标") : points.categories[c], c,
             RingKind::Problem});
    if (points.styleCount() > shown)
        entries.push_back(
            {QStringLiteral("… 共 %1 类").arg(points.styleCount()), -2, RingKind::Problem});
    entries.push_back({QStringLiteral("有问题"), -1, RingKind::Problem});
    entries.push_back({QStringLiteral("疑似经纬度颠倒"), -1, RingKind::Swapped});
    entries.push_back({QStringLiteral("重复坐标"), -1, RingKind::Duplicate});
    return entries;
}

QFont legendFont() {
    QFont font;
    font.setPixelSize(12);
    return font;
}

int legendTextWidth(const std::vector<LegendEntry> &entries, bool text) {
    int width = 0;
    if (text) {
        const QFontMetrics metrics(legendFont());
        for (const LegendEntry &e : entries)
            width = std::max(width, metrics.horizontalAdvance(e.label));
    }
    return width;
}

QSize legendBox(const std::vector<LegendEntry> &entries, int textWidth, bool text) {
    return {LegendSwatch + 8 + (text ? textWidth + 6 : 0), int(entries.size()) * LegendLine + 8};
}

} // namespace

QSize MapRenderer::legendSize(const MapPoints &points, bool text) {
    const std::vector<LegendEntry> entries = legendEntries(points);
    return legendBox(entries, legendTextWidth(entries, text), text);
}

void MapRenderer::drawLegend(QPainter &painter, const MapPoints &points, bool text) const {
    const std::vector<LegendEntry> entries = legendEntries(points);
    const int textWidth = legendTextWidth(entries, text);
    const QSize size = legendBox(entries, textWidth, text);
    const QRect box(QPoint(painter.device()->width() - size.width() - 8, 8), size);
    painter.setFont(legendFont());
    painter.setPen(QColor(0x90, 0x90, 0x90));
    painter.setBrush(QColor(255, 255, 255, 215));
    painter.drawRect(QRectF(box).adjusted(0.5, 0.5, -0.5, -0.5));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const LegendEntry &e = entries[i];
        const QPointF centre(box.left() + 4 + LegendSwatch / 2.0,
                             box.top() + 4 + int(i) * LegendLine + LegendLine / 2.0);
        if (e.category >= 0) {
            painter.setPen(QPen(QColor(Outline), 1));
            painter.setBrush(categoryColor(e.category));
            painter.drawEllipse(centre, DotRadius + 1.5, DotRadius + 1.5);
        } else if (e.category == -1) {
            drawRing(painter, centre, e.ring);
        }
        if (text) {
            painter.setPen(QColor(0x20, 0x20, 0x20));
            painter.drawText(QRectF(box.left() + 4 + LegendSwatch + 4,
                                    centre.y() - LegendLine / 2.0, textWidth + 4, LegendLine),
                             Qt::AlignLeft | Qt::AlignVCenter, e.label);
        }
    }
}

int MapRenderer::rowAt(QPoint pixel) const {
    if (!m_drawn)
        return -1;
    const int point = m_points.nearest(pixel, HitRadius);
    if (point >= 0)
        return m_drawn->sheetRow[std::size_t(point)];
    const int ring = m_rings.nearest(pixel, RingRadius + 2);
    return ring >= 0 ? m_drawn->ringRow[std::size_t(ring)] : -1;
}

} // namespace map
