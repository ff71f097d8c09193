// The data source: bound boxes by field name, kept on the current record.
#include "app/datasource.h"

#include "app/querymodel.h"
#include "common/commanderror.h"
#include "sources/adoquery.h"

#include <QDataWidgetMapper>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace {

void setBoxText(QWidget *box, const QString &text) {
    if (auto *edit = qobject_cast<QLineEdit *>(box))
        edit->setText(text);
    else if (auto *memo = qobject_cast<QPlainTextEdit *>(box))
        memo->setPlainText(text);
}

void setBoxReadOnly(QWidget *box, bool readOnly) {
    if (auto *edit = qobject_cast<QLineEdit *>(box))
        edit->setReadOnly(readOnly);
    else if (auto *memo = qobject_cast<QPlainTextEdit *>(box))
        memo->setReadOnly(readOnly);
}

QByteArray textProperty(QWidget *box) {
    return qobject_cast<QPlainTextEdit *>(box) ? QByteArrayLiteral("plainText")
                                               : QByteArrayLiteral("text");
}

} // namespace

TDataSource::TDataSource(TADOQuery *dataSet, QObject *parent)
    : QObject(parent), m_dataSet(dataSet), m_model(new QueryModel(dataSet, this)),
      m_mapper(new QDataWidgetMapper(this)) {
    m_mapper->setModel(m_model);
    m_mapper->setSubmitPolicy(QDataWidgetMapper::ManualSubmit);
    connect(dataSet, &TADOQuery::structureChanged, this, &TDataSource::refresh);
    connect(dataSet, &TADOQuery::recordChanged, this, &TDataSource::refresh);
}

void TDataSource::bind(QWidget *box, const QString &fieldName) {
    unbind(box);
    const TField *field = m_dataSet->Active() ? m_dataSet->FindField(fieldName) : nullptr;
    if (!field)
        throw CommandError(m_dataSet->objectName() +
                           QStringLiteral(": Field '%1' not found").arg(fieldName));
    m_bound.insert(box, field->FieldName());
    m_mapper->addMapping(box, field->Index(), textProperty(box));
    refresh();
}

void TDataSource::unbind(QWidget *box) {
    m_mapper->removeMapping(box);
    m_bound.remove(box);
    setBoxText(box, QString());
    setBoxReadOnly(box, true);
}

// Boxes show the current record; with none (a closed or empty query), they show nothing. They
// are read-only while the data cannot be modified.
void TDataSource::refresh() {
    const bool open = m_dataSet->Active();
    const int record = open ? m_dataSet->RecNo() : -1;
    for (auto it = m_bound.cbegin(); it != m_bound.cend(); ++it) {
        const TField *field = open ? m_dataSet->FindField(it.value()) : nullptr;
        const int section = field ? field->Index() : -1;
        if (section >= 0 && m_mapper->mappedSection(it.key()) != section) {
            m_mapper->removeMapping(it.key());
            m_mapper->addMapping(it.key(), section, textProperty(it.key()));
        }
        setBoxReadOnly(it.key(), !(field && m_dataSet->CanModify()));
        if (!field || record < 0)
            setBoxText(it.key(), QString());
    }
    if (record >= 0)
        m_mapper->setCurrentIndex(record);
}
