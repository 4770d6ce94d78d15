#pragma once

#include "bridge/BridgeScheduler.h"
#include "bridge/BridgeServices.h"
#include "core/JsonFields.h"
#include "core/LanguagePair.h"
#include "core/Store.h"
#include "core/Translator.h"

#include <QJsonObject>
#include <QStringList>

#include <functional>
#include <optional>

namespace tivela {

// What the bridge host does for the browser extension's requests. Requests run concurrently
// in the lanes of their kind (BridgeScheduler), so a slow translation never holds up the
// quick requests behind it; speech runs on this object's thread in the order it came.
class BridgeRequests {
public:
    // Answers one request: called exactly once, from any thread.
    using Reply = std::function<void(QJsonObject body)>;

    // Destroyed, it waits for the requests running in the lanes; every request must have been
    // answered.
    explicit BridgeRequests(BridgeServices services);

    // Answers the request with exactly one reply, now or later. Any thread may call it.
    void handle(const QJsonObject& request, Reply reply);

    // An item as the extension sends it; nothing when text, translation, from or to is missing.
    static std::optional<Item> item(const QJsonObject& object, const QString& origin);
    // The failed reply of a translation error.
    static QJsonObject errorBody(const TranslateError& error);

private:
    void respond(const QJsonObject& request, const Reply& reply);
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
    // Last, so that it is destroyed first: its requests finish before the state they use goes.
    BridgeScheduler m_scheduler;
};

} // namespace tivela
