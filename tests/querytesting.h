// The workbook query's records as texts: of an open query, and as a fresh query reads a file.
#pragma once

#include "sources/adoquery.h"
#include "sources/workbooksource.h"

#include <QList>
#include <QStringList>

namespace querytesting {

// Every record's field texts.
inline QList<QStringList> textsOf(const TADOQuery &q) {
    QList<QStringList> out;
    for (int r = 0; r < q.RecordCount(); ++r) {
        QStringList texts;
        for (int f = 0; f < q.FieldCount(); ++f)
            texts << q.FieldText(r, f);
        out << texts;
    }
    return out;
}

// The records as a fresh query reads the file.
inline QList<QStringList> recordsInFile(const QString &path) {
    TADOQuery fresh;
    workbooksource::openWorkbook(fresh, path);
    return textsOf(fresh);
}

} // namespace querytesting
