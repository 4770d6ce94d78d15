#include "app/views/SettingsModel.h"
#include "core/Lexicon.h"
#include "core/LexiconDownloader.h"
#include "support/FakeEngine.h"
#include "support/HttpServer.h"
#include "support/PackFiles.h"
#include "support/QtPrinters.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSemaphore>
#include <QTemporaryDir>

#include <map>

using namespace tivela;
using namespace Qt::StringLiterals;

namespace {

using Response = test::HttpServer::Response;

// Counts every change signal of a model.
struct Signals {
    explicit Signals(SettingsModel& model) {
        for (auto signal :
             {&SettingsModel::shortcutChanged, &SettingsModel::recordingChanged,
              &SettingsModel::launchAtLoginChanged, &SettingsModel::trustedChanged,
              &SettingsModel::installedPacksChanged, &SettingsModel::downloadingChanged,
              &SettingsModel::connectedBrowsersChanged, &SettingsModel::fastStatusChanged})
            QObject::connect(&model, signal, [this] { ++count; });
    }
    int count = 0;
};

class SettingsModelTest : public ::testing::Test {
protected:
    SettingsModelTest() {
        QDir().mkpath(bundle.filePath(u"libexec"_s));
        test::writeFile(bundle.filePath(u"libexec/tivela-bridge"_s), "#!/bin/sh\n");
        QFile::setPermissions(bundle.filePath(u"libexec/tivela-bridge"_s),
                              QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        Response pack;
        pack.body = test::smallGermanPack();
        pack.delayMs = 200;
        server.route(u"/packs/de.lex.gz"_s, pack);
        engine->setLanguages({u"en"_s, u"es"_s, u"de"_s, u"fr"_s});
        engine->setStatusFunction([this](const QString& from, const QString& to, bool fast) {
            const QString pair = from + u'>' + to;
            if (const auto gate = gates.find(pair); gate != gates.end())
                gate->second.tryAcquire(1, 10000);
            if (pair == u"en>es"_s)
                return EngineStatus::installed;
            if (pair == u"en>de"_s && fast)
                return EngineStatus::supported;
            return EngineStatus::unsupported;
        });
    }

    SettingsServices services(std::optional<QUrl> base) {
        downloader = std::make_unique<LexiconDownloader>(lexicon, base);
        SettingsServices services;
        services.downloader = downloader.get();
        services.translator = &translator;
        services.browsers = [this] { return BrowserIntegration(config.path(), bundle.path()); };
        services.loginItemStatus = [this] { return loginStatus; };
        services.setLoginItem = [this](bool enabled) {
            if (!approvalNeeded)
                loginStatus = enabled ? 1 : 0;
        };
        services.trusted = [this] { return trust; };
        services.savedShortcut = [] { return Shortcut{8, Shortcut::control | Shortcut::shift}; };
        return services;
    }

    QTemporaryDir dir;
    QTemporaryDir config;
    QTemporaryDir bundle;
    test::HttpServer server;
    Lexicon lexicon{dir.filePath(u"Lexicon"_s)};
    std::unique_ptr<LexiconDownloader> downloader;
    std::map<QString, QSemaphore> gates;
    std::shared_ptr<test::FakeEngine> engine = std::make_shared<test::FakeEngine>();
    Translator translator{engine};
    int loginStatus = 0;
    bool approvalNeeded = false;
    bool trust = false;
};

} // namespace

TEST_F(SettingsModelTest, RefreshReadsAgainAndTellsOnlyChanges) {
    QDir().mkpath(config.filePath(u"chromium"_s));
    QDir().mkpath(config.filePath(u"vivaldi"_s));
    test::writeFile(lexicon.packPath(u"fr"_s), "pack");
    SettingsModel model(services(std::nullopt));
    EXPECT_EQ(model.installedPacks(), QStringList{u"fr"_s});
    EXPECT_TRUE(model.connectedBrowsers().isEmpty());
    EXPECT_EQ(model.fastStatus(), PairStatus::unsupported);
    EXPECT_FALSE(model.canDownload());
    EXPECT_EQ(model.shortcut(), (Shortcut{8, Shortcut::control | Shortcut::shift}));
    Signals seen(model);
    model.refresh();
    model.setShortcut(model.shortcut());
    model.setRecording(false);
    EXPECT_EQ(seen.count, 0);

    // Reconnecting connects every installed browser; the login item, the trust and the packs
    // are read again too.
    trust = true;
    loginStatus = 1;
    test::writeFile(lexicon.packPath(u"es"_s), "pack");
    model.reconnectBrowsers();
    EXPECT_EQ(model.connectedBrowsers(), (QStringList{u"Vivaldi"_s, u"Chromium"_s}));
    EXPECT_TRUE(model.trusted());
    EXPECT_TRUE(model.launchAtLogin());
    EXPECT_EQ(model.installedPacks(), (QStringList{u"es"_s, u"fr"_s}));
    EXPECT_EQ(seen.count, 4);
    model.refresh();
    EXPECT_EQ(seen.count, 4);

    model.removePack(u"fr"_s);
    EXPECT_EQ(model.installedPacks(), QStringList{u"es"_s});
    EXPECT_FALSE(QFile::exists(lexicon.packPath(u"fr"_s)));
}

TEST_F(SettingsModelTest, TheLoginItemShowsWhatTheSystemReports) {
    SettingsModel model(services(std::nullopt));
    model.setLaunchAtLogin(true);
    EXPECT_TRUE(model.launchAtLogin());
    model.setLaunchAtLogin(false);
    EXPECT_FALSE(model.launchAtLogin());
    approvalNeeded = true;
    model.setLaunchAtLogin(true);
    EXPECT_FALSE(model.launchAtLogin());

    // Without the shell's services: no login item, no trust, and the default shortcut.
    SettingsServices bare = services(std::nullopt);
    bare.loginItemStatus = nullptr;
    bare.setLoginItem = nullptr;
    bare.trusted = nullptr;
    bare.savedShortcut = nullptr;
    loginStatus = 1;
    SettingsModel without(bare);
    without.setLaunchAtLogin(true);
    EXPECT_FALSE(without.launchAtLogin());
    EXPECT_FALSE(without.trusted());
    EXPECT_EQ(without.shortcut(), Shortcut::defaultShortcut());
}

TEST_F(SettingsModelTest, OnlyTheLatestFastStatusRequestIsWritten) {
    SettingsModel model(services(std::nullopt));
    gates[u"en>es"_s];
    gates[u"en>de"_s];
    // The user's pair changes twice; the answers come back oldest last.
    model.refreshFast({u"en"_s, u"es"_s});
    model.refreshFast({u"en"_s, u"de"_s});
    EXPECT_EQ(model.fastStatus(), PairStatus::unsupported);
    gates[u"en>de"_s].release(1000);
    ASSERT_TRUE(test::waitUntil([&] { return model.fastStatus() == PairStatus::downloadable; }));
    gates[u"en>es"_s].release(1000);
    test::settle(300);
    EXPECT_EQ(model.fastStatus(), PairStatus::downloadable);

    // A burst of requests ends with the last pair's state.
    for (int i = 0; i < 100; ++i)
        model.refreshFast(i % 2 ? LanguagePair{u"en"_s, u"de"_s} : LanguagePair{u"en"_s, u"es"_s});
    ASSERT_TRUE(test::waitUntil([&] { return model.fastStatus() == PairStatus::downloadable; }));
    test::settle(300);
    EXPECT_EQ(model.fastStatus(), PairStatus::downloadable);

    // A model that goes away with requests on their way is simply not told.
    auto leaving = std::make_unique<SettingsModel>(services(std::nullopt));
    for (int i = 0; i < 20; ++i)
        leaving->refreshFast({u"en"_s, u"es"_s});
    leaving.reset();
    test::settle(100);
}

TEST_F(SettingsModelTest, DownloadsEndOutOfDownloadingWhetherOrNotAPackCame) {
    SettingsModel model(services(server.url(u"/packs/"_s)));
    EXPECT_TRUE(model.canDownload());
    QList<QSet<QString>> seen;
    QObject::connect(&model, &SettingsModel::downloadingChanged,
                     [&] { seen << model.downloading(); });
    // Many asks for the same packs at once, one of them missing on the server.
    for (int i = 0; i < 20; ++i) {
        model.download(u"de"_s);
        model.download(u"fr"_s);
    }
    EXPECT_EQ(model.downloading(), (QSet<QString>{u"de"_s, u"fr"_s}));
    // Each ask enters and leaves downloading once.
    ASSERT_TRUE(test::waitUntil([&] { return seen.size() == 80; }));
    EXPECT_TRUE(model.downloading().isEmpty());
    EXPECT_EQ(model.installedPacks(), QStringList{u"de"_s});
    EXPECT_EQ(model.packSize(u"de"_s), test::smallGermanPack().size());
    EXPECT_EQ(server.requests(u"/packs/de.lex.gz"_s), 1);

    // Without a pack server nothing is fetched.
    SettingsModel offline(services(std::nullopt));
    offline.download(u"es"_s);
    ASSERT_TRUE(test::waitUntil([&] { return offline.downloading().isEmpty(); }));
    EXPECT_EQ(offline.installedPacks(), QStringList{u"de"_s});
}

TEST(SettingsModelPairTest, ChoosingMyLanguageNeverMakesAOneLanguagePair) {
    const LanguagePair pair{u"en"_s, u"de"_s};
    EXPECT_EQ(SettingsModel::withMine(pair, u"de"_s), (LanguagePair{u"de"_s, u"en"_s}));
    EXPECT_EQ(SettingsModel::withMine(pair, u"fr"_s), (LanguagePair{u"fr"_s, u"de"_s}));
    EXPECT_EQ(SettingsModel::withMine(pair, u"en"_s), pair);
}
