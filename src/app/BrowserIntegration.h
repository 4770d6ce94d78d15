#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tivela {

// The link between the browser extension and the bridge host: the host manifest that
// Chromium-family browsers read from their configuration folders, written into every installed
// browser, and whether a browser's manifest names this copy's host.
class BrowserIntegration {
public:
    struct Browser {
        // Shown to people.
        QString name;
        // Under the configuration folder; may hold a slash.
        QString folder;

        friend bool operator==(const Browser&, const Browser&) = default;
    };

    // The supported browsers, in the order of every list made from them.
    static const QList<Browser>& browsers();
    static QString extensionOrigin();
    // The manifest for a host program, byte for byte.
    static QByteArray manifest(const QString& bridgePath);

    // configHome: the folder that holds the browsers' folders. bundleRoot: the install folder
    // whose host the manifests name; without one nothing is written or connected.
    BrowserIntegration(const QString& configHome, const std::optional<QString>& bundleRoot);
    // The user's configuration folder and the running program's bundle, looked up now.
    static BrowserIntegration production();

    // The host program in the bundle, executable or not.
    std::optional<QString> bridgePath() const;
    QString manifestPath(const Browser& browser) const;
    // The browsers whose folder exists, in table order.
    QList<Browser> installedBrowsers() const;
    // Writes the manifest into every installed browser where it differs, and returns the
    // names of the browsers whose manifest is in place. Nothing without an executable host.
    // A development build leaves a browser whose manifest names an installed copy's host.
    QStringList install() const;
    // Whether the browser's manifest names this copy's host, exactly.
    bool isConnected(const Browser& browser) const;
    // The names of the installed browsers that are connected, in table order.
    QStringList connectedBrowsers() const;

private:
    // The host the browser's manifest names; nothing when it cannot be read.
    std::optional<QString> manifestHost(const Browser& browser) const;

    QString m_configHome;
    std::optional<QString> m_bundleRoot;
};

} // namespace tivela
