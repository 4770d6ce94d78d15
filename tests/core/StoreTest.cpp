#include "core/Store.h"
#include "support/ItemPrinter.h"
#include "support/QtPrinters.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThreadPool>
#include <QUuid>
#include <QtConcurrent>

#include <sqlite3.h>

using namespace tivela;
using namespace Qt::StringLiterals;

namespace {

constexpr double day = 86400;

Item makeItem(const QString& text, double created = 1000, const QString& from = u"en"_s,
              const QString& to = u"es"_s) {
    return Item{QUuid::createUuid().toString(QUuid::WithoutBraces),
                text,
                text + u" (es)"_s,
                from,
                to,
                created};
}

QStringList texts(const QList<Item>& items) {
    QStringList list;
    for (const Item& item : items)
        list << item.text;
    return list;
}

// Changes the file behind the store's back, as another program or an older version might.
void executeRaw(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    sqlite3_busy_timeout(db, 3000);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &error), SQLITE_OK) << error;
    sqlite3_free(error);
    sqlite3_close(db);
}

class StoreTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path = dir.filePath(u"tivela.sqlite"_s);
    Store store{path};
};

// Both processes of the two-process test run this against one file at the same time: history
// rows of their own, cards of their own, and a new card under a key they share every round,
// added twice and answered; cards of their own are deleted every other round.
// Returns the number of operations the store refused.
int writeMix(Store& store, const QString& tag) {
    int failures = 0;
    QString ownCard;
    for (int i = 0; i < 300; ++i) {
        const int round = i / 5;
        const QString shared = u"shared %1"_s.arg(round);
        switch (i % 5) {
        case 0:
            failures += !store.addHistory(makeItem(u"%1 history %2"_s.arg(tag).arg(i), i));
            break;
        case 1:
        case 3: {
            Item card = makeItem(shared, i);
            card.translation = tag;
            const auto stored = store.addPhrase(card);
            failures += !stored || !store.answer(stored->id, round % 2, 5000);
            break;
        }
        case 2: {
            const auto card = store.addPhrase(makeItem(u"%1 card %2"_s.arg(tag).arg(i), i));
            failures += !card;
            ownCard = card ? card->id : QString();
            break;
        }
        case 4:
            if (round % 2 == 0)
                failures += !store.deletePhrase(ownCard);
            break;
        }
    }
    return failures;
}

} // namespace

TIVELA_TEST_HELPER(storeWriter) {
    Store store(args.value(0));
    QTextStream out(stdout);
    out << "ready" << Qt::endl;
    QTextStream(stdin).readLine(); // the go-ahead, so both writers overlap
    return writeMix(store, args.value(1));
}

TEST(ItemTest, JsonHasEveryFieldAndRefusesMissingOrMistypedOnes) {
    const Item item{u"1"_s, u"hi"_s, u"hola"_s, u"en"_s, u"es"_s, 12.5, 3, 99.25, u"browser"_s};
    const QJsonObject json = toJson(item);
    EXPECT_EQ(json.size(), 9);
    EXPECT_EQ(json[u"from"_s], u"en"_s);
    EXPECT_EQ(fromJson<Item>(json), item);

    for (const auto& [key, value] : {std::pair{u"due"_s, QJsonValue(QJsonValue::Undefined)},
                                     {u"box"_s, QJsonValue(1.5)},
                                     {u"box"_s, QJsonValue(u"2"_s)},
                                     {u"origin"_s, QJsonValue(7)}}) {
        QJsonObject broken = json;
        if (value.isUndefined())
            broken.remove(key);
        else
            broken[key] = value;
        EXPECT_FALSE(fromJson<Item>(broken)) << key.toStdString();
    }
}

TEST_F(StoreTest, HistoryKeepsOneRowPerTextAndDirectionNewestFirst) {
    ASSERT_TRUE(store.isOpen());
    Item first = makeItem(u"hello"_s, 100);
    Item later = makeItem(u"hello"_s, 200);
    later.translation = u"buenas"_s;
    const Item otherDirection = makeItem(u"hello"_s, 150, u"en"_s, u"fr"_s);
    EXPECT_TRUE(store.addHistory(first));
    EXPECT_TRUE(store.addHistory(otherDirection));
    EXPECT_TRUE(store.addHistory(later));

    const QList<Item> rows = store.history(QString(), 200);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0], later); // every field comes back as written
    EXPECT_EQ(rows[1], otherDirection);
    EXPECT_TRUE(store.phrases(QString()).isEmpty());
}

TEST_F(StoreTest, HistoryKeepsTheNewestRowsUpToItsLimit) {
    for (int i = 0; i <= Store::historyLimit; ++i)
        ASSERT_TRUE(store.addHistory(makeItem(u"text %1"_s.arg(i), i)));

    const QList<Item> rows = store.history(QString(), 1000);
    ASSERT_EQ(rows.size(), Store::historyLimit);
    EXPECT_EQ(rows.first().text, u"text 500"_s);
    EXPECT_EQ(rows.last().text, u"text 1"_s);
    EXPECT_EQ(store.history(QString(), 200).size(), 200);
    EXPECT_TRUE(store.history(QString(), -1).isEmpty());
}

TEST_F(StoreTest, SearchMatchesTextOrTranslationLiterally) {
    int created = 0;
    for (const QString& text :
         {u"500 apples"_s, u"50% off"_s, u"abc"_s, u"a_c"_s, u"back\\slash"_s, u"Hello there"_s}) {
        ASSERT_TRUE(store.addHistory(makeItem(text, ++created)));
        ASSERT_TRUE(store.addPhrase(makeItem(text, created)));
    }
    for (const auto& [search, expected] :
         {std::pair{u"50%"_s, QStringList{u"50% off"_s}},
          {u"a_c"_s, QStringList{u"a_c"_s}},
          {u"\\"_s, QStringList{u"back\\slash"_s}},
          {u"hello"_s, QStringList{u"Hello there"_s}},
          {u"apples (es"_s, QStringList{u"500 apples"_s}}, // in the translation
          {u"nothing"_s, QStringList{}}}) {
        EXPECT_EQ(texts(store.history(search, 200)), expected) << search.toStdString();
        EXPECT_EQ(texts(store.phrases(search)), expected) << search.toStdString();
    }
    EXPECT_EQ(texts(store.history(QString(), 2)),
              (QStringList{u"Hello there"_s, u"back\\slash"_s}));
    EXPECT_EQ(store.phrases(QString()).size(), 6);
}

TEST_F(StoreTest, DeletingHistoryLeavesThePhrasebook) {
    const Item kept = makeItem(u"kept"_s, 1);
    const Item gone = makeItem(u"gone"_s, 2);
    ASSERT_TRUE(store.addHistory(kept));
    ASSERT_TRUE(store.addHistory(gone));
    ASSERT_TRUE(store.addPhrase(gone));

    EXPECT_TRUE(store.deleteHistory(gone.id));
    EXPECT_TRUE(store.deleteHistory(u"no such id"_s));
    EXPECT_EQ(store.history(QString(), 200), QList<Item>{kept});
    EXPECT_TRUE(store.clearHistory());
    EXPECT_TRUE(store.history(QString(), 200).isEmpty());
    EXPECT_EQ(store.phrases(QString()).size(), 1);
}

TEST_F(StoreTest, AddingAKnownPhraseChangesOnlyItsTranslation) {
    const auto original = store.addPhrase(makeItem(u"cat"_s, 10));
    ASSERT_TRUE(original);
    ASSERT_TRUE(store.answer(original->id, true, 5000));

    Item again = makeItem(u"cat"_s, 20);
    again.translation = u"gato"_s;
    const auto stored = store.addPhrase(again);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->id, original->id);
    EXPECT_EQ(stored->created, 10);
    EXPECT_EQ(stored->box, 1);
    EXPECT_EQ(stored->due, 5000 + day);
    EXPECT_EQ(stored->translation, u"gato"_s);
    EXPECT_EQ(store.phrases(QString()), QList<Item>{*stored});
    EXPECT_EQ(store.phrase(u"cat"_s, u"en"_s, u"es"_s), stored);

    EXPECT_TRUE(store.addPhrase(makeItem(u"cat"_s, 30, u"en"_s, u"fr"_s)));
    EXPECT_EQ(store.phrases(QString()).size(), 2);
    EXPECT_FALSE(store.phrase(u"Cat"_s, u"en"_s, u"es"_s));
}

TEST_F(StoreTest, DeletedCardsDisappearAndComeBackByTheirId) {
    const Item card = makeItem(u"dog"_s, 10);
    ASSERT_TRUE(store.addPhrase(card));
    EXPECT_TRUE(store.deletePhrase(card.id));
    EXPECT_TRUE(store.phrases(QString()).isEmpty());
    EXPECT_TRUE(store.dueCards(1e12).isEmpty());
    EXPECT_FALSE(store.phrase(u"dog"_s, u"en"_s, u"es"_s));
    EXPECT_TRUE(store.answer(card.id, true, 5000)); // nothing to answer, nothing changes

    const Item fresh = makeItem(u"dog"_s, 20);
    EXPECT_EQ(store.addPhrase(fresh), fresh);
    EXPECT_TRUE(store.deletePhrase(fresh.id));

    Item revived = card;
    revived.translation = u"perro"_s;
    EXPECT_EQ(store.addPhrase(revived), revived);
    EXPECT_EQ(store.phrases(QString()), QList<Item>{revived});
}

TEST_F(StoreTest, AnswersMoveCardsThroughTheBoxes) {
    const auto card = store.addPhrase(makeItem(u"bird"_s));
    ASSERT_TRUE(card);
    const double now = 1'000'000;
    for (const auto& [box, days] :
         {std::pair{1, 1.0}, {2, 3.0}, {3, 7.0}, {4, 16.0}, {5, 35.0}, {5, 35.0}}) {
        ASSERT_TRUE(store.answer(card->id, true, now));
        const auto answered = store.phrase(u"bird"_s, u"en"_s, u"es"_s);
        EXPECT_EQ(answered->box, box);
        EXPECT_EQ(answered->due, now + days * day);
    }
    ASSERT_TRUE(store.answer(card->id, false, now));
    EXPECT_EQ(store.phrase(u"bird"_s, u"en"_s, u"es"_s)->box, 1);
    EXPECT_EQ(store.phrase(u"bird"_s, u"en"_s, u"es"_s)->due, now + 60);

    ASSERT_TRUE(store.answer(u"unknown"_s, true, now));
    EXPECT_EQ(store.phrase(u"bird"_s, u"en"_s, u"es"_s)->box, 1);
}

TEST_F(StoreTest, BoxesOutsideTheTableAreClamped) {
    Item high = makeItem(u"high"_s);
    high.box = 9;
    Item low = makeItem(u"low"_s);
    low.box = -3;
    EXPECT_EQ(store.addPhrase(high)->box, 5);
    EXPECT_EQ(store.addPhrase(low)->box, 0);
    EXPECT_EQ(store.phrase(u"high"_s, u"en"_s, u"es"_s)->box, 5);

    // Rows written by another program may hold any box.
    executeRaw(path, "UPDATE phrase SET box = CASE text WHEN 'low' THEN -7 ELSE 99 END");
    EXPECT_EQ(store.phrase(u"high"_s, u"en"_s, u"es"_s)->box, 5);
    ASSERT_TRUE(store.answer(high.id, true, 0));
    ASSERT_TRUE(store.answer(low.id, true, 0));
    EXPECT_EQ(store.phrase(u"high"_s, u"en"_s, u"es"_s)->due, 35 * day);
    EXPECT_EQ(store.phrase(u"low"_s, u"en"_s, u"es"_s)->box, 1);
    EXPECT_EQ(store.phrase(u"low"_s, u"en"_s, u"es"_s)->due, day);
}

TEST_F(StoreTest, DueCardsAreLiveCardsAtOrBeforeNowEarliestFirst) {
    const double now = 1'000'000;
    const auto add = [&](const QString& text, double created, double due) {
        Item card = makeItem(text, created);
        card.due = due;
        ASSERT_TRUE(store.addPhrase(card));
    };
    add(u"later"_s, 1, now + 1);
    add(u"now"_s, 2, now);
    add(u"new older"_s, 3, 0);
    add(u"new newer"_s, 4, 0);
    add(u"yesterday"_s, 5, now - day);
    EXPECT_EQ(texts(store.dueCards(now)),
              (QStringList{u"new newer"_s, u"new older"_s, u"yesterday"_s, u"now"_s}));
}

TEST_F(StoreTest, AFailedWriteLeavesTheDataAsItWas) {
    const Item original = makeItem(u"hello"_s, 1);
    ASSERT_TRUE(store.addHistory(original));
    ASSERT_TRUE(store.addPhrase(original));
    executeRaw(path, "CREATE TRIGGER refuse_history BEFORE INSERT ON history "
                     "WHEN NEW.translation = 'refused' BEGIN SELECT RAISE(ABORT, 'no'); END;"
                     "CREATE TRIGGER refuse_phrase BEFORE UPDATE ON phrase "
                     "WHEN NEW.translation = 'refused' BEGIN SELECT RAISE(ABORT, 'no'); END;");

    Item refused = makeItem(u"hello"_s, 2);
    refused.translation = u"refused"_s;
    EXPECT_FALSE(store.addHistory(refused));
    EXPECT_FALSE(store.addPhrase(refused));
    EXPECT_EQ(store.history(QString(), 200), QList<Item>{original});
    EXPECT_EQ(store.phrases(QString()), QList<Item>{original});
    EXPECT_TRUE(store.addHistory(makeItem(u"next"_s, 3))); // no transaction left open
}

TEST(StoreInertTest, AStoreThatCannotOpenItsFileDoesNothing) {
    QTemporaryDir dir;
    Store missingFolder(dir.filePath(u"missing/tivela.sqlite"_s));
    EXPECT_FALSE(missingFolder.isOpen());
    EXPECT_FALSE(QFile::exists(dir.filePath(u"missing"_s)));

    const QString junkPath = dir.filePath(u"junk.sqlite"_s);
    const QByteArray junk(4096, 'x');
    {
        QFile file(junkPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(junk);
    }
    Store notADatabase(junkPath);

    for (Store* store : {&missingFolder, &notADatabase}) {
        const Item item = makeItem(u"hello"_s);
        EXPECT_FALSE(store->addHistory(item));
        EXPECT_FALSE(store->addPhrase(item));
        EXPECT_FALSE(store->deleteHistory(item.id));
        EXPECT_FALSE(store->clearHistory());
        EXPECT_FALSE(store->deletePhrase(item.id));
        EXPECT_FALSE(store->answer(item.id, true, 0));
        EXPECT_TRUE(store->history(QString(), 200).isEmpty());
        EXPECT_TRUE(store->phrases(QString()).isEmpty());
        EXPECT_TRUE(store->dueCards(1e12).isEmpty());
        EXPECT_FALSE(store->phrase(u"hello"_s, u"en"_s, u"es"_s));
    }
    QFile file(junkPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), junk);
}

TEST_F(StoreTest, ThreadsShareOneStore) {
    QThreadPool pool;
    pool.setMaxThreadCount(4);
    QList<QFuture<int>> writers;
    for (int writer = 0; writer < 4; ++writer)
        writers << QtConcurrent::run(&pool, [this, writer] {
            int failures = 0;
            for (int i = 0; i < 40; ++i) {
                failures += !store.addHistory(makeItem(u"w%1 %2"_s.arg(writer).arg(i), i));
                failures += !store.addPhrase(makeItem(u"shared %1"_s.arg(i % 10), i));
                failures += !store.answer(store.phrases(QString()).value(0).id, true, 0);
            }
            return failures;
        });
    for (QFuture<int>& writer : writers)
        EXPECT_EQ(writer.result(), 0);
    EXPECT_EQ(store.history(QString(), 1000).size(), 160);
    EXPECT_EQ(store.phrases(QString()).size(), 10);
}

TEST_F(StoreTest, TwoProcessesWritingAtOnceLoseNothing) {
    auto helper = test::startHelper(u"storeWriter"_s, {path, u"b"_s});
    ASSERT_TRUE(helper->waitForReadyRead(20000)) << "the second writer did not start";
    helper->write("go\n");
    ASSERT_TRUE(helper->waitForBytesWritten(5000));
    EXPECT_EQ(writeMix(store, u"a"_s), 0);
    const test::ProcessResult result = test::finish(*helper, 60000);
    ASSERT_TRUE(result.finished) << result.err.toStdString();
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();

    QSet<QString> expectedHistory;
    QSet<QString> expectedCards;
    for (const QString& tag : {u"a"_s, u"b"_s})
        for (int i = 0; i < 300; i += 5) {
            expectedHistory << u"%1 history %2"_s.arg(tag).arg(i);
            if ((i / 5) % 2 == 1)
                expectedCards << u"%1 card %2"_s.arg(tag).arg(i + 2);
        }
    for (int key = 0; key < 60; ++key)
        expectedCards << u"shared %1"_s.arg(key);

    const QStringList history = texts(store.history(QString(), 1000));
    EXPECT_EQ(QSet<QString>(history.begin(), history.end()), expectedHistory);
    const QStringList cards = texts(store.phrases(QString()));
    EXPECT_EQ(cards.size(), expectedCards.size()) << "a card is live twice";
    EXPECT_EQ(QSet<QString>(cards.begin(), cards.end()), expectedCards);
}
