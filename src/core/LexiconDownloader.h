#pragma once

#include "core/Lexicon.h"
#include "core/LexiconPack.h"
#include "core/PackLock.h"

#include <QFuture>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QUrl>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace tivela {

class LexiconDownloadWorker;

// How long and how large a pack's transfer may be.
struct PackLimits {
    // A transfer fails after this long without data.
    int silenceMs = 60000;
    // A pack with the index before it, in all, however the server trickles them: the largest
    // pack takes about this long at 64 kB/s.
    int deadlineMs = 120000;
    qint64 maxPackBytes = LexiconPack::maxFileSize;
};

// Fetches dictionary packs from the pack server into the dictionary folder. A language is
// downloaded at most once at a time in a process (every caller waits on the one download) and
// across processes (an exclusive lock file beside the pack). Downloads run on a thread of the
// downloader's own. Each caller gets a future of its own, which that thread finishes when the
// caller's last pack has landed or failed: nothing is ever attached to a future another caller
// holds, so callers on any thread may wait, watch or attach as they like.
class LexiconDownloader {
public:
    // A waiter gives up after about as long as a lock takes to go stale.
    static constexpr int staleSeconds = PackLock::staleSeconds;
    static constexpr int pollMilliseconds = 500;
    static constexpr int maxPolls = 600;

    // Why a pack was not installed.
    enum class Failure {
        None,
        // No answer, another status than 200, a lock that cannot be had, a file not written.
        Transfer,
        TooLarge,
        // Not a whole pack, or something after it.
        Damaged,
        // Not the size or the checksum that the server's index lists for it.
        NotAsListed,
        TooSlow,
    };

    // baseURL: the pack server over HTTP(S), or a file: folder of packs (a build's own, or
    // packs installed with the program); nothing means no downloads at all.
    LexiconDownloader(Lexicon& lexicon, std::optional<QUrl> baseURL, PackLimits limits = {});
    ~LexiconDownloader();
    LexiconDownloader(const LexiconDownloader&) = delete;
    LexiconDownloader& operator=(const LexiconDownloader&) = delete;

    // The process's instance: Lexicon::shared() and the bundle's "TivelaLexiconURL".
    static LexiconDownloader& shared();
    // A base address as the bundle gives it: nothing for an empty or invalid text.
    static std::optional<QUrl> baseURL(const QString& text);
    const std::optional<QUrl>& baseURL() const { return m_base; }

    // Told whether every pack asked for is installed.
    using Done = std::function<void(bool installed)>;

    // Whether the pack of a language ("zh-TW" files under "zh") is installed afterwards; a
    // code without packs gives false at once.
    QFuture<bool> ensure(const QString& code);
    // Whether every pack of these languages is installed afterwards; codes without packs are
    // ignored, so none at all gives true.
    QFuture<bool> ensure(const QStringList& codes);
    // The same, told to `done` instead: at once on the caller's thread when nothing needs
    // fetching, otherwise on the downloader's thread, where it must not wait for anything.
    void ensure(const QStringList& codes, Done done);
    // Why the last fetch of a language's pack in this process ended without it; None when it
    // ended with the pack, or none ended yet.
    Failure failure(const QString& code) const;
    // Drops the cached pack and deletes its file.
    void remove(const QString& code);
    // The dictionary languages whose packs are installed, sorted.
    QStringList installed() const;
    // The pack file's size in bytes, 0 when it is missing; the code is used unchanged.
    qint64 size(const QString& code) const;

    // The packs a pair needs: English, the source and the target, sorted.
    static QStringList packs(const QString& from, const QString& to);

    // The file beside the packs that lists them, written by the program that makes them.
    static constexpr QLatin1StringView indexFileName{"index.json"};
    // What the pack server's index says: whether it was read, and the languages it lists.
    struct Catalogue {
        bool read = false;
        QStringList languages;
    };
    // The languages the pack server offers, from its index; not read when there is no server
    // or its index cannot be read (then every language may be asked for, as before indexes).
    QFuture<Catalogue> catalogue();
    // The languages of an index's text, sorted; not read when it is no index.
    static Catalogue parseIndex(const QByteArray& text);
    // Removes the lock files this process holds, with system calls alone, for a process that
    // is about to end without running its exit handlers.
    static void releaseHeldLocks();

    // Cancels running downloads (their futures give false) and stops the thread; the
    // destructor does it too. Later calls to ensure give false.
    void shutDown();

private:
    struct Waiter;
    // The callers waiting for each pack being fetched, shared with the downloads' callbacks: a
    // thread left behind at shut-down may still tell them after the downloader is gone.
    struct Waiting {
        // Where every fetch of a pack ends, whatever brought it: tells the waiters of the pack.
        void landed(const QString& pack, Failure failure);

        // Guards the lists, the failures and the stopped flag, never held while a waiter is
        // told.
        mutable std::mutex mutex;
        // A pack is fetched while it has a list.
        QHash<QString, QList<std::shared_ptr<Waiter>>> lists;
        QHash<QString, Failure> failures;
        bool stopped = false;
    };

    Lexicon& m_lexicon;
    const std::optional<QUrl> m_base;
    const PackLimits m_limits;
    const std::shared_ptr<Waiting> m_waiting;
    std::unique_ptr<QThread> m_thread;
    LexiconDownloadWorker* m_worker;
};

} // namespace tivela
