// The data source: bound boxes by field name, kept on the current record, and what is typed
// into them carried into the query's pending edit.
#include "app/datasource.h"

#include "app/querymodel.h"
#include "common/commanderror.h"
#include "sources/adoquery.h"

#include <QDataWidgetMapper>
#include <QEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStyledItemDelegate>
#include <QTextCursor>
#include <QTextDocument>

namespace {

// The text of a box as a field text: a memo's paragraphs are separated by line feeds, and its
// other characters (no-break spaces, line separators) stay as typed.
QString boxText(QWidget *box) {
    if (auto *edit = qobject_cast<QLineEdit *>(box))
        return edit->text();
    if (auto *memo = qobject_cast<QPlainTextEdit *>(box))
        return memo->document()->toRawText().replace(QChar::ParagraphSeparator, u'\n');
    return QString();
}

// A memo cannot hold a carriage return apart from its line feed: a text that differs only in
// that is what the memo shows of it.
QString asShown(QWidget *box, const QString &text) {
    if (!qobject_cast<QPlainTextEdit *>(box))
        return text;
    return QString(text)
        .replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(u'\r', u'\n');
}

void setBoxReadOnly(QWidget *box, bool readOnly) {
    if (auto *edit = qobject_cast<QLineEdit *>(box))
        edit->setReadOnly(readOnly);
    else if (auto *memo = qobject_cast<QPlainTextEdit *>(box))
        memo->setReadOnly(readOnly);
}

// Fills the boxes for the mapper through the data source, so that it can tell its own texts
// from typing. Boxes write their text through the data source too, never through the mapper.
class BoxDelegate : public QStyledItemDelegate {
public:
    BoxDelegate(TDataSource *source) : QStyledItemDelegate(source), m_source(source) {}

    void setEditorData(QWidget *editor, const QModelIndex &index) const override {
        m_source->showInBox(editor, index.data(Qt::EditRole).toString());
    }
    void setModelData(QWidget *, QAbstractItemModel *, const QModelIndex &) const override {}

private:
    TDataSource *m_source;
};

} // namespace

TDataSource::TDataSource(TADOQuery *dataSet, QObject *parent)
    : QObject(parent), m_dataSet(dataSet), m_model(new QueryModel(dataSet, this)),
      m_mapper(new QDataWidgetMapper(this)) {
    m_mapper->setModel(m_model);
    m_mapper->setItemDelegate(new BoxDelegate(this));
    m_mapper->setSubmitPolicy(QDataWidgetMapper::ManualSubmit);
    connect(dataSet, &TADOQuery::structureChanged, this, &TDataSource::refresh);
    connect(dataSet, &TADOQuery::recordChanged, this, &TDataSource::refresh);
    connect(dataSet, &TADOQuery::stateChanged, this, &TDataSource::updateReadOnly);
    connect(dataSet, &TADOQuery::updateRecord, this, &TDataSource::updateRecord);
}

void TDataSource::setGuard(ErrorGuard guard) {
    m_guard = guard;
    m_model->guard = std::move(guard);
}

void TDataSource::run(const std::function<void()> &action) {
    runGuarded(m_guard, action);
}

void TDataSource::bind(QWidget *box, const QString &fieldName) {
    unbind(box);
    const TField *field = m_dataSet->Active() ? m_dataSet->FindField(fieldName) : nullptr;
    if (!field)
        throw CommandError(m_dataSet->objectName() +
                           QStringLiteral(": Field '%1' not found").arg(fieldName));
    m_bound.insert(box, field->FieldName());
    m_mapper->addMapping(box, field->Index());
    box->installEventFilter(this);
    if (auto *edit = qobject_cast<QLineEdit *>(box))
        connect(edit, &QLineEdit::textChanged, this, [this, box] { boxEdited(box); });
    else if (auto *memo = qobject_cast<QPlainTextEdit *>(box))
        connect(memo, &QPlainTextEdit::textChanged, this, [this, box] { boxEdited(box); });
    refresh();
}

void TDataSource::unbind(QWidget *box) {
    m_mapper->removeMapping(box);
    m_bound.remove(box);
    box->removeEventFilter(this);
    disconnect(box, nullptr, this, nullptr);
    showInBox(box, QString());
    setBoxReadOnly(box, true);
}

void TDataSource::showInBox(QWidget *box, const QString &text) {
    if (boxText(box) == asShown(box, text))
        return; // the caret stays where the user left it
    ++m_showing;
    if (auto *edit = qobject_cast<QLineEdit *>(box))
        edit->setText(text);
    else if (auto *memo = qobject_cast<QPlainTextEdit *>(box))
        memo->setPlainText(text);
    --m_showing;
}

// Typing into a box starts an edit. On an empty sheet that is an insert, whose blank record
// the boxes then show: what was typed is put back.
void TDataSource::boxEdited(QWidget *box) {
    if (m_showing > 0 || !m_dataSet->Active() || m_dataSet->State() != DataSetState::Browse)
        return;
    const QString typed = boxText(box);
    auto *edit = qobject_cast<QLineEdit *>(box);
    auto *memo = qobject_cast<QPlainTextEdit *>(box);
    const int caret = edit ? edit->cursorPosition() : memo ? memo->textCursor().position() : 0;
    run([this] { m_dataSet->Edit(); });
    if (boxText(box) == typed)
        return;
    ++m_showing;
    if (edit) {
        edit->setText(typed);
        edit->setCursorPosition(caret);
    } else if (memo) {
        memo->setPlainText(typed);
        QTextCursor cursor = memo->textCursor();
        cursor.setPosition(qMin(caret, memo->document()->characterCount() - 1));
        memo->setTextCursor(cursor);
    }
    --m_showing;
}

bool TDataSource::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::FocusOut) {
        auto *box = static_cast<QWidget *>(watched);
        if (m_bound.contains(box))
            run([this, box] { updateField(box); });
    }
    return QObject::eventFilter(watched, event);
}

void TDataSource::updateField(QWidget *box) {
    const DataSetState state = m_dataSet->Active() ? m_dataSet->State() : DataSetState::Inactive;
    if (state != DataSetState::Edit && state != DataSetState::Insert)
        return;
    const TField *field = m_dataSet->FindField(m_bound.value(box));
    if (!field)
        return;
    const QString text = boxText(box);
    if (text != asShown(box, field->AsString()))
        field->SetAsString(text);
}

void TDataSource::updateRecord() {
    for (auto it = m_bound.cbegin(); it != m_bound.cend(); ++it)
        updateField(it.key());
}

// Boxes show the current record; with none (a closed or empty query), they show nothing.
void TDataSource::refresh() {
    const bool open = m_dataSet->Active();
    const int record = open ? m_dataSet->RecNo() : -1;
    for (auto it = m_bound.cbegin(); it != m_bound.cend(); ++it) {
        const TField *field = open ? m_dataSet->FindField(it.value()) : nullptr;
        const int section = field ? field->Index() : -1;
        if (section >= 0 && m_mapper->mappedSection(it.key()) != section) {
            m_mapper->removeMapping(it.key());
            m_mapper->addMapping(it.key(), section);
        }
        if (!field || record < 0)
            showInBox(it.key(), QString());
    }
    if (record >= 0)
        m_mapper->setCurrentIndex(record);
    updateReadOnly();
}

// Boxes take typing while the data can be modified.
void TDataSource::updateReadOnly() {
    for (auto it = m_bound.cbegin(); it != m_bound.cend(); ++it) {
        const TField *field = m_dataSet->Active() ? m_dataSet->FindField(it.value()) : nullptr;
        setBoxReadOnly(it.key(), !(field && m_dataSet->CanModify()));
    }
}
