#include "menu/MainMenu.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace tivela;
using namespace Qt::StringLiterals;

namespace {

class RecordingActions : public MainMenuActions {
public:
    void showAbout() override { calls << u"about"_s; }
    void showSettings() override { calls << u"settings"_s; }
    void checkForUpdates() override { calls << u"updates"_s; }
    void closeKeyWindow() override { calls << u"close"_s; }
    void quit() override { calls << u"quit"_s; }
    void paste() override { calls << u"paste"_s; }
    void selectAll() override { calls << u"selectAll"_s; }
    bool isEnabled(MenuItem item) const override { return !disabled.contains(item); }

    QStringList calls;
    QList<MenuItem> disabled;
};

class MainMenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto* layout = new QVBoxLayout(&window);
        for (QWidget* widget : {static_cast<QWidget*>(edit), static_cast<QWidget*>(label),
                                static_cast<QWidget*>(readOnly), static_cast<QWidget*>(button)})
            layout->addWidget(widget);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        label->setFocusPolicy(Qt::StrongFocus);
        readOnly->setReadOnly(true);
        menu.install(&window);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    // Keys go in as the window system delivers them, through the shortcut map.
    void press(QKeyCombination key) {
        QTest::keyClick(window.windowHandle(), key.key(), key.keyboardModifiers());
    }
    void focus(QWidget* widget) {
        widget->setFocus();
        ASSERT_TRUE(QTest::qWaitFor([&] { return widget->hasFocus(); }));
    }

    RecordingActions actions;
    QWidget window;
    QLineEdit* edit = new QLineEdit(u"hello world"_s);
    QLabel* label = new QLabel(u"Hello label"_s);
    QPlainTextEdit* readOnly = new QPlainTextEdit(u"read only text"_s);
    QPushButton* button = new QPushButton(u"button"_s);
    MainMenu menu{u"Tivela"_s, &actions};
};

} // namespace

TEST_F(MainMenuTest, NamesTheApplicationAndSpellsItsKeysOut) {
    const QList<QAction*> menus = menu.root()->actions();
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(menus[0]->text(), u"Tivela"_s);
    EXPECT_EQ(menus[1]->text(), u"Edit"_s);
    EXPECT_EQ(menus[2]->text(), u"Window"_s);
    const QList<QAction*> application = menus[0]->menu()->actions();
    EXPECT_EQ(application.first()->text(), u"About Tivela"_s);
    EXPECT_EQ(application.last()->text(), u"Quit Tivela"_s);
    EXPECT_EQ(menu.action(MenuItem::close)->shortcut(), QKeySequence(u"Ctrl+W"_s));
    EXPECT_EQ(menu.action(MenuItem::quit)->shortcut(), QKeySequence(u"Ctrl+Q"_s));
}

TEST_F(MainMenuTest, ApplicationKeysReachTheApplicationOncePerPress) {
    // Installed twice, and on a second window: still one action per key.
    menu.install(&window);
    QWidget second;
    menu.install(&second);
    press(Qt::CTRL | Qt::Key_W);
    press(Qt::CTRL | Qt::Key_Comma);
    press(Qt::CTRL | Qt::Key_Q);
    EXPECT_EQ(actions.calls, (QStringList{u"close"_s, u"settings"_s, u"quit"_s}));
    actions.disabled << MenuItem::quit;
    press(Qt::CTRL | Qt::Key_Q);
    EXPECT_EQ(actions.calls.size(), 3);
}

TEST_F(MainMenuTest, EditKeysActOnTheFocusedWidget) {
    focus(edit);
    edit->selectAll();
    press(Qt::CTRL | Qt::Key_C);
    EXPECT_EQ(QApplication::clipboard()->text(), u"hello world"_s);
    press(Qt::CTRL | Qt::Key_X);
    EXPECT_TRUE(edit->text().isEmpty());
    press(Qt::CTRL | Qt::Key_Z);
    EXPECT_EQ(edit->text(), u"hello world"_s);

    // A selectable label has no copy slot: it still copies its selection.
    focus(label);
    label->setSelection(0, 5);
    press(Qt::CTRL | Qt::Key_C);
    EXPECT_EQ(QApplication::clipboard()->text(), u"Hello"_s);

    focus(readOnly);
    readOnly->selectAll();
    press(Qt::CTRL | Qt::Key_C);
    EXPECT_EQ(QApplication::clipboard()->text(), u"read only text"_s);

    // Nothing focused takes paste or select all: the application does.
    focus(button);
    press(Qt::CTRL | Qt::Key_V);
    press(Qt::CTRL | Qt::Key_A);
    EXPECT_EQ(actions.calls, (QStringList{u"paste"_s, u"selectAll"_s}));
}
