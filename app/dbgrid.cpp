// The data grid over the query model.
#include "app/dbgrid.h"

#include "app/datasource.h"
#include "app/querymodel.h"
#include "common/commanderror.h"
#include "sources/adoquery.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyledItemDelegate>

const QString TDBGrid::DeleteQuestion = QStringLiteral("Delete record?");

namespace {

// Cell editors that tell the grid of the first change typed, which starts the query's edit.
class GridDelegate : public QStyledItemDelegate {
public:
    explicit GridDelegate(TDBGrid *grid, std::function<void()> edited)
        : QStyledItemDelegate(grid), m_edited(std::move(edited)) {}

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override {
        QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto *line = qobject_cast<QLineEdit *>(editor))
            QObject::connect(line, &QLineEdit::textEdited, line, [this] { m_edited(); });
        return editor;
    }

private:
    std::function<void()> m_edited;
};

} // namespace

TDBGrid::TDBGrid(QWidget *parent) : QTableView(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    // The model makes cells editable only while the data can be modified.
    setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::DoubleClicked);
    setItemDelegate(new GridDelegate(this, [this] { cellEdited(); }));
    setShowGrid(true);
    setWordWrap(false);
    horizontalHeader()->setVisible(true);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setDefaultSectionSize(DefaultColumnWidth);
    horizontalHeader()->setMinimumSectionSize(0);
    horizontalHeader()->setHighlightSections(false);
    // The indicator column: narrow, one glyph, rows of one fixed height so that tens of
    // thousands of records scroll without measuring any of them.
    verticalHeader()->setVisible(true);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->setFixedWidth(14);
    verticalHeader()->setHighlightSections(false);
    verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
}

void TDBGrid::setDataSource(TDataSource *source) {
    m_source = source;
    m_query = source->DataSet();
    setModel(source->model());
    connect(m_query, &TADOQuery::recordChanged, this, &TDBGrid::followRecord);
    connect(m_query, &TADOQuery::updateRecord, this, &TDBGrid::commitEditor);
    connect(m_query, &TADOQuery::stateChanged, this, &TDBGrid::stateChanged);
}

void TDBGrid::setColumnWidthAt(int column, int width) {
    if (!model() || column < 0 || column >= model()->columnCount())
        throw CommandError(QStringLiteral("List index out of bounds (%1)").arg(column));
    setColumnWidth(column, width);
}

void TDBGrid::run(const std::function<void()> &action) {
    if (m_source)
        m_source->run(action);
    else
        action();
}

void TDBGrid::commitEditor() {
    const QModelIndex index = currentIndex();
    if (QWidget *editor = index.isValid() ? indexWidget(index) : nullptr) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

// The first change typed into a cell puts the query into edit state, as the navigator shows.
void TDBGrid::cellEdited() {
    if (m_query && m_query->Active() && m_query->State() == DataSetState::Browse)
        run([this] { m_query->Edit(); });
}

// A dropped edit takes the cell editor's text with it.
void TDBGrid::stateChanged() {
    if (!m_query->Active() || m_query->State() == DataSetState::Browse) {
        const QModelIndex index = currentIndex();
        if (QWidget *editor = index.isValid() ? indexWidget(index) : nullptr)
            closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

// The query moved: the grid's current row follows, in the same column.
void TDBGrid::followRecord() {
    if (!m_query->Active() || m_query->RecNo() < 0)
        return;
    const int column = currentIndex().isValid() ? currentIndex().column() : 0;
    const QModelIndex target = model()->index(m_query->RecNo(), column);
    if (target == currentIndex())
        return;
    m_following = true;
    setCurrentIndex(target);
    m_following = false;
}

// The user moved in the grid: the query moves to that record, after settling a pending edit or
// insert (which may renumber the rows). A refused post keeps the grid on the edited record.
void TDBGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous) {
    QTableView::currentChanged(current, previous);
    if (m_following || !m_query || !m_query->Active() || m_query->updating() ||
        !current.isValid() || current.row() == m_query->RecNo())
        return;
    int target = current.row();
    if (m_query->State() == DataSetState::Insert && target > m_query->RecNo())
        --target; // the rows below the new record move up when it leaves its place
    run([&] {
        m_query->CheckBrowseMode();
        target = qMin(target, m_query->RecordCount() - 1);
        m_query->MoveBy(target - m_query->RecNo());
    });
    followRecord(); // the grid shows where the query is, whether it moved or not
}

int TDBGrid::visibleRows() const {
    const int rowHeight = qMax(1, verticalHeader()->defaultSectionSize());
    return qMax(1, viewport()->height() / rowHeight);
}

// Moving by rows goes through the query, so that Bof and Eof are set as its moves set them.
void TDBGrid::keyPressEvent(QKeyEvent *event) {
    if (!m_query || !m_query->Active()) {
        QTableView::keyPressEvent(event);
        return;
    }
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const auto unmodifiedInsert = [this] {
        return m_query->State() == DataSetState::Insert && !m_query->Modified();
    };
    switch (event->key()) {
    case Qt::Key_Up:
        commitEditor();
        run([&] {
            if (unmodifiedInsert() && m_query->Eof())
                m_query->Cancel();
            else
                m_query->Prior();
        });
        return;
    case Qt::Key_Down:
        commitEditor();
        run([&] {
            if (unmodifiedInsert()) {
                if (!m_query->Eof()) // a blank record at the end waits for typing
                    m_query->Cancel();
                return;
            }
            m_query->Next();
            if (m_query->Eof() && m_query->CanModify())
                m_query->Append();
        });
        return;
    case Qt::Key_PageUp:
        commitEditor();
        run([&] { m_query->MoveBy(-visibleRows()); });
        return;
    case Qt::Key_PageDown:
        commitEditor();
        run([&] { m_query->MoveBy(visibleRows()); });
        return;
    case Qt::Key_Home:
    case Qt::Key_End:
        if (!ctrl)
            break;
        commitEditor();
        run([&] {
            if (event->key() == Qt::Key_Home)
                m_query->First();
            else
                m_query->Last();
        });
        return;
    case Qt::Key_Insert:
        if (event->modifiers() != Qt::NoModifier || !m_query->CanModify())
            break;
        commitEditor();
        run([&] { m_query->Insert(); });
        return;
    case Qt::Key_Delete:
        if (!ctrl || !m_query->CanModify() || m_query->IsEmpty())
            break;
        if (confirm && confirm(DeleteQuestion))
            run([&] { m_query->Delete(); });
        return;
    case Qt::Key_Escape:
        if (m_query->State() == DataSetState::Edit || m_query->State() == DataSetState::Insert) {
            run([&] { m_query->Cancel(); });
            return;
        }
        break;
    default:
        break;
    }
    QTableView::keyPressEvent(event);
}
