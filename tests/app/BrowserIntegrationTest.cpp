#include "app/BrowserIntegration.h"
#include "support/PackFiles.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <utime.h>

using namespace tivela;
using namespace Qt::StringLiterals;
using Browser = BrowserIntegration::Browser;

namespace {

// A bundle folder with a host program in it.
QString makeBundle(const QString& root,
                   QFileDevice::Permissions permissions = QFileDevice::ReadOwner |
                                                          QFileDevice::WriteOwner |
                                                          QFileDevice::ExeOwner) {
    QDir().mkpath(root + u"/libexec"_s);
    QFile host(root + u"/libexec/tivela-bridge"_s);
    EXPECT_TRUE(host.open(QIODevice::WriteOnly));
    host.write("#!/bin/sh\n");
    host.close();
    host.setPermissions(permissions);
    return root;
}

struct stat statOf(const QString& path) {
    struct stat info {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
    return info;
}

class BrowserIntegrationTest : public ::testing::Test {
protected:
    void addBrowsers(const QStringList& folders) {
        for (const QString& folder : folders)
            ASSERT_TRUE(QDir().mkpath(config.filePath(folder)));
    }
    BrowserIntegration at(const std::optional<QString>& bundle) {
        return BrowserIntegration(config.path(), bundle);
    }
    QStringList manifests() {
        QStringList found;
        for (const Browser& browser : BrowserIntegration::browsers()) {
            if (QFileInfo(at(std::nullopt).manifestPath(browser)).isFile())
                found << browser.name;
        }
        return found;
    }

    QTemporaryDir config;
    QTemporaryDir bundles;
};

} // namespace

TEST(BrowserManifestTest, BytesAreTheBrowsersOwnFormWithEveryEscape) {
    EXPECT_EQ(BrowserIntegration::manifest(u"/opt/tivela/libexec/tivela-bridge"_s),
              QByteArray("{\n"
                         "  \"allowed_origins\" : [\n"
                         "    \"chrome-extension:\\/\\/hmcjfkbaldpoegnihmcjfkbaldpoegni\\/\"\n"
                         "  ],\n"
                         "  \"description\" : \"Tivela for Linux: on-device translation, "
                         "dictionary and phrasebook for the browser extension\",\n"
                         "  \"name\" : \"dev.quorvanta.tivela\",\n"
                         "  \"path\" : \"\\/opt\\/tivela\\/libexec\\/tivela-bridge\",\n"
                         "  \"type\" : \"stdio\"\n"
                         "}"));

    // Whatever a folder is called, a JSON reader gets the path back unchanged.
    const QString hostile = u"/home/j\u00e4ger/\"quoted\"/back\\slash/tab\there/\u0001/\U0001F600"
                            u"/libexec/tivela-bridge"_s;
    const QByteArray bytes = BrowserIntegration::manifest(hostile);
    EXPECT_TRUE(bytes.contains("\\/home\\/j\xc3\xa4ger\\/\\\"quoted\\\"\\/back\\\\slash\\/"
                               "tab\\there\\/\\u0001\\/\xf0\x9f\x98\x80\\/"));
    QJsonParseError error;
    const QJsonObject object = QJsonDocument::fromJson(bytes, &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError);
    EXPECT_EQ(object.value(u"path"_s).toString(), hostile);
    EXPECT_EQ(object.keys(), (QStringList{u"allowed_origins"_s, u"description"_s, u"name"_s,
                                          u"path"_s, u"type"_s}));
}

TEST_F(BrowserIntegrationTest, InstallServesInstalledBrowsersOnceAndLeavesRightFilesUntouched) {
    const QString bundle = makeBundle(bundles.filePath(u"a"_s));
    EXPECT_TRUE(at(bundle).install().isEmpty());
    EXPECT_TRUE(QDir(config.path()).isEmpty());

    addBrowsers({u"chromium"_s, u"BraveSoftware/Brave-Browser"_s, u"google-chrome"_s,
                 u"BraveSoftware/Brave-Browser-Beta"_s, u"something-else"_s});
    const QStringList served{u"Google Chrome"_s, u"Brave"_s, u"Chromium"_s, u"Brave Beta"_s};
    EXPECT_EQ(at(bundle).install(), served);
    EXPECT_EQ(at(bundle).connectedBrowsers(), served);
    const QString chromium = at(bundle).manifestPath(BrowserIntegration::browsers()[4]);
    EXPECT_EQ(chromium,
              config.filePath(u"chromium/NativeMessagingHosts/dev.quorvanta.tivela.json"_s));
    EXPECT_EQ(test::readFile(chromium),
              BrowserIntegration::manifest(bundle + u"/libexec/tivela-bridge"_s));

    // An old date makes any rewrite show.
    const utimbuf old{1'000'000'000, 1'000'000'000};
    ASSERT_EQ(::utime(QFile::encodeName(chromium).constData(), &old), 0);
    const struct stat before = statOf(chromium);
    EXPECT_EQ(at(bundle).install(), served);
    const struct stat after = statOf(chromium);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_sec, 1'000'000'000);

    // A longer file that begins with the right bytes is rewritten.
    QFile file(chromium);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("\n");
    file.close();
    EXPECT_EQ(at(bundle).install(), served);
    EXPECT_EQ(test::readFile(chromium),
              BrowserIntegration::manifest(bundle + u"/libexec/tivela-bridge"_s));
}

TEST_F(BrowserIntegrationTest, AMovedBundleIsNotConnectedUntilItInstalls) {
    addBrowsers({u"vivaldi"_s, u"opera"_s});
    const QString first = makeBundle(bundles.filePath(u"first"_s));
    const QString moved = makeBundle(bundles.filePath(u"moved"_s));
    at(first).install();

    EXPECT_TRUE(at(moved).connectedBrowsers().isEmpty());
    EXPECT_EQ(at(moved).install(), (QStringList{u"Vivaldi"_s, u"Opera"_s}));
    EXPECT_EQ(at(moved).connectedBrowsers(), (QStringList{u"Vivaldi"_s, u"Opera"_s}));
    EXPECT_TRUE(at(first).connectedBrowsers().isEmpty());
}

// The test is a development build: it leaves a browser to an installed copy's host while that
// host is there, and takes it from a development build's, or once the installed host is gone.
TEST_F(BrowserIntegrationTest, ADevelopmentBuildLeavesBrowsersToAnInstalledCopy) {
    addBrowsers({u"chromium"_s, u"vivaldi"_s});
    const QString installed = makeBundle(bundles.filePath(u"installed"_s));
    const QString otherDev = makeBundle(bundles.filePath(u"other-dev"_s));
    ASSERT_TRUE(test::writeFile(installed + u"/bundle.json"_s,
                                R"({"CFBundleIdentifier": "dev.quorvanta.Tivela"})"));
    ASSERT_TRUE(test::writeFile(otherDev + u"/bundle.json"_s,
                                R"({"CFBundleIdentifier": "dev.quorvanta.Tivela.dev"})"));
    const QString dev = makeBundle(bundles.filePath(u"dev"_s));
    const QStringList both{u"Vivaldi"_s, u"Chromium"_s};

    ASSERT_EQ(at(otherDev).install(), both);
    EXPECT_EQ(at(dev).install(), both);

    ASSERT_EQ(at(installed).install(), both);
    EXPECT_TRUE(at(dev).install().isEmpty());
    EXPECT_EQ(at(installed).connectedBrowsers(), both);

    ASSERT_TRUE(QFile::remove(installed + u"/libexec/tivela-bridge"_s));
    EXPECT_EQ(at(dev).install(), both);
    EXPECT_EQ(at(dev).connectedBrowsers(), both);
}

TEST_F(BrowserIntegrationTest, NoExecutableHostWritesNothing) {
    addBrowsers({u"chromium"_s});
    const QString plain =
        makeBundle(bundles.filePath(u"plain"_s), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const QString folder = bundles.filePath(u"folder"_s);
    QDir().mkpath(folder + u"/libexec/tivela-bridge"_s);
    for (const std::optional<QString>& bundle :
         {std::optional(plain), std::optional(folder),
          std::optional(bundles.filePath(u"missing"_s)), std::optional<QString>()}) {
        EXPECT_TRUE(at(bundle).install().isEmpty());
        EXPECT_TRUE(at(bundle).connectedBrowsers().isEmpty());
    }
    EXPECT_TRUE(QDir(config.filePath(u"chromium"_s)).isEmpty());
}

TEST_F(BrowserIntegrationTest, OnlyAManifestNamingExactlyThisHostConnects) {
    addBrowsers({u"google-chrome"_s, u"microsoft-edge"_s});
    const QString bundle = makeBundle(bundles.filePath(u"b"_s));
    const Browser chrome = BrowserIntegration::browsers()[0];
    const QString path = at(bundle).manifestPath(chrome);
    const QString host = bundle + u"/libexec/tivela-bridge"_s;
    QDir().mkpath(QFileInfo(path).path());

    const QList<std::pair<QByteArray, bool>> cases{
        {BrowserIntegration::manifest(host), true},
        {QJsonDocument(QJsonObject{{u"path"_s, host}}).toJson(), true},
        {BrowserIntegration::manifest(host + u'/'), false},
        {BrowserIntegration::manifest(host.toUpper()), false},
        {R"({"path": 7})", false},
        {R"(["path"])", false},
        {BrowserIntegration::manifest(host).chopped(1), false},
        {QByteArray(), false},
    };
    for (const auto& [bytes, connected] : cases) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();
        EXPECT_EQ(at(bundle).isConnected(chrome), connected) << bytes.constData();
    }

    // A folder where the manifest should be: the browser is not served (mode bits do not stop
    // a test that runs as root).
    QFile::remove(path);
    QDir().mkpath(path);
    EXPECT_EQ(at(bundle).install(), QStringList{u"Microsoft Edge"_s});
    EXPECT_FALSE(at(bundle).isConnected(chrome));
    EXPECT_EQ(manifests(), QStringList{u"Microsoft Edge"_s});
}
