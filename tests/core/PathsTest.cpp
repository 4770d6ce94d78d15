#include "core/Paths.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
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

// Reads the pair three times, grows the shared file, and reads it three times again.
TIVELA_TEST_HELPER(readPairAcrossAChange) {
    for (int i = 0; i < 3; ++i)
        SharedSettings::pair();
    QFile file(Paths::defaultsFile());
    if (!file.open(QIODevice::Append))
        return 1;
    file.write("\n");
    file.close();
    for (int i = 0; i < 3; ++i)
        SharedSettings::pair();
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

// A pair is saved from the languages the menu offers: anything else is damage, and a code that
// names no language would fail every translation (or, 20 million characters long, freeze the
// menu that shows it) instead of falling back to the default pair.
TEST(SharedSettingsTest, CodesThatAreNoLanguagesAreNoSavedPair) {
    const std::pair<LanguagePair, bool> table[] = {
        {{u"en"_s, u"es"_s}, true},
        {{u"zh-TW"_s, u"en"_s}, true},
        {{u"nb"_s, u"de"_s}, true},
        {{u"ast"_s, u"es"_s}, true},
        {{u"hbs"_s, u"en"_s}, true},
        {{u"xx"_s, u"yy"_s}, false},
        {{QString(), u"en"_s}, false},
        {{u"en"_s, u"../../etc"_s}, false},
        {{u"en-GB"_s, u"es"_s}, false},
        {{u"pt_BR"_s, u"en"_s}, false},
        {{u"no"_s, u"en"_s}, false},
        {{u"EN"_s, u"es"_s}, false},
        {{u"en"_s, QString(2000, u'a')}, false},
        {{QString(20'000'000, u'e'), u"en"_s}, false},
    };
    for (const auto& [pair, read] : table) {
        QFile::remove(Paths::defaultsFile());
        SharedSettings::setPair(pair);
        QElapsedTimer timer;
        timer.start();
        const auto saved = SharedSettings::pair();
        EXPECT_EQ(saved, read ? std::optional(pair) : std::nullopt)
            << pair.mine.left(20).toStdString();
        EXPECT_LT(timer.elapsed(), 1000) << pair.mine.left(20).toStdString();
    }
}

// Both programs ask for the pair on every request and keystroke: a large file of junk keys is
// parsed once, not on each of them, and a write by the other program is still seen at once.
TEST(SharedSettingsTest, TheFileIsReadAgainOnlyOnceItChanged) {
    QByteArray junk = "[General]\n";
    for (int i = 0; junk.size() < SharedSettings::maxFileBytes - 200; ++i)
        junk += "junk" + QByteArray::number(i) + '=' + QByteArray(40, 'x') + '\n';
    write(Paths::defaultsFile(), junk);
    SharedSettings::setPair(LanguagePair{u"en"_s, u"de"_s});
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(SharedSettings::pair(), (LanguagePair{u"en"_s, u"de"_s}));
    EXPECT_LT(timer.elapsed(), 2000);

    ASSERT_EQ(test::runHelper(u"writePair"_s, {u"fr"_s, u"en"_s}).exitCode, 0);
    EXPECT_EQ(SharedSettings::pair(), (LanguagePair{u"fr"_s, u"en"_s}));
    Paths::defaults()->setValue(u"pair"_s, QByteArray(R"({"mine":"de","second":"en"})"));
    EXPECT_EQ(SharedSettings::pair(), (LanguagePair{u"de"_s, u"en"_s}));
    EXPECT_TRUE(Paths::defaults()->contains(u"junk7"_s));
}

// A shared file past the cap is damage: it reads as empty, and says so once for each change
// rather than on every read.
TEST(SharedSettingsTest, AnOversizedFileReadsAsEmptyWithOneLinePerChange) {
    QFile::remove(Paths::defaultsFile());
    SharedSettings::setPair(LanguagePair{u"en"_s, u"de"_s});
    SharedSettings::setString(u"shortcutDisplay"_s, u"Ctrl+Alt+T"_s);
    QFile file(Paths::defaultsFile());
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("junk=" + QByteArray(SharedSettings::maxFileBytes, 'x') + '\n');
    file.close();
    EXPECT_FALSE(SharedSettings::pair());
    EXPECT_FALSE(SharedSettings::string(u"shortcutDisplay"_s));

    const auto result = test::runHelper(u"readPairAcrossAChange"_s);
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(result.err.count("shared settings"), 2) << result.err.toStdString();

    // Written again, it holds what was written.
    SharedSettings::setPair(LanguagePair{u"en"_s, u"fr"_s});
    EXPECT_EQ(SharedSettings::pair(), (LanguagePair{u"en"_s, u"fr"_s}));
}

// Values are text and bytes only: a "@Variant" naming a list of 2^31-1 strings is not built,
// for reading or writing, and the values beside it still count.
TEST(SharedSettingsTest, TypedValuesAreNeverBuilt) {
    const QByteArray pair = R"x(pair="@ByteArray({\"mine\":\"de\",\"second\":\"en\"})")x";
    const QByteArray damaged = R"(@Variant(\0\0\0\v\x7f\xff\xff\xff))";
    write(Paths::defaultsFile(), "[General]\n" + pair + "\nshortcutDisplay=" + damaged + '\n');
    EXPECT_EQ(SharedSettings::pair(), (LanguagePair{u"de"_s, u"en"_s}));
    EXPECT_FALSE(SharedSettings::string(u"shortcutDisplay"_s));

    SharedSettings::setString(u"shortcutDisplay"_s, u"Ctrl+Shift+K"_s);
    EXPECT_EQ(SharedSettings::string(u"shortcutDisplay"_s), u"Ctrl+Shift+K"_s);
    EXPECT_EQ(SharedSettings::pair(), (LanguagePair{u"de"_s, u"en"_s}));

    write(Paths::defaultsFile(), "[General]\npair=" + damaged + '\n');
    EXPECT_FALSE(SharedSettings::pair());
    SharedSettings::setPair(LanguagePair{u"en"_s, u"es"_s});
    EXPECT_EQ(SharedSettings::pair(), (LanguagePair{u"en"_s, u"es"_s}));
}
