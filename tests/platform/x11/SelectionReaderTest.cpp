#include "platform/x11/SelectionReader.h"
#include "support/x11/FakeXApp.h"

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QTest>
#include <QTimer>
#include <QtConcurrent>

#include <gtest/gtest.h>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

namespace {

const QList<XSelection::Format> clipboardBefore{
    {"UTF8_STRING", "before ✓"},
    {"text/html", "<b>before</b>"},
    {"image/png", QByteArray("\x89PNG\r\n\x1a\n\0\0binary", 16)},
    {"application/x-tivela-test", QByteArray(3000, '\x07')},
};

class SelectionReaderTest : public ::testing::Test {
protected:
    SelectionReaderTest() {
        clear("PRIMARY");
        clear("CLIPBOARD");
    }

    void clear(const char* selection) {
        xcb_set_selection_owner(probe.get(), XCB_WINDOW_NONE, probe.atom(selection),
                                XCB_CURRENT_TIME);
        free(xcb_get_input_focus_reply(probe.get(), xcb_get_input_focus(probe.get()), nullptr));
    }

    // Reads on the main thread's loop, noting the longest the loop ever waited meanwhile.
    std::optional<QString> read(SelectionReader& reader) {
        QElapsedTimer sinceTick;
        sinceTick.start();
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout,
                         [&] { longestStall = std::max(longestStall, sinceTick.restart()); });
        ticker.start(5);
        const QFuture<std::optional<QString>> future =
            reader.selectedText(Shortcut::defaultShortcut());
        EXPECT_TRUE(QTest::qWaitFor([&] { return future.isFinished(); }, 10000));
        return future.isFinished() ? future.result() : std::nullopt;
    }

    // The clipboard as another program would read it now. We may own it ourselves: the loop
    // runs meanwhile, so Qt can answer.
    XSelection::Contents clipboardNow() {
        const QFuture<XSelection::Contents> contents = QtConcurrent::run([] {
            XConnection reader;
            return XSelection::save(reader, reader.atom("CLIPBOARD"), QDeadlineTimer(3000))
                .value_or(XSelection::Contents{});
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return contents.isFinished(); }, 10000));
        return contents.result();
    }
    XSelection::Format format(const XSelection::Contents& contents, const QByteArray& target) {
        for (const XSelection::Format& format : contents.formats)
            if (format.target == target)
                return format;
        return {};
    }
    void expectClipboardAsBefore() {
        const XSelection::Contents now = clipboardNow();
        EXPECT_TRUE(now.owned);
        for (const XSelection::Format& before : clipboardBefore)
            EXPECT_EQ(format(now, before.target), before) << before.target.constData();
    }

    XConnection probe;
    qint64 longestStall = 0;
};

// For the reads that must succeed. The defaults are bounds for a person's machine; a sanitised
// test program on a busy one can need longer to move a large selection or to answer the copy,
// and a roomy bound costs nothing when the answer comes. The tests of the bounds themselves keep
// the defaults.
SelectionReader::Timing roomy() {
    SelectionReader::Timing timing;
    timing.primaryMilliseconds = 5000;
    timing.copyMilliseconds = 5000;
    return timing;
}

} // namespace

TEST_F(SelectionReaderTest, ReadsPrimaryWholeAndUntrimmed) {
    FakeXApp::Options pieces;
    pieces.pieceBytes = 4096;
    FakeXApp owner(pieces);
    // Large enough to come in pieces.
    const QString text = u"  Grüße, мир, 世界 "_s.repeated(5000);
    owner.own("PRIMARY", {{"UTF8_STRING", text.toUtf8()}});
    SelectionReader reader(roomy());
    EXPECT_EQ(read(reader), text);
    EXPECT_LT(longestStall, 250);
}

TEST_F(SelectionReaderTest, ASilentOwnerCostsItsDeadlineAndNeverTheLoop) {
    FakeXApp::Options terminal;
    terminal.wmClass = QByteArray("xterm\0XTerm", 11);
    FakeXApp front(terminal);
    ASSERT_TRUE(front.activate());
    FakeXApp silent;
    silent.own("PRIMARY", {{"UTF8_STRING", "never sent"}}, true);
    SelectionReader reader;
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(read(reader), std::nullopt);
    EXPECT_LT(timer.elapsed(), 1500);
    EXPECT_LT(longestStall, 250);
    EXPECT_EQ(front.ctrlCPresses(), 0);
}

TEST_F(SelectionReaderTest, BlankPrimaryCopiesAndPutsEveryFormatBack) {
    FakeXApp previous;
    previous.own("CLIPBOARD", clipboardBefore);
    FakeXApp front;
    front.own("PRIMARY", {{"UTF8_STRING", " \n\t "}});
    front.copyOnCtrlC(u"copied text"_s);
    ASSERT_TRUE(front.activate());
    SelectionReader reader(roomy());
    bool restored = false;
    QObject::connect(&reader, &SelectionReader::clipboardRestored, [&] { restored = true; });
    EXPECT_EQ(read(reader), u"copied text"_s);
    EXPECT_EQ(front.ctrlCPresses(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return restored; }, 10000));
    expectClipboardAsBefore();
}

TEST_F(SelectionReaderTest, AnEmptyClipboardStaysEmpty) {
    FakeXApp front;
    front.copyOnCtrlC(u"copied"_s);
    ASSERT_TRUE(front.activate());
    SelectionReader reader(roomy());
    bool restored = false;
    QObject::connect(&reader, &SelectionReader::clipboardRestored, [&] { restored = true; });
    EXPECT_EQ(read(reader), u"copied"_s);
    ASSERT_TRUE(QTest::qWaitFor([&] { return restored; }, 10000));
    EXPECT_EQ(XSelection::owner(probe, probe.atom("CLIPBOARD")), xcb_window_t(XCB_WINDOW_NONE));
}

TEST_F(SelectionReaderTest, NoCopyIntoATerminalOrWhileTheShortcutIsHeld) {
    FakeXApp previous;
    previous.own("CLIPBOARD", clipboardBefore);
    FakeXApp::Options terminal;
    terminal.wmClass = QByteArray("gnome-terminal-server\0Gnome-terminal", 36);
    {
        FakeXApp front(terminal);
        front.copyOnCtrlC(u"interrupted"_s);
        ASSERT_TRUE(front.activate());
        SelectionReader reader;
        EXPECT_EQ(read(reader), std::nullopt);
        EXPECT_EQ(front.ctrlCPresses(), 0);
    }
    FakeXApp front;
    front.copyOnCtrlC(u"copied"_s);
    ASSERT_TRUE(front.activate());
    FakeInput::key(probe, FakeInput::control, true);
    SelectionReader reader;
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(read(reader), std::nullopt);
    EXPECT_GE(timer.elapsed(), 1000);
    FakeInput::key(probe, FakeInput::control, false);
    EXPECT_EQ(front.ctrlCPresses(), 0);
    expectClipboardAsBefore();
}

TEST_F(SelectionReaderTest, AProgramThatIgnoresTheCopyKeepsTheClipboard) {
    FakeXApp previous;
    previous.own("CLIPBOARD", clipboardBefore);
    FakeXApp front;
    ASSERT_TRUE(front.activate());
    SelectionReader reader;
    EXPECT_EQ(read(reader), std::nullopt);
    EXPECT_EQ(front.ctrlCPresses(), 1);
    EXPECT_EQ(XSelection::owner(probe, probe.atom("CLIPBOARD")), previous.window());
}

TEST_F(SelectionReaderTest, ALateCopyIsStillPutBack) {
    FakeXApp previous;
    previous.own("CLIPBOARD", clipboardBefore);
    FakeXApp front;
    front.copyOnCtrlC(u"late"_s, 900);
    ASSERT_TRUE(front.activate());
    SelectionReader reader;
    bool restored = false;
    QObject::connect(&reader, &SelectionReader::clipboardRestored, [&] { restored = true; });
    EXPECT_EQ(read(reader), std::nullopt);
    ASSERT_TRUE(QTest::qWaitFor([&] { return restored; }, 10000));
    expectClipboardAsBefore();
}

TEST_F(SelectionReaderTest, ABurstOfRequestsSharesOneRead) {
    FakeXApp owner;
    owner.own("PRIMARY", {{"UTF8_STRING", "shared"}});
    SelectionReader reader(roomy());
    QList<QFuture<std::optional<QString>>> futures;
    for (int i = 0; i < 50; ++i)
        futures.append(reader.selectedText(Shortcut::defaultShortcut()));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return std::all_of(futures.cbegin(), futures.cend(),
                               [](const auto& future) { return future.isFinished(); });
        },
        5000));
    for (const auto& future : futures)
        EXPECT_EQ(future.result(), u"shared"_s);
    // TARGETS is not asked for text: one request for the text itself.
    EXPECT_EQ(owner.requests(), 1);
    // The next press reads again.
    owner.own("PRIMARY", {{"UTF8_STRING", "next"}});
    EXPECT_EQ(read(reader), u"next"_s);
}

TEST(SelectionReaderTerminals, AreKnownByEitherPartOfTheirClass) {
    const QList<QPair<QByteArray, bool>> classes{
        {QByteArray("xterm\0XTerm", 11), true},
        {QByteArray("kitty\0kitty", 11), true},
        {QByteArray("org.gnome.Console\0Kgx", 21), true},
        {QByteArray("xfce4-terminal\0Xfce4-terminal", 29), true},
        {QByteArray("navigator\0firefox", 17), false},
        {QByteArray("gedit\0Gedit", 11), false},
        {QByteArray(), false},
    };
    for (const auto& [wmClass, terminal] : classes)
        EXPECT_EQ(SelectionReader::isTerminal(wmClass), terminal) << wmClass.constData();
}
