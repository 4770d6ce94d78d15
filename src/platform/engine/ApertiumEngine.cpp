#include "platform/engine/ApertiumEngine.h"

#include "core/Languages.h"
#include "platform/engine/ApertiumCase.h"
#include "platform/engine/ApertiumPipeline.h"
#include "platform/engine/ApertiumStream.h"

#include <QDir>
#include <QSet>

#include <atomic>
#include <mutex>

#include <sys/eventfd.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

using ApertiumCatalogue::Direction;

Direction direction(const QString& source, const QString& target) {
    return {Languages::code(source), Languages::code(target)};
}

QString stoppedMessage() {
    return u"the translation engine was stopped"_s;
}

} // namespace

class ApertiumSession : public TranslationSession {
public:
    ApertiumSession(std::unique_ptr<ApertiumPipeline> pipeline,
                    const ApertiumEngine::Options& options, QString target)
        : m_pipeline(std::move(pipeline))
        , m_interrupt(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
        , m_options(options)
        , m_target(std::move(target)) {}
    ~ApertiumSession() override {
        if (m_interrupt >= 0)
            ::close(m_interrupt);
    }
    ApertiumSession(const ApertiumSession&) = delete;
    ApertiumSession& operator=(const ApertiumSession&) = delete;

    // From any thread: an exchange under way ends at once, the stages are killed, and the
    // session fails for good.
    void interrupt() {
        m_interrupted = true;
        if (m_interrupt >= 0) {
            const uint64_t one = 1;
            [[maybe_unused]] const auto written = ::write(m_interrupt, &one, sizeof one);
        }
        // Not long: the exchange that holds the lock sees the descriptor, and those waiting for
        // the lock see the flag. Without the descriptor the exchange under way cannot be woken;
        // it ends by its own deadline.
        std::unique_lock lock(m_mutex, std::defer_lock);
        if (m_interrupt >= 0)
            lock.lock();
        else if (!lock.try_lock())
            return;
        if (m_pipeline)
            fail(stoppedMessage());
    }

    EngineResult<QString> translate(const QString& text) override {
        auto answers = exchange({text});
        if (!answers)
            return EngineResult<QString>::failure(answers.error);
        return EngineResult<QString>::success(answers.value->first());
    }

    EngineResult<QList<EngineResponse>>
    translations(const QList<EngineRequest>& requests) override {
        QStringList texts;
        for (const EngineRequest& request : requests)
            texts << request.sourceText;
        auto answers = exchange(texts);
        if (!answers)
            return EngineResult<QList<EngineResponse>>::failure(answers.error);
        QList<EngineResponse> responses;
        for (qsizetype i = 0; i < requests.size(); ++i)
            responses << EngineResponse{requests[i].clientIdentifier, answers.value->at(i)};
        return EngineResult<QList<EngineResponse>>::success(responses);
    }

private:
    EngineResult<QStringList> exchange(const QStringList& texts) {
        std::lock_guard lock(m_mutex);
        if (m_interrupted && m_pipeline)
            return fail(stoppedMessage());
        if (!m_pipeline)
            return EngineResult<QStringList>::failure(m_failure);
        QList<QByteArray> records;
        qsizetype bytes = 0;
        const quint64 first = m_next;
        for (const QString& text : texts) {
            records << ApertiumStream::request(text, m_next++);
            bytes += records.last().size();
        }
        // Without the allowance a slow start used the request's time up, the session was
        // dropped, and the next request started cold again: on a slow machine none succeeded.
        const auto allowance = m_started ? std::chrono::milliseconds(0) : m_options.startAllowance;
        const auto deadline =
            std::chrono::steady_clock::now() +
            std::min<std::chrono::milliseconds>(m_options.timeout + allowance +
                                                    m_options.timeoutPerKilobyte * (bytes / 1024),
                                                m_options.maxTimeout);
        QString error;
        const auto answers = m_pipeline->exchange(records, deadline, &error, m_interrupt);
        if (!answers)
            return fail(error);
        m_started = true;
        QStringList results;
        for (qsizetype i = 0; i < answers->size(); ++i) {
            auto text = ApertiumStream::answer(answers->at(i), first + quint64(i));
            // A stage that died can leave a cut record behind: its end is the reason to tell.
            if (!text)
                return fail(m_pipeline->endedStage().value_or(
                    u"the translation engine gave a garbled answer"_s));
            results << ApertiumCase::followSource(texts[i], *text, m_target);
        }
        return EngineResult<QStringList>::success(results);
    }

    EngineResult<QStringList> fail(const QString& error) {
        m_pipeline.reset();
        m_failure = error;
        return EngineResult<QStringList>::failure(error);
    }

    std::mutex m_mutex;
    std::unique_ptr<ApertiumPipeline> m_pipeline;
    // Readable once interrupted; open for the session's life, so interrupt() never writes to a
    // descriptor that was closed meanwhile.
    const int m_interrupt;
    std::atomic<bool> m_interrupted = false;
    QString m_failure;
    quint64 m_next = 1;
    bool m_started = false;
    const ApertiumEngine::Options m_options;
    // The language code translated into.
    const QString m_target;
};

ApertiumEngine::ApertiumEngine()
    : ApertiumEngine(Options{}) {
}

ApertiumEngine::ApertiumEngine(Options options)
    : m_options(std::move(options)) {
    if (m_options.modesFolder.isEmpty())
        m_options.modesFolder = defaultModesFolder();
}

QString ApertiumEngine::defaultModesFolder() {
    const QString chosen = qEnvironmentVariable("TIVELA_APERTIUM_MODES");
    return chosen.isEmpty() ? u"/usr/share/apertium/modes"_s : chosen;
}

QHash<Direction, ApertiumCatalogue::Mode> ApertiumEngine::installed() const {
    QStringList names = QDir(m_options.modesFolder).entryList({u"*.mode"_s}, QDir::Files);
    for (QString& name : names)
        name.chop(5);
    return ApertiumCatalogue::directions(names);
}

QStringList ApertiumEngine::supportedLanguages() {
    QSet<QString> languages;
    const auto add = [&](const ApertiumCatalogue::Mode& mode) {
        languages << mode.sourceIdentifier << mode.targetIdentifier;
    };
    for (const auto& mode : installed())
        add(mode);
    for (const auto& package : ApertiumCatalogue::packages())
        for (const auto& mode : ApertiumCatalogue::directions(package.modes))
            add(mode);
    QStringList sorted = languages.values();
    sorted.sort();
    return sorted;
}

EngineStatus ApertiumEngine::status(const QString& source, const QString& target, bool) {
    const Direction wanted = direction(source, target);
    if (installed().contains(wanted))
        return EngineStatus::installed;
    if (!ApertiumCatalogue::package(wanted.source, wanted.target).isEmpty())
        return EngineStatus::supported;
    return EngineStatus::unsupported;
}

EngineResult<std::shared_ptr<TranslationSession>>
ApertiumEngine::makeSession(const QString& source, const QString& target, bool) {
    using Result = EngineResult<std::shared_ptr<TranslationSession>>;
    const auto mode = installed().value(direction(source, target));
    if (mode.name.isEmpty())
        return Result::failure(
            u"no translation mode from %1 to %2 is installed"_s.arg(source, target));
    {
        std::lock_guard lock(m_mutex);
        if (m_stopped)
            return Result::failure(stoppedMessage());
    }
    QString error;
    auto pipeline =
        ApertiumPipeline::start(QDir(m_options.modesFolder).filePath(mode.name + u".mode"), &error);
    if (!pipeline)
        return Result::failure(error);
    auto session =
        std::make_shared<ApertiumSession>(std::move(pipeline), m_options, mode.direction.target);
    std::lock_guard lock(m_mutex);
    // Stopped while the stages started: they end with the session, which nobody gets.
    if (m_stopped)
        return Result::failure(stoppedMessage());
    std::erase_if(m_sessions, [](const auto& made) { return made.expired(); });
    m_sessions.push_back(session);
    return Result::success(session);
}

void ApertiumEngine::stop() {
    std::vector<std::shared_ptr<ApertiumSession>> live;
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
        for (const auto& made : std::exchange(m_sessions, {}))
            if (auto session = made.lock())
                live.push_back(std::move(session));
    }
    for (const auto& session : live)
        session->interrupt();
}

} // namespace tivela
