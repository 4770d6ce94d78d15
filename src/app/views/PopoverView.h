#pragma once

#include "app/Tab.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>

class QAction;
class QMenu;
class QVBoxLayout;

namespace tivela {

class AppModel;
class EnginePrompt;
class Label;
struct ViewServices;

// The whole content of the tray's popover, 420 x 600 by design: the selected tab's view, a
// divider, and the bar of tab buttons with the More menu. Given less room, the tab's view
// scrolls and the bar stays whole. It also turns a download request in the model into
// the engine's install prompt. Keys that reach it with no widget focused go to the tab's view.
class PopoverView : public QWidget {
    Q_OBJECT

public:
    static constexpr int widthPixels = 420;
    static constexpr int heightPixels = 600;

    // The popover's object name; the paste button's frame is measured in its coordinates.
    static QString space();

    PopoverView(AppModel& model, ViewServices& services, QWidget* parent = nullptr);
    ~PopoverView() override;

    // The view of the selected tab.
    QWidget* tabView() const { return m_tabView; }
    // The due-card count the cards button shows; 0 when it shows none.
    int badge() const { return m_badge; }
    // The symbol a tab's button shows now.
    QString tabSymbol(Tab tab) const;
    QMenu* moreMenu() const { return m_more; }
    // The line on a change the store let down, above the tab bar (wrapped when it is long);
    // empty while there is none.
    QString notice() const;
    EnginePrompt& prompt() const { return *m_prompt; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    class TabButton;

    QWidget* makeBar();
    void buildMenu();
    void showTab();
    void updateBadge();
    void updateNotice();
    void forward(QKeyEvent* event);

    AppModel& m_model;
    ViewServices& m_services;
    QPointer<QWidget> m_tabView;
    QVBoxLayout* m_tabLayout = nullptr;
    std::array<TabButton*, 4> m_buttons{};
    QMenu* m_more = nullptr;
    QAction* m_pin = nullptr;
    EnginePrompt* m_prompt = nullptr;
    Label* m_notice = nullptr;
    // The notice was on screen: it goes when the popover does.
    bool m_noticeSeen = false;
    int m_badge = 0;
    // Timers for the next card falling due; only the latest counts.
    quint64 m_dueTimer = 0;
    bool m_shown = false;
    bool m_forwarding = false;
};

} // namespace tivela
