// The table's rows read for the map: placed rows, categories, and the problems' places.
#include "map/mappoints.h"

#include "common/hugepages.h"
#include "map/vectorstate.h"
#include "map/webmercator.h"
#include "table/categories.h"
#include "table/celltext.h"
#include "table/placedpoints.h"
#include "table/tablekml.h"
#include "table/tablerows.h"
#include "table/tableview.h"

#include <algorithm>
#include <cmath>

namespace map {

QColor categoryColor(int category) {
    const uint abgr = table::categoryColour(category).toUInt(nullptr, 16);
    return QColor(int(abgr & 0xff), int((abgr >> 8) & 0xff), int((abgr >> 16) & 0xff),
                  int(abgr >> 24));
}

MapPoints MapPoints::of(const table::TableView &view, const table::TableOptions &options) {
    std::vector<table::PlacedRow> rows;
    std::vector<table::Problem> problems;
    if (options.roles.hasCoordinates()) {
        // Large buffers filled right away: backed by huge pages, they cost a fraction of the
        // page faults, which on the test machine took a sixth of the reading.
        clearUpperVectorState();
        rows.reserve(view.dataRows().size());
        preferHugePages(rows.data(), rows.capacity() * sizeof(table::PlacedRow));
        table::placeRows(
            view, options, [&](const table::PlacedRow &row) { rows.push_back(row); }, problems);
    }
    return of(view, options, rows, problems);
}

MapPoints MapPoints::of(const table::TableView &view, const table::TableOptions &options,
                        const std::vector<table::PlacedRow> &rows,
                        const std::vector<table::Problem> &problems) {
    MapPoints points;
    points.m_table = &view;
    points.m_nameColumn = options.roles.name;
    if (!options.roles.hasCoordinates()) {
        points.unplacedRows = points.problemRows = int(view.dataRows().size());
        return points;
    }
    // The engine's reading may have left the vector state in use.
    clearUpperVectorState();
    const std::size_t n = rows.size();
    points.x.reserve(n);
    points.y.reserve(n);
    points.sheetRow.reserve(n);
    preferHugePages(points.x.data(), n * sizeof(double));
    preferHugePages(points.y.data(), n * sizeof(double));
    preferHugePages(points.sheetRow.data(), n * sizeof(int));
    points.x.resize(n);
    points.y.resize(n);
    points.sheetRow.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const QPointF p = project(rows[i].wgs84.lon, rows[i].wgs84.lat);
        points.x[i] = p.x();
        points.y[i] = p.y();
        points.sheetRow[i] = rows[i].sheetRow;
    }
    table::Categories categories = table::categoriesOf(view, options.roles.category, rows);
    points.categories = categories.names;
    points.category = std::move(categories.ofRow);
    points.category.resize(n, 0);

    auto ring = [&](QPointF world, int sheetRow, RingKind kind) {
        points.ringX.push_back(world.x());
        points.ringY.push_back(world.y());
        points.ringRow.push_back(sheetRow);
        points.ringKind.push_back(kind);
    };
    points.problemRows = int(table::rowsWithProblems(problems));
    int lastRow = -1;
    for (const table::Problem &problem : problems) {
        // The uncertain order is the table's, not a row's.
        if (problem.kind == table::ProblemKind::OrderUncertain || problem.row == lastRow)
            continue;
        lastRow = problem.row;
        const int sheetRow = problem.row - 1;
        double lon = 0, lat = 0;
        switch (problem.kind) {
        case table::ProblemKind::LooksSwapped:
            if (table::readCoordinates(view, options.roles, sheetRow, lon, lat)) {
                const table::LonLat p = table::toWgs84({lat, lon}, options.datum);
                ring(project(p.lon, p.lat), sheetRow, RingKind::Swapped);
            } else {
                ++points.unplacedRows;
            }
            break;
        case table::ProblemKind::ZeroZero:
            ring(project(0, 0), sheetRow, RingKind::Problem);
            break;
        case table::ProblemKind::SamePlace:
        case table::ProblemKind::TimeUnreadable:
        case table::ProblemKind::AltitudeUnreadable: {
            const int i = points.indexOf(sheetRow);
            if (i >= 0)
                ring({points.x[std::size_t(i)], points.y[std::size_t(i)]}, sheetRow,
                     problem.kind == table::ProblemKind::SamePlace ? RingKind::Duplicate
                                                                   : RingKind::Problem);
            break;
        }
        default:
            ++points.unplacedRows;
            break;
        }
    }
    return points;
}

std::optional<QRectF> MapPoints::bounds() const {
    if (x.empty() && ringX.empty())
        return std::nullopt;
    double left = HUGE_VAL, right = -HUGE_VAL, top = HUGE_VAL, bottom = -HUGE_VAL;
    auto take = [&](const std::vector<double> &xs, const std::vector<double> &ys) {
        for (std::size_t i = 0; i < xs.size(); ++i) {
            left = std::min(left, xs[i]);
            right = std::max(right, xs[i]);
            top = std::min(top, ys[i]);
            bottom = std::max(bottom, ys[i]);
        }
    };
    if (!x.empty())
        take(x, y);
    else
        take(ringX, ringY);
    return QRectF(QPointF(left, top), QPointF(right, bottom));
}

int MapPoints::indexOf(int row) const {
    const auto found = std::lower_bound(sheetRow.begin(), sheetRow.end(), row);
    return found != sheetRow.end() && *found == row ? int(found - sheetRow.begin()) : -1;
}

std::optional<QPointF> MapPoints::placeOf(int row) const {
    const int point = indexOf(row);
    if (point >= 0)
        return QPointF(x[std::size_t(point)], y[std::size_t(point)]);
    const auto ring = std::find(ringRow.begin(), ringRow.end(), row);
    if (row < 0 || ring == ringRow.end())
        return std::nullopt;
    const auto i = std::size_t(ring - ringRow.begin());
    return QPointF(ringX[i], ringY[i]);
}

QString MapPoints::name(int row) const {
    if (!m_table || m_nameColumn < 0)
        return QString();
    table::CellText text(m_table->sheet());
    return text(m_table->cell(row, m_nameColumn)).toString();
}

QString MapPoints::status() const {
    QString text = QStringLiteral("%1 个地标，%2 行有问题").arg(count()).arg(problemRows);
    if (unplacedRows > 0)
        text += QStringLiteral("（%1 行无法在图上标出）").arg(unplacedRows);
    return text;
}

} // namespace map
