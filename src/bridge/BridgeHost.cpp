#include "bridge/BridgeHost.h"

#include "core/BridgeMessage.h"
#include "core/LanguageDetector.h"
#include "core/Languages.h"
#include "core/Lexicon.h"
#include "core/LexiconDownloader.h"
#include "core/Paths.h"
#include "core/Speaker.h"
#include "platform/Defaults.h"
#include "platform/desktop/Opener.h"

#include <QDateTime>
#include <QJsonArray>
#include <QThread>
#include <QUrl>
#include <QUuid>

#include <cmath>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

constexpr int poolThreads = 16;
constexpr int voicesWaitMs = 20000;

bool isSpeech(const QString& type) {
    return type == u"voices" || type == u"speak" || type == u"stopSpeaking";
}

QJsonObject ok() {
    return QJsonObject{{u"ok"_s, true}};
}

QJsonObject failure(const QString& code) {
    return QJsonObject{{u"ok"_s, false}, {u"error"_s, code}};
}

QJsonObject failed(const QString& message) {
    return QJsonObject{{u"ok"_s, false}, {u"error"_s, u"failed"_s}, {u"message"_s, message}};
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

// Translations run about as long as their texts: one of a text larger than a reply cannot be
// sent, so it is refused before the engine spends a minute on it.
bool tooLargeToAnswer(const QStringList& texts) {
    qsizetype bytes = 0;
    for (const QString& text : texts)
        bytes += text.toUtf8().size();
    return bytes > BridgeHost::maxReplyBytes;
}

QString query(const QList<std::pair<QString, QString>>& items) {
    QString text;
    for (const auto& [key, value] : items) {
        if (!text.isEmpty())
            text += u'&';
        text += key + u'=' + QString::fromLatin1(QUrl::toPercentEncoding(value));
    }
    return text;
}

} // namespace

std::optional<QString> BridgeFields::string(const QString& key) const {
    const QJsonValue value = m_object.value(key);
    return value.isString() ? std::optional(wellFormed(value.toString())) : std::nullopt;
}

std::optional<bool> BridgeFields::boolean(const QString& key) const {
    const QJsonValue value = m_object.value(key);
    if (value.isBool())
        return value.toBool();
    if (value.isDouble() && (value.toDouble() == 0 || value.toDouble() == 1))
        return value.toDouble() == 1;
    return std::nullopt;
}

std::optional<qint64> BridgeFields::integer(const QString& key) const {
    const QJsonValue value = m_object.value(key);
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    // Beyond 2^53 a double no longer tells integers apart; such values are no exact integers.
    if (std::trunc(number) != number || std::fabs(number) > 9007199254740992.0)
        return std::nullopt;
    return qint64(number);
}

std::optional<double> BridgeFields::number(const QString& key) const {
    const QJsonValue value = m_object.value(key);
    return value.isDouble() ? std::optional(value.toDouble()) : std::nullopt;
}

std::optional<QStringList> BridgeFields::strings(const QString& key) const {
    const QJsonValue value = m_object.value(key);
    if (!value.isArray())
        return std::nullopt;
    QStringList list;
    for (const QJsonValue& element : value.toArray()) {
        if (!element.isString())
            return std::nullopt;
        list << wellFormed(element.toString());
    }
    return list;
}

std::optional<QJsonObject> BridgeFields::object(const QString& key) const {
    const QJsonValue value = m_object.value(key);
    return value.isObject() ? std::optional(value.toObject()) : std::nullopt;
}

BridgeHost::BridgeHost(int in, int out, QString version, Store& store, AppleTranslator& translator)
    : m_in(in)
    , m_out(out)
    , m_version(std::move(version))
    , m_store(store)
    , m_translator(translator) {
    m_pool.setMaxThreadCount(poolThreads);
    m_voicesDeadline.setSingleShot(true);
    connect(&m_voicesDeadline, &QTimer::timeout, this, [this] {
        m_speechReady = true;
        speakQueued();
    });
}

BridgeHost::~BridgeHost() = default;

void BridgeHost::start() {
    m_reader = QThread::create([this] { read(); });
    m_reader->start();
}

void BridgeHost::read() {
    for (;;) {
        const auto request = BridgeMessage::read(m_in);
        if (!request)
            finish();
        if (m_unanswered.fetch_add(1) < maxUnanswered) {
            route(*request);
        } else {
            m_unanswered.fetch_sub(1);
            reply(request->value(u"id"_s), failed(u"too many requests at once"_s));
        }
    }
}

void BridgeHost::route(const QJsonObject& request) {
    if (isSpeech(request.value(u"type"_s).toString())) {
        QMetaObject::invokeMethod(
            this, [this, request] { queueSpeech(request); }, Qt::QueuedConnection);
        return;
    }
    m_pool.start([this, request] { handle(request); });
}

void BridgeHost::queueSpeech(const QJsonObject& request) {
    m_speechQueue.append(request);
    if (m_speechReady) {
        speakQueued();
        return;
    }
    if (m_voicesWatcher)
        return;
    // The speaker is made on the first speech request, not at start: most conversations
    // never speak, and the speech daemon is not free to start.
    m_voicesWatcher = std::make_unique<QFutureWatcher<void>>();
    connect(m_voicesWatcher.get(), &QFutureWatcher<void>::finished, this, [this] {
        m_speechReady = true;
        m_voicesDeadline.stop();
        speakQueued();
    });
    m_voicesWatcher->setFuture(Defaults::speaker().ready());
    m_voicesDeadline.start(voicesWaitMs);
}

void BridgeHost::speakQueued() {
    while (!m_speechQueue.isEmpty()) {
        const QJsonObject request = m_speechQueue.takeFirst();
        const BridgeFields fields(request);
        complete(request.value(u"id"_s), speech(request.value(u"type"_s).toString(), fields));
    }
}

QJsonObject BridgeHost::speech(const QString& type, const BridgeFields& fields) {
    Speaker& speaker = Defaults::speaker();
    if (type == u"voices") {
        QJsonObject body = ok();
        body.insert(u"languages"_s, QJsonArray::fromStringList(speaker.languages()));
        return body;
    }
    if (type == u"speak") {
        QStringList hints;
        if (const auto pair = SharedSettings::pair())
            hints = {pair->mine, pair->second};
        const bool spoken = speaker.speak(fields.string(u"text"_s).value_or(QString()),
                                          fields.string(u"lang"_s).value_or(QString()), hints);
        return spoken ? ok() : failure(u"no-voice"_s);
    }
    speaker.stop();
    return ok();
}

void BridgeHost::finish() {
    // Requests still running are abandoned; static destructors must not run under them, but
    // a download's lock must not outlive the process.
    LexiconDownloader::releaseHeldLocks();
    ::_exit(0);
}

void BridgeHost::handle(const QJsonObject& request) {
    const QJsonValue id = request.value(u"id"_s);
    const BridgeFields fields(request);
    const QString type = fields.string(u"type"_s).value_or(QString());
    // A lookup may answer only once its packs have landed.
    if (type == u"lookup") {
        lookup(id, fields);
        return;
    }
    QJsonObject body;
    if (type == u"hello")
        body = hello();
    else if (type == u"status")
        body = status(fields);
    else if (type == u"detect")
        body = detect(fields);
    else if (type == u"translate")
        body = translate(fields);
    else if (type == u"translateBatch")
        body = translateBatch(fields);
    else if (type == u"prefetch")
        body = prefetch(fields);
    else if (type == u"phrases")
        body = phrases();
    else if (type == u"addPhrase")
        body = addPhrase(fields);
    else if (type == u"deletePhrase")
        body = deletePhrase(fields);
    else if (type == u"answer")
        body = answer(fields);
    else if (type == u"addHistory")
        body = addHistory(fields);
    else if (type == u"open")
        body = open(fields);
    else if (type == u"download")
        body = download(fields);
    else
        body = failure(u"unknown-type"_s);
    complete(id, std::move(body));
}

void BridgeHost::complete(const QJsonValue& id, QJsonObject body) {
    reply(id, std::move(body));
    m_unanswered.fetch_sub(1);
}

void BridgeHost::reply(const QJsonValue& id, QJsonObject body) {
    body.insert(u"id"_s, id.isUndefined() ? QJsonValue(QJsonValue::Null) : id);
    QByteArray bytes = BridgeMessage::frame(body);
    if (bytes.size() - 4 > maxReplyBytes) {
        QJsonObject tooLarge = failed(u"reply too large"_s);
        tooLarge.insert(u"id"_s, body.value(u"id"_s));
        bytes = BridgeMessage::frame(tooLarge);
        // Only an absurd id can make even that too large; the browser would drop it.
        if (bytes.size() - 4 > maxReplyBytes) {
            tooLarge.insert(u"id"_s, QJsonValue::Null);
            bytes = BridgeMessage::frame(tooLarge);
        }
    }
    // A failed write means the browser has gone; the reader then sees the end of input and
    // ends the process.
    const QMutexLocker locker(&m_outLock);
    BridgeMessage::writeFrame(bytes, m_out);
}

std::optional<Item> BridgeHost::item(const QJsonObject& object, const QString& origin) {
    const BridgeFields fields(object);
    const auto text = fields.string(u"text"_s);
    const auto translation = fields.string(u"translation"_s);
    const auto from = fields.string(u"from"_s);
    const auto to = fields.string(u"to"_s);
    if (!text || !translation || !from || !to)
        return std::nullopt;
    Item item;
    item.id = fields.string(u"id"_s).value_or(QUuid::createUuid().toString(QUuid::WithoutBraces));
    item.text = *text;
    item.translation = *translation;
    item.from = *from;
    item.to = *to;
    item.created = fields.number(u"created"_s).value_or(Store::now());
    item.box = Store::clampBox(fields.integer(u"box"_s).value_or(0));
    item.due = fields.number(u"due"_s).value_or(0);
    item.origin = fields.string(u"origin"_s).value_or(origin);
    return item;
}

QSet<QString> BridgeHost::supported() {
    return m_translator.supportedLanguages().result();
}

LanguagePair BridgeHost::pair() {
    if (const auto saved = SharedSettings::pair())
        return *saved;
    return LanguagePair::defaultPair(Languages::systemLanguage(supported()));
}

BridgeHost::Resolved BridgeHost::resolvePair(const QString& text,
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
        const auto guess = Defaults::detect(text, supported(), {languages.mine, languages.second});
        resolved.from = guess ? guess->code : languages.second;
        resolved.detected = true;
    }
    resolved.to = given(to) ? *to : languages.target(resolved.from);
    return resolved;
}

QJsonObject BridgeHost::errorBody(const TranslateError& error) {
    switch (error.kind()) {
    case TranslateError::Kind::notInstalled:
    case TranslateError::Kind::unsupported: {
        QJsonObject body =
            failure(error.kind() == TranslateError::Kind::notInstalled ? u"not-installed"_s
                                                                       : u"unsupported"_s);
        body.insert(u"from"_s, error.from());
        body.insert(u"to"_s, error.to());
        return body;
    }
    case TranslateError::Kind::empty:
        return failure(u"empty"_s);
    case TranslateError::Kind::failed:
        break;
    }
    return failed(u"failed(\""_s + error.message() + u"\")"_s);
}

QJsonObject BridgeHost::hello() {
    const LanguagePair languages = pair();
    const QVariant shortcut = Paths::defaults()->value(u"shortcutDisplay"_s);
    QJsonObject body = ok();
    body.insert(u"app"_s, u"Tivela"_s);
    body.insert(u"version"_s, m_version);
    body.insert(u"languages"_s,
                QJsonArray::fromStringList(Languages::sorted(QStringList(supported().values()))));
    body.insert(u"lexicon"_s, QJsonArray::fromStringList(LexiconDownloader::shared().installed()));
    body.insert(u"pair"_s, toJson(languages));
    body.insert(u"shortcut"_s,
                shortcut.typeId() == QMetaType::QString ? shortcut.toString() : u"Ctrl+Alt+T"_s);
    return body;
}

QJsonObject BridgeHost::status(const BridgeFields& fields) {
    const QString from = fields.string(u"from"_s).value_or(QString());
    const QString to = fields.string(u"to"_s).value_or(QString());
    const PairStatus quality = m_translator.status(from, to, false).result();
    const PairStatus fast = m_translator.status(from, to, true).result();
    QJsonObject body = ok();
    body.insert(u"status"_s, rawValue(quality));
    body.insert(u"fast"_s, rawValue(fast));
    return body;
}

QJsonObject BridgeHost::detect(const BridgeFields& fields) {
    const auto guess =
        Defaults::detect(fields.string(u"text"_s).value_or(QString()), supported(), {});
    return QJsonObject{{u"ok"_s, guess.has_value()},
                       {u"lang"_s, guess ? guess->code : QString()},
                       {u"confidence"_s, guess ? guess->confidence : 0.0}};
}

QJsonObject BridgeHost::translate(const BridgeFields& fields) {
    const QString text = fields.string(u"text"_s).value_or(QString());
    const Resolved resolved = resolvePair(text, fields.string(u"from"_s), fields.string(u"to"_s));
    QJsonObject body;
    if (Languages::lexiconCode(resolved.from) == Languages::lexiconCode(resolved.to)) {
        body = ok();
        body.insert(u"text"_s, text);
        body.insert(u"same"_s, true);
    } else if (tooLargeToAnswer({text})) {
        body = failed(u"reply too large"_s);
    } else {
        try {
            const QString translation = m_translator
                                            .translate(text, resolved.from, resolved.to,
                                                       fields.boolean(u"fast"_s).value_or(false))
                                            .result();
            body = ok();
            body.insert(u"text"_s, translation);
        } catch (const TranslateError& error) {
            body = errorBody(error);
        } catch (const std::exception& error) {
            body = failed(QString::fromUtf8(error.what()));
        }
    }
    body.insert(u"from"_s, resolved.from);
    body.insert(u"to"_s, resolved.to);
    if (body.value(u"ok"_s).toBool())
        body.insert(u"detected"_s, resolved.detected);
    return body;
}

QJsonObject BridgeHost::translateBatch(const BridgeFields& fields) {
    const QStringList texts = fields.strings(u"texts"_s).value_or(QStringList());
    const QString from = fields.string(u"from"_s).value_or(u"en"_s);
    const QString to = fields.string(u"to"_s).value_or(u"en"_s);
    if (tooLargeToAnswer(texts))
        return failed(u"reply too large"_s);
    try {
        const QStringList translations =
            m_translator.translate(texts, from, to, fields.boolean(u"fast"_s).value_or(true))
                .result();
        QJsonObject body = ok();
        body.insert(u"texts"_s, QJsonArray::fromStringList(translations));
        body.insert(u"from"_s, from);
        body.insert(u"to"_s, to);
        return body;
    } catch (const TranslateError& error) {
        return errorBody(error);
    } catch (const std::exception& error) {
        return failed(QString::fromUtf8(error.what()));
    }
}

void BridgeHost::lookup(const QJsonValue& id, const BridgeFields& fields) {
    const QString word = fields.string(u"word"_s).value_or(QString());
    const QString from = fields.string(u"from"_s).value_or(u"en"_s);
    const QString to = fields.string(u"to"_s).value_or(u"en"_s);
    const auto card = [this, id, word, from, to] {
        const auto entry = Lexicon::shared().lookup(word, from, to);
        complete(id, QJsonObject{{u"ok"_s, true},
                                 {u"entry"_s, entry ? QJsonValue(BridgeMessage::entryDict(*entry))
                                                    : QJsonValue(QJsonValue::Null)}});
    };
    QStringList missing;
    for (const QString& code : LexiconDownloader::packs(from, to))
        if (!Lexicon::shared().isInstalled(code))
            missing << code;
    if (missing.isEmpty()) {
        card();
        return;
    }
    LexiconDownloader& downloader = LexiconDownloader::shared();
    if (!fields.boolean(u"wait"_s).value_or(false)) {
        downloader.ensure(missing);
        complete(
            id, QJsonObject{{u"ok"_s, true}, {u"entry"_s, QJsonValue::Null}, {u"pending"_s, true}});
        return;
    }
    // The downloader tells on its own thread, which must not wait for a lookup.
    downloader.ensure(missing, [this, card](bool) { m_pool.start(card); });
}

QJsonObject BridgeHost::prefetch(const BridgeFields& fields) {
    QStringList wanted;
    for (const QString& code : fields.strings(u"langs"_s).value_or(QStringList()))
        if (Languages::lexicon().contains(Languages::lexiconCode(code)))
            wanted << code;
    LexiconDownloader& downloader = LexiconDownloader::shared();
    const QStringList installed = downloader.installed();
    downloader.ensure(wanted);
    QJsonObject body = ok();
    body.insert(u"installed"_s, QJsonArray::fromStringList(installed));
    return body;
}

QJsonObject BridgeHost::phrases() {
    QJsonArray items;
    for (const Item& item : m_store.phrases(QString()))
        items.append(toJson(item));
    QJsonObject body = ok();
    body.insert(u"items"_s, items);
    return body;
}

QJsonObject BridgeHost::addPhrase(const BridgeFields& fields) {
    const auto object = fields.object(u"item"_s);
    const auto parsed = object ? item(*object, u"browser"_s) : std::nullopt;
    if (!parsed)
        return failure(u"bad-item"_s);
    const auto stored = m_store.addPhrase(*parsed);
    if (!stored)
        return failed(u"the phrasebook could not be saved"_s);
    QJsonObject body = ok();
    body.insert(u"item"_s, toJson(*stored));
    return body;
}

QJsonObject BridgeHost::deletePhrase(const BridgeFields& fields) {
    if (!m_store.deletePhrase(fields.string(u"itemId"_s).value_or(QString())))
        return failed(u"the phrasebook could not be saved"_s);
    return ok();
}

QJsonObject BridgeHost::answer(const BridgeFields& fields) {
    const QString id = fields.string(u"itemId"_s).value_or(QString());
    if (!m_store.answer(id, fields.boolean(u"knew"_s).value_or(false), Store::now()))
        return failed(u"the card could not be saved"_s);
    return ok();
}

QJsonObject BridgeHost::addHistory(const BridgeFields& fields) {
    const auto object = fields.object(u"item"_s);
    const auto parsed = object ? item(*object, u"browser"_s) : std::nullopt;
    if (parsed && !m_store.addHistory(*parsed))
        return failed(u"the history could not be saved"_s);
    return ok();
}

QString BridgeHost::translateURL(const std::optional<QString>& text) {
    if (!text || text->isEmpty())
        return u"tivela://translate"_s;
    return u"tivela://translate?"_s + query({{u"text"_s, *text}});
}

QString BridgeHost::downloadURL(const QString& from, const QString& to) {
    return u"tivela://download?"_s + query({{u"from"_s, from}, {u"to"_s, to}});
}

QJsonObject BridgeHost::open(const BridgeFields& fields) {
    return openApp(translateURL(fields.string(u"text"_s)));
}

QJsonObject BridgeHost::download(const BridgeFields& fields) {
    return openApp(downloadURL(fields.string(u"from"_s).value_or(QString()),
                               fields.string(u"to"_s).value_or(QString())));
}

QJsonObject BridgeHost::openApp(const QString& url) {
    if (url.toUtf8().size() >= maxArgumentBytes)
        return failed(u"text too long"_s);
    // Whether a handler takes the URL is the desktop's business, as with any link opened.
    Opener::open(url);
    return ok();
}

} // namespace tivela
