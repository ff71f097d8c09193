// The record navigator.
#include "app/dbnavigator.h"

#include "app/datasource.h"
#include "sources/adoquery.h"

#include <QToolButton>

const std::array<QString, TDBNavigator::ButtonCount> TDBNavigator::Hints = {
    QStringLiteral("第一个记录"), QStringLiteral("前一个记录"), QStringLiteral("下一个记录"),
    QStringLiteral("最后记录"),   QStringLiteral("插入记录"),   QStringLiteral("删除记录"),
    QStringLiteral("编辑记录"),   QStringLiteral("提交记录"),   QStringLiteral("取消编辑"),
    QStringLiteral("刷新数据")};

namespace {

const char *const Names[TDBNavigator::ButtonCount] = {
    "first", "prior", "next", "last", "insert", "delete", "edit", "post", "cancel", "refresh"};
const char16_t *const Glyphs[TDBNavigator::ButtonCount] = {u"|◀", u"◀", u"▶", u"▶|", u"+",
                                                           u"−",  u"▲", u"✔", u"✘",  u"↻"};

} // namespace

TDBNavigator::TDBNavigator(QWidget *parent) : QWidget(parent) {
    for (int i = 0; i < ButtonCount; ++i) {
        auto *b = new QToolButton(this);
        b->setObjectName(QLatin1String(Names[i]));
        b->setText(QString::fromUtf16(Glyphs[i]));
        b->setToolTip(Hints[std::size_t(i)]);
        b->setAccessibleName(Hints[std::size_t(i)]);
        b->setFocusPolicy(Qt::NoFocus);
        b->setEnabled(false);
        const auto which = NavigateButton(i);
        connect(b, &QToolButton::clicked, this, [this, which] { click(which); });
        m_buttons[std::size_t(i)] = b;
    }
    button(NavigateButton::Delete)->setVisible(false);
    layoutButtons();
}

void TDBNavigator::setDataSource(TDataSource *source) {
    m_query = source->DataSet();
    connect(m_query, &TADOQuery::structureChanged, this, &TDBNavigator::updateButtons);
    connect(m_query, &TADOQuery::recordChanged, this, &TDBNavigator::updateButtons);
    connect(m_query, &TADOQuery::stateChanged, this, &TDBNavigator::updateButtons);
    updateButtons();
    layoutButtons(); // a hidden widget gets its resize event only when shown
}

void TDBNavigator::updateButtons() {
    const bool active = m_query && m_query->Active();
    const bool modify = active && m_query->CanModify();
    const DataSetState state = active ? m_query->State() : DataSetState::Inactive;
    const bool editing = state == DataSetState::Edit || state == DataSetState::Insert;
    auto set = [this](NavigateButton which, bool enabled) { button(which)->setEnabled(enabled); };
    set(NavigateButton::First, active && !m_query->Bof());
    set(NavigateButton::Prior, active && !m_query->Bof());
    set(NavigateButton::Next, active && !m_query->Eof());
    set(NavigateButton::Last, active && !m_query->Eof());
    set(NavigateButton::Insert, modify);
    set(NavigateButton::Delete, modify && !m_query->IsEmpty());
    set(NavigateButton::Edit, modify && !editing);
    set(NavigateButton::Post, modify && editing);
    set(NavigateButton::Cancel, modify && editing);
    set(NavigateButton::Refresh, modify);
}

void TDBNavigator::click(NavigateButton which) {
    if (!m_query)
        return;
    auto action = [this, which] {
        switch (which) {
        case NavigateButton::First:
            m_query->First();
            break;
        case NavigateButton::Prior:
            m_query->Prior();
            break;
        case NavigateButton::Next:
            m_query->Next();
            break;
        case NavigateButton::Last:
            m_query->Last();
            break;
        case NavigateButton::Insert:
            m_query->Insert();
            break;
        case NavigateButton::Delete:
            m_query->Delete();
            break;
        case NavigateButton::Edit:
            m_query->Edit();
            break;
        case NavigateButton::Post:
            m_query->Post();
            break;
        case NavigateButton::Cancel:
            m_query->Cancel();
            break;
        case NavigateButton::Refresh:
            m_query->Refresh();
            break;
        }
    };
    runGuarded(guard, action);
    updateButtons();
}

void TDBNavigator::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    layoutButtons();
}

// The visible buttons share the width equally; what is left over goes to the outer ones.
void TDBNavigator::layoutButtons() {
    int visible = 0;
    for (QToolButton *b : m_buttons)
        visible += !b->isHidden();
    if (visible == 0)
        return;
    const int w = width() / visible;
    const int spare = width() - w * visible;
    int x = spare / 2;
    for (QToolButton *b : m_buttons) {
        if (b->isHidden())
            continue;
        b->setGeometry(x, 0, w, height());
        x += w;
    }
}
