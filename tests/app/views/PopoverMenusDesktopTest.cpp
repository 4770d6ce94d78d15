// The popover's menus as the X server shows them, with no compositor: what a whole-screen
// capture sees is what the person sees.
#include "app/views/LanguageMenu.h"
#include "app/views/PopoverView.h"
#include "core/Languages.h"
#include "support/ViewRig.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMenu>
#include <QScreen>
#include <QTest>

using namespace tivela;
using namespace Qt::StringLiterals;

namespace {

// The screen as a capture of the root window has it.
QImage screenShot(const QString& name) {
    const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    if (const QString shots = qEnvironmentVariable("TIVELA_TEST_SHOTS"); !shots.isEmpty())
        shot.save(u"%1/%2.png"_s.arg(shots, name));
    return shot;
}

// The share of a rectangle's pixels that are pure black.
double blackShare(const QImage& image, const QRect& rect) {
    const QRect inside = rect & image.rect();
    qsizetype black = 0;
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            black += (image.pixel(x, y) & 0xFFFFFF) == 0;
    return inside.isEmpty() ? 1 : double(black) / double(inside.width() * inside.height());
}

class PopoverMenusDesktopTest : public ::testing::Test, public test::ViewRig {};

} // namespace

TEST_F(PopoverMenusDesktopTest, TheMoreMenuIsDrawnAtItsFirstShow) {
    AppModel& app = make();
    QWidget window(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    window.setFixedSize(420, 600);
    auto* popover = new PopoverView(app, services, &window);
    popover->setGeometry(window.rect());
    window.move(100, 100);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    QAbstractButton* more = nullptr;
    for (auto* button : popover->findChildren<QAbstractButton*>())
        if (button->toolTip() == u"More")
            more = button;
    ASSERT_NE(more, nullptr);
    QMenu* menu = popover->moreMenu();
    QTest::mouseClick(more, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    QTest::qWait(200);
    EXPECT_LT(blackShare(screenShot(u"more-menu"_s), menu->geometry()), 0.05);
}

// Every language of the engine is longer a list than the screen is high: the menu stays on the
// screen, scrolls, and opens on the selected language, from which the keys go on.
TEST(LanguageMenuDesktopTest, ALongListScrollsOnTheScreenFromTheSelectedLanguage) {
    QStringList codes = Languages::popularity();
    for (const char* code : {"ast", "an", "frp", "hbs", "szl", "oc", "sc", "br", "mk", "be"})
        codes << QString::fromLatin1(code);
    QWidget window(nullptr, Qt::Tool | Qt::FramelessWindowHint);
    auto* languages = new LanguageMenu(true, &window);
    languages->setTitle(u"Detect Language"_s);
    languages->setLanguages(codes);
    languages->setSelected(codes.last());
    languages->move(10, 10);
    window.resize(300, 60);
    window.move(100, 40);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    QTest::mouseClick(languages, Qt::LeftButton, {}, QPoint(10, 5));
    QMenu* menu = languages->menu();
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    QTest::qWait(200);
    screenShot(u"language-menu"_s);
    const QRect screen = menu->screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(menu->geometry())) << menu->geometry().height();
    ASSERT_NE(menu->activeAction(), nullptr);
    EXPECT_EQ(menu->activeAction()->text(), Languages::name(codes.last()));
    EXPECT_TRUE(menu->rect().contains(menu->actionGeometry(menu->activeAction())));

    QTest::keyClick(menu, Qt::Key_Up);
    ASSERT_NE(menu->activeAction(), nullptr);
    EXPECT_EQ(menu->activeAction()->text(), Languages::name(codes[codes.size() - 2]));
    EXPECT_TRUE(menu->rect().contains(menu->actionGeometry(menu->activeAction())));
    menu->hide();
}
