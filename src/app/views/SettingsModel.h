#pragma once

#include "app/BrowserIntegration.h"
#include "core/LanguagePair.h"
#include "core/Translator.h"
#include "platform/x11/Shortcut.h"

#include <QFuture>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tivela {

class LexiconDownloader;

// What the settings model reads and changes outside itself.
struct SettingsServices {
    // Both outlive the model.
    LexiconDownloader* downloader = nullptr;
    Translator* translator = nullptr;
    // The browsers' manifests of this copy, looked up afresh for each use.
    std::function<BrowserIntegration()> browsers;
    // The application's login item: its status (0 not registered, 1 enabled, 3 not found) and
    // the request to register or unregister it. Without them there is no login item.
    std::function<int()> loginItemStatus;
    std::function<void(bool enabled)> setLoginItem;
    // Whether the session lets the application read other programs' selection.
    std::function<bool()> trusted;
    // The global shortcut the application keeps; without it, the default one.
    std::function<Shortcut()> savedShortcut;
    // Saves a shortcut and registers it as the global hot key; one that cannot be had in any
    // lock-key state leaves the saved one as it was.
    std::function<void(const Shortcut&)> applyShortcut;
    // Releases the global hot key while a new one is recorded, so pressing it records it.
    std::function<void()> suspendShortcut;
    // Why the last registration of the hot key failed, for people; empty when it holds.
    std::function<QString()> shortcutProblem;
    // Calls `changed`, on the context's thread and while it lives, whenever the hot key's
    // registration comes out otherwise.
    std::function<void(QObject* context, std::function<void()> changed)> watchShortcut;

    // The shared downloader and translator, this copy's browser manifests and login item, the
    // selection's trust and the hot key's grab; the application delegate adds the saved
    // shortcut and how a shortcut is saved.
    static SettingsServices production();
};

// The state of the settings window that does not live in the application model: the global
// shortcut as the window shows it and whether one is being recorded, the login item, the trust to
// read the selection, the dictionary packs installed and downloading, the browsers connected to
// this copy's host, and the fast engine of the user's pair. On the main thread; every change signal
// fires only when a value changes (downloading changes on every download's start and end). The
// hot key's outcome is published as it changes, whenever the registration happens.
class SettingsModel : public QObject {
    Q_OBJECT

public:
    explicit SettingsModel(SettingsServices services, QObject* parent = nullptr);

    Shortcut shortcut() const { return m_shortcut; }
    void setShortcut(const Shortcut& shortcut);
    bool recording() const { return m_recording; }
    void setRecording(bool recording);
    // Empty while the saved shortcut is registered as the global hot key.
    QString shortcutProblem() const { return m_shortcutProblem; }
    bool launchAtLogin() const { return m_launchAtLogin; }
    bool trusted() const { return m_trusted; }
    QStringList installedPacks() const { return m_installedPacks; }
    QSet<QString> downloading() const { return m_downloading; }
    // The languages the pack server offers, once its index has been read; nothing while it is
    // not known (then every language may be asked for).
    std::optional<QSet<QString>> availablePacks() const { return m_availablePacks; }
    // Why the last "Get" of a language ended without its pack; empty when it did not fail.
    QString packProblem(const QString& code) const { return m_packProblems.value(code); }
    QStringList connectedBrowsers() const { return m_connectedBrowsers; }
    PairStatus fastStatus() const { return m_fastStatus; }

    // A recorded shortcut: saved and registered, and shown when it was taken.
    void saveShortcut(const Shortcut& shortcut);
    // Shows and registers the saved shortcut again, after a recording that chose none.
    void restoreShortcut();
    // Releases the global hot key for a recording.
    void suspendShortcut();

    // Reads the trust, the packs, the browsers and the login item again, and asks the pack
    // server which packs it offers.
    void refresh();
    // Asks for the fast engine's state of the pair; only the latest request's answer is
    // written, whatever order the answers come in.
    void refreshFast(const LanguagePair& pair);
    // Registers or unregisters the login item and shows what the system then reports.
    void setLaunchAtLogin(bool enabled);
    // Fetches a language's pack; the code stays in downloading until the fetch ends.
    void download(const QString& code);
    // Deletes an installed pack.
    void removePack(const QString& code);
    // The pack file's size in bytes.
    qint64 packSize(const QString& code) const;
    // Whether packs can be fetched at all: the bundle names a pack server.
    bool canDownload() const;
    // Writes the browsers' manifests again.
    void reconnectBrowsers();

    // The pair after the user chose "My language": choosing the second language swaps the two,
    // so a pair never holds one language twice.
    static LanguagePair withMine(const LanguagePair& pair, const QString& mine);

Q_SIGNALS:
    void shortcutChanged();
    void recordingChanged();
    void shortcutProblemChanged();
    void launchAtLoginChanged();
    void trustedChanged();
    void installedPacksChanged();
    void downloadingChanged();
    void availablePacksChanged();
    void packProblemsChanged();
    void connectedBrowsersChanged();
    void fastStatusChanged();

private:
    template <typename T>
    void assign(T& field, const T& value, void (SettingsModel::*changed)());
    bool readLaunchAtLogin() const;
    bool readTrusted() const;
    QString readShortcutProblem() const;
    void shortcutRegistered();
    QStringList readConnectedBrowsers() const;

    SettingsServices m_services;
    Shortcut m_shortcut;
    bool m_recording = false;
    QString m_shortcutProblem;
    bool m_launchAtLogin = false;
    bool m_trusted = false;
    QStringList m_installedPacks;
    QSet<QString> m_downloading;
    std::optional<QSet<QString>> m_availablePacks;
    QHash<QString, QString> m_packProblems;
    QStringList m_connectedBrowsers;
    PairStatus m_fastStatus = PairStatus::unsupported;
    quint64 m_fastRequest = 0;
};

} // namespace tivela
