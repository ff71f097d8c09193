// A text constant is stepped over whole, so that what it holds ("Sheet1!A1" as text) is never
// taken for a reference.
#include "workbook/sheetreferences.h"

namespace workbook {

void addUser(QStringList &users, const QString &what) {
    if (!users.contains(what))
        users.append(what);
}

qsizetype endOfTextConstant(QStringView f, qsizetype quote) {
    const qsizetype n = f.size();
    qsizetype i = quote + 1;
    for (; i < n; ++i)
        if (f[i] == u'"' && !(i + 1 < n && f[i + 1] == u'"'))
            break;
        else if (f[i] == u'"')
            ++i;
    return i;
}

} // namespace workbook
