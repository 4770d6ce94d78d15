#include "platform/desktop/DesktopEntry.h"
#include "support/TestWorld.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

namespace {

struct Exec {
    const char16_t* program;
    const char16_t* value;
};

class DesktopEntryExec : public ::testing::TestWithParam<Exec> {};

} // namespace

TEST_P(DesktopEntryExec, QuotesEscapesAndReadsBack) {
    const QString program = QString::fromUtf16(GetParam().program);
    const QString value = DesktopEntry::execValue(program, {u"%u"_s});
    EXPECT_EQ(value, QString::fromUtf16(GetParam().value));
    EXPECT_EQ(DesktopEntry::parseExec(value), (QStringList{program, u"%u"_s}));
}

INSTANTIATE_TEST_SUITE_P(
    Paths, DesktopEntryExec,
    ::testing::Values(Exec{u"/opt/tivela/bin/tivela", uR"(/opt/tivela/bin/tivela %u)"},
                      Exec{u"/home/a b/Tivela/bin/tivela", uR"("/home/a b/Tivela/bin/tivela" %u)"},
                      Exec{u"/x/100%/tivela", uR"(/x/100%%/tivela %u)"},
                      Exec{u"/x/\"q\"/$HOME/`id`/tivela",
                           uR"("/x/\\"q\\"/\\$HOME/\\`id\\`/tivela" %u)"},
                      Exec{u"/x/back\\slash/tivela", uR"("/x/back\\\\slash/tivela" %u)"},
                      Exec{u"/x/Über/ünï/tivela", uR"(/x/Über/ünï/tivela %u)"}));

TEST(DesktopEntryTest, ParsesWhatOtherProgramsWrite) {
    EXPECT_EQ(DesktopEntry::parseExec(u"tivela --flag  %U"_s),
              (QStringList{u"tivela"_s, u"--flag"_s, u"%U"_s}));
    EXPECT_EQ(DesktopEntry::parseExec(u"/usr/bin/env\\sA=1 tivela"_s),
              (QStringList{u"/usr/bin/env"_s, u"A=1"_s, u"tivela"_s}));
    EXPECT_EQ(DesktopEntry::parseExec(u"\"\" x"_s), (QStringList{QString(), u"x"_s}));
    EXPECT_EQ(DesktopEntry::parseExec(u"\"/open quote"_s), std::nullopt);
    EXPECT_EQ(DesktopEntry::parseExec(QString()), QStringList());
}

TEST(DesktopEntryTest, ReadsTheEntryGroupAndWritesOnlyChanges) {
    const QString path = World::root() + u"/entry/x.desktop"_s;
    const QByteArray text = "# comment\n[Other]\nExec=no\n[Desktop Entry]\nName=A\nExec=a\\sb\n"
                            "Name[de]=B\nExec=second\nHidden = true\n";
    bool changed = false;
    ASSERT_TRUE(DesktopEntry::write(path, text, &changed));
    EXPECT_TRUE(changed);
    const QMap<QString, QString> keys = DesktopEntry::read(path);
    EXPECT_EQ(keys.value(u"Exec"_s), u"a b"_s);
    EXPECT_EQ(keys.value(u"Name"_s), u"A"_s);
    EXPECT_EQ(keys.value(u"Hidden"_s), u"true"_s);
    EXPECT_TRUE(DesktopEntry::read(path + u".missing"_s).isEmpty());

    const QDateTime written = QFileInfo(path).lastModified();
    const auto inode = QFileInfo(path).fileTime(QFileDevice::FileMetadataChangeTime);
    ASSERT_TRUE(DesktopEntry::write(path, text, &changed));
    EXPECT_FALSE(changed);
    EXPECT_EQ(QFileInfo(path).lastModified(), written);
    EXPECT_EQ(QFileInfo(path).fileTime(QFileDevice::FileMetadataChangeTime), inode);
    // A folder where the file should be: no crash, a failure.
    EXPECT_FALSE(DesktopEntry::write(World::root() + u"/entry"_s, text));
}
