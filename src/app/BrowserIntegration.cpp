#include "app/BrowserIntegration.h"

#include "app/Wording.h"
#include "core/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

// A manifest is a few hundred bytes; anything much larger is not one of ours.
constexpr qint64 maxManifestBytes = 64 * 1024;

// A JSON string as the browsers' own tools write it: every "/" escaped, control characters as
// escapes, everything else as UTF-8.
void appendString(QByteArray& out, const QString& text) {
    QString escaped;
    escaped.reserve(text.size() + 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'"':
            escaped += u"\\\""_s;
            break;
        case u'\\':
            escaped += u"\\\\"_s;
            break;
        case u'/':
            escaped += u"\\/"_s;
            break;
        case u'\b':
            escaped += u"\\b"_s;
            break;
        case u'\f':
            escaped += u"\\f"_s;
            break;
        case u'\n':
            escaped += u"\\n"_s;
            break;
        case u'\r':
            escaped += u"\\r"_s;
            break;
        case u'\t':
            escaped += u"\\t"_s;
            break;
        default:
            if (c.unicode() < 0x20)
                escaped += u"\\u00"_s + QString::number(c.unicode(), 16).rightJustified(2, u'0');
            else
                escaped += c;
        }
    }
    out += '"' + escaped.toUtf8() + '"';
}

// Reads at most limit bytes; nothing when the file cannot be read.
std::optional<QByteArray> readAtMost(const QString& path, qint64 limit) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.read(limit);
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

} // namespace

const QList<BrowserIntegration::Browser>& BrowserIntegration::browsers() {
    static const QList<Browser> table{
        {u"Google Chrome"_s, u"google-chrome"_s},
        {u"Brave"_s, u"BraveSoftware/Brave-Browser"_s},
        {u"Microsoft Edge"_s, u"microsoft-edge"_s},
        {u"Vivaldi"_s, u"vivaldi"_s},
        {u"Chromium"_s, u"chromium"_s},
        {u"Opera"_s, u"opera"_s},
        {u"Google Chrome Beta"_s, u"google-chrome-beta"_s},
        {u"Google Chrome Canary"_s, u"google-chrome-canary"_s},
        {u"Brave Beta"_s, u"BraveSoftware/Brave-Browser-Beta"_s},
    };
    return table;
}

QString BrowserIntegration::extensionOrigin() {
    return u"chrome-extension://hmcjfkbaldpoegnihmcjfkbaldpoegni/"_s;
}

// The keys stand sorted, each on a line of its own, as the browsers' own tools write them.
QByteArray BrowserIntegration::manifest(const QString& bridgePath) {
    QByteArray out = "{\n  \"allowed_origins\" : [\n    ";
    appendString(out, extensionOrigin());
    out += "\n  ],\n  \"description\" : ";
    appendString(out, Wording::manifestDescription());
    out += ",\n  \"name\" : ";
    appendString(out, Paths::bridgeName());
    out += ",\n  \"path\" : ";
    appendString(out, bridgePath);
    out += ",\n  \"type\" : ";
    appendString(out, u"stdio"_s);
    out += "\n}";
    return out;
}

BrowserIntegration::BrowserIntegration(const QString& configHome,
                                       const std::optional<QString>& bundleRoot)
    : m_configHome(configHome)
    , m_bundleRoot(bundleRoot) {
}

BrowserIntegration BrowserIntegration::production() {
    const auto& bundle = Paths::appBundle();
    return BrowserIntegration(
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation),
        bundle ? std::optional(bundle->root) : std::nullopt);
}

std::optional<QString> BrowserIntegration::bridgePath() const {
    if (!m_bundleRoot)
        return std::nullopt;
    return *m_bundleRoot + u"/libexec/tivela-bridge"_s;
}

QString BrowserIntegration::manifestPath(const Browser& browser) const {
    return m_configHome + u'/' + browser.folder + u"/NativeMessagingHosts/"_s +
           Paths::bridgeName() + u".json"_s;
}

QList<BrowserIntegration::Browser> BrowserIntegration::installedBrowsers() const {
    QList<Browser> installed;
    if (m_configHome.isEmpty())
        return installed;
    for (const Browser& browser : browsers()) {
        if (QFileInfo::exists(m_configHome + u'/' + browser.folder))
            installed << browser;
    }
    return installed;
}

QStringList BrowserIntegration::install() const {
    const auto host = bridgePath();
    if (!host)
        return {};
    const QFileInfo program(*host);
    if (!program.isFile() || !program.isExecutable())
        return {};
    const QByteArray bytes = manifest(*host);
    QStringList served;
    for (const Browser& browser : installedBrowsers()) {
        if (Paths::isDevBuild()) {
            const auto other = manifestHost(browser);
            if (other && *other != *host && Paths::isInstalledProgram(*other))
                continue;
        }
        const QString path = manifestPath(browser);
        QDir().mkpath(QFileInfo(path).path());
        // One byte more than the manifest tells a longer file apart.
        if (readAtMost(path, bytes.size() + 1) == bytes) {
            served << browser.name;
            continue;
        }
        QSaveFile file(path);
        if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
            served << browser.name;
    }
    return served;
}

std::optional<QString> BrowserIntegration::manifestHost(const Browser& browser) const {
    const auto bytes = readAtMost(manifestPath(browser), maxManifestBytes + 1);
    if (!bytes || bytes->size() > maxManifestBytes)
        return std::nullopt;
    const QJsonValue path = QJsonDocument::fromJson(*bytes).object().value(u"path"_s);
    return path.isString() ? std::optional(path.toString()) : std::nullopt;
}

bool BrowserIntegration::isConnected(const Browser& browser) const {
    const auto host = bridgePath();
    return host && manifestHost(browser) == *host;
}

QStringList BrowserIntegration::connectedBrowsers() const {
    QStringList names;
    for (const Browser& browser : installedBrowsers()) {
        if (isConnected(browser))
            names << browser.name;
    }
    return names;
}

} // namespace tivela
