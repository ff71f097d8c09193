// `DataSource1`: joins the workbook query to the grid, the navigator and the bound boxes. The
// boxes are bound by field name and follow the current record through a QDataWidgetMapper;
// typing into one puts the query into edit state, and its text goes into the field when the
// box is left and before every post.
#pragma once

#include "app/errorguard.h"

#include <QHash>
#include <QObject>

#include <functional>

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

    // Runs an action that may throw CommandError (the window's error guard); also used by the
    // grid model.
    void setGuard(ErrorGuard guard);
    void run(const std::function<void()> &action);

    // Called by the boxes' delegate: shows a field text without taking it for typing.
    void showInBox(QWidget *box, const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refresh();
    void updateReadOnly();
    void boxEdited(QWidget *box);
    // Puts each bound box's text, where it differs from its field's, into the pending edit.
    void updateRecord();
    void updateField(QWidget *box);

    TADOQuery *m_dataSet;
    QueryModel *m_model;
    QDataWidgetMapper *m_mapper;
    QHash<QWidget *, QString> m_bound;
    ErrorGuard m_guard;
    int m_showing = 0; // texts set by the data source are no typing
};
