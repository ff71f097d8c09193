// The headings each role answers to, in Chinese and English.
#include "table/headings.h"

#include "table/coordinatetext.h"

#include <QHash>

namespace table {

QString comparableHeading(QStringView heading) {
    QString s = foldToAscii(heading).toLower();
    if (s.endsWith(u')') || s.endsWith(u']')) {
        const QChar open = s.endsWith(u')') ? u'(' : u'[';
        const qsizetype at = s.lastIndexOf(open);
        if (at > 0)
            s = s.left(at).trimmed();
    }
    QString out;
    out.reserve(s.size());
    for (QChar c : s)
        if (!c.isSpace() && c != u'_' && c != u'-' && c != u'.')
            out += c;
    return out;
}

Role roleOfHeading(QStringView heading) {
    static const QHash<QString, Role> roles = [] {
        const struct {
            Role role;
            const char16_t *names;
        } lists[] = {
            {Role::Longitude, u"经度 东经 经度坐标 lon long lng longitude x"},
            {Role::Latitude, u"纬度 北纬 纬度坐标 lat latitude y"},
            {Role::CoordinatesLatLon, u"坐标 纬经度 纬度/经度 位置 latlon latlng lat/lon lat/lng "
                                      u"lat,lon latitudelongitude coordinates coords location"},
            {Role::CoordinatesLonLat,
             u"经纬度 经度/纬度 lonlat lnglat lon/lat lng/lat lon,lat longitudelatitude"},
            {Role::Name, u"名称 名字 地名 标注 标题 站名 点名 name title label"},
            {Role::Description, u"描述 地点描述 说明 简介 详情 备注 description desc remarks "
                                u"remark notes note"},
            {Role::Category, u"分类 类别 类型 种类 分组 category type class group kind"},
            {Role::Altitude, u"高度 海拔 高程 altitude alt elevation ele height z"},
            {Role::Time, u"时间 日期 日期时间 time date datetime timestamp when"},
        };
        QHash<QString, Role> map;
        for (const auto &list : lists)
            for (const QString &name : QString::fromUtf16(list.names).split(u' '))
                map.insert(name, list.role);
        return map;
    }();
    return roles.value(comparableHeading(heading), Role::None);
}

} // namespace table
