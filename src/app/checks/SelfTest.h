#pragma once

#include "app/checks/BridgeConversation.h"
#include "app/checks/CheckReport.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <QCoro/QCoroTask>

#include <chrono>

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

// Engine: languages, en→es status, script check, three timed translations.
QCoro::Task<> engineChecks(CheckReport& report, Translator& translator);
// Detection: five sentences, and a short word with the person's pair as hints.
void detectionChecks(CheckReport& report);
// Dictionary: packs on disk (fetched first in a development build) and five lookups.
QCoro::Task<> dictionaryChecks(CheckReport& report, Lexicon& lexicon, LexiconDownloader& downloader,
                               bool devBuild);
// The word card of "mountain" with its definitions translated, in the workspace's model.
QCoro::Task<> cardChecks(CheckReport& report, CheckWorkspace& workspace);
// History, phrasebook and the card schedule on a fresh database at path.
void storeChecks(CheckReport& report, const QString& databasePath);
// Voices for three languages, the spoken language of a mislabelled text, and the list.
QCoro::Task<> speechChecks(CheckReport& report, Speaker& speaker);

// The host's manifest in every installed browser (nothing written in a development build,
// which must not take the browsers from the installed copy), and the host program itself.
void browserChecks(CheckReport& report, const BrowserIntegration& browsers, bool devBuild);
// The seven messages of the conversation with the bridge host, and the checks of its replies.
QList<QJsonObject> bridgeMessages();
void bridgeChecks(CheckReport& report, const BridgeConversation::Replies& replies);

// The shortcut and the Services declaration, each passed without a test in a development
// build, which must not take over what the installed copy owns.
void shortcutChecks(CheckReport& report, bool devBuild);
void servicesChecks(CheckReport& report, const QJsonObject& bundleInfo, bool devBuild);
// The desktop entry that opens tivela: URLs.
QCoro::Task<> urlSchemeChecks(CheckReport& report, bool devBuild);
// Whether the selection can be read, and the login item's state.
void permissionChecks(CheckReport& report);

} // namespace SelfTest

} // namespace tivela
