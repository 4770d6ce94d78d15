// The rules that close the popover, on its own window and the model's virtual time.
#include "app/PopoverClosing.h"
#include "app/PopoverWindow.h"
#include "support/ViewRig.h"

#include <QCursor>
#include <QTest>

#include <gtest/gtest.h>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

namespace {

class PopoverClosingTest : public ::testing::Test {
protected:
    PopoverClosingTest() {
        QObject::connect(&window, &PopoverWindow::shown, &closing, &PopoverClosing::start);
    }

    // As the shell closes it: when the rules let it.
    bool close(bool byCommand = false) {
        if (!window.isShown() || !closing.mayClose(byCommand))
            return false;
        window.dismiss();
        closing.stop();
        return true;
    }
    bool shown() const { return window.isShown(); }
    void show() {
        window.present(std::nullopt);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    void pointerInside(bool inside) {
        const QRect frame = window.frameGeometry();
        QCursor::setPos(inside ? frame.center() : frame.topLeft() - QPoint(50, 50));
    }

    ViewRig rig;
    AppModel& model = rig.make();
    PopoverWindow window{model, rig.services};
    PopoverClosing closing{window, model, [this] { return close(); }, [](const QString&) {}};
};

} // namespace

TEST_F(PopoverClosingTest, PressOutsideArmsAndOnlyTheReleaseOutsideCloses) {
    show();
    pointerInside(false);
    closing.outsideMouse(true);
    EXPECT_TRUE(shown());
    closing.outsideMouse(false);
    EXPECT_FALSE(shown());

    show();
    closing.outsideMouse(true);
    pointerInside(true);
    closing.outsideMouse(false);
    EXPECT_TRUE(shown());
    // A press inside the popover arms nothing.
    closing.outsideMouse(true);
    pointerInside(false);
    closing.outsideMouse(false);
    EXPECT_TRUE(shown());
}

TEST_F(PopoverClosingTest, NothingClosesThePopoverWhileTheInstallPromptIsDue) {
    show();
    model.setDownloadRequest(AppModel::DownloadRequest{u"en"_s, u"fr"_s});
    EXPECT_TRUE(closing.context().sheetUp);
    pointerInside(false);
    closing.outsideMouse(true);
    closing.outsideMouse(false);
    closing.appActivated(1, u"Other"_s);
    EXPECT_FALSE(close(true));
    EXPECT_TRUE(shown());
}

TEST_F(PopoverClosingTest, EscapeAndOtherProgramsClose) {
    show();
    QTest::keyClick(window.windowHandle(), Qt::Key_Escape);
    EXPECT_FALSE(shown());
    show();
    closing.appActivated(QCoreApplication::applicationPid(), u"Us"_s);
    EXPECT_TRUE(shown());
    closing.appActivated(4242, u"Other"_s);
    EXPECT_FALSE(shown());
    show();
    closing.resignedActive();
    EXPECT_FALSE(shown());
}
