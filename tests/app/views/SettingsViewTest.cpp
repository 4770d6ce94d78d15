#include "app/views/SettingsView.h"
#include "app/Updater.h"
#include "app/views/EnginePrompt.h"
#include "app/views/Label.h"
#include "app/views/LanguageMenu.h"
#include "app/views/SettingsModel.h"
#include "app/views/UpdatesSection.h"
#include "app/views/ViewStyle.h"
#include "core/LexiconDownloader.h"
#include "support/HttpServer.h"
#include "support/PackFiles.h"
#include "support/ViewRig.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

using namespace tivela;
using namespace Qt::StringLiterals;

namespace {

QStringList items(const QComboBox& picker) {
    QStringList codes;
    for (int i = 0; i < picker.count(); ++i)
        codes << picker.itemData(i).toString();
    return codes;
}

QPushButton* button(QWidget& view, const QString& text) {
    for (QPushButton* button : view.findChildren<QPushButton*>())
        if (button->text() == text && button->isVisibleTo(&view))
            return button;
    return nullptr;
}

// The settings window on the view rig's model, with a real pack downloader against a loopback
// server, browser manifests in a temporary configuration folder, and a login item, trust and
// global hot key that the test controls.
class SettingsViewTest : public ::testing::Test, public test::ViewRig {
protected:
    SettingsViewTest() {
        QDir().mkpath(bundle.filePath(u"libexec"_s));
        test::writeFile(bundle.filePath(u"libexec/tivela-bridge"_s), "#!/bin/sh\n");
        QFile::setPermissions(bundle.filePath(u"libexec/tivela-bridge"_s),
                              QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        test::HttpServer::Response pack;
        pack.body = test::smallGermanPack();
        pack.delayMs = 100;
        server.route(u"/packs/de.lex.gz"_s, pack);
        engine->setStatus(u"en"_s, u"es"_s, true, EngineStatus::supported);
        downloader = std::make_unique<LexiconDownloader>(lexicon, server.url(u"/packs/"_s));
    }

    SettingsServices settingsServices() {
        SettingsServices s;
        s.downloader = downloader.get();
        s.translator = &translator;
        s.browsers = [this] { return BrowserIntegration(config.path(), bundle.path()); };
        s.loginItemStatus = [this] { return loginStatus; };
        s.setLoginItem = [](bool) {};
        s.trusted = [] { return false; };
        s.savedShortcut = [this] { return saved; };
        s.applyShortcut = [this](const Shortcut& shortcut) {
            saved = shortcut;
            ++registrations;
            registered = true;
        };
        s.suspendShortcut = [this] {
            ++suspensions;
            registered = false;
        };
        s.shortcutProblem = [this] { return problem; };
        return s;
    }

    // Shows the view as the active window, with the keyboard in a line edit of its own.
    std::unique_ptr<SettingsView> show(Updater* updater = nullptr) {
        models.push_back(std::make_unique<SettingsModel>(settingsServices()));
        settings = models.back().get();
        auto view =
            std::make_unique<SettingsView>(*model, *settings, updater, services, u"1.2 (12)"_s);
        view->setPalette(Theme::palette(false));
        view->show();
        QApplication::setActiveWindow(view.get());
        EXPECT_TRUE(QTest::qWaitForWindowActive(view.get()));
        return view;
    }

    QTemporaryDir config;
    QTemporaryDir bundle;
    test::HttpServer server;
    std::unique_ptr<LexiconDownloader> downloader;
    // Every window's model lives as long as the test.
    std::vector<std::unique_ptr<SettingsModel>> models;
    SettingsModel* settings = nullptr;
    int loginStatus = 0;
    Shortcut saved{17, Shortcut::control | Shortcut::option};
    int registrations = 0;
    int suspensions = 0;
    bool registered = true;
    QString problem;
};

} // namespace

TEST_F(SettingsViewTest, PickersWriteOnlyTheUsersChoiceAndNeverOfferOneLanguageTwice) {
    AppModel& app = make();
    app.setPair({u"en"_s, u"es"_s});
    const auto view = show();
    QComboBox& mine = *view->minePicker();
    QComboBox& second = *view->secondPicker();
    // The engine's languages, and the dictionary's marked as such.
    EXPECT_EQ(items(mine), LanguageMenu::withDictionaries(app.languages()));
    EXPECT_EQ(mine.itemText(mine.findData(u"nl"_s)), u"Dutch (dictionary only)"_s);
    EXPECT_EQ(mine.itemText(mine.findData(u"es"_s)), u"Spanish"_s);
    EXPECT_FALSE(items(second).contains(u"en"_s));
    EXPECT_EQ(second.currentData().toString(), u"es"_s);

    // Changes of the model rebuild the pickers without writing anything back.
    int writes = 0;
    QObject::connect(&app, &AppModel::pairChanged, [&] { ++writes; });
    app.setLanguages({u"en"_s, u"es"_s, u"de"_s});
    app.setPair({u"de"_s, u"en"_s});
    EXPECT_EQ(writes, 1);
    const auto allBut = [&](const QString& code) {
        QStringList codes = LanguageMenu::withDictionaries(app.languages());
        codes.removeAll(code);
        return codes;
    };
    EXPECT_EQ(items(second), allBut(u"de"_s));
    EXPECT_EQ(mine.currentData().toString(), u"de"_s);

    // Choosing the second language as one's own swaps the two.
    mine.setCurrentIndex(mine.findData(u"en"_s));
    Q_EMIT mine.activated(mine.currentIndex());
    EXPECT_EQ(app.pair(), (LanguagePair{u"en"_s, u"de"_s}));
    EXPECT_EQ(items(second), allBut(u"en"_s));
    EXPECT_EQ(second.currentData().toString(), u"de"_s);
    second.setCurrentIndex(second.findData(u"es"_s));
    Q_EMIT second.activated(second.currentIndex());
    EXPECT_EQ(app.pair(), (LanguagePair{u"en"_s, u"es"_s}));
    QStringList footers;
    for (const Label* label : view->findChildren<Label*>())
        if (label->text().startsWith(u"Text in "_s))
            footers << label->text();
    EXPECT_EQ(footers, QStringList{u"Text in English is translated into Spanish; everything else "
                                   u"into English. The browser extension uses the same pair."_s});
}

// A picker's open list marks the chosen language alone, with a check and no box; typed
// letters lead to a language, and Return chooses it.
TEST_F(SettingsViewTest, PickersMarkTheChosenLanguageAloneAndGoWhereLettersLead) {
    AppModel& app = make();
    app.setLanguages({u"en"_s, u"es"_s, u"de"_s, u"gl"_s});
    app.setPair({u"en"_s, u"es"_s});
    ViewStyle style;
    const auto view = show();
    QComboBox& mine = *view->minePicker();
    mine.setStyle(&style);
    mine.showPopup();
    QAbstractItemView* list = mine.view();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(list->window()));
    QImage image(list->viewport()->size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    list->viewport()->render(&image);
    QStringList marked;
    for (int row = 0; row < mine.count(); ++row) {
        const QRect rect = list->visualRect(list->model()->index(row, 0));
        const QRgb ground = image.pixel(rect.left() + 1, rect.top() + 1);
        int ink = 0;
        for (int y = rect.top() + 2; y < rect.bottom() - 1; ++y)
            for (int x = rect.left() + 3; x < rect.left() + rect.height(); ++x)
                ink += std::abs(qGray(image.pixel(x, y)) - qGray(ground)) > 60;
        if (ink > 0)
            marked << mine.itemText(row);
    }
    EXPECT_EQ(marked, QStringList{u"English"_s});

    QTest::keyClick(list, Qt::Key_G);
    EXPECT_EQ(mine.itemText(list->currentIndex().row()), u"German"_s);
    QTest::keyClick(list, Qt::Key_G);
    EXPECT_EQ(mine.itemText(list->currentIndex().row()), u"Greek (dictionary only)"_s);
    QTest::keyClick(list, Qt::Key_G);
    EXPECT_EQ(mine.itemText(list->currentIndex().row()), u"Galician"_s);
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(app.pair().mine, u"gl"_s);
    mine.setStyle(nullptr);
}

TEST_F(SettingsViewTest, RecordingTakesEveryKeyAndAlwaysEndsWithARegisteredShortcut) {
    make();
    const auto view = show();
    auto* field = new QLineEdit(view.get());
    field->show();
    field->setFocus();
    QAction close(view.get());
    close.setShortcut(QKeySequence(u"Ctrl+W"_s));
    view->addAction(&close);
    int closes = 0;
    QObject::connect(&close, &QAction::triggered, [&] { ++closes; });
    QTest::keyClick(field, Qt::Key_W, Qt::ControlModifier);
    ASSERT_EQ(closes, 1);

    QPushButton& shortcut = *view->shortcutButton();
    EXPECT_EQ(shortcut.text(), u"Ctrl+Alt+T"_s);
    QTest::mouseClick(&shortcut, Qt::LeftButton);
    QTest::mouseClick(&shortcut, Qt::LeftButton);
    // Turned off by the button again: the saved shortcut is registered again.
    EXPECT_FALSE(settings->recording());
    EXPECT_EQ(suspensions, 1);
    EXPECT_TRUE(registered);

    settings->setRecording(true);
    settings->setRecording(true);
    EXPECT_EQ(shortcut.text(), u"Press keys\u2026"_s);
    EXPECT_EQ(suspensions, 2);
    EXPECT_FALSE(registered);
    // A plain letter, Shift with a letter and a modifier on its own are swallowed.
    QTest::keyClick(field, Qt::Key_A);
    QTest::keyClick(field, Qt::Key_B, Qt::ShiftModifier);
    QTest::keyPress(field, Qt::Key_Control, Qt::ControlModifier);
    QTest::keyRelease(field, Qt::Key_Control);
    EXPECT_EQ(field->text(), QString());
    EXPECT_TRUE(settings->recording());
    // The first combination with Control is recorded, not acted on.
    QTest::keyClick(field, Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(saved.display(), u"Ctrl+W"_s);
    EXPECT_TRUE(registered);
    EXPECT_TRUE(settings->recording());
    QTest::qWait(0);
    QCoreApplication::processEvents();
    EXPECT_FALSE(settings->recording());
    EXPECT_EQ(shortcut.text(), u"Ctrl+W"_s);
    // Keys go where they belong again.
    QTest::keyClick(field, Qt::Key_A);
    EXPECT_EQ(field->text(), u"a"_s);

    // Escape with any modifier keeps the saved shortcut; a shortcut that cannot be grabbed
    // says why.
    problem = u"In use by another application."_s;
    settings->setRecording(true);
    QTest::keyClick(field, Qt::Key_Escape, Qt::ShiftModifier);
    EXPECT_EQ(saved.display(), u"Ctrl+W"_s);
    EXPECT_TRUE(registered);
    QCoreApplication::processEvents();
    EXPECT_FALSE(settings->recording());
    EXPECT_EQ(view->shortcutProblem()->text(), problem);
    EXPECT_TRUE(view->shortcutProblem()->isVisibleTo(view.get()));

    // Closing the window while recording leaves the saved shortcut registered.
    settings->setRecording(true);
    EXPECT_FALSE(registered);
    view->close();
    EXPECT_TRUE(registered);
    EXPECT_FALSE(settings->recording());
}

TEST_F(SettingsViewTest, RowsFollowTheModelAndRefusedWritesSpringBack) {
    make().setPair({u"en"_s, u"es"_s});
    test::writeFile(lexicon.packPath(u"es"_s), QByteArray(12345, 'x'));
    // The login item needs approval: asking for it changes nothing.
    const auto view = show();
    QCheckBox& login = *view->loginToggle();
    login.click();
    EXPECT_FALSE(login.isChecked());

    EXPECT_EQ(view->packRowState(u"es"_s), u"12.3 kB"_s);
    EXPECT_EQ(view->packRowState(u"de"_s), u"Get"_s);
    settings->download(u"de"_s);
    settings->download(u"es"_s);
    EXPECT_EQ(view->packRowState(u"de"_s), u"spinner"_s);
    // An installed pack keeps its size and its trash button while a download of it runs.
    EXPECT_EQ(view->packRowState(u"es"_s), u"12.3 kB"_s);
    ASSERT_TRUE(test::waitUntil([&] { return settings->downloading().isEmpty(); }));
    EXPECT_EQ(
        view->packRowState(u"de"_s),
        QLocale().formattedDataSize(test::smallGermanPack().size(), 1, QLocale::DataSizeSIFormat));
    // A failed "Get" says so beside the button; the server keeps no index here, so every
    // language stays on offer.
    settings->download(u"fr"_s);
    ASSERT_TRUE(test::waitUntil([&] { return settings->downloading().isEmpty(); }));
    EXPECT_EQ(view->packRowState(u"fr"_s), u"Download failed Get"_s);
    EXPECT_EQ(view->packRowState(u"ru"_s), u"Get"_s);
    settings->removePack(u"es"_s);
    EXPECT_EQ(view->packRowState(u"es"_s), u"Get"_s);

    ASSERT_TRUE(
        test::waitUntil([&] { return settings->fastStatus() == PairStatus::downloadable; }));
    EXPECT_EQ(view->browserRows(),
              (QStringList{u"No Chromium browser found."_s,
                           u"Fast engine for web pages | Download"_s, u"Reconnect Browsers"_s}));
    QDir().mkpath(config.filePath(u"chromium"_s));
    QDir().mkpath(config.filePath(u"vivaldi"_s));
    QTest::mouseClick(button(*view, u"Reconnect Browsers"_s), Qt::LeftButton);
    EXPECT_EQ(view->browserRows(),
              (QStringList{u"Vivaldi"_s, u"Chromium"_s, u"Fast engine for web pages | Download"_s,
                           u"Reconnect Browsers"_s}));

    // The fast engine's download runs the engine's prompt; its end shows the current pair's
    // state and leaves the popover's own request alone.
    model->setDownloadRequest(AppModel::DownloadRequest{u"en"_s, u"fr"_s});
    engine->setStatus(u"en"_s, u"es"_s, true, EngineStatus::installed);
    QTest::mouseClick(button(*view, u"Download"_s), Qt::LeftButton);
    ASSERT_TRUE(test::waitUntil([&] { return settings->fastStatus() == PairStatus::installed; }));
    EXPECT_EQ(view->browserRows()[2], u"Fast engine for web pages | Ready"_s);
    EXPECT_TRUE(model->downloadRequest().has_value());

    // Without a pack server nothing can be fetched.
    view->close();
    downloader = std::make_unique<LexiconDownloader>(lexicon, std::nullopt);
    const auto offline = show();
    EXPECT_EQ(offline->packRowState(u"fr"_s), QString());
    EXPECT_EQ(offline->packRowState(u"de"_s).isEmpty(), false);
}

TEST_F(SettingsViewTest, TheUpdatesSectionShowsAndChangesTheUpdatersValues) {
    make();
    Updater updater(Updater::Preview{true, true, std::nullopt, false});
    const auto view = show(&updater);
    UpdatesSection& section = *view->updatesSection();
    EXPECT_EQ(section.lastCheckLabel()->text(), u"Not checked yet"_s);
    EXPECT_FALSE(section.checkButton()->isEnabled());
    EXPECT_EQ(section.downloadsToggle()->text(), u"Automatically download updates"_s);
    section.checksToggle()->click();
    EXPECT_FALSE(updater.automaticallyChecks());
    EXPECT_FALSE(section.downloadsToggle()->isEnabled());
    EXPECT_TRUE(section.downloadsToggle()->isChecked());
    section.checksToggle()->click();
    EXPECT_TRUE(section.downloadsToggle()->isEnabled());
    section.downloadsToggle()->click();
    EXPECT_FALSE(updater.automaticallyDownloads());

    Updater seen(Updater::Preview{true, false, QDateTime::currentDateTime().addDays(-2), true});
    const auto other = show(&seen);
    EXPECT_EQ(other->updatesSection()->lastCheckLabel()->text(), u"Last checked 2 days ago"_s);
    EXPECT_TRUE(other->updatesSection()->checkButton()->isEnabled());

    const auto none = show();
    EXPECT_EQ(none->updatesSection()->checkButton(), nullptr);
    bool note = false;
    for (const Label* label : none->updatesSection()->findChildren<Label*>())
        note |= label->text() == u"This build doesn\u2019t update itself."_s;
    EXPECT_TRUE(note);
}

TEST_F(SettingsViewTest, OnlyPacksTheServerListsAreOfferedAndAFailedGetSaysWhy) {
    // The index beside the packs lists German and French; French's file is broken, Russian is
    // not there at all.
    test::HttpServer::Response index;
    index.body = R"({"packs": [{"lang": "de", "file": "de.lex.gz"},
                               {"lang": "fr", "file": "fr.lex.gz"}, {"lang": "xx"}]})";
    server.route(u"/packs/index.json"_s, index);
    test::HttpServer::Response broken;
    broken.body = "not a pack";
    server.route(u"/packs/fr.lex.gz"_s, broken);
    make();
    const auto view = show();
    ASSERT_TRUE(test::waitUntil([&] { return settings->availablePacks().has_value(); }));
    EXPECT_EQ(*settings->availablePacks(), (QSet<QString>{u"de"_s, u"fr"_s}));
    EXPECT_EQ(view->packRowState(u"ru"_s), u"Not available"_s);
    EXPECT_EQ(view->packRowState(u"de"_s), u"Get"_s);

    // A burst of Gets: the listed pack arrives, the broken one says what was wrong with it, and
    // the one the server does not have says so even when asked for behind the row's back.
    settings->download(u"fr"_s);
    settings->download(u"ru"_s);
    settings->download(u"de"_s);
    settings->download(u"fr"_s);
    ASSERT_TRUE(test::waitUntil([&] { return settings->downloading().isEmpty(); }));
    EXPECT_EQ(view->packRowState(u"fr"_s), u"Pack damaged Get"_s);
    EXPECT_EQ(view->packRowState(u"ru"_s), u"Not available"_s);
    EXPECT_EQ(settings->packProblem(u"ru"_s), u"Not available"_s);
    EXPECT_TRUE(view->packRowState(u"de"_s).endsWith(u"kB"_s));

    // A new Get clears the reason while it runs.
    settings->download(u"fr"_s);
    EXPECT_EQ(view->packRowState(u"fr"_s), u"spinner"_s);
    EXPECT_TRUE(settings->packProblem(u"fr"_s).isEmpty());
    ASSERT_TRUE(test::waitUntil([&] { return settings->downloading().isEmpty(); }));
}

// The window in both palettes, scrolled to its top and to its end; with TIVELA_TEST_SHOTS set,
// the images are kept there to be looked at.
TEST_F(SettingsViewTest, RendersInBothPalettesAtItsFixedSize) {
    make().setPair({u"en"_s, u"es"_s});
    test::writeFile(lexicon.packPath(u"es"_s), QByteArray(1234567, 'x'));
    QDir().mkpath(config.filePath(u"chromium"_s));
    Updater updater(
        Updater::Preview{true, false, QDateTime::currentDateTime().addSecs(-3600), true});
    const auto view = show(&updater);
    settings->reconnectBrowsers();
    settings->download(u"de"_s);
    ASSERT_TRUE(test::waitUntil([&] { return settings->fastStatus() != PairStatus::unsupported; }));
    test::settle(50);
    const QString shots = qEnvironmentVariable("TIVELA_TEST_SHOTS");
    for (const bool dark : {false, true}) {
        view->setPalette(Theme::palette(dark));
        for (const bool end : {false, true}) {
            QScrollBar* bar = view->scrollArea()->verticalScrollBar();
            bar->setValue(end ? bar->maximum() : 0);
            const QImage image = test::render(*view, 2);
            EXPECT_EQ(image.size(), QSize(960, 1280));
            if (!shots.isEmpty())
                image.save(u"%1/settings-%2-%3.png"_s.arg(shots, end ? u"end"_s : u"top"_s,
                                                          dark ? u"dark"_s : u"light"_s));
        }
    }
}
