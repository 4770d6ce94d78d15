#include "app/views/ViewServices.h"

#include "app/Speech.h"
#include "core/Speaker.h"
#include "platform/Defaults.h"
#include "platform/desktop/Opener.h"
#include "platform/desktop/PackageInstaller.h"
#include "platform/engine/ApertiumCatalogue.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeySequence>

namespace tivela {

ViewServices ViewServices::production() {
    ViewServices services;
    services.speaker = &Defaults::speaker();
    services.hints = [] { return Speech::hints(); };
    services.copy = [](const QString& text) {
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(text);
    };
    services.enginePackage = [](const QString& from, const QString& to) {
        return ApertiumCatalogue::package(from, to);
    };
    services.pairStatus = [](const QString& from, const QString& to) {
        return Defaults::translator().status(from, to, false);
    };
    services.installer = std::make_shared<PackageInstaller>();
    services.opener = &Opener::shared();
    services.shortcutText = [] {
        return QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_T).toString(QKeySequence::NativeText);
    };
    return services;
}

} // namespace tivela
