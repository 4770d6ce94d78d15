#pragma once

#include <QHash>
#include <QKeySequence>
#include <QObject>
#include <QString>

class QAction;
class QMenu;
class QWidget;

namespace tivela {

// The items of the main menu.
enum class MenuItem {
    about,
    settings,
    checkForUpdates,
    quit,
    undo,
    redo,
    cut,
    copy,
    paste,
    pasteAndMatchStyle,
    deleteSelection,
    selectAll,
    close,
    minimize,
};

// What the application answers of the main menu. Edit items go to the focused widget first;
// paste and select all come here when no widget takes them.
class MainMenuActions {
public:
    virtual ~MainMenuActions() = default;
    virtual void showAbout() = 0;
    virtual void showSettings() = 0;
    virtual void checkForUpdates() = 0;
    virtual void closeKeyWindow() = 0;
    virtual void quit() = 0;
    virtual void paste() = 0;
    virtual void selectAll() = 0;
    // Whether one of the application's own answers acts now.
    virtual bool isEnabled(MenuItem item) const = 0;
};

// The application's main menu. A tray application shows no menu bar, but the menu's key
// sequences are how Ctrl+C, Ctrl+W, Ctrl+, and Ctrl+Q work in its windows: the menu is never
// shown, and install() puts its actions on each window. One QAction per key: two actions with
// one sequence in a window cancel each other out, so other menus reuse these.
class MainMenu : public QObject {
    Q_OBJECT

public:
    MainMenu(const QString& appName, MainMenuActions* target, QObject* parent = nullptr);
    ~MainMenu() override;

    // The application menu (named after the application), "Edit" and "Window".
    QMenu* root() const { return m_root; }
    QAction* action(MenuItem item) const { return m_actions.value(item); }
    // Makes the menu's key sequences work while the window is active.
    void install(QWidget* window);
    // From now on every other window of the application gets Close as it is shown, so Ctrl+W
    // closes it: the dialogs and message boxes too. Only Close: a message box's own Ctrl+C
    // copies its text.
    void closeEveryWindow();

    // The sequences are spelled out: the generic platform theme makes QKeySequence::Close
    // Ctrl+F4 and gives Quit none.
    static QKeySequence sequence(MenuItem item);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void add(QMenu* menu, MenuItem item, const QString& title);
    void trigger(MenuItem item);
    // The focused widget's slot of the item, if a widget up to its window has one.
    bool toFocusWidget(MenuItem item);

    MainMenuActions* m_target;
    QMenu* m_root;
    QHash<MenuItem, QAction*> m_actions;
};

} // namespace tivela
