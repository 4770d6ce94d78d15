#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <optional>
#include <sys/types.h>

namespace tivela {

// The stages of one Apertium mode, running as one process group and kept warm between
// requests. Records go in and come back separated by NUL characters. The pipeline serves one
// exchange at a time; callers serialise. Once an exchange has failed, the process group is
// gone and every later exchange fails.
class ApertiumPipeline {
public:
    using Deadline = std::chrono::steady_clock::time_point;

    // The stages of a null-flush stage script ("lt-proc -z 'a.bin' | apertium-tagger ..."),
    // with the script's $1 and $2 replaced by the given arguments. Nothing when the script
    // uses more of the shell than a plain pipeline of commands.
    static std::optional<QList<QStringList>> stages(const QString& script,
                                                    const QStringList& arguments);

    // Starts the stages of a mode file: the script `apertium-wblank-mode -z` makes of it, run
    // without unknown-word marks. Nothing, with the reason in `error`, when it cannot start.
    static std::unique_ptr<ApertiumPipeline> start(const QString& modeFile, QString* error);
    static std::unique_ptr<ApertiumPipeline> start(const QList<QStringList>& stages,
                                                   QString* error);

    ~ApertiumPipeline();
    ApertiumPipeline(const ApertiumPipeline&) = delete;
    ApertiumPipeline& operator=(const ApertiumPipeline&) = delete;

    // Sends every record, each followed by a NUL, and reads one answer per record, writing and
    // reading at once so that neither side can fill up and stall. Nothing, with the reason in
    // `error`, when the deadline passes, the pipeline ends first or `interrupt` (a descriptor
    // another thread may make readable) becomes readable; the process group is then killed.
    std::optional<QList<QByteArray>> exchange(const QList<QByteArray>& records, Deadline deadline,
                                              QString* error, int interrupt = -1);

    // Why the pipeline cannot go on when one of its stages has ended (or ends within
    // endWait), the process group then being stopped; nothing while every stage runs.
    std::optional<QString> endedStage();
    static constexpr std::chrono::milliseconds endWait{500};

    bool alive() const { return m_group > 0; }
    pid_t processGroup() const { return m_group; }
    QList<pid_t> processes() const { return m_processes; }

private:
    ApertiumPipeline() = default;
    void stop();
    void readErrors();
    QString failure(const QString& what, std::chrono::milliseconds wait);

    pid_t m_group = -1;
    QList<pid_t> m_processes;
    int m_input = -1;
    int m_output = -1;
    int m_errors = -1;
    QByteArray m_pending;
    QByteArray m_errorTail;
};

} // namespace tivela
