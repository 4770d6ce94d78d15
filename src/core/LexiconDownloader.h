#pragma once

#include "core/Lexicon.h"

#include <QFuture>
#include <QHash>
#include <QMutex>
#include <QPromise>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QUrl>

#include <memory>
#include <optional>

namespace tivela {

class LexiconDownloadWorker;

// Fetches dictionary packs from the pack server into the dictionary folder. A language is
// downloaded at most once at a time in a process (callers share one future) and across
// processes (an exclusive lock file beside the pack). Downloads run on a thread of the
// downloader's own, whose event loop fulfils the futures, so callers on any thread can wait
// for them without the main thread.
class LexiconDownloader {
public:
    // A lock older than this is stale; a waiter gives up after about as long.
    static constexpr int staleSeconds = 300;
    static constexpr int pollMilliseconds = 500;
    static constexpr int maxPolls = 600;
    // A transfer fails after this long without data.
    static constexpr int transferTimeoutMilliseconds = 60000;

    // baseURL: the pack server; nothing means no downloads at all.
    LexiconDownloader(Lexicon& lexicon, std::optional<QUrl> baseURL);
    ~LexiconDownloader();
    LexiconDownloader(const LexiconDownloader&) = delete;
    LexiconDownloader& operator=(const LexiconDownloader&) = delete;

    // The process's instance: Lexicon::shared() and the bundle's "TivelaLexiconURL".
    static LexiconDownloader& shared();
    // A base address as the bundle gives it: nothing for an empty or invalid text.
    static std::optional<QUrl> baseURL(const QString& text);
    const std::optional<QUrl>& baseURL() const { return base_; }

    // Whether the pack of a language ("zh-TW" files under "zh") is installed afterwards; a
    // code without packs gives false at once.
    QFuture<bool> ensure(const QString& code);
    // Whether every pack of these languages is installed afterwards; codes without packs are
    // ignored, so none at all gives true.
    QFuture<bool> ensure(const QStringList& codes);
    // Drops the cached pack and deletes its file.
    void remove(const QString& code);
    // The dictionary languages whose packs are installed, sorted.
    QStringList installed() const;
    // The pack file's size in bytes, 0 when it is missing; the code is used unchanged.
    qint64 size(const QString& code) const;

    // The packs a pair needs: English, the source and the target, sorted.
    static QStringList packs(const QString& from, const QString& to);
    // Whether a lock file may be removed by anyone: older than staleSeconds, or naming a
    // process that no longer exists.
    static bool isStale(const QString& lockPath);
    // Removes the lock files this process holds, with system calls alone, for a process that
    // is about to end without running its exit handlers.
    static void releaseHeldLocks();

    // Cancels running downloads (their futures give false) and stops the thread; the
    // destructor does it too. Later calls to ensure give false.
    void shutDown();

private:
    Lexicon& lexicon_;
    const std::optional<QUrl> base_;
    QMutex mutex_;
    QHash<QString, std::shared_ptr<QPromise<bool>>> inFlight_;
    bool stopped_ = false;
    QThread thread_;
    LexiconDownloadWorker* worker_;
};

} // namespace tivela
