#pragma once

#include "core/AppleTranslator.h"
#include "core/LanguagePair.h"
#include "core/Store.h"

#include <QFutureWatcher>
#include <QJsonObject>
#include <QJsonValue>
#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
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

// The browser extension's native-messaging host: reads framed requests on one descriptor,
// answers each on another. Requests run concurrently on a bounded pool of the host's own, so
// a slow translation never holds up the ones behind it, and a lookup waiting for its packs
// holds no thread at all; speech runs on the main thread in the order the requests came.
class BridgeHost : public QObject {
public:
    // Replies larger than this are dropped by the browser together with the connection.
    static constexpr qsizetype maxReplyBytes = 1024 * 1024;
    // Linux refuses a single program argument of this many bytes.
    static constexpr qsizetype maxArgumentBytes = 128 * 1024;
    // Requests read but not yet answered; beyond this, a request is refused at once, so that a
    // flood cannot grow without limit while the reader still sees the end of input.
    static constexpr int maxUnanswered = 1024;

    BridgeHost(int in, int out, QString version, Store& store, AppleTranslator& translator);
    ~BridgeHost() override;

    // Starts the reader thread. At the end of input the process ends with status 0.
    void start();

    // One request read and counted, answered with exactly one reply, now or later.
    void handle(const QJsonObject& request);

    // An item as the extension sends it; nothing when text, translation, from or to is missing.
    static std::optional<Item> item(const QJsonObject& object, const QString& origin);
    // The application's URL for "open" and "download".
    static QString translateURL(const std::optional<QString>& text);
    static QString downloadURL(const QString& from, const QString& to);
    // The failed reply of a translation error.
    static QJsonObject errorBody(const TranslateError& error);

private:
    void read();
    void reply(const QJsonValue& id, QJsonObject body);
    // Replies to a request that was counted, and stops counting it.
    void complete(const QJsonValue& id, QJsonObject body);
    // Speech requests go to the main thread, in the order they came; the rest to the pool.
    void route(const QJsonObject& request);
    void queueSpeech(const QJsonObject& request);
    void speakQueued();
    QJsonObject speech(const QString& type, const BridgeFields& fields);
    [[noreturn]] void finish();

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
    void lookup(const QJsonValue& id, const BridgeFields& fields);
    QJsonObject prefetch(const BridgeFields& fields);
    QJsonObject phrases();
    QJsonObject addPhrase(const BridgeFields& fields);
    QJsonObject deletePhrase(const BridgeFields& fields);
    QJsonObject answer(const BridgeFields& fields);
    QJsonObject addHistory(const BridgeFields& fields);
    QJsonObject open(const BridgeFields& fields);
    QJsonObject download(const BridgeFields& fields);
    static QJsonObject openApp(const QString& url);

    const int m_in;
    const int m_out;
    const QString m_version;
    Store& m_store;
    AppleTranslator& m_translator;
    QMutex m_outLock;
    QThreadPool m_pool;
    std::atomic<int> m_unanswered = 0;
    QThread* m_reader = nullptr;
    // Speech waits for the first voice list, so that a request in the first seconds does not
    // find no voice; the timer bounds that wait.
    QList<QJsonObject> m_speechQueue;
    bool m_speechReady = false;
    std::unique_ptr<QFutureWatcher<void>> m_voicesWatcher;
    QTimer m_voicesDeadline;
};

} // namespace tivela
