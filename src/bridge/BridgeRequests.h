#pragma once

#include "bridge/BridgeServices.h"
#include "core/AppleTranslator.h"
#include "core/LanguagePair.h"
#include "core/Store.h"

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

// Reads request fields with a type test: a value of the wrong JSON type counts as absent, so
// the caller's default applies.
class BridgeFields {
public:
    explicit BridgeFields(const QJsonObject& object)
        : m_object(object) {}

    std::optional<QString> string(const QString& key) const;
    // A JSON boolean, or the numbers 0 and 1.
    std::optional<bool> boolean(const QString& key) const;
    // A JSON number with an exact integer value.
    std::optional<qint64> integer(const QString& key) const;
    std::optional<double> number(const QString& key) const;
    // An array whose elements are all strings.
    std::optional<QStringList> strings(const QString& key) const;
    std::optional<QJsonObject> object(const QString& key) const;

private:
    const QJsonObject& m_object;
};

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
    // The application's URL for "open" and "download".
    static QString translateURL(const std::optional<QString>& text);
    static QString downloadURL(const QString& from, const QString& to);
    // The failed reply of a translation error.
    static QJsonObject errorBody(const TranslateError& error);

private:
    // Every request but speech, on the pool.
    void respond(const QJsonObject& request, const Reply& reply);
    void queueSpeech(const QJsonObject& request, Reply reply);
    void speakQueued();
    QJsonObject speech(const QString& type, const BridgeFields& fields);

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

    QJsonObject hello();
    QJsonObject status(const BridgeFields& fields);
    QJsonObject detect(const BridgeFields& fields);
    QJsonObject translate(const BridgeFields& fields);
    QJsonObject translateBatch(const BridgeFields& fields);
    // Answers by itself: at once, or once the packs it waits for have landed.
    void lookup(const BridgeFields& fields, const Reply& reply);
    QJsonObject prefetch(const BridgeFields& fields);
    QJsonObject phrases();
    QJsonObject addPhrase(const BridgeFields& fields);
    QJsonObject deletePhrase(const BridgeFields& fields);
    QJsonObject answer(const BridgeFields& fields);
    QJsonObject addHistory(const BridgeFields& fields);
    QJsonObject open(const BridgeFields& fields);
    QJsonObject download(const BridgeFields& fields);
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
