#pragma once

#include "core/Translator.h"

#include <QAction>
#include <QFuture>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace tivela {

class Opener;
class PackageInstaller;
class Speaker;

// What the views use of the system besides the model, like the model's own services: speech,
// the clipboard, the package installer, and what the application shell hands the popover.
// One value for the life of the views; the shell fills in its parts before it builds them.
struct ViewServices {
    // Outlives the views.
    Speaker* speaker = nullptr;
    // The languages a voice is best chosen among, besides the text's own.
    std::function<QStringList()> hints;
    // Puts plain text on the clipboard.
    std::function<void(const QString& text)> copy;
    // The package that brings the engine's languages for a pair; empty when none does.
    std::function<QString(const QString& from, const QString& to)> enginePackage;
    // Whether the engine has a pair's languages now. None: the install prompt does not ask.
    std::function<QFuture<PairStatus>(const QString& from, const QString& to)> pairStatus;
    std::shared_ptr<PackageInstaller> installer;
    // The desktop's URL handlers; outlives the views. None: the views open no URLs.
    Opener* opener = nullptr;
    // The global shortcut as the user reads it ("Ctrl+Alt+T"), why it does not work and where
    // to choose another (empty while it works), and a call of `changed` on the context's
    // thread whenever either changes.
    std::function<QString()> shortcutText;
    std::function<QString()> shortcutProblem;
    std::function<void(QObject* context, std::function<void()> changed)> watchShortcut;

    // The shell's actions. The popover puts Settings and Quit (and Check for Updates, when
    // there is one) in its More menu; without the shell's, it makes its own Settings and Quit,
    // with their keys and nothing behind them. Help explains reading the selection.
    QPointer<QAction> openSettings;
    QPointer<QAction> quit;
    QPointer<QAction> checkForUpdates;
    QPointer<QAction> selectionHelp;

    // The system's speaker, clipboard, engine packages, installer on the session bus and URL
    // handlers; the default shortcut's text.
    static ViewServices production();
};

} // namespace tivela
