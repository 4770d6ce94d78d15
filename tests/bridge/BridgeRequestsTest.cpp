// The bridge host's requests in process, on fakes behind its services; the host as the browser
// sees it, over pipes, is BridgeHostTest's.
#include "bridge/BridgeRequests.h"
#include "core/Lexicon.h"
#include "core/LexiconDownloader.h"
#include "core/Speaker.h"
#include "support/FakeEngine.h"
#include "support/FakeSpeech.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QMutex>
#include <QTemporaryDir>
#include <QtConcurrent>

#include <numeric>

using namespace tivela;
using namespace Qt::StringLiterals;

// Many requests of every kind at once, from many threads: each is answered exactly once, with
// what its kind answers, and what they write all lands.
TEST(BridgeRequestsTest, ABurstOfEveryKindIsAnsweredOnceEach) {
    QTemporaryDir folder;
    Store store(folder.filePath(u"store.sqlite"_s));
    auto engine = std::make_shared<test::FakeEngine>();
    engine->setLanguages({u"en"_s, u"es"_s});
    engine->setOneEngine(true);
    engine->setStatus(u"en"_s, u"es"_s, false, EngineStatus::installed);
    engine->setTranslate(u"en"_s, u"es"_s, false, test::FakeEngine::answer(u"hola"_s));
    Translator translator(engine);
    // No pack is installed and none can be fetched: lookups answer without an entry.
    Lexicon lexicon(folder.filePath(u"Lexicon"_s));
    LexiconDownloader downloader(lexicon, std::nullopt);
    Speaker speaker(std::make_unique<test::FakeSpeech>(
        QList<Voices::Voice>{test::voice(u"fake/English"_s, u"en-US"_s)}));
    QMutex openedLock;
    QStringList opened;

    BridgeServices services;
    services.version = u"9.9"_s;
    services.store = &store;
    services.translator = &translator;
    services.lexicon = &lexicon;
    services.downloader = [&]() -> LexiconDownloader& { return downloader; };
    services.speaker = [&]() -> Speaker& { return speaker; };
    services.detect = [](const QString&, const QStringList&) {
        return std::optional(LanguageDetector::Guess{u"en"_s, 0.75});
    };
    services.savedPair = [] { return std::optional(LanguagePair{u"en"_s, u"es"_s}); };
    services.shortcut = [] { return std::optional(u"Super+T"_s); };
    services.open = [&](const QString& url) {
        const QMutexLocker locker(&openedLock);
        opened << url;
    };
    auto requests = std::make_unique<BridgeRequests>(std::move(services));

    const QList<QJsonObject> kinds{
        {{u"type"_s, u"hello"_s}},
        {{u"type"_s, u"translate"_s}, {u"text"_s, u"hello"_s}},
        {{u"type"_s, u"detect"_s}, {u"text"_s, u"hello"_s}},
        {{u"type"_s, u"addHistory"_s}},
        {{u"type"_s, u"lookup"_s},
         {u"word"_s, u"house"_s},
         {u"from"_s, u"en"_s},
         {u"to"_s, u"es"_s},
         {u"wait"_s, true}},
        {{u"type"_s, u"voices"_s}},
        {{u"type"_s, u"speak"_s}, {u"text"_s, u"Hello"_s}, {u"lang"_s, u"en"_s}},
        {{u"type"_s, u"open"_s}, {u"text"_s, u"x"_s}},
        {{u"type"_s, u"Hello"_s}},
    };
    // History keeps one row per text: each of these rows has its own.
    const auto requestFor = [&](int id) {
        QJsonObject request = kinds[id % kinds.size()];
        if (request.value(u"type"_s) == u"addHistory"_s)
            request.insert(u"item"_s, QJsonObject{{u"text"_s, QString::number(id)},
                                                  {u"translation"_s, u"b"_s},
                                                  {u"from"_s, u"en"_s},
                                                  {u"to"_s, u"es"_s}});
        return request;
    };
    const auto expected = [](const QJsonObject& request, const QJsonObject& reply) {
        const QString type = request.value(u"type"_s).toString();
        if (type == u"hello")
            return reply.value(u"version"_s) == u"9.9"_s &&
                   reply.value(u"shortcut"_s) == u"Super+T"_s &&
                   reply.value(u"languages"_s).toArray() == QJsonArray{u"en"_s, u"es"_s};
        if (type == u"translate")
            return reply == QJsonObject{{u"ok"_s, true},
                                        {u"text"_s, u"hola"_s},
                                        {u"from"_s, u"en"_s},
                                        {u"to"_s, u"es"_s},
                                        {u"detected"_s, true}};
        if (type == u"detect")
            return reply ==
                   QJsonObject{{u"ok"_s, true}, {u"lang"_s, u"en"_s}, {u"confidence"_s, 0.75}};
        if (type == u"lookup")
            return reply == QJsonObject{{u"ok"_s, true}, {u"entry"_s, QJsonValue::Null}};
        if (type == u"voices")
            return reply.value(u"languages"_s).toArray() == QJsonArray{u"en"_s};
        if (type == u"Hello")
            return reply == QJsonObject{{u"ok"_s, false}, {u"error"_s, u"unknown-type"_s}};
        return reply == QJsonObject{{u"ok"_s, true}};
    };

    constexpr int count = 450;
    QMutex repliesLock;
    QHash<int, QList<QJsonObject>> replies;
    QList<int> ids(count);
    std::iota(ids.begin(), ids.end(), 0);
    QtConcurrent::blockingMap(ids, [&](int id) {
        requests->handle(requestFor(id), [&, id](QJsonObject body) {
            const QMutexLocker locker(&repliesLock);
            replies[id] << body;
        });
    });
    const auto answered = [&] {
        const QMutexLocker locker(&repliesLock);
        return replies.size() == count;
    };
    ASSERT_TRUE(test::waitUntil(answered, 60000));
    test::settle();
    requests.reset();

    for (int id = 0; id < count; ++id) {
        const QJsonObject asked = requestFor(id);
        ASSERT_EQ(replies[id].size(), 1) << id;
        EXPECT_TRUE(expected(asked, replies[id].first()))
            << asked.value(u"type"_s).toString().toStdString() << ": "
            << QJsonDocument(replies[id].first()).toJson().toStdString();
    }
    const int each = count / int(kinds.size());
    EXPECT_EQ(store.history(QString(), count).size(), each);
    EXPECT_EQ(opened, QStringList(each, u"tivela://translate?text=x"_s));
}
