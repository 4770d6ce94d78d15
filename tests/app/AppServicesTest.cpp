#include "app/AppServices.h"
#include "core/Lexicon.h"
#include "core/Store.h"
#include "support/TestWorld.h"
#include "support/x11/FakeXApp.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

namespace {

class SystemPasteboardTest : public ::testing::Test {
protected:
    SystemPasteboardTest() {
        ticker.callOnTimeout(
            [this] { longestStall = std::max(longestStall, sinceTick.restart()); });
        sinceTick.start();
        ticker.start(5);
    }
    // The clipboard's answer is in once the count stops moving.
    void settle() {
        qint64 count = -1;
        while (count != pasteboard->changeCount()) {
            count = pasteboard->changeCount();
            QTest::qWait(1500);
        }
    }

    Store store{World::root() + u"/store.sqlite"_s};
    Lexicon lexicon{World::root() + u"/lexicon"_s};
    std::shared_ptr<Pasteboard> pasteboard = AppServices::production(store, lexicon).pasteboard;
    QTimer ticker;
    QElapsedTimer sinceTick;
    qint64 longestStall = 0;
};

} // namespace

TEST_F(SystemPasteboardTest, AnOwnerThatNeverAnswersNeverHoldsTheLoop) {
    FakeXApp silent;
    silent.own("CLIPBOARD", {{"UTF8_STRING", "never sent"}}, true);
    settle();
    EXPECT_FALSE(pasteboard->hasText());
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(pasteboard->text(), std::nullopt);
    EXPECT_LT(timer.elapsed(), 1500);
    // Only the bounded read of the text itself, asked for by a click, may hold the loop.
    QTest::qWait(20);
    longestStall = 0;
    for (int i = 0; i < 50; ++i) {
        EXPECT_FALSE(pasteboard->hasText());
        QTest::qWait(10);
    }
    EXPECT_LT(longestStall, 250);
}

TEST_F(SystemPasteboardTest, FollowsOtherOwnersAndOurOwnCopies) {
    FakeXApp owner;
    const qint64 before = pasteboard->changeCount();
    owner.own("CLIPBOARD", {{"UTF8_STRING", "from another program"}});
    ASSERT_TRUE(QTest::qWaitFor([&] { return pasteboard->hasText(); }, 10000));
    EXPECT_GT(pasteboard->changeCount(), before);
    EXPECT_EQ(pasteboard->text(), u"from another program"_s);

    // A burst of changes ends in the last one's answer.
    for (int i = 0; i < 30; ++i)
        owner.own("CLIPBOARD", i % 2 ? QList<XSelection::Format>{{"image/png", "png"}}
                                     : QList<XSelection::Format>{{"UTF8_STRING", "text"}});
    settle();
    EXPECT_FALSE(pasteboard->hasText());

    QGuiApplication::clipboard()->setText(u"ours"_s);
    EXPECT_TRUE(pasteboard->hasText());
    EXPECT_EQ(pasteboard->text(), u"ours"_s);
    EXPECT_LT(longestStall, 250);
}
