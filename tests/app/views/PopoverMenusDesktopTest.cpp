// The popover's menus as the X server shows them, with no compositor: what a whole-screen
// capture sees is what the person sees.
#include "app/views/LanguageMenu.h"
#include "app/views/PopoverView.h"
#include "core/Languages.h"
#include "support/ViewRig.h"
#include "support/x11/FakeXApp.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMenu>
#include <QScreen>
#include <QTest>
#include <QToolTip>

#include <algorithm>
#include <atomic>
#include <optional>
#include <thread>

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

// Whether the screen shows a black rectangle in the area: five rows running, each with 40 black
// pixels side by side (not text); nothing when the screen could not be read.
std::optional<bool> blackRectangle(XConnection& x, const QRect& area) {
    const XReply<xcb_get_image_reply_t> image(
        xcb_get_image_reply(x.get(),
                            xcb_get_image(x.get(), XCB_IMAGE_FORMAT_Z_PIXMAP, x.root(), area.x(),
                                          area.y(), area.width(), area.height(), ~0u),
                            nullptr));
    if (!image)
        return std::nullopt;
    const auto* pixels = reinterpret_cast<const quint32*>(xcb_get_image_data(image.get()));
    int rows = 0;
    for (int y = 0; y < area.height() && rows < 5; ++y) {
        int run = 0;
        int longest = 0;
        for (int x0 = 0; x0 < area.width(); ++x0) {
            run = (pixels[y * area.width() + x0] & 0xFFFFFF) == 0 ? run + 1 : 0;
            longest = std::max(longest, run);
        }
        rows = longest >= 40 ? rows + 1 : 0;
    }
    return rows >= 5;
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
    // Drawn a moment after it is exposed; a menu that stays black never passes.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return blackShare(screenShot(u"more-menu"_s), menu->geometry()) < 0.05; }, 10000))
        << "the menu was never drawn";
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
    // The picture, for people, once the menu is drawn; nothing below depends on it.
    [[maybe_unused]] const bool drawn = QTest::qWaitFor(
        [&] { return blackShare(screenShot(u"language-menu"_s), menu->geometry()) < 0.05; }, 10000);
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

// A chip's tooltip, however long, stays over the popover at the screen's right edge, wrapped
// to its width; no frame of the screen shows a black rectangle over the card while the chips are
// hovered one after another, slowly and quickly.
TEST_F(PopoverMenusDesktopTest, ChipTooltipsStayOverThePopoverAndShowNoBlack) {
    AppModel& app = make();
    QWidget window(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    window.setFixedSize(420, 600);
    auto* popover = new PopoverView(app, services, &window);
    popover->setGeometry(window.rect());
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    DictionaryEntry entry{u"run"_s,     std::nullopt, u"en"_s, u"ja"_s,
                          std::nullopt, std::nullopt, {},      {}};
    QList<DictionaryEntry::Term> terms;
    for (int i = 0; i < 6; ++i)
        terms << DictionaryEntry::Term{
            u"term%1"_s.arg(i), i % 2 ? std::optional(u"hashiru"_s) : std::nullopt,
            u"to move swiftly on foot %1so that both feet leave the ground"_s.arg(
                u"as a person or an animal does in a hurry, "_s.repeated(i % 3))};
    entry.groups = {{u"verb"_s, terms}};
    app.setInput(u"run"_s);
    app.setEntry(entry);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const QPoint corner(screen.right() + 1 - 420, screen.top() + 30);
    window.move(corner);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.geometry().topLeft() == corner; }))
        << window.geometry().x() << "," << window.geometry().y();
    QList<QAbstractButton*> chips;
    for (auto* button : popover->findChildren<QAbstractButton*>())
        if (button->text().startsWith(u"term"))
            chips << button;
    ASSERT_EQ(chips.size(), 6);

    // The frames counted are those of the hovering, from the moved window's first drawing on.
    const QRect area = window.frameGeometry();
    {
        XConnection x;
        ASSERT_TRUE(QTest::qWaitFor([&] { return blackRectangle(x, area) == false; }, 10000))
            << "the moved popover was never drawn";
    }
    std::atomic<bool> stop = false;
    std::atomic<int> frames = 0;
    std::atomic<int> black = 0;
    std::jthread watcher([&] {
        XConnection x;
        while (!stop) {
            if (const auto shows = blackRectangle(x, area)) {
                ++frames;
                black += *shows;
            }
        }
    });
    XConnection input;
    for (const int pause : {900, 150}) {
        for (QAbstractButton* chip : chips) {
            const QPoint centre = chip->mapToGlobal(chip->rect().center());
            test::FakeInput::moveTo(input, centre.x(), centre.y());
            if (pause < 900) {
                QTest::qWait(pause);
                continue;
            }
            QWidget* tip = nullptr;
            [[maybe_unused]] const bool shown = QTest::qWaitFor(
                [&] {
                    for (QWidget* widget : QApplication::topLevelWidgets())
                        if (widget->objectName() == u"qtooltip_label" && widget->isVisible())
                            tip = widget;
                    return tip != nullptr;
                },
                3000);
            EXPECT_TRUE(tip) << chip->text().toStdString();
            if (!tip)
                continue;
            EXPECT_GE(tip->geometry().left(), area.left()) << chip->text().toStdString();
            EXPECT_LE(tip->geometry().right(), area.right()) << chip->text().toStdString();
            EXPECT_TRUE(screen.contains(tip->geometry()));
            QTest::qWait(300);
            if (chip == chips[2])
                screenShot(u"chip-tooltip"_s);
        }
    }
    stop = true;
    watcher.join();
    EXPECT_GT(frames, 20);
    EXPECT_EQ(black, 0);
}
