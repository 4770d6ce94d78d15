#pragma once

#include <QLatin1StringView>
#include <QtGlobal>

namespace tivela {

// The words of the conversation between the browser extension and the bridge host: what a
// request asks for, the keys of requests and replies, and the error codes a failed reply
// carries. Every frame is a JSON object with an "id" the reply echoes.
namespace BridgeWire {

// Replies larger than this are dropped by the browser together with the connection.
inline constexpr qsizetype maxReplyBytes = 1024 * 1024;

namespace Request {
inline constexpr QLatin1StringView hello{"hello"};
inline constexpr QLatin1StringView status{"status"};
inline constexpr QLatin1StringView detect{"detect"};
inline constexpr QLatin1StringView translate{"translate"};
inline constexpr QLatin1StringView translateBatch{"translateBatch"};
inline constexpr QLatin1StringView lookup{"lookup"};
inline constexpr QLatin1StringView prefetch{"prefetch"};
inline constexpr QLatin1StringView phrases{"phrases"};
inline constexpr QLatin1StringView addPhrase{"addPhrase"};
inline constexpr QLatin1StringView deletePhrase{"deletePhrase"};
inline constexpr QLatin1StringView answer{"answer"};
inline constexpr QLatin1StringView addHistory{"addHistory"};
inline constexpr QLatin1StringView open{"open"};
inline constexpr QLatin1StringView download{"download"};
inline constexpr QLatin1StringView voices{"voices"};
inline constexpr QLatin1StringView speak{"speak"};
inline constexpr QLatin1StringView stopSpeaking{"stopSpeaking"};
} // namespace Request

namespace Key {
inline constexpr QLatin1StringView id{"id"};
inline constexpr QLatin1StringView type{"type"};
inline constexpr QLatin1StringView ok{"ok"};
inline constexpr QLatin1StringView error{"error"};
inline constexpr QLatin1StringView message{"message"};
inline constexpr QLatin1StringView text{"text"};
inline constexpr QLatin1StringView texts{"texts"};
inline constexpr QLatin1StringView from{"from"};
inline constexpr QLatin1StringView to{"to"};
inline constexpr QLatin1StringView fast{"fast"};
inline constexpr QLatin1StringView lang{"lang"};
inline constexpr QLatin1StringView langs{"langs"};
inline constexpr QLatin1StringView confidence{"confidence"};
inline constexpr QLatin1StringView detected{"detected"};
inline constexpr QLatin1StringView same{"same"};
// The text was longer than the host takes (IncomingText) and only its beginning was used.
inline constexpr QLatin1StringView cut{"cut"};
inline constexpr QLatin1StringView status{"status"};
inline constexpr QLatin1StringView word{"word"};
inline constexpr QLatin1StringView wait{"wait"};
inline constexpr QLatin1StringView entry{"entry"};
inline constexpr QLatin1StringView pending{"pending"};
inline constexpr QLatin1StringView installed{"installed"};
inline constexpr QLatin1StringView item{"item"};
inline constexpr QLatin1StringView items{"items"};
inline constexpr QLatin1StringView itemId{"itemId"};
inline constexpr QLatin1StringView knew{"knew"};
inline constexpr QLatin1StringView app{"app"};
inline constexpr QLatin1StringView version{"version"};
inline constexpr QLatin1StringView languages{"languages"};
inline constexpr QLatin1StringView lexicon{"lexicon"};
inline constexpr QLatin1StringView pair{"pair"};
inline constexpr QLatin1StringView shortcut{"shortcut"};
} // namespace Key

// The "error" of a failed reply. A "failed" reply also says why in its "message".
namespace Error {
inline constexpr QLatin1StringView failed{"failed"};
inline constexpr QLatin1StringView unknownType{"unknown-type"};
inline constexpr QLatin1StringView notInstalled{"not-installed"};
inline constexpr QLatin1StringView unsupported{"unsupported"};
inline constexpr QLatin1StringView empty{"empty"};
inline constexpr QLatin1StringView noVoice{"no-voice"};
inline constexpr QLatin1StringView badItem{"bad-item"};
} // namespace Error

} // namespace BridgeWire

} // namespace tivela
