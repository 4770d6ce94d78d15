#pragma once

#include "core/TranslationEngine.h"

#include <QHash>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

namespace tivela::test {

// An engine for unit tests: statuses per pair and strategy, scripted answers and errors, and
// counts of what was asked and of the sessions made and dropped. Pairs are named by the
// identifiers the engine sees ("zh-Hant", not "zh-TW"). Unless scripted, a pair is unsupported
// and a session echoes its text.
class FakeEngine : public TranslationEngine {
public:
    using Translate = std::function<EngineResult<QString>(const QString& text)>;
    using Batch =
        std::function<EngineResult<QList<EngineResponse>>(const QList<EngineRequest>& requests)>;
    using Status =
        std::function<EngineStatus(const QString& source, const QString& target, bool fast)>;

    // Scripted answers.
    static Translate answer(const QString& text);
    static Translate error(const QString& description);
    static Batch responses(const QList<EngineResponse>& responses);
    static Batch batchError(const QString& description);

    void setLanguages(const QStringList& identifiers);
    void setStatus(const QString& source, const QString& target, bool fast, EngineStatus status);
    // Asked instead of the table for every status query.
    void setStatusFunction(Status status);
    void setTranslate(const QString& source, const QString& target, bool fast, Translate translate);
    void setBatch(const QString& source, const QString& target, bool fast, Batch batch);
    void failSessions(const QString& source, const QString& target, bool fast,
                      const QString& description);
    void setOneEngine(bool one);

    int sessionsMade(const QString& source, const QString& target, bool fast) const;
    int sessionsMade() const;
    // Sessions that nobody holds any more.
    int sessionsDropped() const;
    int statusQueries() const;
    int languageQueries() const;
    int translations() const;

    QStringList supportedLanguages() override;
    EngineStatus status(const QString& source, const QString& target, bool fast) override;
    EngineResult<std::shared_ptr<TranslationSession>>
    makeSession(const QString& source, const QString& target, bool fast) override;
    bool oneEngineForBothStrategies() const override;

    // Shared with the sessions, which may outlive the engine.
    struct Counters {
        std::atomic<int> dropped = 0;
        std::atomic<int> translations = 0;
    };

private:
    static QString key(const QString& source, const QString& target, bool fast);

    mutable QMutex m_mutex;
    QStringList m_languages;
    QHash<QString, EngineStatus> m_statuses;
    Status m_statusFunction;
    QHash<QString, Translate> m_translate;
    QHash<QString, Batch> m_batch;
    QHash<QString, QString> m_sessionFailures;
    QHash<QString, int> m_made;
    bool m_oneEngine = false;
    int m_statusQueries = 0;
    int m_languageQueries = 0;
    std::shared_ptr<Counters> m_counters = std::make_shared<Counters>();
};

} // namespace tivela::test
