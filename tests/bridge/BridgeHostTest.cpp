// The bridge host as the browser sees it: the real staged program over pipes, in this test
// program's throwaway world, with a stub xdg-open first in PATH that records what it opens.
#include "bridge/BridgeHost.h"
#include "bridge/BridgeRequests.h"
#include "bridge/HandOverUrl.h"
#include "core/BridgeMessage.h"
#include "core/Graphemes.h"
#include "core/IncomingText.h"
#include "core/LanguagePair.h"
#include "core/Lexicon.h"
#include "core/Paths.h"
#include "core/Store.h"
#include "support/HostProcess.h"
#include "support/HttpServer.h"
#include "support/PackFiles.h"
#include "support/QtPrinters.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QThread>
#include <QUrlQuery>
#include <QUuid>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

namespace {

QString stubFolder() {
    return World::root() + u"/stub-bin"_s;
}

QString openLog() {
    return World::root() + u"/opened.log"_s;
}

// An xdg-open that records its argument and, to prove the channel is shielded, prints junk.
void installOpenerStub() {
    QDir().mkpath(stubFolder());
    QFile stub(stubFolder() + u"/xdg-open"_s);
    ASSERT_TRUE(stub.open(QIODevice::WriteOnly));
    stub.write("#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"" + openLog().toUtf8() +
               "\"\necho 'stray output from a child'\n");
    stub.close();
    stub.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// The real English-Spanish and French-Spanish modes beside one that always fails (it cuts its
// output short).
QString modesFolder() {
    const QString folder = World::root() + u"/modes"_s;
    if (!QFileInfo::exists(folder)) {
        tivela::test::modesFolder(u"modes"_s, {u"eng-spa"_s, u"spa-eng"_s, u"fr-es"_s, u"es-fr"_s});
        QFile failing(folder + u"/fra-eng.mode"_s);
        failing.open(QIODevice::WriteOnly);
        failing.write("head -c 3\n");
    }
    return folder;
}

QProcessEnvironment hostEnvironment() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"PATH"_s, stubFolder() + u':' + environment.value(u"PATH"_s));
    environment.insert(u"TIVELA_APERTIUM_MODES"_s, modesFolder());
    return environment;
}

QStringList opened() {
    QFile log(openLog());
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

QByteArray header(quint32 length) {
    return QByteArray(reinterpret_cast<const char*>(&length), 4);
}

class BridgeHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        installOpenerStub();
        QFile::remove(openLog());
        Store store(Paths::database());
        store.clearHistory();
        for (const Item& phrase : store.phrases(QString()))
            store.deletePhrase(phrase.id);
    }

    // A pair's first translation starts the engine's stages, which load their dictionaries: on
    // a busy machine that can take the engine's start allowance on top of its own bound. The
    // bound here lies above both; a quick reply still comes at once.
    QJsonObject ask(HostProcess& host, const QJsonObject& request) {
        const auto reply = host.request(request, 60000);
        EXPECT_TRUE(reply) << "no reply to " << QJsonDocument(request).toJson().toStdString();
        return reply.value_or(QJsonObject{});
    }

    // The recorded URLs grow in the background: wait for the count, bounded.
    QStringList waitForOpened(qsizetype count) {
        waitUntil([&] { return opened().size() >= count; }, 20000);
        return opened();
    }

    QJsonObject phrase(const QString& text, const QString& translation) {
        return QJsonObject{{u"text"_s, text},
                           {u"translation"_s, translation},
                           {u"from"_s, u"en"_s},
                           {u"to"_s, u"es"_s}};
    }
};

} // namespace

TEST_F(BridgeHostTest, BadFramesEndTheHostWithStatusZeroAndNoOutput) {
    const QList<std::pair<const char*, QByteArray>> inputs{
        {"length 0", header(0) + BridgeMessage::frame(QJsonObject{{u"type"_s, u"phrases"_s}})},
        {"length 2^26", header(BridgeMessage::maxLength) + QByteArray("{}")},
        {"truncated body", header(40) + QByteArray(R"({"type":"phr)")},
        {"short header", QByteArray("\x02\x00", 2)},
        {"array body", header(5) + QByteArray("[1,2]")},
        {"string body", header(4) + QByteArray("\"hi\"")},
        {"invalid UTF-8", header(12) + QByteArray("{\"type\":\"\xff\"}")},
        {"empty input", QByteArray()}};
    for (const auto& [name, bytes] : inputs) {
        HostProcess host(QString(), hostEnvironment());
        ASSERT_TRUE(host.started()) << name;
        host.sendRaw(bytes);
        host.closeInput();
        EXPECT_EQ(host.waitForExit(), 0) << name;
        EXPECT_TRUE(host.unreadOutput().isEmpty()) << name;
    }
}

TEST_F(BridgeHostTest, HeaderSplitAcrossWritesIsAssembled) {
    HostProcess host(QString(), hostEnvironment());
    const QByteArray frame =
        BridgeMessage::frame(QJsonObject{{u"type"_s, u"phrases"_s}, {u"id"_s, 1}});
    host.sendRaw(frame.left(2));
    QThread::msleep(50);
    host.sendRaw(frame.mid(2, 5));
    QThread::msleep(50);
    host.sendRaw(frame.mid(7));
    const auto reply = host.receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->value(u"id"_s), 1);
    EXPECT_EQ(reply->value(u"ok"_s), true);
}

TEST_F(BridgeHostTest, IdIsEchoedAsItCame) {
    HostProcess host(QString(), hostEnvironment());
    host.send(QJsonObject{{u"type"_s, u"phrases"_s}});
    const auto none = host.receive();
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->value(u"id"_s).isNull());
    EXPECT_TRUE(none->contains(u"id"_s));
    for (const QJsonValue& id :
         {QJsonValue(u"abc"_s), QJsonValue(42), QJsonValue(QJsonObject{{u"n"_s, 1}}),
          QJsonValue(QJsonArray{1, u"x"_s})}) {
        const QJsonObject reply = ask(host, QJsonObject{{u"type"_s, u"phrases"_s}, {u"id"_s, id}});
        EXPECT_EQ(reply.value(u"id"_s), id);
    }
}

TEST_F(BridgeHostTest, UnknownAndWronglyCasedTypes) {
    HostProcess host(QString(), hostEnvironment());
    for (const QJsonValue& type : {QJsonValue(u"Hello"_s), QJsonValue(u"stopspeaking"_s),
                                   QJsonValue(u""_s), QJsonValue(7), QJsonValue()}) {
        QJsonObject request{{u"id"_s, 1}};
        if (!type.isNull())
            request.insert(u"type"_s, type);
        const QJsonObject reply = ask(host, request);
        EXPECT_EQ(reply,
                  (QJsonObject{{u"ok"_s, false}, {u"error"_s, u"unknown-type"_s}, {u"id"_s, 1}}));
    }
}

TEST_F(BridgeHostTest, PhrasebookRequestsShareTheApplicationsDatabase) {
    HostProcess host(QString(), hostEnvironment());
    const double before = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    const QJsonObject first =
        ask(host, {{u"type"_s, u"addPhrase"_s}, {u"item"_s, phrase(u"dog"_s, u"perro"_s)}});
    ASSERT_EQ(first.value(u"ok"_s), true);
    const QJsonObject item = first.value(u"item"_s).toObject();
    EXPECT_EQ(item.keys().size(), 9);
    EXPECT_EQ(QUuid::fromString(item.value(u"id"_s).toString()).isNull(), false);
    EXPECT_GE(item.value(u"created"_s).toDouble(), before - 1);
    EXPECT_EQ(item.value(u"box"_s), 0);
    EXPECT_EQ(item.value(u"due"_s), 0);
    EXPECT_EQ(item.value(u"origin"_s), u"browser"_s);

    // The same text and pair again keeps the card and its id, with the new translation.
    const QJsonObject second =
        ask(host, {{u"type"_s, u"addPhrase"_s}, {u"item"_s, phrase(u"dog"_s, u"can"_s)}});
    EXPECT_EQ(second.value(u"item"_s)[u"id"_s], item.value(u"id"_s));
    EXPECT_EQ(second.value(u"item"_s)[u"translation"_s], u"can"_s);

    Store store(Paths::database());
    ASSERT_EQ(store.phrases(QString()).size(), 1);
    EXPECT_EQ(store.phrases(QString()).first().translation, u"can"_s);

    const QJsonObject listed = ask(host, {{u"type"_s, u"phrases"_s}});
    ASSERT_EQ(listed.value(u"items"_s).toArray().size(), 1);
    EXPECT_EQ(listed.value(u"items"_s)[0][u"text"_s], u"dog"_s);

    const QString id = item.value(u"id"_s).toString();
    EXPECT_EQ(
        ask(host, {{u"type"_s, u"answer"_s}, {u"itemId"_s, id}, {u"knew"_s, 1}}).value(u"ok"_s),
        true);
    EXPECT_EQ(store.phrases(QString()).first().box, 1);
    EXPECT_EQ(ask(host, {{u"type"_s, u"answer"_s}, {u"itemId"_s, u"nobody"_s}}).value(u"ok"_s),
              true);
    EXPECT_EQ(ask(host, {{u"type"_s, u"deletePhrase"_s}, {u"itemId"_s, id}}).value(u"ok"_s), true);
    EXPECT_TRUE(store.phrases(QString()).isEmpty());
    EXPECT_EQ(ask(host, {{u"type"_s, u"deletePhrase"_s}}).value(u"ok"_s), true);
}

TEST_F(BridgeHostTest, ItemsAreReadWithTypeTests) {
    HostProcess host(QString(), hostEnvironment());
    Store store(Paths::database());
    QJsonObject odd = phrase(u"bird"_s, u"pájaro"_s);
    odd.insert(u"id"_s, 12);         // not a string: a new id
    odd.insert(u"box"_s, 99);        // clamped to the last box
    odd.insert(u"due"_s, u"soon"_s); // not a number: due at once
    odd.insert(u"origin"_s, u"mac"_s);
    odd.insert(u"created"_s, 1700000000.5);
    const QJsonObject stored =
        ask(host, {{u"type"_s, u"addPhrase"_s}, {u"item"_s, odd}}).value(u"item"_s).toObject();
    EXPECT_NE(stored.value(u"id"_s), QJsonValue(12));
    EXPECT_EQ(stored.value(u"box"_s), 5);
    EXPECT_EQ(stored.value(u"due"_s), 0);
    EXPECT_EQ(stored.value(u"origin"_s), u"mac"_s);
    EXPECT_EQ(stored.value(u"created"_s), 1700000000.5);

    EXPECT_EQ(ask(host, {{u"type"_s, u"addHistory"_s}, {u"item"_s, phrase(u"bird"_s, u"ave"_s)}})
                  .value(u"ok"_s),
              true);
    ASSERT_EQ(store.history(QString(), 10).size(), 1);
    EXPECT_EQ(store.history(QString(), 10).first().origin, u"browser"_s);
    // A lone surrogate cannot be stored as it came: what is stored is what is answered.
    const QByteArray lone =
        R"({"type":"addPhrase","id":5,"item":{"text":"a\ud800b","translation":"\udfff",)"
        R"("from":"en","to":"es"}})";
    host.sendRaw(header(quint32(lone.size())) + lone);
    const auto echoed = host.receive();
    ASSERT_TRUE(echoed);
    const QJsonObject echoedItem = echoed->value(u"item"_s).toObject();
    EXPECT_EQ(echoedItem.value(u"text"_s), u"a\uFFFDb"_s);
    EXPECT_EQ(echoedItem.value(u"translation"_s), u"\uFFFD"_s);
    const QList<Item> saved = store.phrases(u"\uFFFD"_s);
    ASSERT_EQ(saved.size(), 1);
    EXPECT_EQ(saved.first().text, echoedItem.value(u"text"_s).toString());
    EXPECT_EQ(saved.first().translation, echoedItem.value(u"translation"_s).toString());
}

namespace {

struct BadItem {
    const char* name;
    QJsonValue item;
};

void PrintTo(const BadItem& bad, std::ostream* out) {
    *out << bad.name;
}

QJsonObject without(QJsonObject item, const QString& key) {
    item.remove(key);
    return item;
}

QJsonObject with(QJsonObject item, const QString& key, const QJsonValue& value) {
    item.insert(key, value);
    return item;
}

const QJsonObject goodItem{
    {u"text"_s, u"cat"_s}, {u"translation"_s, u"gato"_s}, {u"from"_s, u"en"_s}, {u"to"_s, u"es"_s}};

class BridgeBadItemTest : public BridgeHostTest, public ::testing::WithParamInterface<BadItem> {};

} // namespace

// Both requests that store an item refuse one they cannot read, alike, and store nothing.
TEST_P(BridgeBadItemTest, IsRefusedByEveryRequestThatStoresAnItem) {
    HostProcess host(QString(), hostEnvironment());
    for (const QString& type : {u"addPhrase"_s, u"addHistory"_s}) {
        QJsonObject request{{u"type"_s, type}, {u"id"_s, 7}};
        if (!GetParam().item.isUndefined())
            request.insert(u"item"_s, GetParam().item);
        EXPECT_EQ(ask(host, request),
                  (QJsonObject{{u"ok"_s, false}, {u"error"_s, u"bad-item"_s}, {u"id"_s, 7}}))
            << type.toStdString();
    }
    Store store(Paths::database());
    EXPECT_TRUE(store.history(QString(), 10).isEmpty());
    EXPECT_TRUE(store.phrases(QString()).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Items, BridgeBadItemTest,
    ::testing::Values(BadItem{"no item", QJsonValue::Undefined}, BadItem{"null", QJsonValue::Null},
                      BadItem{"text", u"cat"_s}, BadItem{"array", QJsonArray{goodItem}},
                      BadItem{"empty", QJsonObject{}},
                      BadItem{"no translation", without(goodItem, u"translation"_s)},
                      BadItem{"no to", without(goodItem, u"to"_s)},
                      BadItem{"numeric text", with(goodItem, u"text"_s, 5)},
                      BadItem{"null from", with(goodItem, u"from"_s, QJsonValue::Null)},
                      BadItem{"object translation",
                              with(goodItem, u"translation"_s, QJsonObject{})}),
    [](const ::testing::TestParamInfo<BadItem>& param) {
        return QString::fromLatin1(param.param.name).replace(u' ', u'_').toStdString();
    });

// An extension that sends milliseconds dates its items in the far future: they would sort
// above everything the person saves afterwards, and the trim to the newest rows would drop the
// person's rows as fast as they come.
TEST_F(BridgeHostTest, ItemsFromTheFutureOrBefore2001AreDatedNow) {
    Store store(Paths::database());
    HostProcess host(QString(), hostEnvironment());
    const double before = Store::now();
    const double milliseconds = before * 1000;
    for (int i = 0; i < Store::historyLimit; ++i)
        host.send({{u"type"_s, u"addHistory"_s},
                   {u"id"_s, i},
                   {u"item"_s, with(with(goodItem, u"text"_s, u"burst %1"_s.arg(i)), u"created"_s,
                                    milliseconds + i)}});
    for (int i = 0; i < Store::historyLimit; ++i) {
        const auto reply = host.receive(60000);
        ASSERT_TRUE(reply) << "no reply to the burst's row " << i;
        ASSERT_EQ(reply->value(u"ok"_s), true) << i;
    }
    // The person goes on translating in the application: their rows are the newest.
    for (int i = 0; i < 3; ++i) {
        const Item later{QUuid::createUuid().toString(QUuid::WithoutBraces),
                         u"later %1"_s.arg(i),
                         u"x"_s,
                         u"en"_s,
                         u"es"_s,
                         Store::now()};
        ASSERT_TRUE(store.addHistory(later));
    }
    const QList<Item> history = store.history(QString(), Store::historyLimit + 10);
    ASSERT_EQ(history.size(), Store::historyLimit);
    QStringList newest;
    for (const Item& row : history.first(3))
        newest << row.text;
    EXPECT_EQ(newest, (QStringList{u"later 2"_s, u"later 1"_s, u"later 0"_s}));
    const double after = Store::now();
    for (const Item& row : history)
        ASSERT_LE(row.created, after) << row.text.toStdString();

    for (const double created : {milliseconds, 1000.5, -1.0, 0.0}) {
        const QJsonObject card = with(goodItem, u"text"_s, QString::number(created));
        const QJsonObject stored =
            ask(host, {{u"type"_s, u"addPhrase"_s}, {u"item"_s, with(card, u"created"_s, created)}})
                .value(u"item"_s)
                .toObject();
        EXPECT_GE(stored.value(u"created"_s).toDouble(), before) << created;
        EXPECT_LE(stored.value(u"created"_s).toDouble(), Store::now()) << created;
    }
}

// The shared settings as damage leaves them: the host answers as if nothing were saved, and
// translates with the default pair.
TEST_F(BridgeHostTest, DamagedSharedSettingsReadAsNothingSaved) {
    const QByteArray typed = R"(shortcutDisplay=@Variant(\0\0\0\v\x7f\xff\xff\xff))";
    const QByteArray junk = "junk=" + QByteArray(2 * 1024 * 1024, 'j');
    const QByteArray noLanguages = R"x(pair="@ByteArray({\"mine\":\"xx\",\"second\":\"yy\"})")x";
    const QByteArray huge = R"(pair="@ByteArray({\"mine\":\")" + QByteArray(20'000'000, 'e') +
                            R"x(\",\"second\":\"en\"})")x";
    for (const QByteArray& file : QList<QByteArray>{typed + '\n' + noLanguages, junk, huge}) {
        QFile settings(Paths::defaultsFile());
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write("[General]\n" + file + '\n');
        settings.close();
        HostProcess host(QString(), hostEnvironment());
        const QJsonObject hello = ask(host, {{u"type"_s, u"hello"_s}});
        EXPECT_EQ(hello.value(u"ok"_s), true) << hello.value(u"message"_s).toString().toStdString();
        EXPECT_EQ(hello.value(u"pair"_s),
                  (QJsonObject{{u"mine"_s, u"en"_s}, {u"second"_s, u"es"_s}}));
        EXPECT_EQ(hello.value(u"shortcut"_s), u"Ctrl+Alt+T"_s);
        const QJsonObject translated =
            ask(host, {{u"type"_s, u"translate"_s}, {u"text"_s, u"the house"_s}});
        EXPECT_EQ(translated.value(u"ok"_s), true)
            << QJsonDocument(translated).toJson().toStdString();
        EXPECT_EQ(translated.value(u"to"_s), u"es"_s);
    }
}

TEST_F(BridgeHostTest, OpenAndDownloadHandTheWorkToTheApplication) {
    HostProcess host(QString(), hostEnvironment());
    const QString text = u"\" &=+#%é"_s;
    EXPECT_EQ(ask(host, {{u"type"_s, u"open"_s}, {u"text"_s, text}}).value(u"ok"_s), true);
    EXPECT_EQ(ask(host, {{u"type"_s, u"open"_s}, {u"text"_s, u""_s}}).value(u"ok"_s), true);
    EXPECT_EQ(ask(host, {{u"type"_s, u"download"_s}, {u"from"_s, u"en"_s}}).value(u"ok"_s), true);
    const QStringList urls = waitForOpened(3);
    ASSERT_EQ(urls.size(), 3);
    // Order of the detached openers is not guaranteed; find each.
    const auto find = [&](const QString& prefix) {
        for (const QString& url : urls)
            if (url.startsWith(prefix))
                return url;
        return QString();
    };
    const QUrl translate(find(u"tivela://translate?"_s));
    EXPECT_EQ(QUrlQuery(translate).queryItemValue(u"text"_s, QUrl::FullyDecoded), text);
    EXPECT_EQ(translate.query(QUrl::FullyEncoded), u"text=%22%20%26%3D%2B%23%25%C3%A9"_s);
    EXPECT_EQ(find(u"tivela://translate"_s).isEmpty(), false);
    EXPECT_TRUE(urls.contains(u"tivela://translate"_s));
    EXPECT_TRUE(urls.contains(u"tivela://download?from=en&to="_s));

    // The stub's stray output went nowhere near the channel.
    EXPECT_EQ(ask(host, {{u"type"_s, u"phrases"_s}}).value(u"ok"_s), true);
}

TEST_F(BridgeHostTest, WithoutStandardErrorStrayOutputStillMissesTheChannel) {
    const QString wrapper = World::root() + u"/host-without-stderr"_s;
    QFile script(wrapper);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nexec \"" + HostProcess::stagedProgram().toUtf8() + "\" 2>&-\n");
    script.close();
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    HostProcess host(wrapper, hostEnvironment());
    EXPECT_EQ(ask(host, {{u"type"_s, u"open"_s}, {u"text"_s, u"x"_s}}).value(u"ok"_s), true);
    ASSERT_EQ(waitForOpened(1).size(), 1);
    QThread::msleep(100); // the stub prints after it has logged
    EXPECT_EQ(ask(host, {{u"type"_s, u"phrases"_s}}).value(u"ok"_s), true);
    host.closeInput();
    EXPECT_EQ(host.waitForExit(), 0);
    EXPECT_TRUE(host.unreadOutput().isEmpty());
}

TEST_F(BridgeHostTest, TooLargeRepliesAreReportedNotPretended) {
    HostProcess host(QString(), hostEnvironment());
    Store store(Paths::database());
    for (int i = 0; i < 12; ++i)
        ASSERT_TRUE(
            store.addPhrase(Item{QUuid::createUuid().toString(), QString(100000, QChar(u'a' + i)),
                                 u"x"_s, u"en"_s, u"es"_s, 1, 0, 0, u"mac"_s}));
    const QJsonObject large = ask(host, {{u"type"_s, u"phrases"_s}, {u"id"_s, 9}});
    EXPECT_EQ(large, (QJsonObject{{u"ok"_s, false},
                                  {u"error"_s, u"failed"_s},
                                  {u"message"_s, u"reply too large"_s},
                                  {u"id"_s, 9}}));

    // An id too large to echo is dropped rather than sent past the browser's limit.
    host.send({{u"type"_s, u"unknown"_s}, {u"id"_s, QString(600000, u'é')}});
    const auto absurd = host.receive();
    ASSERT_TRUE(absurd);
    EXPECT_EQ(absurd->value(u"message"_s), u"reply too large"_s);
    EXPECT_TRUE(absurd->value(u"id"_s).isNull());
}

// A phrase is stored only when the reply that carries it back can be sent: one the extension is
// told failed is never in the phrasebook. Huge phrases in a burst with small ones.
// The application moves a damaged database aside and starts a fresh one while the host keeps
// its connection: the host follows the path, so what it stores from then on is in the file
// every program reads, and nothing is written into the file set aside.
TEST_F(BridgeHostTest, ADatabaseSetAsideIsFollowedToTheFreshOne) {
    const QString database = Paths::database();
    const auto texts = [](const QString& path) {
        QSet<QString> found;
        Store store(path);
        for (const Item& card : store.phrases(QString()))
            found.insert(card.text);
        return found;
    };
    HostProcess host(QString(), hostEnvironment());
    ASSERT_EQ(ask(host, {{u"type"_s, u"addPhrase"_s}, {u"item"_s, phrase(u"early"_s, u"x"_s)}})
                  .value(u"ok"_s),
              true);

    // Damaged as a failing disk leaves it, then found so by the application's store.
    ASSERT_TRUE(Store::foldLog(database));
    {
        QFile file(database);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.write(QByteArray(100, 'x'));
    }
    const auto firstKept = Store(database).setAsideIfUnusable();
    ASSERT_TRUE(firstKept);
    const QJsonObject late =
        ask(host, {{u"type"_s, u"addPhrase"_s}, {u"item"_s, phrase(u"late"_s, u"x"_s)}});
    EXPECT_EQ(late.value(u"ok"_s), true) << QJsonDocument(late).toJson().toStdString();
    EXPECT_EQ(texts(database), QSet<QString>{u"late"_s});

    // A burst across the move: every card the host stored is in one file or the other, and
    // those asked for after the move only in the fresh one.
    constexpr int burst = 200;
    const auto send = [&](int i) {
        host.send({{u"type"_s, u"addPhrase"_s},
                   {u"id"_s, i},
                   {u"item"_s, phrase(u"card %1"_s.arg(i), u"x"_s)}});
    };
    for (int i = 0; i < burst / 2; ++i)
        send(i);
    QList<QJsonObject> replies;
    for (int i = 0; i < 10; ++i)
        replies << host.receive(30000).value_or(QJsonObject{});
    const QString secondKept = database + u".aside"_s;
    for (const QString& suffix : {u"-wal"_s, u"-shm"_s, u""_s})
        if (QFile::exists(database + suffix)) {
            ASSERT_TRUE(QFile::rename(database + suffix, secondKept + suffix));
        }
    ASSERT_TRUE(Store(database).isOpen());
    for (int i = burst / 2; i < burst; ++i)
        send(i);
    while (replies.size() < burst) {
        const auto reply = host.receive(30000);
        ASSERT_TRUE(reply) << "reply " << replies.size();
        replies << *reply;
    }
    EXPECT_TRUE(std::all_of(replies.cbegin(), replies.cend(),
                            [](const QJsonObject& reply) { return reply.value(u"ok"_s) == true; }));
    const QSet<QString> fresh = texts(database);
    const QSet<QString> aside = texts(secondKept);
    for (int i = 0; i < burst; ++i) {
        const QString text = u"card %1"_s.arg(i);
        EXPECT_NE(fresh.contains(text), aside.contains(text)) << text.toStdString();
        if (i >= burst / 2) {
            EXPECT_TRUE(fresh.contains(text)) << text.toStdString();
        }
    }
    host.closeInput();
    EXPECT_EQ(host.waitForExit(), 0);
    for (const QString& suffix : {u"-wal"_s, u"-shm"_s, u""_s}) {
        QFile::remove(*firstKept + suffix);
        QFile::remove(secondKept + suffix);
    }
}

TEST_F(BridgeHostTest, APhraseIsStoredOnlyWhenItsReplyFits) {
    HostProcess host(QString(), hostEnvironment());
    const auto add = [&](const QString& id, const QString& text) {
        host.send({{u"type"_s, u"addPhrase"_s}, {u"id"_s, id}, {u"item"_s, phrase(text, u"x"_s)}});
    };
    for (int i = 0; i < 12; ++i) {
        add(u"huge %1"_s.arg(i), QString(1024 * 1024, QChar(u'a' + i)));
        add(u"small %1"_s.arg(i), u"dog %1"_s.arg(i));
    }
    const QString fits(900 * 1024, u'z');
    add(u"fits"_s, fits);
    QHash<QString, QJsonObject> replies;
    for (int i = 0; i < 25; ++i) {
        const auto reply = host.receive(30000);
        ASSERT_TRUE(reply) << "reply " << i;
        replies.insert(reply->value(u"id"_s).toString(), *reply);
    }
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(replies.value(u"huge %1"_s.arg(i)),
                  (QJsonObject{{u"ok"_s, false},
                               {u"error"_s, u"failed"_s},
                               {u"message"_s, u"phrase too large"_s},
                               {u"id"_s, u"huge %1"_s.arg(i)}}));
        EXPECT_EQ(replies.value(u"small %1"_s.arg(i)).value(u"item"_s)[u"text"_s],
                  u"dog %1"_s.arg(i));
    }
    EXPECT_EQ(replies.value(u"fits"_s).value(u"item"_s)[u"text"_s], fits);
    Store store(Paths::database());
    const QList<Item> stored = store.phrases(QString());
    EXPECT_EQ(stored.size(), 13);
    EXPECT_TRUE(std::all_of(stored.cbegin(), stored.cend(),
                            [](const Item& card) { return card.text.size() < 1024 * 1024; }));
}

TEST_F(BridgeHostTest, SpeechIsAnsweredInTheOrderItWasAsked) {
    HostProcess host(QString(), hostEnvironment());
    host.send({{u"type"_s, u"voices"_s}, {u"id"_s, 1}});
    host.send({{u"type"_s, u"speak"_s},
               {u"id"_s, 2},
               {u"text"_s, u"Hello there"_s},
               {u"lang"_s, u"en"_s}});
    host.send({{u"type"_s, u"stopSpeaking"_s}, {u"id"_s, 3}});
    host.send(
        {{u"type"_s, u"speak"_s}, {u"id"_s, 4}, {u"text"_s, u"  \n "_s}, {u"lang"_s, u"en"_s}});
    host.send(
        {{u"type"_s, u"speak"_s}, {u"id"_s, 5}, {u"text"_s, u"Привет"_s}, {u"lang"_s, u"xx"_s}});
    QList<QJsonObject> replies;
    for (int i = 0; i < 5; ++i) {
        const auto reply = host.receive(30000);
        ASSERT_TRUE(reply) << "reply " << i << " exit " << host.waitForExit(1000)
                           << host.process().readAllStandardError().toStdString();
        replies << *reply;
    }
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(replies[i].value(u"id"_s), i + 1);
    EXPECT_TRUE(replies[0].value(u"languages"_s).toArray().contains(u"en"_s));
    EXPECT_EQ(replies[1].value(u"ok"_s), true);
    EXPECT_EQ(replies[2].value(u"ok"_s), true);
    EXPECT_EQ(replies[3],
              (QJsonObject{{u"ok"_s, false}, {u"error"_s, u"no-voice"_s}, {u"id"_s, 4}}));
    // Cyrillic text in an unknown language still finds a Russian voice.
    EXPECT_EQ(replies[4].value(u"ok"_s), true);
}

TEST_F(BridgeHostTest, TranslateResolvesThePairAndReportsErrorsWithIt) {
    SharedSettings::setPair(LanguagePair{u"en"_s, u"es"_s});
    HostProcess host(QString(), hostEnvironment());

    const QJsonObject spanish = ask(host, {{u"type"_s, u"translate"_s},
                                           {u"text"_s, u"Good morning! How are you today?"_s},
                                           {u"from"_s, u"auto"_s}});
    EXPECT_EQ(spanish.value(u"ok"_s), true) << QJsonDocument(spanish).toJson().toStdString();
    EXPECT_EQ(spanish.value(u"from"_s), u"en"_s);
    EXPECT_EQ(spanish.value(u"to"_s), u"es"_s);
    EXPECT_EQ(spanish.value(u"detected"_s), true);
    EXPECT_TRUE(spanish.value(u"text"_s).toString().contains(u"Buenos"_s));
    EXPECT_FALSE(spanish.contains(u"same"_s));

    const QJsonObject same = ask(host, {{u"type"_s, u"translate"_s},
                                        {u"text"_s, u" 你好 "_s},
                                        {u"from"_s, u"zh"_s},
                                        {u"to"_s, u"zh-TW"_s}});
    EXPECT_EQ(same, (QJsonObject{{u"ok"_s, true},
                                 {u"text"_s, u" 你好 "_s},
                                 {u"from"_s, u"zh"_s},
                                 {u"to"_s, u"zh-TW"_s},
                                 {u"detected"_s, false},
                                 {u"same"_s, true},
                                 {u"id"_s, same.value(u"id"_s)}}));

    // Nothing recognisable: the second language is the source.
    const QJsonObject digits = ask(host, {{u"type"_s, u"translate"_s}, {u"text"_s, u"12345"_s}});
    EXPECT_EQ(digits.value(u"from"_s), u"es"_s);
    EXPECT_EQ(digits.value(u"to"_s), u"en"_s);
    EXPECT_EQ(digits.value(u"detected"_s), true);

    const auto error = [&](const QJsonObject& request) {
        QJsonObject reply = ask(host, request);
        reply.remove(u"id"_s);
        reply.remove(u"message"_s);
        return reply;
    };
    EXPECT_EQ(error({{u"type"_s, u"translate"_s},
                     {u"text"_s, u"Hello"_s},
                     {u"from"_s, u"en"_s},
                     {u"to"_s, u"ca"_s}}),
              (QJsonObject{{u"ok"_s, false},
                           {u"error"_s, u"not-installed"_s},
                           {u"from"_s, u"en"_s},
                           {u"to"_s, u"ca"_s}}));
    EXPECT_EQ(error({{u"type"_s, u"translate"_s},
                     {u"text"_s, u"Hallo"_s},
                     {u"from"_s, u"de"_s},
                     {u"to"_s, u"ru"_s}}),
              (QJsonObject{{u"ok"_s, false},
                           {u"error"_s, u"unsupported"_s},
                           {u"from"_s, u"de"_s},
                           {u"to"_s, u"ru"_s}}));
    EXPECT_EQ(
        error({{u"type"_s, u"translate"_s}, {u"text"_s, u"  \n "_s}, {u"from"_s, u"en"_s}}),
        (QJsonObject{
            {u"ok"_s, false}, {u"error"_s, u"empty"_s}, {u"from"_s, u"en"_s}, {u"to"_s, u"es"_s}}));
    const QJsonObject failed = ask(host, {{u"type"_s, u"translate"_s},
                                          {u"text"_s, u"Bonjour le monde"_s},
                                          {u"from"_s, u"fr"_s},
                                          {u"to"_s, u"en"_s}});
    EXPECT_EQ(failed.value(u"error"_s), u"failed"_s);
    EXPECT_TRUE(failed.value(u"message"_s).toString().startsWith(u"failed(\""_s));
    EXPECT_EQ(failed.value(u"from"_s), u"fr"_s);
}

TEST_F(BridgeHostTest, BatchesKeepOrderAndMarkup) {
    HostProcess host(QString(), hostEnvironment());
    const QJsonObject batch =
        ask(host, {{u"type"_s, u"translateBatch"_s},
                   {u"texts"_s, QJsonArray{u"<a1>Good morning</a1>, my friend"_s,
                                           u"The house is big"_s, u"Thank you"_s}},
                   {u"from"_s, u"en"_s},
                   {u"to"_s, u"es"_s}});
    ASSERT_EQ(batch.value(u"ok"_s), true) << QJsonDocument(batch).toJson().toStdString();
    const QJsonArray texts = batch.value(u"texts"_s).toArray();
    ASSERT_EQ(texts.size(), 3);
    EXPECT_TRUE(texts[0].toString().contains(u"<a1>"_s));
    EXPECT_TRUE(texts[0].toString().contains(u"</a1>"_s));
    EXPECT_TRUE(texts[1].toString().contains(u"casa"_s));
    EXPECT_TRUE(texts[2].toString().contains(u"Gracias"_s, Qt::CaseInsensitive));

    // Without languages the batch asks the engine for English to English, which it lacks.
    const QJsonObject english =
        ask(host, {{u"type"_s, u"translateBatch"_s}, {u"texts"_s, QJsonArray{u"a"_s, u"b"_s}}});
    EXPECT_EQ(english.value(u"error"_s), u"unsupported"_s);
    EXPECT_EQ(english.value(u"from"_s), u"en"_s);
    EXPECT_EQ(english.value(u"to"_s), u"en"_s);
    const QJsonObject none = ask(host, {{u"type"_s, u"translateBatch"_s},
                                        {u"texts"_s, QJsonArray{}},
                                        {u"from"_s, u"en"_s},
                                        {u"to"_s, u"es"_s}});
    EXPECT_EQ(none.value(u"texts"_s), QJsonArray{});
}

TEST_F(BridgeHostTest, StatusAndDetect) {
    HostProcess host(QString(), hostEnvironment());
    const auto status = [&](const char* from, const char* to) -> QString {
        const QJsonObject reply = ask(host, {{u"type"_s, u"status"_s},
                                             {u"from"_s, QString::fromLatin1(from)},
                                             {u"to"_s, QString::fromLatin1(to)}});
        return reply.value(u"status"_s).toString() + u'/' + reply.value(u"fast"_s).toString();
    };
    EXPECT_EQ(status("en", "es"), u"installed/installed"_s);
    EXPECT_EQ(status("en", "ca"), u"downloadable/downloadable"_s);
    EXPECT_EQ(status("de", "ru"), u"unsupported/unsupported"_s);

    const QJsonObject spanish =
        ask(host, {{u"type"_s, u"detect"_s}, {u"text"_s, u"Buenos días, ¿cómo estás hoy?"_s}});
    EXPECT_EQ(spanish.value(u"ok"_s), true);
    EXPECT_EQ(spanish.value(u"lang"_s), u"es"_s);
    EXPECT_GT(spanish.value(u"confidence"_s).toDouble(), 0.5);
    EXPECT_EQ(
        ask(host, {{u"type"_s, u"detect"_s}, {u"id"_s, 3}}),
        (QJsonObject{{u"ok"_s, false}, {u"lang"_s, u""_s}, {u"confidence"_s, 0}, {u"id"_s, 3}}));
}

// With English and Spanish as the pair, texts in languages the engine has no pair for are
// named as what they are and refused as unsupported, never handed back as translations; so
// in a burst of both requests, and when the input ends in the middle of one.
TEST_F(BridgeHostTest, TextsWithoutAPairAreNamedAndRefused) {
    SharedSettings::setPair(LanguagePair{u"en"_s, u"es"_s});
    HostProcess host(QString(), hostEnvironment());
    const QString german = u"Der Hund ist im Haus und schläft"_s;
    const QString japanese = u"犬は家で寝ている"_s;
    const QJsonObject detected = ask(host, {{u"type"_s, u"detect"_s}, {u"text"_s, german}});
    EXPECT_EQ(detected.value(u"lang"_s), u"de"_s);
    EXPECT_GT(detected.value(u"confidence"_s).toDouble(), 0.9);

    const auto translate = [](const QString& text, int id) {
        return QJsonObject{{u"type"_s, u"translate"_s}, {u"id"_s, id}, {u"text"_s, text}};
    };
    const auto refused = [](const char* from, const QString& error = u"unsupported"_s) {
        return QJsonObject{{u"ok"_s, false},
                           {u"error"_s, error},
                           {u"from"_s, QString::fromLatin1(from)},
                           {u"to"_s, u"en"_s}};
    };
    const QChar lone[] = {QChar(0xD800), u'x'};
    const struct {
        QString text;
        QJsonObject translation;
        QString language;
    } table[] = {
        {german, refused("de"), u"de"_s},
        {japanese, refused("ja"), u"ja"_s},
        // French is installed beside the pair; its way to English is the broken mode.
        {u"Bonjour"_s, refused("fr", u"failed"_s), u"fr"_s},
        {u"house"_s,
         {{u"ok"_s, true},
          {u"text"_s, u"casa"_s},
          {u"from"_s, u"en"_s},
          {u"to"_s, u"es"_s},
          {u"detected"_s, true}},
         u"en"_s},
    };
    const int burst = 120;
    for (int id = 0; id < burst; ++id) {
        const auto& row = table[id / 2 % std::size(table)];
        host.send(
            id % 2 ? translate(row.text, id)
                   : QJsonObject{{u"type"_s, u"detect"_s}, {u"id"_s, id}, {u"text"_s, row.text}});
    }
    host.send({{u"type"_s, u"detect"_s}, {u"id"_s, burst}, {u"text"_s, QString(lone, 2)}});
    QSet<int> answered;
    for (int i = 0; i <= burst; ++i) {
        auto reply = host.receive(60000);
        ASSERT_TRUE(reply) << "reply " << i;
        const int id = reply->take(u"id"_s).toInt();
        reply->remove(u"message"_s);
        answered.insert(id);
        if (id == burst)
            continue;
        const auto& row = table[id / 2 % std::size(table)];
        if (id % 2)
            EXPECT_EQ(*reply, row.translation) << QJsonDocument(*reply).toJson().toStdString();
        else
            EXPECT_EQ(reply->value(u"lang"_s), row.language) << row.text.toStdString();
    }
    EXPECT_EQ(answered.size(), burst + 1);

    for (int id = 0; id < 50; ++id)
        host.send(translate(table[id % std::size(table)].text, 1000 + id));
    host.closeInput();
    EXPECT_EQ(host.waitForExit(5000), 0);
}

// With the German pack installed beside English and Spanish, German words from "auto" are
// named German and refused as unsupported, not taken for English and handed back.
TEST_F(BridgeHostTest, WordsOfAnInstalledPackAreNamedAndRefused) {
    SharedSettings::setPair(LanguagePair{u"en"_s, u"es"_s});
    const QString entry = uR"({"e":[["noun","","",[["a gloss",[],[]]]]]})"_s;
    ASSERT_TRUE(test::writeFile(
        Paths::lexicon() + u"/de.lex.gz"_s,
        test::packText({{u"whaus"_s, entry}, {u"wmädchen"_s, entry}, {u"wzeitung"_s, entry}})));
    HostProcess host(QString(), hostEnvironment());
    for (const QString& text : {u"Zeitung"_s, u"Haus"_s, u"Mädchen"_s}) {
        QJsonObject reply =
            ask(host, {{u"type"_s, u"translate"_s}, {u"text"_s, text}, {u"from"_s, u"auto"_s}});
        reply.remove(u"id"_s);
        EXPECT_EQ(reply, (QJsonObject{{u"ok"_s, false},
                                      {u"error"_s, u"unsupported"_s},
                                      {u"from"_s, u"de"_s},
                                      {u"to"_s, u"en"_s}}))
            << text.toStdString() << QJsonDocument(reply).toJson().toStdString();
    }
    host.closeInput();
    EXPECT_EQ(host.waitForExit(5000), 0);
}

// Words the source language does not know come back from the engine as they went: such an
// answer is a failure, for a single text and for each text of a batch, while names, numbers
// and words both languages share stay translations; so in a burst of both requests, and when
// the input ends in the middle of them.
TEST_F(BridgeHostTest, AnswersRepeatingUnknownWordsAreFailures) {
    SharedSettings::setPair(LanguagePair{u"en"_s, u"es"_s});
    HostProcess host(QString(), hostEnvironment());
    const QJsonObject untranslated{{u"ok"_s, false},
                                   {u"error"_s, u"failed"_s},
                                   {u"message"_s, u"failed(\"left untranslated\")"_s}};
    const auto translated = [](const char* text, bool detected) {
        return QJsonObject{{u"ok"_s, true},
                           {u"text"_s, QString::fromUtf8(text)},
                           {u"from"_s, u"en"_s},
                           {u"to"_s, u"es"_s},
                           {u"detected"_s, detected}};
    };
    const auto failed = [&] {
        QJsonObject reply = untranslated;
        reply.insert(u"from"_s, u"en"_s);
        reply.insert(u"to"_s, u"es"_s);
        return reply;
    };
    const struct {
        QString text;
        bool detect;
        QJsonObject reply;
    } singles[] = {
        {u"Katze"_s, true, failed()},
        {u"hosue"_s, true, failed()},
        {u"Hund"_s, false, failed()},
        {u"house"_s, true, translated("casa", true)},
        {u"Maria"_s, false, translated("Maria", false)},
        {u"42"_s, false, translated("42", false)},
        // Meant to come back as they stand.
        {u"config.yaml"_s, false, translated("config.yaml", false)},
        {u"~/notes/report_final.txt"_s, false, translated("~/notes/report_final.txt", false)},
    };
    const QJsonArray texts{
        u"The house is big"_s, u"Hund"_s, u"hotel"_s, u"hosue"_s, u"42"_s, u"Maria"_s};
    const auto batch = [&](int id) {
        return QJsonObject{{u"type"_s, u"translateBatch"_s},
                           {u"id"_s, id},
                           {u"texts"_s, texts},
                           {u"from"_s, u"en"_s},
                           {u"to"_s, u"es"_s}};
    };
    // Every third request is a batch, the others go through the single texts in turn.
    const auto rowOf = [&](int id) { return (id / 3 * 2 + id % 3) % std::size(singles); };
    const auto request = [&](int id) {
        if (id % 3 == 2)
            return batch(id);
        const auto row = rowOf(id);
        QJsonObject single{
            {u"type"_s, u"translate"_s}, {u"id"_s, id}, {u"text"_s, singles[row].text}};
        if (!singles[row].detect)
            single.insert(u"from"_s, u"en"_s);
        return single;
    };
    const auto check = [&](QJsonObject reply) {
        const int id = reply.take(u"id"_s).toInt();
        if (id % 3 == 2) {
            EXPECT_EQ(reply.value(u"ok"_s), true);
            // A page keeps the words the engine does not know as they stand.
            const QJsonArray answers = reply.value(u"texts"_s).toArray();
            ASSERT_EQ(answers.size(), texts.size());
            EXPECT_TRUE(answers[0].toString().contains(u"casa"_s));
            EXPECT_EQ(answers[1], texts[1]);
            EXPECT_EQ(answers[3], texts[3]);
        } else {
            EXPECT_EQ(reply, singles[rowOf(id)].reply) << QJsonDocument(reply).toJson().data();
        }
    };
    // One at a time first: the engine's stages and the analysers start on the way.
    for (int id = 0; id < 9; ++id) {
        host.send(request(id));
        const auto reply = host.receive(60000);
        ASSERT_TRUE(reply) << "reply " << id;
        check(*reply);
    }

    const int burst = 150;
    for (int id = 0; id < burst; ++id)
        host.send(request(id));
    QSet<int> answered;
    for (int i = 0; i < burst; ++i) {
        const auto reply = host.receive(60000);
        ASSERT_TRUE(reply) << "reply " << i;
        answered.insert(reply->value(u"id"_s).toInt());
        check(*reply);
    }
    EXPECT_EQ(answered.size(), burst);

    for (int id = 0; id < 60; ++id)
        host.send(request(id));
    host.closeInput();
    EXPECT_EQ(host.waitForExit(5000), 0);
}

// A translation that could never be sent back is refused before it reaches the engine, so the
// pair's next request does not wait behind it.
TEST_F(BridgeHostTest, BatchesTooLargeToAnswerAreRefusedAtOnce) {
    HostProcess host(QString(), hostEnvironment());
    const QString sentence = u"The weather is nice today and we are going to the beach. "_s;
    // Each text within the cap, together more than a reply carries.
    QJsonArray texts;
    for (int i = 0; i < 12; ++i)
        texts.append(sentence.repeated(IncomingText::maxCharacters / sentence.size()));
    host.send({{u"type"_s, u"translateBatch"_s},
               {u"id"_s, u"batch"_s},
               {u"texts"_s, texts},
               {u"from"_s, u"en"_s},
               {u"to"_s, u"es"_s}});
    host.send({{u"type"_s, u"translate"_s},
               {u"id"_s, u"small"_s},
               {u"text"_s, u"Thank you"_s},
               {u"from"_s, u"en"_s},
               {u"to"_s, u"es"_s}});
    QHash<QString, QJsonObject> replies;
    for (int i = 0; i < 2; ++i) {
        // The engine would need tens of seconds for the batch; the small one needs only the
        // engine's start, a few seconds on a busy machine.
        const auto reply = host.receive(15000);
        ASSERT_TRUE(reply) << "reply " << i;
        replies.insert(reply->value(u"id"_s).toString(), *reply);
    }
    const QJsonObject refused = replies.value(u"batch"_s);
    EXPECT_EQ(refused.value(u"error"_s), u"failed"_s);
    EXPECT_EQ(refused.value(u"message"_s), u"reply too large"_s);
    EXPECT_EQ(replies.value(u"small"_s).value(u"ok"_s), true);
}

namespace {

struct Oversized {
    const char* name;
    QString text;
};

void PrintTo(const Oversized& oversized, std::ostream* out) {
    *out << oversized.name;
}

// A megabyte as people send it: with accents made of two code points, so a cut by code
// units would tear a character.
QString megabyte(const QString& piece) {
    return piece.repeated(1024 * 1024 / piece.size());
}

class BridgeOversizedTest : public BridgeHostTest,
                            public ::testing::WithParamInterface<Oversized> {};

} // namespace

// Every request that takes text keeps to the cap, cuts between whole characters and says so;
// "open" also keeps its URL within one program argument.
TEST_P(BridgeOversizedTest, TextsBeyondTheCapAreCutBetweenCharactersAndSaySo) {
    const QString& text = GetParam().text;
    const bool beyond = IncomingText::cap(text).cut;
    HostProcess host(QString(), hostEnvironment());
    const QJsonObject pair{{u"from"_s, u"en"_s}, {u"to"_s, u"es"_s}};
    QJsonObject translate = pair;
    translate.insert(u"type"_s, u"translate"_s);
    translate.insert(u"text"_s, text);
    QJsonObject batch = pair;
    batch.insert(u"type"_s, u"translateBatch"_s);
    batch.insert(u"texts"_s, QJsonArray{u"house"_s, text});
    for (const QJsonObject& request :
         {translate, batch, QJsonObject{{u"type"_s, u"open"_s}, {u"text"_s, text}}}) {
        const QJsonObject reply = ask(host, request);
        const QString type = request.value(u"type"_s).toString();
        // A word longer than any word comes back as it stands, as it is meant to.
        EXPECT_EQ(reply.value(u"ok"_s), true)
            << type.toStdString() << " " << reply.value(u"message"_s).toString().toStdString();
        EXPECT_EQ(reply.value(u"cut"_s).toBool(), beyond || type == u"open") << type.toStdString();
    }
    EXPECT_TRUE(ask(host, {{u"type"_s, u"detect"_s}, {u"text"_s, text}}).contains(u"lang"_s));

    const QStringList urls = waitForOpened(1);
    ASSERT_EQ(urls.size(), 1);
    EXPECT_LT(urls[0].toUtf8().size(), HandOverUrl::maxArgumentBytes);
    const QUrlQuery query{QUrl(urls.first()).query(QUrl::FullyEncoded)};
    const QString handed = query.queryItemValue(u"text"_s, QUrl::FullyDecoded);
    EXPECT_EQ(query.queryItemValue(u"cut"_s), u"1"_s);
    EXPECT_GT(handed.size(), 20000);
    EXPECT_TRUE(Graphemes::first(text, Graphemes::count(handed)) == handed);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, BridgeOversizedTest,
    ::testing::Values(
        Oversized{"one word", megabyte(u"QmFzZTY0IGlz"_s + u"e\u0301"_s)},
        Oversized{"one paragraph", megabyte(u"the house is big and the cafe\u0301 is open "_s)},
        Oversized{"prose", megabyte(u"The dog sleeps in the house.\nThe cat is on the roof.\n"_s)},
        // Within the cap, but not within one argument once its URL is encoded.
        Oversized{"many accents", u"the cafe\u0301 is open "_s.repeated(6000)}),
    [](const ::testing::TestParamInfo<Oversized>& param) {
        return QString::fromLatin1(param.param.name).replace(u' ', u'_').toStdString();
    });

// A page's worth of batches in flight, more than the host has threads: the quick requests sent
// after them are answered among the first replies, and the end of input in the middle ends the
// host with status 0.
TEST_F(BridgeHostTest, QuickRequestsOvertakeAPageOfBatches) {
    HostProcess host(QString(), hostEnvironment());
    QJsonArray sentences;
    for (int i = 0; i < 40; ++i)
        sentences.append(
            u"The weather is very nice today and we are going to the beach number %1."_s.arg(i));
    const int batches = 64;
    for (int i = 0; i < batches; ++i)
        host.send({{u"type"_s, u"translateBatch"_s},
                   {u"id"_s, i},
                   {u"texts"_s, sentences},
                   {u"from"_s, u"en"_s},
                   {u"to"_s, u"es"_s}});
    const QStringList quick{u"hello"_s, u"phrases"_s, u"status"_s, u"detect"_s, u"lookup"_s};
    for (const QString& type : quick)
        host.send({{u"type"_s, type},
                   {u"id"_s, type},
                   {u"from"_s, u"en"_s},
                   {u"to"_s, u"es"_s},
                   {u"text"_s, u"The dog"_s},
                   {u"word"_s, u"dog"_s}});
    QSet<QString> answered;
    int batchesAnswered = 0;
    while (answered.size() < quick.size()) {
        const auto reply = host.receive(60000);
        ASSERT_TRUE(reply) << "quick replies missing: " << answered.size();
        EXPECT_EQ(reply->value(u"ok"_s), true) << QJsonDocument(*reply).toJson().data();
        if (reply->value(u"id"_s).isString())
            answered.insert(reply->value(u"id"_s).toString());
        else
            ++batchesAnswered;
    }
    EXPECT_LT(batchesAnswered, batches / 2);
    host.closeInput();
    EXPECT_EQ(host.waitForExit(5000), 0);
}

namespace {

// A bundle of the test's own around a copy of the staged host: its version and pack server
// are the test's to choose.
QString makeBundle(const QString& root, const QJsonObject& info) {
    const QString program = root + u"/libexec/tivela-bridge"_s;
    QDir().mkpath(root + u"/libexec"_s);
    QFile::remove(program);
    EXPECT_TRUE(QFile::copy(HostProcess::stagedProgram(), program));
    QFile bundle(root + u"/bundle.json"_s);
    EXPECT_TRUE(bundle.open(QIODevice::WriteOnly));
    bundle.write(QJsonDocument(info).toJson());
    return program;
}

QByteArray englishPack() {
    return test::gzip(test::packText(
        {{u"wdog"_s, uR"j({"e":[["noun","dɒɡ","",[["a domestic animal",[],[]]]]]})j"_s}}));
}

QByteArray spanishPack() {
    return test::gzip(test::packText(
        {{u"xdog"_s, uR"j(["1"])j"_s},
         {u"s1"_s, uR"j(["dog","noun","a domestic animal",[["perro"],["can"]]])j"_s}}));
}

} // namespace

class BridgeHostPackTest : public BridgeHostTest {
protected:
    HttpServer server;
    QString program;

    void serve(const QString& code, const QByteArray& pack, int delayMs) {
        HttpServer::Response response;
        response.body = pack;
        response.delayMs = delayMs;
        server.route(u"/packs/"_s + code + u".lex.gz"_s, response);
    }
    static QJsonObject waitingLookup(int id, const QString& word, const QString& from,
                                     const QString& to) {
        return {{u"type"_s, u"lookup"_s}, {u"id"_s, id}, {u"word"_s, word},
                {u"from"_s, from},        {u"to"_s, to}, {u"wait"_s, true}};
    }

    void SetUp() override {
        BridgeHostTest::SetUp();
        QDir(Paths::lexicon()).removeRecursively();
        serve(u"en"_s, englishPack(), 0);
        serve(u"es"_s, spanishPack(), 300);
        program = makeBundle(World::root() + u"/bundle"_s,
                             {{u"CFBundleIdentifier"_s, u"dev.quorvanta.Tivela.dev"_s},
                              {u"CFBundleShortVersionString"_s, u"9.8.7"_s},
                              {u"TivelaLexiconURL"_s, server.url(u"/packs/"_s).toString()}});
    }
};

TEST_F(BridgeHostPackTest, LookupAnswersNowPendingOrAfterWaiting) {
    HostProcess host(program, hostEnvironment());
    const QJsonObject request{
        {u"type"_s, u"lookup"_s}, {u"word"_s, u"dog"_s}, {u"from"_s, u"en"_s}, {u"to"_s, u"es"_s}};
    const QJsonObject pending = ask(host, request);
    EXPECT_EQ(pending.value(u"entry"_s), QJsonValue::Null);
    EXPECT_EQ(pending.value(u"pending"_s), true);

    QJsonObject found;
    for (int i = 0; i < 100 && !found.value(u"entry"_s).isObject(); ++i) {
        QThread::msleep(100);
        found = ask(host, request);
    }
    const QJsonObject entry = found.value(u"entry"_s).toObject();
    EXPECT_EQ(entry.value(u"word"_s), u"dog"_s);
    EXPECT_EQ(entry.value(u"ipa"_s), u"dɒɡ"_s);
    EXPECT_EQ(entry[u"groups"_s][0][u"terms"_s][0][u"text"_s], u"perro"_s);
    EXPECT_FALSE(found.contains(u"pending"_s));
    EXPECT_EQ(server.requests(u"/packs/es.lex.gz"_s), 1);

    // With the packs gone, "wait" answers only after the download, with the card.
    Lexicon::shared().unload(u"es"_s);
    QFile::remove(Paths::lexicon() + u"/es.lex.gz"_s);
    QJsonObject waiting = request;
    waiting.insert(u"wait"_s, true);
    const QJsonObject waited = ask(host, waiting);
    EXPECT_EQ(waited.value(u"entry"_s)[u"word"_s], u"dog"_s);
    EXPECT_FALSE(waited.contains(u"pending"_s));

    // Unknown words and unknown languages have no card.
    EXPECT_EQ(ask(host, {{u"type"_s, u"lookup"_s},
                         {u"word"_s, u"zzz"_s},
                         {u"from"_s, u"en"_s},
                         {u"to"_s, u"es"_s}})
                  .value(u"entry"_s),
              QJsonValue::Null);
    EXPECT_EQ(ask(host, {{u"type"_s, u"lookup"_s},
                         {u"word"_s, u"dog"_s},
                         {u"from"_s, u"../../x"_s},
                         {u"to"_s, u"es"_s},
                         {u"wait"_s, true}})
                  .value(u"entry"_s),
              QJsonValue::Null);
    QDir lexicon(Paths::lexicon());
    EXPECT_TRUE(lexicon.entryList({u"*.lock"_s}, QDir::Files).isEmpty());
}

TEST_F(BridgeHostPackTest, PrefetchAnswersWhatIsThereAndFetchesTheRest) {
    HostProcess host(program, hostEnvironment());
    const QJsonObject reply =
        ask(host, {{u"type"_s, u"prefetch"_s},
                   {u"langs"_s, QJsonArray{u"de"_s, u"xx"_s, u"zh-TW"_s, u"en"_s}}});
    EXPECT_EQ(reply.value(u"installed"_s), QJsonArray{});
    EXPECT_TRUE(waitUntil(
        [&] {
            return server.requests(u"/packs/de.lex.gz"_s) > 0 &&
                   server.requests(u"/packs/zh.lex.gz"_s) > 0;
        },
        20000))
        << "the German and Chinese packs were never asked for";
    EXPECT_EQ(server.requests(u"/packs/de.lex.gz"_s), 1);
    EXPECT_EQ(server.requests(u"/packs/zh.lex.gz"_s), 1);
    EXPECT_EQ(server.requests(u"/packs/xx.lex.gz"_s), 0);
    EXPECT_TRUE(waitUntil([] { return QFile::exists(Paths::lexicon() + u"/en.lex.gz"_s); }, 20000))
        << "the English pack never arrived";
    EXPECT_EQ(ask(host, {{u"type"_s, u"prefetch"_s}}).value(u"installed"_s), QJsonArray{u"en"_s});
}

TEST_F(BridgeHostPackTest, HelloReportsTheBundleThePairAndTheShortcut) {
    QFile::remove(Paths::defaultsFile());
    {
        HostProcess host(program, hostEnvironment());
        const QJsonObject hello = ask(host, {{u"type"_s, u"hello"_s}});
        EXPECT_EQ(hello.value(u"app"_s), u"Tivela"_s);
        EXPECT_EQ(hello.value(u"version"_s), u"9.8.7"_s);
        EXPECT_EQ(hello.value(u"pair"_s),
                  (QJsonObject{{u"mine"_s, u"en"_s}, {u"second"_s, u"es"_s}}));
        EXPECT_EQ(hello.value(u"shortcut"_s), u"Ctrl+Alt+T"_s);
        EXPECT_EQ(hello.value(u"lexicon"_s), QJsonArray{});
        const QJsonArray languages = hello.value(u"languages"_s).toArray();
        EXPECT_EQ(languages.first(), u"en"_s);
        EXPECT_TRUE(languages.contains(u"es"_s));
    }
    SharedSettings::setPair(LanguagePair{u"es"_s, u"en"_s});
    Paths::defaults()->setValue(u"shortcutDisplay"_s, u"Ctrl+Shift+K"_s);
    // Started through a symbolic link, the host still finds its bundle.
    const QString link = World::root() + u"/tivela-bridge-link"_s;
    QFile::remove(link);
    ASSERT_TRUE(QFile::link(program, link));
    {
        HostProcess host(link, hostEnvironment());
        const QJsonObject hello = ask(host, {{u"type"_s, u"hello"_s}});
        EXPECT_EQ(hello.value(u"version"_s), u"9.8.7"_s);
        EXPECT_EQ(hello.value(u"pair"_s),
                  (QJsonObject{{u"mine"_s, u"es"_s}, {u"second"_s, u"en"_s}}));
        EXPECT_EQ(hello.value(u"shortcut"_s), u"Ctrl+Shift+K"_s);
    }
    // Outside any bundle the version is "dev".
    const QString loose = World::root() + u"/loose/a/tivela-bridge"_s;
    QDir().mkpath(QFileInfo(loose).path());
    QFile::remove(loose);
    ASSERT_TRUE(QFile::copy(program, loose));
    HostProcess host(loose, hostEnvironment());
    EXPECT_EQ(ask(host, {{u"type"_s, u"hello"_s}}).value(u"version"_s), u"dev"_s);
}

TEST_F(BridgeHostPackTest, EndingMidDownloadLeavesNoLock) {
    HttpServer::Response slow;
    slow.body = spanishPack();
    slow.delayMs = 5000;
    server.route(u"/packs/fr.lex.gz"_s, slow);
    HostProcess host(program, hostEnvironment());
    EXPECT_EQ(
        ask(host, {{u"type"_s, u"prefetch"_s}, {u"langs"_s, QJsonArray{u"fr"_s}}}).value(u"ok"_s),
        true);
    const QString lock = Paths::lexicon() + u"/fr.lex.gz.lock"_s;
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(lock); }, 20000))
        << "the download never took its lock";
    host.closeInput();
    EXPECT_EQ(host.waitForExit(), 0);
    EXPECT_FALSE(QFile::exists(lock));
    EXPECT_TRUE(QDir(Paths::lexicon()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

// A lookup waiting for its packs holds no thread: more of them than the host has threads still
// leave room for a hello, and each is answered with its card once the pack lands.
TEST_F(BridgeHostPackTest, WaitingLookupsLeaveRoomForOtherRequests) {
    serve(u"es"_s, spanishPack(), 2000);
    HostProcess host(program, hostEnvironment());
    const int lookups = 40;
    for (int i = 0; i < lookups; ++i)
        host.send(waitingLookup(i, u"dog"_s, u"en"_s, u"es"_s));
    host.send({{u"type"_s, u"hello"_s}, {u"id"_s, u"hello"_s}});
    const auto first = host.receive(30000);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->value(u"id"_s), u"hello"_s);
    QSet<int> answered;
    for (int i = 0; i < lookups; ++i) {
        const auto reply = host.receive(30000);
        ASSERT_TRUE(reply) << "lookup " << i;
        EXPECT_EQ(reply->value(u"entry"_s)[u"word"_s], u"dog"_s);
        answered.insert(reply->value(u"id"_s).toInt());
    }
    EXPECT_EQ(answered.size(), lookups);
    EXPECT_EQ(server.requests(u"/packs/es.lex.gz"_s), 1);
}

// However many requests wait, the host reads on: beyond its bound it refuses at once, and the
// end of input ends it.
TEST_F(BridgeHostPackTest, EndOfInputEndsTheHostWithHundredsOfRequestsUnanswered) {
    serve(u"fr"_s, spanishPack(), 60000);
    HostProcess host(program, hostEnvironment());
    const int extra = 20;
    for (int i = 0; i < BridgeTransport::maxUnanswered + extra; ++i)
        host.send(waitingLookup(i, u"chien"_s, u"fr"_s, u"en"_s));
    for (int i = 0; i < extra; ++i) {
        const auto refused = host.receive(30000);
        ASSERT_TRUE(refused) << "refusal " << i;
        EXPECT_GE(refused->value(u"id"_s).toInt(), BridgeTransport::maxUnanswered);
        EXPECT_EQ(refused->value(u"message"_s), u"too many requests at once"_s);
    }
    host.closeInput();
    EXPECT_EQ(host.waitForExit(5000), 0);
    EXPECT_FALSE(QFile::exists(Paths::lexicon() + u"/fr.lex.gz.lock"_s));
}

// Prefetches and lookups written back to back, on overlapping lists whose packs arrive at
// different times or never, all end: every pack is fetched once, and the host stays ready.
TEST_F(BridgeHostPackTest, ABurstOfOverlappingPrefetchesAndLookupsAllEnd) {
    serve(u"de"_s, spanishPack(), 1000);
    serve(u"en"_s, englishPack(), 2000);
    HostProcess host(program, hostEnvironment());
    const QList<QJsonArray> lists{
        {u"de"_s, u"en"_s}, {u"en"_s}, {u"es"_s, u"de"_s, u"zh-TW"_s}, {u"en"_s, u"es"_s}};
    const int requests = 60;
    for (int i = 0; i < requests; ++i) {
        if (i % 5 == 4)
            host.send(waitingLookup(i, u"dog"_s, u"en"_s, i % 2 ? u"es"_s : u"de"_s));
        else
            host.send({{u"type"_s, u"prefetch"_s}, {u"id"_s, i}, {u"langs"_s, lists[i % 4]}});
    }
    QSet<int> answered;
    for (int i = 0; i < requests; ++i) {
        const auto reply = host.receive(30000);
        ASSERT_TRUE(reply) << "reply " << i;
        EXPECT_EQ(reply->value(u"ok"_s), true);
        const int id = reply->value(u"id"_s).toInt();
        answered.insert(id);
        if (id % 5 == 4 && id % 2) {
            EXPECT_EQ(reply->value(u"entry"_s)[u"word"_s], u"dog"_s) << id;
        }
    }
    EXPECT_EQ(answered.size(), requests);
    EXPECT_EQ(ask(host, {{u"type"_s, u"hello"_s}}).value(u"lexicon"_s),
              (QJsonArray{u"de"_s, u"en"_s, u"es"_s}));
    // zh is not on the server: each ask tries again.
    for (const char* code : {"de", "en", "es"})
        EXPECT_EQ(server.requests(u"/packs/"_s + QLatin1String(code) + u".lex.gz"_s), 1) << code;
    host.closeInput();
    EXPECT_EQ(host.waitForExit(), 0);
    EXPECT_TRUE(QDir(Paths::lexicon()).entryList({u"*.lock"_s}, QDir::Files).isEmpty());
}
