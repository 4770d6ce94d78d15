#pragma once

#include "bridge/BridgeServices.h"
#include "core/JsonFields.h"
#include "core/LanguagePair.h"
#include "core/Store.h"
#include "core/Translator.h"

#include <QFutureWatcher>
#include <QJsonObject>
#include <QObject>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace tivela {

// What the bridge host does for the browser extension's requests. Requests run concurrently
// on a bounded pool of their own, so a slow translation never holds up the ones behind it, and
// a lookup waiting for its packs holds no thread at all; speech runs on this object's thread
// in the order the requests came.
class BridgeRequests : public QObject {
public:
    // Answers one request: called exactly once, from any thread.
    using Reply = std::function<void(QJsonObject body)>;

    // Linux refuses a single program argument of this many bytes.
    static constexpr qsizetype maxArgumentBytes = 128 * 1024;

    explicit BridgeRequests(BridgeServices services);
    // Waits for the requests running on the pool; every request must have been answered.
    ~BridgeRequests() override;

    // Answers the request with exactly one reply, now or later. Any thread may call it.
    void handle(const QJsonObject& request, Reply reply);

    // An item as the extension sends it; nothing when text, translation, from or to is missing.
    static std::optional<Item> item(const QJsonObject& object, const QString& origin);
    // The application's URL for "open" and "download"; `cut`: the text is the beginning of a
    // longer one.
    static QString translateURL(const std::optional<QString>& text, bool cut = false);
    static QString downloadURL(const QString& from, const QString& to);
    // The failed reply of a translation error.
    static QJsonObject errorBody(const TranslateError& error);

private:
    // Every request but speech, on the pool.
    void respond(const QJsonObject& request, const Reply& reply);
    void queueSpeech(const QJsonObject& request, Reply reply);
    void speakQueued();
    QJsonObject speech(const QString& type, const JsonFields& fields);

    // The saved pair, or the default one for the user's language among the supported ones.
    LanguagePair pair();
    QSet<QString> supported();
    struct Resolved {
        QString from;
        QString to;
        bool detected = false;
    };
    Resolved resolvePair(const QString& text, const std::optional<QString>& from,
                         const std::optional<QString>& to);

    // Whether the engine's answer only repeats a text it could not read.
    bool untranslated(const QString& text, const QString& answer, const QString& from);

    QJsonObject hello();
    QJsonObject status(const JsonFields& fields);
    QJsonObject detect(const JsonFields& fields);
    QJsonObject translate(const JsonFields& fields);
    QJsonObject translateBatch(const JsonFields& fields);
    // Answers by itself: at once, or once the packs it waits for have landed.
    void lookup(const JsonFields& fields, const Reply& reply);
    QJsonObject prefetch(const JsonFields& fields);
    QJsonObject phrases();
    // Stores the phrase only when the reply that carries it back fits the reply cap with the
    // request's id.
    QJsonObject addPhrase(const JsonFields& fields, const QJsonValue& id);
    QJsonObject deletePhrase(const JsonFields& fields);
    QJsonObject answer(const JsonFields& fields);
    QJsonObject addHistory(const JsonFields& fields);
    QJsonObject open(const JsonFields& fields);
    QJsonObject download(const JsonFields& fields);
    QJsonObject openApp(const QString& url);

    const BridgeServices m_services;
    // Speech waits for the first voice list, so that a request in the first seconds does not
    // find no voice; the timer bounds that wait.
    QList<std::pair<QJsonObject, Reply>> m_speechQueue;
    bool m_speechReady = false;
    std::unique_ptr<QFutureWatcher<void>> m_voicesWatcher;
    QTimer m_voicesDeadline;
    // Last, so that it is destroyed first: its requests finish before the state they use goes.
    QThreadPool m_pool;
};

} // namespace tivela
