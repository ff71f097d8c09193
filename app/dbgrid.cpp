// The data grid over the query model.
#include "app/dbgrid.h"

#include "app/datasource.h"
#include "app/querymodel.h"
#include "common/commanderror.h"
#include "sources/adoquery.h"

#include <QHeaderView>
#include <QKeyEvent>

TDBGrid::TDBGrid(QWidget *parent) : QTableView(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
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
}

void TDBGrid::setColumnWidthAt(int column, int width) {
    if (!model() || column < 0 || column >= model()->columnCount())
        throw CommandError(QStringLiteral("List index out of bounds (%1)").arg(column));
    setColumnWidth(column, width);
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

// The user moved in the grid: the query moves to that record.
void TDBGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous) {
    QTableView::currentChanged(current, previous);
    if (m_following || !m_query || !m_query->Active() || !current.isValid())
        return;
    const int record = m_query->RecNo();
    if (current.row() != record)
        m_query->MoveBy(current.row() - record);
}

int TDBGrid::visibleRows() const {
    const int rowHeight = qMax(1, verticalHeader()->defaultSectionSize());
    return qMax(1, viewport()->height() / rowHeight);
}

// Moving by rows goes through the query, so that Bof and Eof are set as its moves set them.
void TDBGrid::keyPressEvent(QKeyEvent *event) {
    if (m_query && m_query->Active()) {
        const bool ctrl = event->modifiers() & Qt::ControlModifier;
        switch (event->key()) {
        case Qt::Key_Up:
            m_query->Prior();
            return;
        case Qt::Key_Down:
            m_query->Next();
            return;
        case Qt::Key_PageUp:
            m_query->MoveBy(-visibleRows());
            return;
        case Qt::Key_PageDown:
            m_query->MoveBy(visibleRows());
            return;
        case Qt::Key_Home:
            if (ctrl) {
                m_query->First();
                return;
            }
            break;
        case Qt::Key_End:
            if (ctrl) {
                m_query->Last();
                return;
            }
            break;
        default:
            break;
        }
    }
    QTableView::keyPressEvent(event);
}
