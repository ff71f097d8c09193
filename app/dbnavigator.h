// `DBNavigator1`: the record navigator, a row of buttons that move through the query and (when
// the data can be modified) insert, edit, post, cancel and refresh. No delete button is shown.
#pragma once

#include "app/errorguard.h"

#include <QWidget>

#include <array>
#include <functional>

class QToolButton;
class TADOQuery;
class TDataSource;

enum class NavigateButton { First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel, Refresh };

class TDBNavigator : public QWidget {
    Q_OBJECT
public:
    explicit TDBNavigator(QWidget *parent = nullptr);

    static constexpr int ButtonCount = 10;
    // One tool tip per button kind, in the order of NavigateButton.
    static const std::array<QString, ButtonCount> Hints;

    void setDataSource(TDataSource *source);
    QToolButton *button(NavigateButton which) const { return m_buttons[std::size_t(which)]; }

    // Runs each button's action; the window passes its error guard here.
    ErrorGuard guard;

    // Sets every button's enabled state from the query's state.
    void updateButtons();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void click(NavigateButton which);
    void layoutButtons();

    std::array<QToolButton *, ButtonCount> m_buttons{};
    TADOQuery *m_query = nullptr;
};
