#include "core/PackLock.h"
#include "support/PackFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

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
