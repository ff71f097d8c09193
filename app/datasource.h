// `DataSource1`: joins the workbook query to the grid, the navigator and the bound boxes. The
// boxes are bound by field name and follow the current record through a QDataWidgetMapper.
#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>

class QDataWidgetMapper;
class QueryModel;
class QWidget;
class TADOQuery;

class TDataSource : public QObject {
    Q_OBJECT
public:
    explicit TDataSource(TADOQuery *dataSet, QObject *parent = nullptr);

    TADOQuery *DataSet() const { return m_dataSet; }
    QueryModel *model() const { return m_model; }

    // Shows the named field of the current record in the box (a QLineEdit or QPlainTextEdit).
    // Throws CommandError when the open query has no such field.
    void bind(QWidget *box, const QString &fieldName);
    // The box shows nothing and is bound to no field.
    void unbind(QWidget *box);
    QString boundField(QWidget *box) const { return m_bound.value(box); }

private:
    void refresh();

    TADOQuery *m_dataSet;
    QueryModel *m_model;
    QDataWidgetMapper *m_mapper;
    QHash<QWidget *, QString> m_bound;
};
