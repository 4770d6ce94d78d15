#include "app/checks/ScreenshotRenderer.h"

#include "app/AppDelegate.h"
#include "app/BrandArt.h"
#include "app/GlossBatches.h"
#include "app/Updater.h"
#include "app/checks/ShotFile.h"
#include "app/views/PopoverView.h"
#include "app/views/SettingsModel.h"
#include "app/views/SettingsView.h"
#include "app/views/Theme.h"
#include "app/views/UpdatesSection.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>

#include <QCoro/QCoroTimer>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace tivela::ScreenshotRenderer {
namespace {

constexpr QSize popoverCard(420, 600);
constexpr QSize dictionaryCard(420, 760);
constexpr QSize settingsCard(480, 640);
constexpr QSize updatesCard(480, 250);

QCoro::Task<> runMode(QString folder, QString prefix, LanguagePair pair,
                      std::function<QCoro::Task<>(Session&)> render) {
    int status = 1;
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "tivela: cannot make the folder %s\n", qPrintable(folder));
    } else {
        // The model goes first, then its store, then the workspace folder.
        Session session(folder, prefix, pair);
        co_await render(session);
        status = session.failed() ? 1 : 0;
    }
    QCoreApplication::exit(status);
}

QtMessageHandler& previousHandler() {
    static QtMessageHandler handler = nullptr;
    return handler;
}

// The offscreen platform says for every window with a fixed size (the settings window) that it
// cannot pass size hints on; nothing is shown, so there is nothing to pass them to.
void quietOffscreen() {
    previousHandler() = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
            if (message == u"This plugin does not support propagateSizeHints()"_s)
                return;
            if (QtMessageHandler previous = previousHandler())
                previous(type, context, message);
        });
}

QString cafe() {
    return u"Could you recommend a quiet café near the old town where we can work for a few "
           u"hours?"_s;
}

// A form of only the updates section, as the settings window lays its sections out.
QWidget* updatesForm(Updater& updater) {
    auto* form = new QWidget;
    auto* layout = new QVBoxLayout(form);
    layout->setContentsMargins(20, 16, 20, 20);
    layout->addWidget(new UpdatesSection(&updater, AppDelegate::versionString()));
    layout->addStretch(1);
    return form;
}

} // namespace

void start(const QString& folder, const QString& prefix, const LanguagePair& pair,
           std::function<QCoro::Task<>(Session&)> render) {
    quietOffscreen();
    QTimer::singleShot(0, [=] { runMode(folder, prefix, pair, render); });
}

void run(const QString& folder) {
    start(folder, u"tivela-shots"_s, {u"es"_s, u"en"_s}, &render);
}

QCoro::Task<> render(Session& session) {
    AppModel& model = session.model();
    co_await session.seed(seeds());
    co_await session.prepare();

    // Everything a co_await is given that owns memory is named first: g++ 12 destroys such
    // temporaries twice.
    model.show(u"run"_s);
    co_await wait(model, true);
    co_await session.popover(u"mac-1-word"_s);
    co_await session.dictionaryCard(dictionaryCard, u"mac-10-card"_s);

    model.show(cafe());
    co_await wait(model, false);
    co_await session.popover(u"mac-2-sentence"_s);

    // A word of the person's own language: its card is the Spanish one, and no gloss is
    // translated into the language it already is in.
    model.show(u"perros"_s);
    co_await wait(model, true);
    co_await session.popover(u"mac-3-word-spanish"_s);

    model.setTab(Tab::history);
    co_await session.popover(u"mac-4-history"_s);
    model.setTab(Tab::phrasebook);
    co_await session.popover(u"mac-5-phrasebook"_s);
    model.setTab(Tab::cards);
    co_await session.popover(u"mac-6-cards"_s);

    model.setTab(Tab::translate);
    model.clear();
    model.setNeedsAccessibility(true);
    co_await QCoro::sleepFor(200ms);
    co_await session.popover(u"mac-7-welcome"_s);

    // The translation is let finish first: finishing during a picture's settle, it would clear
    // the problem and fill the output.
    model.setNeedsAccessibility(false);
    model.show(u"Good morning"_s);
    co_await wait(model, false);
    for (const bool dark : {false, true}) {
        model.setProblem(AppModel::Problem::notInstalled(u"en"_s, u"ca"_s));
        model.setOutput(QString());
        const QString name = dark ? u"mac-8-download-dark"_s : u"mac-8-download"_s;
        const std::function<QWidget*()> make = [&session] {
            return new PopoverView(session.model(), session.views());
        };
        const bool written = co_await save(make, popoverCard, name, dark, session.folder());
        if (!written)
            session.fail();
    }

    SettingsModel settings(SettingsServices::production());
    const std::function<QWidget*()> settingsView = [&] {
        return new SettingsView(model, settings, nullptr, session.views(),
                                AppDelegate::versionString());
    };
    co_await session.shoot(settingsView, settingsCard, u"mac-9-settings"_s);

    Updater::Preview preview;
    preview.checks = true;
    preview.downloads = false;
    preview.last = QDateTime::currentDateTime().addSecs(-3600);
    preview.canCheck = true;
    Updater updater(preview);
    const std::function<QWidget*()> updatesView = [&updater] { return updatesForm(updater); };
    co_await session.shoot(updatesView, updatesCard, u"mac-11-updates"_s);

    const QString glyph = u"mac-menubar-glyph.tiff"_s;
    const QIcon icon = BrandArt::menuBarImage();
    if (icon.availableSizes().isEmpty())
        session.notDrawn(glyph, u"no tray icon images in the bundle's share folder"_s);
    else if (!ShotFile::writeGlyph(icon, QDir(session.folder()).filePath(glyph)))
        session.fail();
}

QCoro::Task<Waited> wait(AppModel& model, bool word, WaitBounds bounds) {
    Waited waited;
    const auto settled = [&] {
        return !model.translating() && (!model.output().isEmpty() || model.problem()) &&
               (!word || (!model.dictionaryLoading() && model.entry()));
    };
    while (waited.polls < bounds.polls) {
        co_await QCoro::sleepFor(bounds.poll);
        ++waited.polls;
        if (settled())
            break;
    }
    if (word && model.entry() &&
        !GlossBatches::texts(*model.entry(), model.pair().mine, GlossBatches::meanings).isEmpty())
        while (waited.glossPolls < bounds.glossPolls && model.glosses().isEmpty()) {
            co_await QCoro::sleepFor(bounds.poll);
            ++waited.glossPolls;
        }
    co_await QCoro::sleepFor(bounds.pause);
    co_return waited;
}

QCoro::Task<bool> save(std::function<QWidget*()> make, QSize card, QString name, bool dark,
                       QString folder) {
    // Menus and other windows take the application's palette, the view its own.
    Theme::apply(dark);
    QPointer<QWidget> view = make();
    view->setPalette(Theme::palette(dark));
    view->setAttribute(Qt::WA_DontShowOnScreen);
    view->resize(card);
    view->show();
    co_await QCoro::sleepFor(settle);
    if (!view)
        co_return false;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    const QImage image = ShotFile::draw(*view, card, dark);
    delete view;
    co_return ShotFile::writePng(image, folder, name);
}

const QList<Seed>& seeds() {
    static const QList<Seed> table{
        {u"en"_s, u"es"_s, u"See you tomorrow"_s},
        {u"en"_s, u"es"_s, u"discovery"_s},
        {u"fr"_s, u"es"_s, u"Où est la gare ?"_s, false},
        {u"pt"_s, u"es"_s, u"Boa viagem"_s},
        {u"en"_s, u"es"_s, u"to take something for granted"_s},
        {u"en"_s, u"es"_s, u"mountain"_s},
    };
    return table;
}

QStringList samples() {
    return {u"run"_s, cafe(), u"perros"_s, u"Good morning"_s};
}

} // namespace tivela::ScreenshotRenderer
