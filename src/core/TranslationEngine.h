#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <utility>

namespace tivela {

// What the engine says of a language pair for one strategy.
enum class EngineStatus { installed, supported, unsupported };

// One text of a batch and the identifier its answer is matched by.
struct EngineRequest {
    QString sourceText;
    QString clientIdentifier;

    friend bool operator==(const EngineRequest&, const EngineRequest&) = default;
};

// One answer of a batch. The identifier is whatever the engine hands back, which need not be
// any of the identifiers sent.
struct EngineResponse {
    std::optional<QString> clientIdentifier;
    QString targetText;

    friend bool operator==(const EngineResponse&, const EngineResponse&) = default;
};

// An engine's answer, or its own description of why there is none. Engines report failures as
// values: the translator alone turns them into the one error type callers see.
template <typename T>
struct EngineResult {
    std::optional<T> value;
    QString error;

    static EngineResult success(T result) { return {std::move(result), {}}; }
    static EngineResult failure(QString description) { return {std::nullopt, description}; }
    explicit operator bool() const { return value.has_value(); }
};

// A warm path through the engine for one ordered pair of languages. A session serves one call
// at a time and may be called from any thread; once it has failed, the caller drops it.
class TranslationSession {
public:
    virtual ~TranslationSession() = default;

    virtual EngineResult<QString> translate(const QString& text) = 0;
    virtual EngineResult<QList<EngineResponse>>
    translations(const QList<EngineRequest>& requests) = 0;
};

// The on-device translation engine. Languages go in and come out as platform locale
// identifiers ("en", "zh-Hans", "nn"). `fast` selects the low-latency strategy, otherwise the
// high-fidelity one. Every operation may be called from any thread at the same time.
class TranslationEngine {
public:
    virtual ~TranslationEngine() = default;

    virtual QStringList supportedLanguages() = 0;
    virtual EngineStatus status(const QString& source, const QString& target, bool fast) = 0;
    virtual EngineResult<std::shared_ptr<TranslationSession>>
    makeSession(const QString& source, const QString& target, bool fast) = 0;
    // True when both strategies are served by the same engine, so that trying the other
    // strategy after the first can only repeat the first answer.
    virtual bool oneEngineForBothStrategies() const = 0;
    // For the end of the process: the translations under way fail at once and no session is
    // made any more. An engine whose every call returns promptly has nothing to stop.
    virtual void stop() {}
};

} // namespace tivela
