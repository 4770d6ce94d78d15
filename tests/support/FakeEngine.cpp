#include "support/FakeEngine.h"

using namespace Qt::StringLiterals;

namespace tivela::test {

namespace {

class FakeSession : public TranslationSession {
public:
    FakeSession(FakeEngine::Translate translate, FakeEngine::Batch batch,
                std::shared_ptr<FakeEngine::Counters> counters)
        : m_translate(std::move(translate))
        , m_batch(std::move(batch))
        , m_counters(std::move(counters)) {}
    ~FakeSession() override { ++m_counters->dropped; }

    EngineResult<QString> translate(const QString& text) override {
        ++m_counters->translations;
        return m_translate ? m_translate(text) : EngineResult<QString>::success(text);
    }

    EngineResult<QList<EngineResponse>>
    translations(const QList<EngineRequest>& requests) override {
        ++m_counters->translations;
        if (m_batch)
            return m_batch(requests);
        QList<EngineResponse> echoed;
        for (const EngineRequest& request : requests)
            echoed << EngineResponse{request.clientIdentifier, request.sourceText};
        return EngineResult<QList<EngineResponse>>::success(echoed);
    }

private:
    FakeEngine::Translate m_translate;
    FakeEngine::Batch m_batch;
    std::shared_ptr<FakeEngine::Counters> m_counters;
};

} // namespace

FakeEngine::Translate FakeEngine::answer(const QString& text) {
    return [text](const QString&) { return EngineResult<QString>::success(text); };
}

FakeEngine::Translate FakeEngine::error(const QString& description) {
    return [description](const QString&) { return EngineResult<QString>::failure(description); };
}

FakeEngine::Batch FakeEngine::responses(const QList<EngineResponse>& responses) {
    return [responses](const QList<EngineRequest>&) {
        return EngineResult<QList<EngineResponse>>::success(responses);
    };
}

FakeEngine::Batch FakeEngine::batchError(const QString& description) {
    return [description](const QList<EngineRequest>&) {
        return EngineResult<QList<EngineResponse>>::failure(description);
    };
}

QString FakeEngine::key(const QString& source, const QString& target, bool fast) {
    return QString(source + u'>' + target + (fast ? u":fast"_s : QString()));
}

void FakeEngine::setLanguages(const QStringList& identifiers) {
    QMutexLocker lock(&m_mutex);
    m_languages = identifiers;
}

void FakeEngine::setStatus(const QString& source, const QString& target, bool fast,
                           EngineStatus status) {
    QMutexLocker lock(&m_mutex);
    m_statuses.insert(key(source, target, fast), status);
}

void FakeEngine::setStatusFunction(Status status) {
    QMutexLocker lock(&m_mutex);
    m_statusFunction = std::move(status);
}

void FakeEngine::setTranslate(const QString& source, const QString& target, bool fast,
                              Translate translate) {
    QMutexLocker lock(&m_mutex);
    m_translate.insert(key(source, target, fast), std::move(translate));
}

void FakeEngine::setBatch(const QString& source, const QString& target, bool fast, Batch batch) {
    QMutexLocker lock(&m_mutex);
    m_batch.insert(key(source, target, fast), std::move(batch));
}

void FakeEngine::failSessions(const QString& source, const QString& target, bool fast,
                              const QString& description) {
    QMutexLocker lock(&m_mutex);
    m_sessionFailures.insert(key(source, target, fast), description);
}

void FakeEngine::setOneEngine(bool one) {
    QMutexLocker lock(&m_mutex);
    m_oneEngine = one;
}

int FakeEngine::sessionsMade(const QString& source, const QString& target, bool fast) const {
    QMutexLocker lock(&m_mutex);
    return m_made.value(key(source, target, fast));
}

int FakeEngine::sessionsMade() const {
    QMutexLocker lock(&m_mutex);
    int total = 0;
    for (const int made : m_made)
        total += made;
    return total;
}

int FakeEngine::sessionsDropped() const {
    return m_counters->dropped;
}

int FakeEngine::statusQueries() const {
    QMutexLocker lock(&m_mutex);
    return m_statusQueries;
}

int FakeEngine::languageQueries() const {
    QMutexLocker lock(&m_mutex);
    return m_languageQueries;
}

int FakeEngine::translations() const {
    return m_counters->translations;
}

QStringList FakeEngine::supportedLanguages() {
    QMutexLocker lock(&m_mutex);
    ++m_languageQueries;
    return m_languages;
}

EngineStatus FakeEngine::status(const QString& source, const QString& target, bool fast) {
    QMutexLocker lock(&m_mutex);
    ++m_statusQueries;
    const Status function = m_statusFunction;
    const EngineStatus scripted =
        m_statuses.value(key(source, target, fast), EngineStatus::unsupported);
    lock.unlock();
    return function ? function(source, target, fast) : scripted;
}

EngineResult<std::shared_ptr<TranslationSession>>
FakeEngine::makeSession(const QString& source, const QString& target, bool fast) {
    using Result = EngineResult<std::shared_ptr<TranslationSession>>;
    QMutexLocker lock(&m_mutex);
    const QString made = key(source, target, fast);
    if (m_sessionFailures.contains(made))
        return Result::failure(m_sessionFailures.value(made));
    ++m_made[made];
    return Result::success(
        std::make_shared<FakeSession>(m_translate.value(made), m_batch.value(made), m_counters));
}

bool FakeEngine::oneEngineForBothStrategies() const {
    QMutexLocker lock(&m_mutex);
    return m_oneEngine;
}

} // namespace tivela::test
