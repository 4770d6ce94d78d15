#include "app/checks/BridgeConversation.h"

#include "core/BridgeMessage.h"
#include "support/Processes.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <unistd.h>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

namespace {

const QString origin = u"chrome-extension://abc/"_s;

void reply(const QJsonObject& object) {
    BridgeMessage::write(object, STDOUT_FILENO);
}

// Reads the three messages, then answers out of order: id 2 twice (the second counts), a
// reply without an integer id between, then 3, and 1 carrying the arguments it was given.
TIVELA_TEST_HELPER(outOfOrder) {
    QList<int> ids;
    while (ids.size() < 3)
        if (const auto message = BridgeMessage::read(STDIN_FILENO))
            ids.append(message->value(u"id"_s).toInt());
        else
            return 1;
    reply({{u"id"_s, 2}, {u"text"_s, u"first"_s}});
    reply({{u"id"_s, u"2"_s}, {u"text"_s, u"not an integer id"_s}});
    reply({{u"id"_s, 2.5}});
    reply({{u"ok"_s, true}});
    reply({{u"id"_s, 2}, {u"text"_s, u"second"_s}});
    reply({{u"id"_s, 3}});
    reply({{u"id"_s, 1}, {u"arguments"_s, args.join(u' ')}});
    // Leaves when its input ends, as a browser's host does.
    while (BridgeMessage::read(STDIN_FILENO)) {
    }
    return 0;
}

// Answers the first message and leaves.
TIVELA_TEST_HELPER(endsEarly) {
    if (const auto message = BridgeMessage::read(STDIN_FILENO))
        reply({{u"id"_s, message->value(u"id"_s)}});
    return 0;
}

// Never answers, and ignores both the end of its input and SIGTERM.
TIVELA_TEST_HELPER(silent) {
    ::signal(SIGTERM, SIG_IGN);
    for (;;)
        ::pause();
}

class BridgeConversationTest : public ::testing::Test {
protected:
    QTemporaryDir folder;

    // A host program as the browser finds it: a script that takes the origin as its one
    // argument and runs a helper of this test program.
    QString host(const QString& helper) {
        const QString path = folder.filePath(helper);
        QFile script(path);
        EXPECT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nexec '" + QCoreApplication::applicationFilePath().toUtf8() +
                     "' --helper " + helper.toUtf8() + " \"$@\"\n");
        script.close();
        script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
        return path;
    }

    static BridgeConversation::Replies
    talk(const QString& program,
         std::chrono::milliseconds deadline = BridgeConversation::replyDeadline) {
        const QList<QJsonObject> messages{{{u"id"_s, 1}, {u"type"_s, u"hello"_s}},
                                          {{u"id"_s, 2}, {u"type"_s, u"voices"_s}},
                                          {{u"id"_s, 3}, {u"type"_s, u"hello"_s}}};
        QFuture<BridgeConversation::Replies> future =
            BridgeConversation::talk(program, origin, messages, deadline);
        EXPECT_TRUE(waitUntil([&] { return future.isFinished(); }, 30000));
        EXPECT_TRUE(childProcesses(getpid()).isEmpty());
        return future.isFinished() ? future.result() : BridgeConversation::Replies{};
    }
};

} // namespace

TEST_F(BridgeConversationTest, RepliesAreMatchedByIdWhateverTheirOrder) {
    const BridgeConversation::Replies replies = talk(host(u"outOfOrder"_s));
    EXPECT_EQ(replies.keys().size(), 3);
    EXPECT_EQ(replies.value(1).value(u"arguments"_s), origin);
    EXPECT_EQ(replies.value(2).value(u"text"_s), u"second"_s);
    EXPECT_TRUE(replies.contains(3));
}

TEST_F(BridgeConversationTest, AHostThatEndsEarlyKeepsWhatCameAndAMissingOneGivesNothing) {
    const BridgeConversation::Replies early = talk(host(u"endsEarly"_s));
    EXPECT_EQ(early.keys(), QList<int>{1});
    EXPECT_TRUE(talk(folder.filePath(u"no-such-host"_s)).isEmpty());
}

TEST_F(BridgeConversationTest, ASilentHostIsEndedAfterTheDeadline) {
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(talk(host(u"silent"_s), std::chrono::milliseconds(300)).isEmpty());
    // The deadline, then the closed input and SIGTERM go unheeded: SIGKILL ends it.
    const auto grace = BridgeConversation::closeGrace + BridgeConversation::terminateGrace;
    const qint64 total = (std::chrono::milliseconds(300) + grace).count();
    // Qt's coarse timers may fire up to 5 % early.
    EXPECT_GE(clock.elapsed(), total * 95 / 100);
    EXPECT_LT(clock.elapsed(), total + 5000);
}
