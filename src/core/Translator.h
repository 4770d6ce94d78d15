#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QException>
#include <QFuture>
#include <QHash>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <atomic>
#include <memory>
#include <optional>

namespace tivela {

class TranslationEngine;
class TranslationSession;

// Qt's meta-object system takes one Q_NAMESPACE per namespace across a program, so the pair
// states, whose names are also their values on the wire, have a namespace of their own.
namespace PairStatuses {
Q_NAMESPACE

// The engine's state for a language pair.
enum class PairStatus { installed, downloadable, unsupported };
Q_ENUM_NS(PairStatus)

// Beside the enumeration, where hashed containers look for it.
size_t qHash(PairStatus status, size_t seed = 0);

} // namespace PairStatuses

using PairStatuses::PairStatus;

// "installed", "downloadable", "unsupported".
QString rawValue(PairStatus status);
std::optional<PairStatus> pairStatus(const QString& rawValue);

// The one error of translation. It crosses QFuture boundaries: `result()` throws it again in
// the waiting thread.
class TranslateError : public QException {
public:
    enum class Kind { notInstalled, unsupported, failed, empty };

    // No session: the pair is downloadable. The codes are the caller's.
    static TranslateError notInstalled(const QString& from, const QString& to);
    // No session: the engine cannot translate the pair.
    static TranslateError unsupported(const QString& from, const QString& to);
    // "no engine", "wrong script", or the engine's own description of an error.
    static TranslateError failed(const QString& message);
    // The text to translate is blank.
    static TranslateError empty();

    Kind kind() const { return m_kind; }
    QString from() const { return m_from; }
    QString to() const { return m_to; }
    QString message() const { return m_message; }

    const char* what() const noexcept override { return m_what.constData(); }
    void raise() const override { throw *this; }
    TranslateError* clone() const override { return new TranslateError(*this); }

    friend bool operator==(const TranslateError& a, const TranslateError& b) {
        return a.m_kind == b.m_kind && a.m_from == b.m_from && a.m_to == b.m_to &&
               a.m_message == b.m_message;
    }

private:
    TranslateError(Kind kind, const QString& from, const QString& to, const QString& message);

    Kind m_kind;
    QString m_from;
    QString m_to;
    QString m_message;
    QByteArray m_what;
};

// The only way to the on-device translation engine. It keeps one engine session per pair and
// strategy, falls back from one strategy to the other, rejects answers in the wrong script,
// and turns every failure into a TranslateError. Every operation returns at once; the work
// runs on the translator's own threads, and a future may be waited on from any thread,
// including one that runs no event loop. Statuses and languages never wait for translations.
class Translator {
public:
    explicit Translator(std::shared_ptr<TranslationEngine> engine);
    ~Translator();
    Translator(const Translator&) = delete;
    Translator& operator=(const Translator&) = delete;

    // The codes of the languages the engine knows; asked once, then kept. Never fails.
    QFuture<QSet<QString>> supportedLanguages();
    // Asked afresh every time. Never fails.
    QFuture<PairStatus> status(const QString& from, const QString& to, bool fast);
    // `fast` tries the low-latency strategy first, otherwise the high-fidelity one.
    QFuture<QString> translate(const QString& text, const QString& from, const QString& to,
                               bool fast);
    // One result per text, in order; a text the engine left unanswered keeps its source text.
    QFuture<QStringList> translate(const QStringList& batch, const QString& from, const QString& to,
                                   bool fast);

    // For the end of the process, before the tables the work reads are gone: the engine stops
    // what it runs, and calls still waiting for a thread, like every later one, fail at once
    // ("the translator has stopped"; statuses say unsupported, languages none). Waits for the
    // translator's threads until the deadline; whether they all ended.
    bool stop(QDeadlineTimer deadline);

private:
    using Session = std::shared_ptr<TranslationSession>;

    PairStatus statusNow(const QString& from, const QString& to, bool fast);
    Session session(const QString& from, const QString& to, bool fast);
    QList<bool> strategies(const QString& from, const QString& to, bool fast);
    QString translateNow(const QString& text, const QString& from, const QString& to, bool fast);
    QStringList translateNow(const QStringList& batch, const QString& from, const QString& to,
                             bool fast);
    // Forgets the cached session of a key if it is still the one that failed.
    void drop(const QString& key, const Session& failed);

    std::shared_ptr<TranslationEngine> m_engine;
    QMutex m_mutex;
    QHash<QString, Session> m_sessions;
    std::optional<QSet<QString>> m_supported;
    std::atomic<bool> m_stopped = false;
    // Last, so that they are destroyed first: their threads finish before the state they use
    // goes. Statuses and the language list have threads of their own: a translation holds its
    // thread as long as its text takes, and a question must not wait behind a page of them.
    QThreadPool m_questions;
    QThreadPool m_pool;
};

} // namespace tivela
