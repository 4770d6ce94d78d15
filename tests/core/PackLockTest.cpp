#include "core/PackLock.h"
#include "support/PackFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <functional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tivela;
using namespace Qt::StringLiterals;

namespace {

using Result = PackLock::Result;

} // namespace

TEST(PackLockTest, StaleLocksAreOldOrNameADeadProcess) {
    QTemporaryDir dir;
    const QString lock = dir.filePath(u"de.lex.gz.lock"_s);
    const auto stale = [&](const QByteArray& content, int ageSeconds = 0) {
        test::writeFile(lock, content);
        test::ageFile(lock, ageSeconds);
        return PackLock::isStale(lock);
    };
    const QByteArray mine = QByteArray::number(qint64(::getpid()));
    const QByteArray dead = QByteArray::number(test::deadPid());

    EXPECT_FALSE(PackLock::isStale(dir.filePath(u"missing.lock"_s)));
    EXPECT_TRUE(stale(dead));
    EXPECT_TRUE(stale(" +" + dead + "\n"));
    EXPECT_FALSE(stale(mine));
    EXPECT_FALSE(stale(mine, 290));
    EXPECT_TRUE(stale(mine, 301));
    // Not a process id: stale only by age. 0 and negative ids would mean process groups.
    for (const QByteArray& content :
         QByteArrayList{"", "abc", "0", "-1", "-" + dead, "99999999999", "\xff\xfe" + dead}) {
        EXPECT_FALSE(stale(content)) << content.toStdString();
        EXPECT_TRUE(stale(content, 400)) << content.toStdString();
    }
}

TEST(PackLockTest, OneHolderAtATimeAndOnlyItsOwnFileIsRemoved) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"de.lex.gz.lock"_s);
    {
        PackLock holder(path);
        ASSERT_EQ(holder.take(), Result::Taken);
        EXPECT_TRUE(holder.isHeld());
        EXPECT_EQ(test::readFile(path), QByteArray::number(qint64(::getpid())));
        EXPECT_EQ(QFileInfo(path).permissions() & 0x7777,
                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                      QFileDevice::WriteUser | QFileDevice::ReadGroup | QFileDevice::ReadOther);
        // A live, young holder keeps waiters waiting.
        PackLock waiter(path);
        EXPECT_EQ(waiter.take(), Result::Busy);
        EXPECT_EQ(waiter.takeOver(), Result::Busy);
        EXPECT_FALSE(waiter.isHeld());
    }
    EXPECT_FALSE(QFile::exists(path));

    // Another process's lock in the place of one held survives its release.
    {
        PackLock holder(path);
        ASSERT_EQ(holder.take(), Result::Taken);
        QFile::remove(path);
        ASSERT_TRUE(test::writeFile(path, "someone else"));
    }
    EXPECT_EQ(test::readFile(path), "someone else"_ba);

    // A stale lock is taken over; a lock where none can be made fails.
    ASSERT_TRUE(test::writeFile(path, QByteArray::number(test::deadPid())));
    PackLock taker(path);
    EXPECT_EQ(taker.takeOver(), Result::Taken);
    EXPECT_EQ(test::readFile(path), QByteArray::number(qint64(::getpid())));
    PackLock nowhere(dir.filePath(u"missing/de.lex.gz.lock"_s));
    EXPECT_EQ(nowhere.take(), Result::Failed);
    EXPECT_EQ(nowhere.takeOver(), Result::Failed);
}

// No holder makes anything but a file: a link or a folder in the lock's place is stale at any
// age, and goes itself (never a link's target); a folder with something in it cannot go.
TEST(PackLockTest, ALockThatIsNoFileGoesItselfAndIsTakenOver) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"de.lex.gz.lock"_s);
    const QString target = dir.filePath(u"target"_s);
    const QByteArray mine = QByteArray::number(qint64(::getpid()));
    const auto link = [&](const QString& to) {
        return ::symlink(QFile::encodeName(to).constData(), QFile::encodeName(path).constData());
    };
    struct Case {
        const char* what;
        std::function<bool()> make;
        Result result;
    };
    const QList<Case> cases{
        {"a dangling link", [&] { return link(dir.filePath(u"nowhere"_s)) == 0; }, Result::Taken},
        {"a link to a live holder's lock",
         [&] { return test::writeFile(target, mine) && link(target) == 0; }, Result::Taken},
        {"a link to a folder",
         [&] {
             return QDir().mkpath(dir.filePath(u"folder"_s)) &&
                    link(dir.filePath(u"folder"_s)) == 0;
         },
         Result::Taken},
        {"an empty folder", [&] { return QDir().mkpath(path); }, Result::Taken},
        {"a folder with a file in it",
         [&] { return QDir().mkpath(path) && test::writeFile(path + u"/file"_s, "x"); },
         Result::Failed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(c.make());
        EXPECT_TRUE(PackLock::isStale(path));
        {
            PackLock waiter(path);
            EXPECT_EQ(waiter.takeOver(), c.result);
            if (c.result == Result::Taken) {
                EXPECT_EQ(test::readFile(path), mine);
            }
        }
        if (c.result == Result::Failed)
            EXPECT_TRUE(QFileInfo(path).isDir());
        else
            EXPECT_FALSE(QFileInfo::exists(path));
        // What a link pointed to is left as it was.
        if (QFileInfo::exists(target)) {
            EXPECT_EQ(test::readFile(target), mine);
        }
        QDir(path).removeRecursively();
    }
    EXPECT_TRUE(QFileInfo(dir.filePath(u"folder"_s)).isDir());
}
