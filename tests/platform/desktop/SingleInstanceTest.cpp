#include "platform/desktop/SingleInstance.h"
#include "platform/x11/PrivateDesktop.h"
#include "support/TestWorld.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QElapsedTimer>
#include <QProcess>
#include <QPromise>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <list>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

namespace {

const QString identifier = u"dev.quorvanta.Tivela.test"_s;
const QString failure = u"Tivela couldn’t translate the text."_s;
constexpr int deadline = 1500;

// The tests' own session bus, with no service folders.
class BusEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        PrivateDesktop::Options options;
        options.display = false;
        ASSERT_TRUE(m_desktop.start(options)) << qPrintable(m_desktop.error());
        m_desktop.enter();
    }
    void TearDown() override { m_desktop.stop(); }

private:
    PrivateDesktop m_desktop;
};
[[maybe_unused]] const auto* bus = ::testing::AddGlobalTestEnvironment(new BusEnvironment);

class RecordingTarget : public InstanceTarget {
public:
    void activate() override { calls << u"activate"_s; }
    void openUrls(const QStringList& urls) override { calls << u"open "_s + urls.join(u' '); }
    void translate(const QString& text) override { calls << u"translate "_s + text; }
    QFuture<std::optional<QString>> translateReplace(const QString& text,
                                                     QDeadlineTimer until) override {
        calls << u"replace "_s + text;
        deadlines << until;
        return replace(text);
    }

    QStringList calls;
    QList<QDeadlineTimer> deadlines;
    std::function<QFuture<std::optional<QString>>(const QString&)> replace =
        [](const QString& text) {
            return QtFuture::makeReadyFuture(std::optional(text.toUpper()));
        };
};

QDBusMessage servicesCall(const QString& method, const QString& text) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        identifier, SingleInstance::objectPath(identifier),
        QString::fromLatin1(SingleInstance::servicesInterface), method);
    call << text;
    return call;
}

// Prints "text=answer" or "text!error name: message" for each reply.
void print(const QString& text, const QDBusMessage& reply) {
    QString line = text;
    if (reply.type() == QDBusMessage::ReplyMessage)
        line += u'=' + reply.arguments().value(0).toString();
    else
        line += u'!' + reply.errorName() + u": "_s + reply.errorMessage();
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

} // namespace

TIVELA_TEST_HELPER(secondStart) {
    SingleInstance instance(identifier, failure);
    if (instance.claim() != SingleInstance::Role::secondary)
        return 2;
    return instance.forward(args) ? 0 : 3;
}

TIVELA_TEST_HELPER(claim) {
    SingleInstance instance(identifier, failure);
    return int(instance.claim());
}

TIVELA_TEST_HELPER(call) {
    const QDBusMessage reply =
        QDBusConnection::sessionBus().call(servicesCall(args.value(0), args.value(1)));
    print(args.value(1), reply);
    return 0;
}

// Sends every text at once and prints the replies as they come; "--leave" ends without them.
TIVELA_TEST_HELPER(burst) {
    const bool leave = args.value(0) == u"--leave";
    const QStringList texts = args.mid(leave ? 1 : 0);
    int waiting = int(texts.size());
    QObject calls;
    for (const QString& text : texts) {
        auto* watcher = new QDBusPendingCallWatcher(
            QDBusConnection::sessionBus().asyncCall(servicesCall(u"TranslateReplace"_s, text)),
            &calls);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [&, text](auto* done) {
            print(text, done->reply());
            if (--waiting == 0)
                QCoreApplication::quit();
        });
    }
    // Messages leave in order: once the bus has answered this, the calls are out.
    QDBusConnection::sessionBus().interface()->serviceOwner(identifier);
    if (leave)
        return 0;
    return QCoreApplication::exec();
}

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(instance.claim(), SingleInstance::Role::primary); }

    std::unique_ptr<QProcess> start(const QString& helper, const QStringList& args) {
        return startHelper(helper, args);
    }
    // Waits for a helper while the bus calls it makes are served here.
    ProcessResult wait(QProcess& process, int timeoutMs = 10000) {
        [[maybe_unused]] const bool ended =
            QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, timeoutMs);
        return finish(process, 0);
    }

    SingleInstance instance{identifier, failure, nullptr, deadline};
    RecordingTarget target;
};

TEST_F(SingleInstanceTest, CallsBeforeTheApplicationIsReadyWaitAndRunInOrder) {
    auto open = start(u"secondStart"_s, {u"tivela://translate?text=a%20b"_s});
    EXPECT_EQ(wait(*open).exitCode, 0);
    auto activate = start(u"secondStart"_s, {});
    EXPECT_EQ(wait(*activate).exitCode, 0);
    auto translate = start(u"call"_s, {u"Translate"_s, u"hello"_s});
    EXPECT_EQ(wait(*translate).out, "hello=\n");
    auto replace = start(u"call"_s, {u"TranslateReplace"_s, u"dog"_s});
    ASSERT_TRUE(QTest::qWaitFor([&] { return instance.queuedCalls() == 4; }, 10000));
    EXPECT_TRUE(target.calls.isEmpty());

    instance.setTarget(&target);
    EXPECT_EQ(target.calls, (QStringList{u"open tivela://translate?text=a%20b"_s, u"activate"_s,
                                         u"translate hello"_s, u"replace dog"_s}));
    // The target's deadline counts from the call's arrival, not from its turn.
    ASSERT_EQ(target.deadlines.size(), 1);
    EXPECT_LT(target.deadlines.first().remainingTimeNSecs(), qint64(deadline) * 1000000);
    EXPECT_EQ(wait(*replace).out, "dog=DOG\n");

    // Empty texts ask nothing of the application.
    auto empty = start(u"call"_s, {u"TranslateReplace"_s, QString()});
    EXPECT_EQ(wait(*empty).out, "=\n");
    EXPECT_EQ(target.calls.size(), 4);
}

TEST_F(SingleInstanceTest, AReplaceThatFailsOrNeverAnswersGetsItsMessage) {
    instance.setTarget(&target);
    std::list<QPromise<std::optional<QString>>> neverFinished;
    target.replace = [&](const QString& text) {
        if (text == u"fails")
            return QtFuture::makeReadyFuture(std::optional<QString>());
        neverFinished.emplace_back();
        return neverFinished.back().future();
    };
    auto failing = start(u"call"_s, {u"TranslateReplace"_s, u"fails"_s});
    EXPECT_EQ(QString::fromUtf8(wait(*failing).out),
              u"fails!dev.quorvanta.Tivela.Services.Error.Failed: "_s + failure + u'\n');

    // The target keeps the deadline; one that does not is answered for a little later.
    QElapsedTimer timer;
    timer.start();
    auto stuck = start(u"call"_s, {u"TranslateReplace"_s, u"stuck"_s});
    EXPECT_EQ(QString::fromUtf8(wait(*stuck).out),
              u"stuck!dev.quorvanta.Tivela.Services.Error.Failed: "_s + failure + u'\n');
    EXPECT_GE(timer.elapsed(), deadline + SingleInstance::backstopMilliseconds);
    // A translation arriving after the deadline sends no second reply.
    neverFinished.front().start();
    neverFinished.front().addResult(std::optional(u"late"_s));
    neverFinished.front().finish();
    QTest::qWait(50);
}

TEST_F(SingleInstanceTest, ABurstOfReplacesGetsEachItsOwnAnswer) {
    instance.setTarget(&target);
    // Answers come back out of order.
    target.replace = [this](const QString& text) {
        auto promise = std::make_shared<QPromise<std::optional<QString>>>();
        promise->start();
        QTimer::singleShot(text.mid(1).toInt() % 7 * 20, &instance, [promise, text] {
            promise->addResult(std::optional(text.toUpper()));
            promise->finish();
        });
        return promise->future();
    };
    QStringList texts;
    for (int i = 0; i < 100; ++i)
        texts << u"t%1"_s.arg(i);
    // A caller that leaves before its answers changes nothing for the others.
    auto leaving = start(u"burst"_s, QStringList{u"--leave"_s} + texts.mid(0, 20));
    auto burst = start(u"burst"_s, texts);
    wait(*leaving);
    QStringList lines = QString::fromUtf8(wait(*burst).out).split(u'\n', Qt::SkipEmptyParts);
    lines.sort();
    QStringList expected;
    for (const QString& text : texts)
        expected << text + u'=' + text.toUpper();
    expected.sort();
    EXPECT_EQ(lines, expected);
}

TEST_F(SingleInstanceTest, WithoutABusACopyRunsAlone) {
    auto second = start(u"claim"_s, {});
    EXPECT_EQ(wait(*second).exitCode, int(SingleInstance::Role::secondary));

    QProcess alone;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(u"DBUS_SESSION_BUS_ADDRESS"_s);
    environment.remove(u"DISPLAY"_s);
    alone.setProcessEnvironment(environment);
    alone.start(QCoreApplication::applicationFilePath(), {u"--helper"_s, u"claim"_s});
    EXPECT_EQ(wait(alone).exitCode, int(SingleInstance::Role::alone));
}
