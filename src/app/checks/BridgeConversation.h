#pragma once

#include <QFuture>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <chrono>

namespace tivela {

// One native-messaging conversation with a bridge host, held the way a browser holds it: the
// host started with the extension's origin, every message written at once, the replies
// gathered by their integer "id" as they come (a later reply replaces an earlier one with the
// same id). Runs on the main thread without blocking it.
namespace BridgeConversation {

using Replies = QHash<int, QJsonObject>;

inline constexpr std::chrono::milliseconds replyDeadline = std::chrono::seconds(150);
// How long the host gets to leave by itself once its input is closed, then after SIGTERM.
inline constexpr std::chrono::milliseconds closeGrace = std::chrono::seconds(2);
inline constexpr std::chrono::milliseconds terminateGrace = std::chrono::seconds(1);

// The replies received until every message was answered, the host ended or wrote a frame the
// reader refuses, or the deadline passed. The future finishes only once the host is reaped;
// a host that cannot be started gives no replies.
QFuture<Replies> talk(const QString& program, const QString& origin,
                      const QList<QJsonObject>& messages,
                      std::chrono::milliseconds deadline = replyDeadline);

} // namespace BridgeConversation

} // namespace tivela
