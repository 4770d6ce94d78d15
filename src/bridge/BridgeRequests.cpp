#include "bridge/BridgeRequests.h"

#include "bridge/HandOverUrl.h"
#include "core/BridgeMessage.h"
#include "core/BridgeWire.h"
#include "core/IncomingText.h"
#include "core/JsonFields.h"
#include "core/Languages.h"
#include "core/Lexicon.h"
#include "core/LexiconDownloader.h"
#include "core/Speaker.h"
#include "platform/recognizer/PassThrough.h"

#include <QJsonArray>
#include <QUuid>

using namespace Qt::StringLiterals;

namespace tivela {

using namespace BridgeWire;

namespace {

// Where the items the extension saves come from, unless they say.
constexpr QLatin1StringView browserOrigin{"browser"};

// 2001-01-01 00:00 UTC: nothing the extension saves was made before it.
constexpr double earliestCreated = 978307200;

QJsonObject ok() {
    return QJsonObject{{Key::ok, true}};
}

QJsonObject failure(QLatin1StringView code) {
    return QJsonObject{{Key::ok, false}, {Key::error, code}};
}

QJsonObject failed(const QString& message) {
    return QJsonObject{{Key::ok, false}, {Key::error, Error::failed}, {Key::message, message}};
}

// Text as the store keeps it and the reply echoes it: a lone surrogate, which UTF-8 cannot
// carry, becomes the replacement character.
QString wellFormed(QString text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = std::as_const(text)[i];
        if (c.isHighSurrogate() && i + 1 < text.size() &&
            std::as_const(text)[i + 1].isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
    return text;
}

// Strings of a request, well formed.
std::optional<QString> stringField(const JsonFields& fields, QLatin1StringView key) {
    auto value = fields.string(key);
    if (value)
        *value = wellFormed(std::move(*value));
    return value;
}

std::optional<QStringList> stringsField(const JsonFields& fields, QLatin1StringView key) {
    auto values = fields.strings(key);
    if (values)
        for (QString& value : *values)
            value = wellFormed(std::move(value));
    return values;
}

// The text of a request, within the cap.
IncomingText::Capped textField(const JsonFields& fields, QLatin1StringView key) {
    return IncomingText::cap(stringField(fields, key).value_or(QString()));
}

// Translations run about as long as their texts: one of a text larger than a reply cannot be
// sent, so it is refused before the engine spends a minute on it.
bool tooLargeToAnswer(const QStringList& texts) {
    qsizetype bytes = 0;
    for (const QString& text : texts)
        bytes += text.toUtf8().size();
    return bytes > maxReplyBytes;
}

// Whether the reply, with the request's id, is within what the browser takes.
bool fitsReply(QJsonObject body, const QJsonValue& id) {
    body.insert(Key::id, id.isUndefined() ? QJsonValue(QJsonValue::Null) : id);
    return BridgeMessage::frame(body).size() - 4 <= maxReplyBytes;
}

} // namespace

BridgeRequests::BridgeRequests(BridgeServices services)
    : m_services(std::move(services))
    , m_scheduler([this] { return m_services.speaker().ready(); }) {
}

void BridgeRequests::handle(const QJsonObject& request, Reply reply) {
    m_scheduler.run(BridgeScheduler::lane(request.value(Key::type).toString()),
                    [this, request, reply] { respond(request, reply); });
}

QJsonObject BridgeRequests::speech(const QString& type, const JsonFields& fields) {
    Speaker& speaker = m_services.speaker();
    if (type == Request::voices) {
        QJsonObject body = ok();
        body.insert(Key::languages, QJsonArray::fromStringList(speaker.languages()));
        return body;
    }
    if (type == Request::speak) {
        QStringList hints;
        if (const auto pair = m_services.savedPair())
            hints = {pair->mine, pair->second};
        const bool spoken =
            speaker.speak(stringField(fields, Key::text).value_or(QString()),
                          stringField(fields, Key::lang).value_or(QString()), hints);
        return spoken ? ok() : failure(Error::noVoice);
    }
    speaker.stop();
    return ok();
}

void BridgeRequests::respond(const QJsonObject& request, const Reply& reply) {
    const JsonFields fields(request);
    const QString type = stringField(fields, Key::type).value_or(QString());
    // A lookup may answer only once its packs have landed.
    if (type == Request::lookup) {
        lookup(fields, reply);
        return;
    }
    QJsonObject body;
    if (BridgeScheduler::lane(type) == BridgeScheduler::Lane::speech)
        body = speech(type, fields);
    else if (type == Request::hello)
        body = hello();
    else if (type == Request::status)
        body = status(fields);
    else if (type == Request::detect)
        body = detect(fields);
    else if (type == Request::translate)
        body = translate(fields);
    else if (type == Request::translateBatch)
        body = translateBatch(fields);
    else if (type == Request::prefetch)
        body = prefetch(fields);
    else if (type == Request::phrases)
        body = phrases();
    else if (type == Request::addPhrase)
        body = addPhrase(fields, request.value(Key::id));
    else if (type == Request::deletePhrase)
        body = deletePhrase(fields);
    else if (type == Request::answer)
        body = answer(fields);
    else if (type == Request::addHistory)
        body = addHistory(fields);
    else if (type == Request::open)
        body = open(fields);
    else if (type == Request::download)
        body = download(fields);
    else
        body = failure(Error::unknownType);
    reply(std::move(body));
}

std::optional<Item> BridgeRequests::item(const QJsonObject& object, const QString& origin) {
    const JsonFields fields(object);
    const auto text = stringField(fields, "text"_L1);
    const auto translation = stringField(fields, "translation"_L1);
    const auto from = stringField(fields, "from"_L1);
    const auto to = stringField(fields, "to"_L1);
    if (!text || !translation || !from || !to)
        return std::nullopt;
    Item item;
    item.id =
        stringField(fields, "id"_L1).value_or(QUuid::createUuid().toString(QUuid::WithoutBraces));
    item.text = *text;
    item.translation = *translation;
    item.from = *from;
    item.to = *to;
    // A time in milliseconds, or from a clock far off, would sort the item above everything the
    // person saves after it, and the trim to the newest rows would drop theirs instead.
    const double now = Store::now();
    const double created = fields.number("created"_L1).value_or(now);
    item.created = created >= earliestCreated && created <= now ? created : now;
    item.box = Store::clampBox(fields.integer("box"_L1).value_or(0));
    item.due = fields.number("due"_L1).value_or(0);
    item.origin = stringField(fields, "origin"_L1).value_or(origin);
    return item;
}

QSet<QString> BridgeRequests::supported() {
    return m_services.translator->supportedLanguages().result();
}

LanguagePair BridgeRequests::pair() {
    if (const auto saved = m_services.savedPair())
        return *saved;
    return LanguagePair::defaultPair(Languages::systemLanguage(supported()));
}

BridgeRequests::Resolved BridgeRequests::resolvePair(const QString& text,
                                                     const std::optional<QString>& from,
                                                     const std::optional<QString>& to) {
    const auto given = [](const std::optional<QString>& code) {
        return code && !code->isEmpty() && *code != u"auto";
    };
    const LanguagePair languages = pair();
    Resolved resolved;
    if (given(from)) {
        resolved.from = *from;
    } else {
        const auto guess = m_services.detect(text, {languages.mine, languages.second});
        resolved.from = guess ? guess->code : languages.second;
        resolved.detected = true;
    }
    resolved.to = given(to) ? *to : languages.target(resolved.from);
    return resolved;
}

QJsonObject BridgeRequests::errorBody(const TranslateError& error) {
    switch (error.kind()) {
    case TranslateError::Kind::notInstalled:
    case TranslateError::Kind::unsupported: {
        QJsonObject body =
            failure(error.kind() == TranslateError::Kind::notInstalled ? Error::notInstalled
                                                                       : Error::unsupported);
        body.insert(Key::from, error.from());
        body.insert(Key::to, error.to());
        return body;
    }
    case TranslateError::Kind::empty:
        return failure(Error::empty);
    case TranslateError::Kind::failed:
        break;
    }
    return failed(u"failed(\""_s + error.message() + u"\")"_s);
}

bool BridgeRequests::untranslated(const QString& text, const QString& answer, const QString& from) {
    return m_services.leftUntranslated && m_services.leftUntranslated(text, answer, from);
}

QJsonObject BridgeRequests::hello() {
    const LanguagePair languages = pair();
    QJsonObject body = ok();
    body.insert(Key::app, u"Tivela"_s);
    body.insert(Key::version, m_services.version);
    body.insert(Key::languages,
                QJsonArray::fromStringList(Languages::sorted(QStringList(supported().values()))));
    body.insert(Key::lexicon, QJsonArray::fromStringList(m_services.downloader().installed()));
    body.insert(Key::pair, toJson(languages));
    body.insert(Key::shortcut, m_services.shortcut().value_or(u"Ctrl+Alt+T"_s));
    return body;
}

QJsonObject BridgeRequests::status(const JsonFields& fields) {
    const QString from = stringField(fields, Key::from).value_or(QString());
    const QString to = stringField(fields, Key::to).value_or(QString());
    const PairStatus quality = m_services.translator->status(from, to, false).result();
    const PairStatus fast = m_services.translator->status(from, to, true).result();
    QJsonObject body = ok();
    body.insert(Key::status, rawValue(quality));
    body.insert(Key::fast, rawValue(fast));
    return body;
}

QJsonObject BridgeRequests::detect(const JsonFields& fields) {
    const auto guess = m_services.detect(textField(fields, Key::text).text, {});
    return QJsonObject{{Key::ok, guess.has_value()},
                       {Key::lang, guess ? guess->code : QString()},
                       {Key::confidence, guess ? guess->confidence : 0.0}};
}

QJsonObject BridgeRequests::translate(const JsonFields& fields) {
    const auto [text, cut] = textField(fields, Key::text);
    const Resolved resolved =
        resolvePair(text, stringField(fields, Key::from), stringField(fields, Key::to));
    QJsonObject body;
    if (Languages::lexiconCode(resolved.from) == Languages::lexiconCode(resolved.to)) {
        body = ok();
        body.insert(Key::text, text);
        body.insert(Key::same, true);
    } else if (tooLargeToAnswer({text})) {
        body = failed(u"reply too large"_s);
    } else {
        if (m_services.prepareJudging)
            m_services.prepareJudging(resolved.from);
        try {
            const QString translation = m_services.translator
                                            ->translate(text, resolved.from, resolved.to,
                                                        fields.boolean(Key::fast).value_or(false))
                                            .result();
            if (untranslated(text, translation, resolved.from))
                throw PassThrough::failure();
            body = ok();
            body.insert(Key::text, translation);
        } catch (const TranslateError& error) {
            body = errorBody(error);
        } catch (const std::exception& error) {
            body = failed(QString::fromUtf8(error.what()));
        }
    }
    body.insert(Key::from, resolved.from);
    body.insert(Key::to, resolved.to);
    if (body.value(Key::ok).toBool())
        body.insert(Key::detected, resolved.detected);
    if (cut)
        body.insert(Key::cut, true);
    return body;
}

QJsonObject BridgeRequests::translateBatch(const JsonFields& fields) {
    QStringList texts = stringsField(fields, Key::texts).value_or(QStringList());
    bool cut = false;
    for (QString& text : texts) {
        IncomingText::Capped capped = IncomingText::cap(text);
        cut = cut || capped.cut;
        text = std::move(capped.text);
    }
    const QString from = stringField(fields, Key::from).value_or(u"en"_s);
    const QString to = stringField(fields, Key::to).value_or(u"en"_s);
    if (tooLargeToAnswer(texts))
        return failed(u"reply too large"_s);
    try {
        const QStringList translations =
            m_services.translator
                ->translate(texts, from, to, fields.boolean(Key::fast).value_or(true))
                .result();
        QJsonObject body = ok();
        body.insert(Key::texts, QJsonArray::fromStringList(translations));
        body.insert(Key::from, from);
        body.insert(Key::to, to);
        if (cut)
            body.insert(Key::cut, true);
        return body;
    } catch (const TranslateError& error) {
        return errorBody(error);
    } catch (const std::exception& error) {
        return failed(QString::fromUtf8(error.what()));
    }
}

void BridgeRequests::lookup(const JsonFields& fields, const Reply& reply) {
    const QString word = stringField(fields, Key::word).value_or(QString());
    const QString from = stringField(fields, Key::from).value_or(u"en"_s);
    const QString to = stringField(fields, Key::to).value_or(u"en"_s);
    const auto card = [this, reply, word, from, to] {
        const auto entry = m_services.lexicon->lookup(word, from, to);
        reply(QJsonObject{{Key::ok, true},
                          {Key::entry, entry ? QJsonValue(BridgeMessage::entryDict(*entry))
                                             : QJsonValue(QJsonValue::Null)}});
    };
    QStringList missing;
    for (const QString& code : LexiconDownloader::packs(from, to))
        if (!m_services.lexicon->isInstalled(code))
            missing << code;
    if (missing.isEmpty()) {
        card();
        return;
    }
    LexiconDownloader& downloader = m_services.downloader();
    if (!fields.boolean(Key::wait).value_or(false)) {
        downloader.ensure(missing);
        reply(QJsonObject{{Key::ok, true}, {Key::entry, QJsonValue::Null}, {Key::pending, true}});
        return;
    }
    // The downloader tells on its own thread, which must not wait for a lookup.
    downloader.ensure(missing,
                      [this, card](bool) { m_scheduler.run(BridgeScheduler::Lane::quick, card); });
}

QJsonObject BridgeRequests::prefetch(const JsonFields& fields) {
    QStringList wanted;
    for (const QString& code : stringsField(fields, Key::langs).value_or(QStringList()))
        if (Languages::lexicon().contains(Languages::lexiconCode(code)))
            wanted << code;
    LexiconDownloader& downloader = m_services.downloader();
    const QStringList installed = downloader.installed();
    downloader.ensure(wanted);
    QJsonObject body = ok();
    body.insert(Key::installed, QJsonArray::fromStringList(installed));
    return body;
}

QJsonObject BridgeRequests::phrases() {
    QJsonArray items;
    for (const Item& item : m_services.store->phrases(QString()))
        items.append(toJson(item));
    QJsonObject body = ok();
    body.insert(Key::items, items);
    return body;
}

QJsonObject BridgeRequests::addPhrase(const JsonFields& fields, const QJsonValue& id) {
    const auto object = fields.object(Key::item);
    const auto parsed = object ? item(*object, browserOrigin) : std::nullopt;
    if (!parsed)
        return failure(Error::badItem);
    const auto replyFor = [](const Item& card) {
        QJsonObject body = ok();
        body.insert(Key::item, toJson(card));
        return body;
    };
    // A card of this text and pair keeps its own fields; only the translation is new.
    Item expected =
        m_services.store->phrase(parsed->text, parsed->from, parsed->to).value_or(*parsed);
    expected.translation = parsed->translation;
    // Stored, a phrase whose reply is too large would be saved while the extension is told it
    // failed.
    if (!fitsReply(replyFor(expected), id))
        return failed(u"phrase too large"_s);
    const auto stored = m_services.store->addPhrase(*parsed);
    if (!stored)
        return failed(u"the phrasebook could not be saved"_s);
    return replyFor(*stored);
}

QJsonObject BridgeRequests::deletePhrase(const JsonFields& fields) {
    if (!m_services.store->deletePhrase(stringField(fields, Key::itemId).value_or(QString())))
        return failed(u"the phrasebook could not be saved"_s);
    return ok();
}

QJsonObject BridgeRequests::answer(const JsonFields& fields) {
    const QString id = stringField(fields, Key::itemId).value_or(QString());
    if (!m_services.store->answer(id, fields.boolean(Key::knew).value_or(false), Store::now()))
        return failed(u"the card could not be saved"_s);
    return ok();
}

QJsonObject BridgeRequests::addHistory(const JsonFields& fields) {
    const auto object = fields.object(Key::item);
    const auto parsed = object ? item(*object, browserOrigin) : std::nullopt;
    if (!parsed)
        return failure(Error::badItem);
    if (!m_services.store->addHistory(*parsed))
        return failed(u"the history could not be saved"_s);
    return ok();
}

// A text beyond the cap, or beyond what one program argument carries, is cut; the URL tells
// the application so.
QJsonObject BridgeRequests::open(const JsonFields& fields) {
    auto [shown, cut] = textField(fields, Key::text);
    QJsonObject body = openApp(HandOverUrl::translateFitting(shown, cut));
    if (cut)
        body.insert(Key::cut, true);
    return body;
}

QJsonObject BridgeRequests::download(const JsonFields& fields) {
    return openApp(HandOverUrl::download(stringField(fields, Key::from).value_or(QString()),
                                         stringField(fields, Key::to).value_or(QString())));
}

QJsonObject BridgeRequests::openApp(const QString& url) {
    if (url.toUtf8().size() >= HandOverUrl::maxArgumentBytes)
        return failed(u"text too long"_s);
    // Whether a handler takes the URL is the desktop's business, as with any link opened.
    m_services.open(url);
    return ok();
}

} // namespace tivela
