// Connection strings and query texts: built for a file, parsed back, and checked as the Jet
// provider checked them.
#include "sources/connectionstring.h"

#include "common/commanderror.h"

#include <QRegularExpression>

namespace connection {

namespace {

bool needsQuotes(const QString &value) {
    return value.contains(u';') || value.contains(u'"') || value.contains(u'\'') ||
           (!value.isEmpty() && (value.front().isSpace() || value.back().isSpace()));
}

} // namespace

QString connectionString(const QString &fileName) {
    QString source = fileName;
    if (needsQuotes(source))
        source = u'"' + QString(source).replace(u'"', QStringLiteral("\"\"")) + u'"';
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0; Data Source=") + source +
           QStringLiteral(";Extended Properties=Excel 8.0");
}

ConnectionSettings parseConnectionString(const QString &text) {
    ConnectionSettings out;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const qsizetype eq = text.indexOf(u'=', i);
        const qsizetype semi = text.indexOf(u';', i);
        if (eq < 0 || (semi >= 0 && semi < eq)) {
            i = semi < 0 ? n : semi + 1; // a part without "=" names nothing
            continue;
        }
        const QString key = text.mid(i, eq - i).trimmed().toLower();
        qsizetype j = eq + 1;
        while (j < n && text[j] == u' ')
            ++j;
        QString value;
        if (j < n && (text[j] == u'"' || text[j] == u'\'')) {
            const QChar quote = text[j++];
            while (j < n) {
                if (text[j] == quote) {
                    if (j + 1 < n && text[j + 1] == quote) {
                        value += quote;
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                value += text[j++];
            }
            const qsizetype end = text.indexOf(u';', j);
            i = end < 0 ? n : end + 1;
        } else {
            const qsizetype end = text.indexOf(u';', j);
            value = text.mid(j, end < 0 ? -1 : end - j).trimmed();
            i = end < 0 ? n : end + 1;
        }
        if (key == u"provider")
            out.provider = value;
        else if (key == u"data source")
            out.dataSource = value;
        else if (key == u"extended properties")
            out.extendedProperties = value;
    }
    return out;
}

QString sheetOfQuery(const QString &text) {
    static const QRegularExpression pattern(
        QStringLiteral(R"(^\s*select\s*\*\s*from\s*\[([^\]]+)\$\]\s*;?\s*$)"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        throw CommandError(QStringLiteral("The query \"%1\" is not understood: only "
                                          "Select * from [Sheet$] can be run on a workbook")
                               .arg(text.trimmed()));
    return m.captured(1);
}

Target targetOf(const QString &connectionString, const QString &queryText) {
    const ConnectionSettings settings = parseConnectionString(connectionString);
    if (settings.provider.compare(u"Microsoft.Jet.OLEDB.4.0", Qt::CaseInsensitive) != 0)
        throw CommandError(QStringLiteral("Provider cannot be found. It may not be properly "
                                          "installed"));
    static const QRegularExpression excel(QStringLiteral(R"(^\s*excel\s+(8\.0|5\.0|97)\s*(;|$))"),
                                          QRegularExpression::CaseInsensitiveOption);
    if (!excel.match(settings.extendedProperties).hasMatch())
        throw CommandError(QStringLiteral("Could not find installable ISAM"));
    if (settings.dataSource.isEmpty())
        throw CommandError(QStringLiteral("The connection string names no Data Source"));
    return Target{settings.dataSource, sheetOfQuery(queryText)};
}

} // namespace connection
