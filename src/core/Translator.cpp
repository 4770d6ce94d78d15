#include "core/Translator.h"

#include "core/EnumText.h"
#include "core/Languages.h"
#include "core/ScriptCheck.h"
#include "core/TranslationEngine.h"

#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <exception>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

QString sessionKey(const QString& from, const QString& to, bool fast) {
    return QString(from + u'>' + to + (fast ? u":fast"_s : QString()));
}

QString describe(TranslateError::Kind kind, const QString& from, const QString& to,
                 const QString& message) {
    switch (kind) {
    case TranslateError::Kind::notInstalled:
        return u"the languages to translate %1 to %2 are not installed"_s.arg(from, to);
    case TranslateError::Kind::unsupported:
        return u"the engine cannot translate %1 to %2"_s.arg(from, to);
    case TranslateError::Kind::failed:
        return message;
    case TranslateError::Kind::empty:
        return u"the text is blank"_s;
    }
    return message;
}

TranslateError stopped() {
    return TranslateError::failed(u"the translator has stopped"_s);
}

// Whatever escapes the engine reaches callers as the one error they know.
template <typename Work>
auto guarded(Work work) {
    try {
        return work();
    } catch (const TranslateError&) {
        throw;
    } catch (const std::exception& error) {
        throw TranslateError::failed(QString::fromLocal8Bit(error.what()));
    }
}

// The index a batch answer is filed under: a decimal integer with an optional sign.
std::optional<qsizetype> batchIndex(const std::optional<QString>& identifier) {
    if (!identifier)
        return std::nullopt;
    const QStringView digits = identifier->startsWith(u'+') || identifier->startsWith(u'-')
                                   ? QStringView(*identifier).sliced(1)
                                   : QStringView(*identifier);
    if (digits.isEmpty() ||
        !std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return std::nullopt;
    bool ok = false;
    const qlonglong index = identifier->toLongLong(&ok);
    return ok ? std::optional<qsizetype>(index) : std::nullopt;
}

} // namespace

size_t PairStatuses::qHash(PairStatus status, size_t seed) {
    return ::qHash(rawValue(status), seed);
}

QString rawValue(PairStatus status) {
    return EnumText::text(status);
}

std::optional<PairStatus> pairStatus(const QString& rawValue) {
    return EnumText::value<PairStatus>(rawValue);
}

TranslateError::TranslateError(Kind kind, const QString& from, const QString& to,
                               const QString& message)
    : m_kind(kind)
    , m_from(from)
    , m_to(to)
    , m_message(message)
    , m_what(describe(kind, from, to, message).toUtf8()) {
}

TranslateError TranslateError::notInstalled(const QString& from, const QString& to) {
    return {Kind::notInstalled, from, to, {}};
}

TranslateError TranslateError::unsupported(const QString& from, const QString& to) {
    return {Kind::unsupported, from, to, {}};
}

TranslateError TranslateError::failed(const QString& message) {
    return {Kind::failed, {}, {}, message};
}

TranslateError TranslateError::empty() {
    return {Kind::empty, {}, {}, {}};
}

Translator::Translator(std::shared_ptr<TranslationEngine> engine)
    : m_engine(std::move(engine)) {
    // Work waits on engine processes, not on the processor; different pairs run side by side.
    m_pool.setMaxThreadCount(4);
    m_questions.setMaxThreadCount(2);
}

Translator::~Translator() {
    m_pool.waitForDone();
    m_questions.waitForDone();
}

QFuture<QSet<QString>> Translator::supportedLanguages() {
    QMutexLocker starting(&m_mutex);
    if (m_supported)
        return QtFuture::makeReadyFuture(*m_supported);
    if (m_stopped)
        return QtFuture::makeReadyFuture(QSet<QString>());
    return QtConcurrent::run(&m_questions, [this] {
        {
            QMutexLocker lock(&m_mutex);
            if (m_supported || m_stopped)
                return m_supported.value_or(QSet<QString>());
        }
        QSet<QString> codes;
        for (const QString& identifier : m_engine->supportedLanguages())
            codes << Languages::code(identifier);
        QMutexLocker lock(&m_mutex);
        m_supported = codes;
        return codes;
    });
}

QFuture<PairStatus> Translator::status(const QString& from, const QString& to, bool fast) {
    QMutexLocker starting(&m_mutex);
    if (m_stopped)
        return QtFuture::makeReadyFuture(PairStatus::unsupported);
    return QtConcurrent::run(&m_questions, [this, from, to, fast] {
        return m_stopped ? PairStatus::unsupported : statusNow(from, to, fast);
    });
}

// The check and the start are one step under the lock: after stop() nothing may reach the
// pool, whose threads would run on into the program's teardown.
QFuture<QString> Translator::translate(const QString& text, const QString& from, const QString& to,
                                       bool fast) {
    QMutexLocker starting(&m_mutex);
    if (m_stopped)
        return QtFuture::makeExceptionalFuture<QString>(stopped());
    return QtConcurrent::run(&m_pool, [this, text, from, to, fast] {
        return guarded([&] {
            if (m_stopped)
                throw stopped();
            return translateNow(text, from, to, fast);
        });
    });
}

QFuture<QStringList> Translator::translate(const QStringList& batch, const QString& from,
                                           const QString& to, bool fast) {
    QMutexLocker starting(&m_mutex);
    if (m_stopped)
        return QtFuture::makeExceptionalFuture<QStringList>(stopped());
    return QtConcurrent::run(&m_pool, [this, batch, from, to, fast] {
        return guarded([&] {
            if (m_stopped)
                throw stopped();
            return translateNow(batch, from, to, fast);
        });
    });
}

bool Translator::stop(QDeadlineTimer deadline) {
    {
        QMutexLocker lock(&m_mutex);
        m_stopped = true;
    }
    m_engine->stop();
    const auto waitFor = [&](QThreadPool& pool) {
        return pool.waitForDone(deadline.isForever() ? -1 : int(deadline.remainingTime()));
    };
    const bool translations = waitFor(m_pool);
    return waitFor(m_questions) && translations;
}

PairStatus Translator::statusNow(const QString& from, const QString& to, bool fast) {
    switch (m_engine->status(Languages::platformIdentifier(from), Languages::platformIdentifier(to),
                             fast)) {
    case EngineStatus::installed:
        return PairStatus::installed;
    case EngineStatus::supported:
        return PairStatus::downloadable;
    case EngineStatus::unsupported:
        break;
    }
    return PairStatus::unsupported;
}

Translator::Session Translator::session(const QString& from, const QString& to, bool fast) {
    const QString key = sessionKey(from, to, fast);
    {
        QMutexLocker lock(&m_mutex);
        if (const auto it = m_sessions.constFind(key); it != m_sessions.cend())
            return *it;
    }
    switch (statusNow(from, to, fast)) {
    case PairStatus::installed:
        break;
    case PairStatus::downloadable:
        throw TranslateError::notInstalled(from, to);
    case PairStatus::unsupported:
        throw TranslateError::unsupported(from, to);
    }
    auto made = m_engine->makeSession(Languages::platformIdentifier(from),
                                      Languages::platformIdentifier(to), fast);
    if (!made)
        throw TranslateError::failed(made.error);
    QMutexLocker lock(&m_mutex);
    m_sessions.insert(key, *made.value);
    return *made.value;
}

QList<bool> Translator::strategies(const QString& from, const QString& to, bool fast) {
    // One engine behind both strategies: the second could only repeat the first answer, and a
    // second session would run the same engine twice.
    if (m_engine->oneEngineForBothStrategies()) {
        if (statusNow(from, to, false) == PairStatus::installed)
            return {false};
        return {};
    }
    QList<bool> kept;
    for (const bool candidate : fast ? QList<bool>{true, false} : QList<bool>{false, true})
        if (statusNow(from, to, candidate) == PairStatus::installed)
            kept << candidate;
    return kept;
}

void Translator::drop(const QString& key, const Session& failed) {
    QMutexLocker lock(&m_mutex);
    if (m_sessions.value(key) == failed)
        m_sessions.remove(key);
}

QString Translator::translateNow(const QString& text, const QString& from, const QString& to,
                                 bool fast) {
    if (text.trimmed().isEmpty())
        throw TranslateError::empty();
    if (from == to)
        return text;

    const QList<bool> installed = strategies(from, to, fast);
    if (installed.isEmpty()) {
        // Throws the pair's notInstalled or unsupported error, unless the pair became ready
        // since its status was asked: then this session is the one strategy there is.
        const Session ready = session(from, to, false);
        auto answer = ready->translate(text);
        if (answer)
            return *answer.value;
        drop(sessionKey(from, to, false), ready);
        throw TranslateError::failed(answer.error);
    }

    TranslateError last = TranslateError::failed(u"no engine"_s);
    for (const bool strategy : installed) {
        Session current;
        try {
            current = session(from, to, strategy);
        } catch (const TranslateError& error) {
            last = error;
            continue;
        }
        auto answer = current->translate(text);
        if (!answer) {
            drop(sessionKey(from, to, strategy), current);
            last = TranslateError::failed(answer.error);
            continue;
        }
        if (ScriptCheck::fits(*answer.value, to) || installed.size() == 1)
            return *answer.value;
        last = TranslateError::failed(u"wrong script"_s);
    }
    throw last;
}

QStringList Translator::translateNow(const QStringList& batch, const QString& from,
                                     const QString& to, bool fast) {
    if (batch.isEmpty())
        return {};
    const QList<bool> installed = strategies(from, to, fast);
    const bool strategy = installed.isEmpty() ? false : installed.first();
    const Session current = session(from, to, strategy);

    QList<EngineRequest> requests;
    requests.reserve(batch.size());
    for (qsizetype i = 0; i < batch.size(); ++i)
        requests << EngineRequest{batch[i], QString::number(i)};
    auto answers = current->translations(requests);
    if (!answers) {
        drop(sessionKey(from, to, strategy), current);
        throw TranslateError::failed(answers.error);
    }

    QStringList results = batch;
    for (const EngineResponse& response : std::as_const(*answers.value)) {
        const auto index = batchIndex(response.clientIdentifier);
        if (index && *index >= 0 && *index < results.size())
            results[*index] = response.targetText;
    }
    return results;
}

} // namespace tivela
