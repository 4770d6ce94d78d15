#include "core/Paths.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace tivela;
using namespace Qt::StringLiterals;

namespace {

void write(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

TIVELA_TEST_HELPER(printPaths) {
    QTextStream out(stdout);
    out << (Paths::isDevBuild() ? "dev" : "release") << '\n'
        << Paths::bundleID() << '\n'
        << Paths::support() << '\n';
    return 0;
}

TIVELA_TEST_HELPER(writePair) {
    SharedSettings::setPair(LanguagePair{args.value(0), args.value(1)});
    return 0;
}

TIVELA_TEST_HELPER(readPair) {
    const auto pair = SharedSettings::pair();
    QTextStream(stdout) << (pair ? pair->mine + u'/' + pair->second : u"none"_s);
    return 0;
}

TEST(PathsTest, BundleIsFoundThroughSymbolicLinksTwoFoldersUp) {
    QTemporaryDir temp;
    const QString root = temp.filePath(u"opt/tivela"_s);
    write(root + u"/bundle.json"_s, R"({"CFBundleIdentifier":"dev.quorvanta.Tivela","X":1})");
    write(root + u"/libexec/tivela-bridge"_s, "#!");
    write(root + u"/bin/tivela"_s, "#!");
    QDir().mkpath(temp.filePath(u"usr/bin"_s));
    ASSERT_TRUE(QFile::link(root + u"/bin/tivela"_s, temp.filePath(u"usr/bin/tivela"_s)));

    for (const QString& program :
         QStringList{root + u"/libexec/tivela-bridge"_s, temp.filePath(u"usr/bin/tivela"_s)}) {
        const auto bundle = Paths::findBundle(program);
        ASSERT_TRUE(bundle) << program.toStdString();
        EXPECT_EQ(bundle->root, QDir(root).canonicalPath());
        EXPECT_EQ(bundle->identifier(), u"dev.quorvanta.Tivela"_s);
        EXPECT_EQ(bundle->string(u"X"_s), QString()); // not text
    }
}

TEST(PathsTest, NoBundleOutsideOrWhenTheInformationIsNotAnObject) {
    QTemporaryDir temp;
    write(temp.filePath(u"a/b/program"_s), "#!");
    EXPECT_FALSE(Paths::findBundle(temp.filePath(u"a/b/program"_s)));
    write(temp.filePath(u"a/bundle.json"_s), "[1, 2]");
    EXPECT_FALSE(Paths::findBundle(temp.filePath(u"a/b/program"_s)));
    write(temp.filePath(u"a/bundle.json"_s), "{broken");
    EXPECT_FALSE(Paths::findBundle(temp.filePath(u"a/b/program"_s)));
    EXPECT_FALSE(Paths::findBundle(temp.filePath(u"missing"_s)));
    EXPECT_FALSE(Paths::findBundle(u"/"_s));
    EXPECT_FALSE(Paths::findBundle(QString()));
}

TEST(PathsTest, StagedBundleIsADevelopmentBundle) {
    QFile file(test::stageDir() + u"/bundle.json"_s);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const auto info = QJsonDocument::fromJson(file.readAll()).object();
    EXPECT_TRUE(info.value(u"CFBundleIdentifier"_s).toString().endsWith(u".dev"_s));
    for (const char* key : {"CFBundleShortVersionString", "CFBundleVersion", "TivelaLexiconURL",
                            "SUFeedURL", "NSServices"})
        EXPECT_TRUE(info.contains(QString::fromLatin1(key))) << key;
}

TEST(PathsTest, TestProcessesUseTheDevelopmentFolders) {
    EXPECT_FALSE(Paths::appBundle());
    EXPECT_TRUE(Paths::isDevBuild());
    EXPECT_EQ(Paths::bundleID(), u"dev.quorvanta.Tivela.dev"_s);
    EXPECT_EQ(Paths::bridgeName(), u"dev.quorvanta.tivela"_s);

    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    EXPECT_TRUE(data.startsWith(test::World::root()));
    EXPECT_EQ(Paths::support(), data + u"/Tivela Dev"_s);
    EXPECT_EQ(Paths::database(), data + u"/Tivela Dev/tivela.sqlite"_s);
    EXPECT_TRUE(QFileInfo(Paths::support()).isDir());

    // Folders come back when they are deleted while the program runs.
    QDir(Paths::support()).removeRecursively();
    EXPECT_TRUE(QFileInfo(Paths::lexicon()).isDir());
    EXPECT_EQ(Paths::lexicon(), data + u"/Tivela Dev/Lexicon"_s);
    EXPECT_TRUE(Paths::defaultsFile().startsWith(test::World::root()));
    EXPECT_TRUE(Paths::defaultsFile().endsWith(u"/dev.quorvanta.Tivela.dev.conf"_s));
    EXPECT_TRUE(Paths::standardDefaultsFile().startsWith(test::World::root()));
    EXPECT_NE(Paths::standardDefaultsFile(), Paths::defaultsFile());
}

TEST(PathsTest, AReleaseProgramOutsideABundleUsesTheReleaseNames) {
    qputenv("TIVELA_TEST_AS_RELEASE", "1");
    const auto result = test::runHelper(u"printPaths"_s);
    qunsetenv("TIVELA_TEST_AS_RELEASE");
    ASSERT_TRUE(result.finished);
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QStringList lines = QString::fromUtf8(result.out).split(u'\n');
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[0], u"release"_s);
    EXPECT_EQ(lines[1], u"dev.quorvanta.Tivela"_s);
    EXPECT_TRUE(lines[2].endsWith(u"/Tivela"_s));
}

TEST(SharedSettingsTest, PairIsSavedAndSharedBetweenProcesses) {
    QFile::remove(Paths::defaultsFile());
    EXPECT_FALSE(SharedSettings::pair());

    const auto written = test::runHelper(u"writePair"_s, {u"de"_s, u"fr"_s});
    ASSERT_EQ(written.exitCode, 0);
    EXPECT_EQ(SharedSettings::pair(), (LanguagePair{u"de"_s, u"fr"_s}));

    SharedSettings::setPair(LanguagePair{u"zh-TW"_s, u"en"_s});
    const auto read = test::runHelper(u"readPair"_s);
    EXPECT_EQ(read.out, QByteArray("zh-TW/en"));

    SharedSettings::setPair(std::nullopt);
    EXPECT_EQ(SharedSettings::pair(), (LanguagePair{u"zh-TW"_s, u"en"_s}));
}

TEST(SharedSettingsTest, AnUnreadablePairReadsAsNoneAndStaysStored) {
    const QList<QVariant> unreadable{u"en/es"_s, 42, QByteArray("[\"en\",\"es\"]"),
                                     QByteArray(R"({"mine":"en"})"), QByteArray("{oops")};
    for (const QVariant& value : unreadable) {
        Paths::defaults()->setValue(u"pair"_s, value);
        EXPECT_FALSE(SharedSettings::pair()) << value.toString().toStdString();
        EXPECT_EQ(Paths::defaults()->value(u"pair"_s), value);
    }
}
