#include "app/views/SettingsModel.h"

#include "app/GlobalShortcut.h"
#include "app/Wording.h"
#include "core/Futures.h"
#include "core/LexiconDownloader.h"
#include "platform/Defaults.h"
#include "platform/desktop/LoginItem.h"
#include "platform/x11/SelectionReader.h"

namespace tivela {
namespace {

QString failureText(LexiconDownloader::Failure failure) {
    switch (failure) {
    case LexiconDownloader::Failure::TooLarge:
        return Wording::packTooLarge();
    case LexiconDownloader::Failure::Damaged:
        return Wording::packDamaged();
    case LexiconDownloader::Failure::NotAsListed:
        return Wording::packNotAsListed();
    case LexiconDownloader::Failure::TooSlow:
        return Wording::packTooSlow();
    case LexiconDownloader::Failure::None:
    case LexiconDownloader::Failure::Transfer:
        break;
    }
    return Wording::packDownloadFailed();
}

} // namespace

SettingsServices SettingsServices::production() {
    SettingsServices services;
    services.downloader = &LexiconDownloader::shared();
    services.translator = &Defaults::translator();
    services.browsers = &BrowserIntegration::production;
    services.loginItemStatus = [] { return int(LoginItem::mainApp().status()); };
    services.setLoginItem = [](bool enabled) {
        LoginItem item = LoginItem::mainApp();
        if (enabled)
            item.registerItem();
        else
            item.unregister();
    };
    services.trusted = &SelectionReader::isAvailable;
    services.suspendShortcut = [] { GlobalShortcut::shared().suspend(); };
    services.shortcutProblem = [] { return GlobalShortcut::shared().settingsProblem(); };
    services.watchShortcut = &GlobalShortcut::watch;
    return services;
}

SettingsModel::SettingsModel(SettingsServices services, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services)) {
    m_shortcut =
        m_services.savedShortcut ? m_services.savedShortcut() : Shortcut::defaultShortcut();
    m_launchAtLogin = readLaunchAtLogin();
    m_trusted = readTrusted();
    m_shortcutProblem = readShortcutProblem();
    m_installedPacks = m_services.downloader->installed();
    m_connectedBrowsers = readConnectedBrowsers();
    // The hot key is registered after the model is made, and may be lost or won back later.
    if (m_services.watchShortcut)
        m_services.watchShortcut(this, [this] { shortcutRegistered(); });
}

void SettingsModel::shortcutRegistered() {
    if (!m_recording && m_services.savedShortcut)
        setShortcut(m_services.savedShortcut());
    assign(m_shortcutProblem, readShortcutProblem(), &SettingsModel::shortcutProblemChanged);
}

template <typename T>
void SettingsModel::assign(T& field, const T& value, void (SettingsModel::*changed)()) {
    if (field == value)
        return;
    field = value;
    Q_EMIT(this->*changed)();
}

void SettingsModel::setShortcut(const Shortcut& shortcut) {
    assign(m_shortcut, shortcut, &SettingsModel::shortcutChanged);
}

void SettingsModel::setRecording(bool recording) {
    assign(m_recording, recording, &SettingsModel::recordingChanged);
}

void SettingsModel::saveShortcut(const Shortcut& shortcut) {
    if (m_services.applyShortcut)
        m_services.applyShortcut(shortcut);
    // One the server refused in every lock-key state was not taken: the saved one shows.
    setShortcut(m_services.savedShortcut ? m_services.savedShortcut() : shortcut);
    assign(m_shortcutProblem, readShortcutProblem(), &SettingsModel::shortcutProblemChanged);
}

void SettingsModel::restoreShortcut() {
    saveShortcut(m_services.savedShortcut ? m_services.savedShortcut()
                                          : Shortcut::defaultShortcut());
}

void SettingsModel::suspendShortcut() {
    if (m_services.suspendShortcut)
        m_services.suspendShortcut();
}

void SettingsModel::refresh() {
    assign(m_trusted, readTrusted(), &SettingsModel::trustedChanged);
    assign(m_installedPacks, m_services.downloader->installed(),
           &SettingsModel::installedPacksChanged);
    assign(m_connectedBrowsers, readConnectedBrowsers(), &SettingsModel::connectedBrowsersChanged);
    assign(m_launchAtLogin, readLaunchAtLogin(), &SettingsModel::launchAtLoginChanged);
    if (!canDownload())
        return;
    whenFinished(this, m_services.downloader->catalogue(),
                 [this](const QFuture<LexiconDownloader::Catalogue>& future) {
                     // An index that cannot be read now leaves the last one read standing.
                     if (future.resultCount() == 0 || !future.result().read)
                         return;
                     const QStringList offered = future.result().languages;
                     const std::optional<QSet<QString>> available =
                         QSet<QString>(offered.begin(), offered.end());
                     assign(m_availablePacks, available, &SettingsModel::availablePacksChanged);
                 });
}

void SettingsModel::refreshFast(const LanguagePair& pair) {
    const quint64 request = ++m_fastRequest;
    whenFinished(this, m_services.translator->status(pair.mine, pair.second, true),
                 [this, request](const QFuture<PairStatus>& future) {
                     if (request == m_fastRequest && future.resultCount() > 0)
                         assign(m_fastStatus, future.result(), &SettingsModel::fastStatusChanged);
                 });
}

void SettingsModel::setLaunchAtLogin(bool enabled) {
    if (m_services.setLoginItem)
        m_services.setLoginItem(enabled);
    assign(m_launchAtLogin, readLaunchAtLogin(), &SettingsModel::launchAtLoginChanged);
}

void SettingsModel::download(const QString& code) {
    m_downloading.insert(code);
    if (m_packProblems.remove(code) > 0)
        Q_EMIT packProblemsChanged();
    Q_EMIT downloadingChanged();
    whenFinished(this, m_services.downloader->ensure(code), [this, code](const QFuture<bool>& got) {
        if (got.resultCount() > 0 && got.result()) {
            m_downloading.remove(code);
            Q_EMIT downloadingChanged();
            refresh();
            return;
        }
        // Why it failed: the server's index tells whether it has the pack at all.
        whenFinished(this, m_services.downloader->catalogue(),
                     [this, code](const QFuture<LexiconDownloader::Catalogue>& index) {
                         const bool known = index.resultCount() > 0 && index.result().read;
                         QString problem = failureText(m_services.downloader->failure(code));
                         if (known) {
                             const QStringList offered = index.result().languages;
                             if (!offered.contains(code))
                                 problem = Wording::packNotAvailable();
                             assign(m_availablePacks,
                                    std::optional(QSet<QString>(offered.begin(), offered.end())),
                                    &SettingsModel::availablePacksChanged);
                         }
                         m_packProblems.insert(code, problem);
                         Q_EMIT packProblemsChanged();
                         m_downloading.remove(code);
                         Q_EMIT downloadingChanged();
                         refresh();
                     });
    });
}

void SettingsModel::removePack(const QString& code) {
    m_services.downloader->remove(code);
    refresh();
}

qint64 SettingsModel::packSize(const QString& code) const {
    return m_services.downloader->size(code);
}

bool SettingsModel::canDownload() const {
    return m_services.downloader->baseURL().has_value();
}

void SettingsModel::reconnectBrowsers() {
    m_services.browsers().install();
    refresh();
}

LanguagePair SettingsModel::withMine(const LanguagePair& pair, const QString& mine) {
    if (mine == pair.second)
        return {mine, pair.mine};
    return {mine, pair.second};
}

bool SettingsModel::readLaunchAtLogin() const {
    return m_services.loginItemStatus && m_services.loginItemStatus() == 1;
}

QString SettingsModel::readShortcutProblem() const {
    return m_services.shortcutProblem ? m_services.shortcutProblem() : QString();
}

bool SettingsModel::readTrusted() const {
    return m_services.trusted && m_services.trusted();
}

QStringList SettingsModel::readConnectedBrowsers() const {
    return m_services.browsers().connectedBrowsers();
}

} // namespace tivela
