#include "core/StoreWriter.h"
#include "support/ItemPrinter.h"
#include "support/PackFiles.h"
#include "support/QtPrinters.h"
#include "support/StoreLock.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QTextStream>

#include <sys/mount.h>

#include <cstdio>
#include <future>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

namespace {

constexpr int burstSize = 20000;

Item makeItem(const QString& id, const QString& text, double created) {
    return Item{id, text, text + u" (es)"_s, u"en"_s, u"es"_s, created};
}

QStringList texts(const QList<Item>& items) {
    QStringList list;
    for (const Item& item : items)
        list << item.text;
    return list;
}

bool allFinished(const QList<QFuture<WriteResult>>& futures) {
    return std::all_of(futures.cbegin(), futures.cend(),
                       [](const QFuture<WriteResult>& future) { return future.isFinished(); });
}

QList<WriteResult::Status> statuses(const QList<QFuture<WriteResult>>& futures) {
    QList<WriteResult::Status> list;
    for (const QFuture<WriteResult>& future : futures)
        list << future.result().status;
    return list;
}

// The helpers that need a file system of their own run in a user and mount namespace, where
// they may mount one; not every machine lets a user make those.
bool privateMountsWork() {
    QProcess probe;
    probe.start(u"unshare"_s, {u"--user"_s, u"--map-root-user"_s, u"--mount"_s, u"true"_s});
    return probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit &&
           probe.exitCode() == 0;
}

ProcessResult runPrivately(const QString& helper, const QStringList& args) {
    QProcess process;
    process.start(u"unshare"_s,
                  QStringList{u"--user"_s, u"--map-root-user"_s, u"--mount"_s,
                              QCoreApplication::applicationFilePath(), u"--helper"_s, helper} +
                      args);
    return finish(process, 60000);
}

class StoreWriterTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path = dir.filePath(u"tivela.sqlite"_s);
};

} // namespace

// Args: a folder to mount a file system on, and the trouble to make there: "full" (a disk of
// 256 KiB) or "read-only" (the database file mounted read-only once it exists). Hands the
// writer cards of 16 KiB and prints, for each, its text and status ("written", or the
// trouble); then the texts the lists show and those the store holds.
TIVELA_TEST_HELPER(troubledStore) {
    const QByteArray folder = QFile::encodeName(args.value(0));
    if (::mount("tmpfs", folder.constData(), "tmpfs", 0, "size=256k") != 0)
        return 2;
    const QString path = args.value(0) + u"/tivela.sqlite"_s;
    const bool readOnly = args.value(1) == u"read-only";
    if (readOnly) {
        Store(path).addPhrase(makeItem(u"kept"_s, u"kept"_s, 1));
        const QByteArray file = QFile::encodeName(path);
        if (::mount(file.constData(), file.constData(), nullptr, MS_BIND, nullptr) != 0 ||
            ::mount(nullptr, file.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                    nullptr) != 0)
            return 3;
    }
    Store reads(path);
    QList<QFuture<WriteResult>> futures;
    {
        StoreWriter writer(reads);
        for (int i = 0; i < 24; ++i) {
            Item card = makeItem(u"card %1"_s.arg(i), u"card %1"_s.arg(i), i);
            card.translation = QString(16 * 1024, u'x');
            futures << writer.addPhrase(card);
        }
        if (!waitUntil([&] { return allFinished(futures); }, 30000))
            return 4;
        QTextStream out(stdout);
        for (qsizetype i = 0; i < futures.size(); ++i) {
            const WriteResult result = futures[i].result();
            out << "card " << i << ": "
                << (result.ok()                                      ? "written"
                    : result.status == WriteResult::Status::diskFull ? "full"
                    : result.status == WriteResult::Status::readOnly ? "read-only"
                                                                     : "other")
                << '\n';
        }
        out << "shown: " << texts(writer.phrases(QString())).join(u',') << '\n';
        out << "stored: " << texts(Store(path).phrases(QString())).join(u',') << '\n';
    }
    return 0;
}

// Args: the database path. Hands the writer thousands of cards and prints the text of each
// one as its write is acknowledged, until it is killed.
TIVELA_TEST_HELPER(writeBurst) {
    Store reads(args.value(0));
    StoreWriter writer(reads);
    QObject::connect(&writer, &StoreWriter::finished,
                     [](const StoreWrite& write, const WriteResult& result) {
                         if (result.ok()) {
                             std::printf("%s\n", write.item.text.toUtf8().constData());
                             std::fflush(stdout);
                         }
                     });
    for (int i = 0; i < burstSize; ++i)
        writer.addPhrase(makeItem(u"burst %1"_s.arg(i), u"burst %1"_s.arg(i), i));
    waitUntil([] { return false; }, 120000);
    return 0;
}

// A write the thread has carried out is in what the store reads, though the owner has not
// been told yet: the lists count it once.
TEST_F(StoreWriterTest, AWriteThatLandedIsNotAppliedAgainBeforeItsNews) {
    Store reads(path);
    const Item card = makeItem(u"p-cat"_s, u"cat"_s, 10);
    reads.addPhrase(card);
    StoreWriter writer(reads);
    // The thread stops between landing the answer and telling of it.
    std::promise<void> carriedOut;
    std::promise<void> resume;
    writer.setCarriedOutHook([&, resumed = resume.get_future().share()] {
        carriedOut.set_value();
        resumed.wait();
    });
    // Let go however the test ends, or the writer's end waits for the thread for ever.
    auto release = qScopeGuard([&] { resume.set_value(); });
    const QFuture<WriteResult> answered = writer.answer(card, true, 1000);
    ASSERT_EQ(carriedOut.get_future().wait_for(std::chrono::seconds(20)),
              std::future_status::ready);
    ASSERT_EQ(reads.phrase(u"cat"_s, u"en"_s, u"es"_s)->box, 1);
    EXPECT_EQ(writer.phrases(QString()).first().box, 1);
    release.dismiss();
    resume.set_value();
    ASSERT_TRUE(waitUntil([&] { return answered.isFinished(); }));
    EXPECT_EQ(writer.phrases(QString()).first().box, 1);
}

// What the lists show of writes on their way is what the store holds once they land.
TEST_F(StoreWriterTest, ListsShowWritesAtOnceAsTheStoreHoldsThemOnceLanded) {
    Store reads(path);
    const Item cat = makeItem(u"h-cat"_s, u"cat"_s, 10);
    const Item dog = makeItem(u"h-dog"_s, u"dog"_s, 20);
    reads.addHistory(cat);
    reads.addHistory(dog);
    Item card = makeItem(u"p-cat"_s, u"cat"_s, 10);
    card.box = 2;
    card.due = 5;
    const Item bird = makeItem(u"p-bird"_s, u"bird"_s, 20);
    reads.addPhrase(card);
    reads.addPhrase(bird);

    StoreLock lock(path, 60000);
    ASSERT_TRUE(lock.isHeld());
    StoreWriter writer(reads);
    QList<QFuture<WriteResult>> futures;
    Item catAgain = makeItem(u"h-cat2"_s, u"cat"_s, 40);
    catAgain.translation = u"gato"_s;
    Item cardAgain = makeItem(u"p-cat2"_s, u"cat"_s, 50);
    cardAgain.translation = u"gato"_s;
    // Wildcards that must match only themselves, and a letter LIKE does not fold.
    Item sale = makeItem(u"h-sale"_s, u"50% off"_s, 35);
    sale.translation = u"Élan_vital"_s;
    futures << writer.addHistory(makeItem(u"h-cow"_s, u"cow"_s, 30)) << writer.addHistory(catAgain)
            << writer.deleteHistory(dog) << writer.addPhrase(cardAgain)
            << writer.addPhrase(makeItem(u"p-fox"_s, u"fox"_s, 30))
            << writer.answer(card, true, 1000) << writer.deletePhrase(bird)
            << writer.addHistory(sale) << writer.addPhrase(makeItem(u"p-cafe"_s, u"café"_s, 45));
    const QStringList searches{QString(), u"C"_s, u"gato"_s, u"zzz"_s, u"%"_s,
                               u"0%"_s,   u"_"_s, u"n_v"_s,  u"É"_s,   u"é"_s};
    QList<QList<Item>> shown;
    for (const QString& search : searches)
        shown << writer.history(search, 200) << writer.phrases(search);
    EXPECT_EQ(texts(shown[0]), (QStringList{u"cat"_s, u"50% off"_s, u"cow"_s}));
    EXPECT_EQ(texts(shown[1]), (QStringList{u"café"_s, u"fox"_s, u"cat"_s}));
    for (const int found : {8, 12, 16})
        EXPECT_EQ(texts(shown[found]), QStringList{u"50% off"_s})
            << searches[found / 2].toStdString();
    EXPECT_EQ(texts(shown[17]), QStringList());
    EXPECT_EQ(texts(shown[19]), QStringList{u"café"_s});
    EXPECT_EQ(writer.phraseCount(), 3);
    settle();
    EXPECT_FALSE(std::any_of(futures.cbegin(), futures.cend(),
                             [](const auto& future) { return future.isFinished(); }));
    EXPECT_EQ(writer.pending().size(), futures.size());
    EXPECT_EQ(texts(reads.history(QString(), 200)), (QStringList{u"dog"_s, u"cat"_s}));

    lock.release();
    ASSERT_TRUE(waitUntil([&] { return allFinished(futures); }));
    EXPECT_EQ(statuses(futures), QList<WriteResult::Status>(futures.size()));
    EXPECT_TRUE(writer.pending().isEmpty());
    QList<QList<Item>> stored;
    for (const QString& search : searches)
        stored << reads.history(search, 200) << reads.phrases(search);
    EXPECT_EQ(stored, shown);
    EXPECT_EQ(reads.phraseCount(), 3);

    // Clearing takes every row, those written before it on the way too.
    const QList<QFuture<WriteResult>> later{writer.addHistory(makeItem(u"h-elk"_s, u"elk"_s, 60)),
                                            writer.clearHistory(),
                                            writer.addHistory(makeItem(u"h-owl"_s, u"owl"_s, 5))};
    EXPECT_EQ(texts(writer.history(QString(), 200)), QStringList{u"owl"_s});
    ASSERT_TRUE(waitUntil([&] { return allFinished(later); }));
    EXPECT_EQ(texts(reads.history(QString(), 200)), QStringList{u"owl"_s});
}

// Another program holds the lock for 15 s: the writes wait on the writer's thread and all land
// afterwards, in order; handing them over never waits.
TEST_F(StoreWriterTest, WritesWaitOutAnotherProgramsLockAndLoseNothing) {
    Store reads(path);
    StoreLock lock(path, 15000);
    ASSERT_TRUE(lock.isHeld());
    QElapsedTimer sinceLocked;
    sinceLocked.start();
    StoreWriter writer(reads);
    QList<QFuture<WriteResult>> futures;
    QElapsedTimer handing;
    handing.start();
    for (int i = 0; i < 300; ++i) {
        const Item card = makeItem(u"c%1"_s.arg(i), u"card %1"_s.arg(i), i);
        futures << writer.addPhrase(card);
        // Every third card is taken back again, which only works in order.
        if (i % 3 == 0)
            futures << writer.deletePhrase(card);
        futures << writer.addHistory(makeItem(u"h%1"_s.arg(i), u"row %1"_s.arg(i), i));
    }
    EXPECT_LT(handing.elapsed(), Store::busyTimeoutMs);
    qint64 firstLanding = -1;
    QObject::connect(&writer, &StoreWriter::finished, [&] {
        if (firstLanding < 0)
            firstLanding = sinceLocked.elapsed();
    });
    EXPECT_EQ(writer.phraseCount(), 200);
    ASSERT_TRUE(waitUntil([&] { return allFinished(futures); }, 60000));
    // The helper's 15 s began just before this test's clock did.
    EXPECT_GE(firstLanding, 14000);
    EXPECT_EQ(statuses(futures), QList<WriteResult::Status>(futures.size()));
    EXPECT_EQ(reads.phraseCount(), 200);
    EXPECT_EQ(reads.history(QString(), 1000).size(), 300);
    EXPECT_EQ(reads.history(QString(), 1).value(0).text, u"row 299"_s);
}

// At quit, or when the writer goes, it waits no longer than it is told: what waits for a lock
// then is given up and says so, and what needs no wait is still written.
TEST_F(StoreWriterTest, AFlushOrTheEndGivesUpOnALockInTimeAndSaysWhat) {
    Store reads(path);
    auto lock = std::make_unique<StoreLock>(path, 60000);
    ASSERT_TRUE(lock->isHeld());
    auto writer = std::make_unique<StoreWriter>(reads);
    QList<StoreWrite> givenUp;
    QObject::connect(writer.get(), &StoreWriter::finished,
                     [&](const StoreWrite& write, const WriteResult& result) {
                         if (result.status == WriteResult::Status::abandoned)
                             givenUp << write;
                     });
    QList<QFuture<WriteResult>> futures;
    for (int i = 0; i < 3; ++i)
        futures << writer->addHistory(makeItem(u"h%1"_s.arg(i), u"row %1"_s.arg(i), i));
    QElapsedTimer flushing;
    flushing.start();
    writer->flush(500);
    EXPECT_LT(flushing.elapsed(), Store::busyTimeoutMs);
    ASSERT_TRUE(allFinished(futures));
    EXPECT_EQ(statuses(futures),
              QList<WriteResult::Status>(futures.size(), WriteResult::Status::abandoned));
    EXPECT_EQ(givenUp.size(), 3);
    EXPECT_EQ(givenUp.value(0).item.text, u"row 0"_s);
    EXPECT_TRUE(writer->pending().isEmpty());
    EXPECT_TRUE(writer->history(QString(), 200).isEmpty());

    lock->release();
    const QFuture<WriteResult> free = writer->addHistory(makeItem(u"h-free"_s, u"free"_s, 9));
    ASSERT_TRUE(waitUntil([&] { return free.isFinished(); }));
    EXPECT_TRUE(free.result().ok());

    // The writer goes in the middle of a burst: it ends at once, and every future says what
    // became of its write.
    lock = std::make_unique<StoreLock>(path, 60000);
    ASSERT_TRUE(lock->isHeld());
    QList<QFuture<WriteResult>> burst;
    for (int i = 0; i < 100; ++i)
        burst << writer->addPhrase(makeItem(u"b%1"_s.arg(i), u"burst %1"_s.arg(i), i));
    QElapsedTimer ending;
    ending.start();
    writer.reset();
    EXPECT_LT(ending.elapsed(), Store::busyTimeoutMs);
    ASSERT_TRUE(allFinished(burst));
    EXPECT_EQ(statuses(burst),
              QList<WriteResult::Status>(burst.size(), WriteResult::Status::abandoned));
    EXPECT_EQ(texts(reads.history(QString(), 200)), QStringList{u"free"_s});
}

// A full disk and a read-only file: each write that cannot land says why, and the lists take
// it back; the writes before the disk filled stay.
TEST_F(StoreWriterTest, AFullDiskOrAReadOnlyFileIsToldAndTakenBack) {
    if (!privateMountsWork())
        GTEST_SKIP() << "this machine lets no user mount a file system of their own";
    {
        const ProcessResult full = runPrivately(u"troubledStore"_s, {dir.path(), u"full"_s});
        ASSERT_EQ(full.exitCode, 0) << full.err.toStdString();
        const QStringList lines = QString::fromUtf8(full.out).split(u'\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 26);
        QStringList written;
        for (int i = 0; i < 24; ++i) {
            if (lines[i].endsWith(u": written"_s))
                written.prepend(u"card %1"_s.arg(i));
            else
                EXPECT_TRUE(lines[i].endsWith(u": full"_s)) << lines[i].toStdString();
        }
        EXPECT_GT(written.size(), 0);
        EXPECT_LT(written.size(), 24);
        EXPECT_EQ(lines[24], u"shown: "_s + written.join(u','));
        EXPECT_EQ(lines[25], u"stored: "_s + written.join(u','));
    }
    const ProcessResult readOnly = runPrivately(u"troubledStore"_s, {dir.path(), u"read-only"_s});
    ASSERT_EQ(readOnly.exitCode, 0) << readOnly.err.toStdString();
    const QStringList lines = QString::fromUtf8(readOnly.out).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 26);
    for (int i = 0; i < 24; ++i)
        EXPECT_EQ(lines[i], u"card %1: read-only"_s.arg(i));
    EXPECT_EQ(lines[24], u"shown: kept"_s);
    EXPECT_EQ(lines[25], u"stored: kept"_s);
}

// Killed in the middle of a burst, the program finds every write it was told had landed when
// it starts again, in a database that is whole.
TEST_F(StoreWriterTest, KilledDuringABurstEveryAcknowledgedWriteIsThere) {
    auto helper = startHelper(u"writeBurst"_s, {path});
    QStringList acknowledged;
    ASSERT_TRUE(waitUntil(
        [&] {
            while (helper->canReadLine())
                acknowledged << QString::fromUtf8(helper->readLine()).trimmed();
            return acknowledged.size() >= 200;
        },
        60000));
    helper->kill();
    ASSERT_TRUE(helper->waitForFinished(10000));
    while (helper->canReadLine())
        acknowledged << QString::fromUtf8(helper->readLine()).trimmed();

    Store store(path);
    EXPECT_EQ(store.setAsideIfUnusable(), std::nullopt);
    const QStringList stored = texts(store.phrases(QString()));
    const QSet<QString> present(stored.cbegin(), stored.cend());
    for (const QString& text : acknowledged)
        EXPECT_TRUE(present.contains(text)) << text.toStdString();
    EXPECT_LT(stored.size(), burstSize);
}

// A file that opens but is no usable database is kept aside under a dated name, and the store
// starts afresh; a sound one, even an empty file, stays as it is.
TEST_F(StoreWriterTest, ADamagedFileIsKeptAsideAndAFreshStoreBegins) {
    QByteArray sound;
    {
        Store seed(path);
        for (int i = 0; i < 300; ++i)
            seed.addPhrase(makeItem(u"p%1"_s.arg(i), u"phrase %1 to keep"_s.arg(i), i));
    }
    ASSERT_TRUE(Store::foldLog(path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    sound = file.readAll();
    file.close();
    QByteArray noise(8192, '\0');
    for (qsizetype i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 7919) % 251);

    struct Case {
        const char* name;
        QByteArray bytes;
        bool withLog;
        bool damaged;
    };
    for (const Case& c : {Case{"random bytes", noise, true, true},
                          Case{"cut in half", sound.left(sound.size() / 2), false, true},
                          Case{"sound", sound, false, false}, Case{"empty", {}, false, false}}) {
        SCOPED_TRACE(c.name);
        for (const QString& name : QDir(dir.path()).entryList(QDir::Files))
            QFile::remove(dir.filePath(name));
        ASSERT_TRUE(writeFile(path, c.bytes));
        if (c.withLog) {
            ASSERT_TRUE(writeFile(path + u"-wal"_s, "an old log"));
        }
        Store reads(path);
        StoreWriter writer(reads);
        ASSERT_EQ(writer.setAside().has_value(), c.damaged);
        const QFuture<WriteResult> added = writer.addHistory(makeItem(u"h"_s, u"hello"_s, 1));
        ASSERT_TRUE(waitUntil([&] { return added.isFinished(); }));
        EXPECT_TRUE(added.result().ok());
        EXPECT_EQ(texts(reads.history(QString(), 200)), QStringList{u"hello"_s});
        if (!c.damaged) {
            EXPECT_EQ(reads.phraseCount(), c.bytes.isEmpty() ? 0 : 300);
            continue;
        }
        const QString kept = *writer.setAside();
        EXPECT_EQ(QFileInfo(kept).path(), dir.path());
        EXPECT_TRUE(QFileInfo(kept).fileName().startsWith(u"tivela-damaged-"_s));
        EXPECT_TRUE(kept.endsWith(u".sqlite"_s));
        EXPECT_EQ(readFile(kept), c.bytes);
        // SQLite folds a log into its main file when it lets go of both.
        if (c.withLog) {
            EXPECT_NE(readFile(path + u"-wal"_s), "an old log");
        }
        EXPECT_EQ(reads.phraseCount(), 0);
    }
}

// Another program moved the file aside and started a fresh one on the path: the writer's next
// write and, within a second, the reads go to the fresh file.
TEST_F(StoreWriterTest, AFileMovedAsideByAnotherProgramIsFollowed) {
    Store reads(path);
    StoreWriter writer(reads);
    const auto write = [&](const Item& card) {
        const QFuture<WriteResult> added = writer.addPhrase(card);
        return waitUntil([&] { return added.isFinished(); }) && added.result().ok();
    };
    ASSERT_TRUE(write(makeItem(u"old"_s, u"old"_s, 1)));
    const QString aside = dir.filePath(u"aside.sqlite"_s);
    for (const QString& suffix : {u"-wal"_s, u"-shm"_s, u""_s})
        QFile::rename(path + suffix, aside + suffix);
    Store(path).addPhrase(makeItem(u"fresh"_s, u"fresh"_s, 2));

    ASSERT_TRUE(write(makeItem(u"new"_s, u"new"_s, 3)));
    EXPECT_EQ(texts(Store(path).phrases(QString())), (QStringList{u"new"_s, u"fresh"_s}));
    EXPECT_EQ(texts(Store(aside).phrases(QString())), QStringList{u"old"_s});
    EXPECT_TRUE(waitUntil([&] { return reads.phraseCount() == 2; }, 3000));
    EXPECT_EQ(texts(writer.phrases(QString())), (QStringList{u"new"_s, u"fresh"_s}));
}
