#include "app/PopoverWindow.h"
#include "app/views/PopoverView.h"
#include "support/ViewRig.h"

#include <QAbstractButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

namespace {

struct Placement {
    const char* name;
    std::optional<QRect> anchor;
    QRect available;
    QRect frame;
};

void PrintTo(const Placement& placement, std::ostream* out) {
    *out << placement.name;
}

class PopoverPlacement : public ::testing::TestWithParam<Placement> {};

// A tray icon at the top right of 1280 x 800, and at the bottom; the same screen at
// QT_FONT_DPI=168 is 731 x 457 of Qt's pixels.
const QRect topIcon(1257, 1, 22, 22);
const QRect bottomIcon(1257, 777, 22, 22);
const QRect screen(0, 0, 1280, 800);
const QRect scaled(0, 0, 731, 457);

} // namespace

TEST_P(PopoverPlacement, KeepsItsDesignWhereItFitsAndShrinksBesideItsIcon) {
    EXPECT_EQ(PopoverWindow::frame(GetParam().anchor, GetParam().available), GetParam().frame);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PopoverPlacement,
    ::testing::Values(
        Placement{"under a top icon", topIcon, screen, QRect(860, 27, 420, 600)},
        Placement{"over a bottom icon", bottomIcon, screen, QRect(860, 173, 420, 600)},
        Placement{"centred without one", std::nullopt, screen, QRect(430, 100, 420, 600)},
        Placement{"shrunk under a top icon, never over its panel", QRect(708, 0, 22, 13), scaled,
                  QRect(311, 17, 420, 440)},
        Placement{"shrunk over a bottom icon", QRect(708, 444, 22, 13), scaled,
                  QRect(311, 0, 420, 440)},
        Placement{"shrunk and centred", std::nullopt, scaled, QRect(156, 0, 420, 457)},
        Placement{"narrower than its design", QRect(300, 0, 20, 20), QRect(0, 0, 360, 640),
                  QRect(0, 24, 360, 600)},
        Placement{"the least height at most over the panel", QRect(100, 0, 20, 150),
                  QRect(0, 0, 800, 300), QRect(0, 100, 420, 200)},
        Placement{"the panel outside the work area", QRect(1257, 1, 22, 22),
                  QRect(0, 24, 1280, 776), QRect(860, 27, 420, 600)}));

// Given less room than its design, the popover keeps its tab bar whole and lets the tab's
// content scroll; shown, it reads the clipboard every second until it is hidden.
TEST(PopoverWindowTest, TheTabBarStaysWholeAndTheClipboardIsReadWhileShown) {
    ViewRig rig;
    AppModel& model = rig.make();
    PopoverWindow window(model, rig.services);
    window.setFixedSize(420, 260);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QStringList bar{u"Translate"_s, u"History"_s, u"Phrasebook"_s, u"Cards"_s, u"More"_s};
    int whole = 0;
    for (const QAbstractButton* button : window.view()->findChildren<QAbstractButton*>()) {
        if (!bar.contains(button->accessibleName()))
            continue;
        const QRect frame(button->mapTo(&window, QPoint(0, 0)), button->size());
        EXPECT_TRUE(window.rect().contains(frame)) << button->accessibleName().toStdString();
        whole += window.rect().contains(frame);
    }
    EXPECT_EQ(whole, bar.size());
    window.hide();

    window.present(std::nullopt);
    ASSERT_TRUE(window.isShown());
    for (const bool text : {true, false, true}) {
        rig.pasteboard->setText(text ? std::optional(u"clip"_s) : std::nullopt);
        rig.time->advance(PopoverWindow::clipboardMilliseconds);
        EXPECT_EQ(model.clipboardHasText(), text);
    }
    window.dismiss();
    rig.pasteboard->setText(std::nullopt);
    rig.time->advance(PopoverWindow::clipboardMilliseconds * 3);
    EXPECT_TRUE(model.clipboardHasText());
}
