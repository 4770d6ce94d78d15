#pragma once

#include "app/checks/BridgeConversation.h"
#include "app/checks/CheckReport.h"
#include "platform/x11/Shortcut.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <QCoro/QCoroTask>

#include <chrono>
#include <optional>

namespace tivela {

class Translator;
class BrowserIntegration;
class CheckWorkspace;
class Lexicon;
class LexiconDownloader;
class Speaker;

// The self-test of the whole installed system: one run of fixed checks, in groups, one after
// another on the main thread, each recording its own verdict so that the run always goes on.
namespace SelfTest {

using namespace std::chrono_literals;

// The process's records.
CheckReport& results();
// Queues the whole run; once it has ended, the report is written to the path and the process
// ends with the report's status.
void run(const QString& reportPath);
// Every group, in order.
QCoro::Task<> runAll();

// Every awaited call has a bound; a call that overruns fails its check.
inline constexpr std::chrono::milliseconds translationBound = 30s;
// A foreign download lock can hold a pack back for five minutes.
inline constexpr std::chrono::milliseconds packBound = 90s;
inline constexpr std::chrono::milliseconds voicesBound = 20s;
inline constexpr std::chrono::milliseconds glossesBound = 30s;

// The dictionary packs the checks read, fetched before them: what is installed afterwards, and
// for each pack that is not, why, so that a check without its pack says so.
struct Packs {
    QStringList installed;
    // By language: "no pack source configured", or "pack ru: " and what went wrong.
    QHash<QString, QString> missing;
    // Why a lookup from one language into another has no packs to read: the reason of the
    // first pack it needs that is missing; empty when it has them all.
    QString problem(const QString& from, const QString& to) const;
};
// The packs of every dictionary, card and bridge check, but the language of the bridge's card in
// a new language: that pack is the host's to fetch.
QStringList neededPacks();
inline const QString bridgeNewLanguage = QStringLiteral("de");
// Fetches the packs from the bundle's pack source, all at once and within the bound; a pack
// that is on disk already counts however the fetch goes.
QCoro::Task<Packs> fetchPacks(LexiconDownloader& downloader, QStringList codes,
                              std::chrono::milliseconds bound = packBound);

// Engine: languages, en→es status, script check, three timed translations.
QCoro::Task<> engineChecks(CheckReport& report, Translator& translator);
// Detection: five sentences, and a short word with the person's pair as hints.
void detectionChecks(CheckReport& report);
// Dictionary: packs on disk and five lookups.
void dictionaryChecks(CheckReport& report, Lexicon& lexicon, const Packs& packs);
// The word card of "mountain" with its definitions translated, in the workspace's model; no
// wait for definitions of a card that cannot be there.
QCoro::Task<> cardChecks(CheckReport& report, CheckWorkspace& workspace, const Packs& packs);
// History, phrasebook and the card schedule on a fresh database at path.
void storeChecks(CheckReport& report, const QString& databasePath);
// Voices for three languages, the spoken language of a mislabelled text, and the list.
QCoro::Task<> speechChecks(CheckReport& report, Speaker& speaker);

// The host's manifest in every installed browser (nothing written in a development build,
// which must not take the browsers from the installed copy), and the host program itself.
void browserChecks(CheckReport& report, const BrowserIntegration& browsers, bool devBuild);
// The seven messages of the conversation with the bridge host, and the checks of its replies.
QList<QJsonObject> bridgeMessages();
void bridgeChecks(CheckReport& report, const BridgeConversation::Replies& replies,
                  const Packs& packs);

// The shortcut and the Services, each passed without a test in a development build, which
// must not take over what the installed copy owns. The shortcut passes when it can be grabbed,
// or when the running copy on busName (the bundle's identifier) is the one holding it. The
// Services are those the running copy serves on the bus, or, with no copy running, those this
// program would serve.
QCoro::Task<> shortcutChecks(CheckReport& report, bool devBuild, QString busName);
QCoro::Task<> servicesChecks(CheckReport& report, QString busName, bool devBuild);
// The shortcut the running copy on busName says it holds; nothing when none answers.
QCoro::Task<std::optional<Shortcut>> heldShortcut(QString busName);
// The desktop entry that opens tivela: URLs.
QCoro::Task<> urlSchemeChecks(CheckReport& report, bool devBuild);
// Whether the selection can be read, and the login item's state.
void permissionChecks(CheckReport& report);

} // namespace SelfTest

} // namespace tivela
