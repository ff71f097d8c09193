// The registry's table of formats, and what it derives from their declarations.
#include "workbook/formatregistry.h"

#include "workbook/csv/csvformat.h"
#include "workbook/ods/odsformat.h"
#include "workbook/xls/xlsformat.h"
#include "workbook/xlsx/xlsxformat.h"

#include <QStringList>

#include <algorithm>

namespace workbook {

namespace {

// One line a format. A table rather than self-registration: a format's objects in a static
// library would not be linked in unless something names them.
const FormatDeclaration *const Table[] = {
    &xls::Declaration,
    &xlsx::Declaration,
    &ods::Declaration,
    &csv::Declaration,
};

QString pair(const QString &label, const QString &patterns) {
    return label % u'(' % patterns % u")|" % patterns;
}

QString pairOf(const FormatDeclaration &f) {
    return pair(QString::fromUtf8(f.dialogLabel), QString::fromUtf8(f.patterns));
}

} // namespace

const std::vector<const FormatDeclaration *> &registeredFormats() {
    static const std::vector<const FormatDeclaration *> formats(std::begin(Table), std::end(Table));
    return formats;
}

const WorkbookFormat &formatOf(const QByteArray &bytes, const QString &fileName) {
    static const std::vector<const FormatDeclaration *> byPriority = [] {
        std::vector<const FormatDeclaration *> formats = registeredFormats();
        std::stable_sort(formats.begin(), formats.end(),
                         [](const FormatDeclaration *a, const FormatDeclaration *b) {
                             return a->priority > b->priority;
                         });
        return formats;
    }();
    for (const FormatDeclaration *f : byPriority)
        if (f->isOwnFile(bytes))
            return f->format();
    notAWorkbook(fileName);
}

QString openDialogFilter() {
    const std::vector<const FormatDeclaration *> &formats = registeredFormats();
    QStringList all;
    for (const FormatDeclaration *f : formats)
        all << QString::fromUtf8(f->patterns);
    QStringList pairs{pairOf(*formats.front()),
                      pair(QStringLiteral("All workbooks"), all.join(u';'))};
    for (auto it = formats.begin() + 1; it != formats.end(); ++it)
        pairs << pairOf(**it);
    return pairs.join(u'|');
}

QString tableDialogFilter(const QString &allLabel) {
    // A table is more often text than a workbook: the format that takes what no other does
    // comes first.
    std::vector<const FormatDeclaration *> formats = registeredFormats();
    std::stable_partition(formats.begin(), formats.end(), [](const FormatDeclaration *f) {
        return f->priority == LastResortPriority;
    });
    QStringList patterns;
    for (const FormatDeclaration *f : formats)
        patterns << QString::fromUtf8(f->patterns);
    const QString all = patterns.join(u';');
    QStringList pairs{allLabel % u'(' % QString(all).replace(u';', u' ') % u")|" % all};
    for (const FormatDeclaration *f : formats)
        pairs << pairOf(*f);
    return pairs.join(u'|');
}

QString openDialogDefaultExt() {
    return QString::fromUtf8(registeredFormats().front()->patterns).section(u';', 0, 0);
}

} // namespace workbook
