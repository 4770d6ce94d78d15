#pragma once

#include "app/checks/BridgeConversation.h"
#include "app/checks/CheckReport.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <QCoro/QCoroTask>

#include <chrono>

namespace tivela {

class AppleTranslator;
class CheckWorkspace;
class Lexicon;
class LexiconDownloader;
class Speaker;

// The self-test of the whole installed system: one run of fixed checks, in groups, one after
// another on the main thread, each recording its own verdict so that the run always goes on.
namespace SelfTest {

using namespace std::chrono_literals;

// Every awaited call has a bound; a call that overruns fails its check.
inline constexpr std::chrono::milliseconds translationBound = 30s;
// A foreign download lock can hold a pack back for five minutes.
inline constexpr std::chrono::milliseconds packBound = 90s;
inline constexpr std::chrono::milliseconds voicesBound = 20s;
inline constexpr std::chrono::milliseconds glossesBound = 30s;

// Engine: languages, en→es status, script check, three timed translations.
QCoro::Task<> engineChecks(CheckReport& report, AppleTranslator& translator);
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

// The seven messages of the conversation with the bridge host, and the checks of its replies.
QList<QJsonObject> bridgeMessages();
void bridgeChecks(CheckReport& report, const BridgeConversation::Replies& replies);

} // namespace SelfTest

} // namespace tivela
