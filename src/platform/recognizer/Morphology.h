#pragma once

#include "platform/recognizer/Vocabulary.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QThreadPool>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace tivela {

// Which words each language knows, by the morphological analysers of the installed Apertium
// pairs: a language's analysers are those of the modes that translate from it, so English
// has one in eng-spa and one in eng-cat.
//
// The modes folder is read, and a language's analysers are loaded the first time it is asked
// about, on a thread of their own; they stay while they fit the memory budget beside the
// languages asked about since. A caller on the main thread never waits for that, nor touches
// a file: until the analysers are ready the language is left out. Any other caller waits a
// bounded time. Installing or removing a pair is seen within a second. Any thread may call
// any operation.
class Morphology {
public:
    struct Options {
        // Empty: the translation engine's modes folder.
        QString modesFolder;
        // The languages asked about least lately are let go beyond this many bytes.
        qsizetype memoryBudget = 32 << 20;
        // How long a caller other than the main thread waits for a language's analysers.
        // Loading takes well under a second on an idle machine; the bound is for a loaded one
        // (ten seconds were seen run out beside a full build), where a shorter wait names the
        // wrong language of the first texts after a start.
        std::chrono::milliseconds wait{30000};
        // The modes folder is looked at again at most this often.
        std::chrono::milliseconds rescanInterval{1000};
    };

    // A text's words are looked up up to this many; more tell nothing new.
    static constexpr qsizetype maxWords = 32;

    Morphology();
    explicit Morphology(Options options);
    ~Morphology();
    Morphology(const Morphology&) = delete;
    Morphology& operator=(const Morphology&) = delete;

    static Morphology& shared();

    // The words of a text as the analysers are asked about them: runs of letters, which
    // apostrophes and hyphens between letters join ("aujourd'hui", "bien-être"); the first
    // maxWords of them.
    static QStringList words(QStringView text);

    // Which of `words` each of `languages` knows, word by word. A word joined by apostrophes or
    // hyphens is known when it is known whole or each of its parts is. Languages without
    // analysers, and languages whose analysers are not ready in time, are left out.
    QHash<QString, QList<bool>> known(const QStringList& words, const QStringList& languages);

    // The languages that have analysers, as far as the modes folder has been read; a reading is
    // started when one is due. Never waits.
    QStringList languages();

    // Starts loading the analysers of those of `languages` that the modes folder was seen to
    // have and that were never prefetched before, waiting for none: a language let go for the
    // memory budget loads again only when asked about.
    void prefetch(const QStringList& languages);

    // Loads the analysers of `languages` and waits at most `bound` for them, from any thread;
    // true when every language that has analysers is ready.
    bool load(const QStringList& languages, std::chrono::milliseconds bound);

    // The memory the loaded analysers hold, in bytes.
    qsizetype bytes();

    // For the end of the process, before the tables the loading reads are gone: nothing more
    // is read or loaded (languages not ready are left out from now on), and the loading thread
    // is waited for until the deadline; whether it ended.
    bool stop(QDeadlineTimer deadline);

private:
    enum class Status { idle, loading, ready, failed };

    struct Language {
        QStringList files;
        Status status = Status::idle;
        // A load begun for an older list of files does not count.
        quint64 generation = 0;
        std::vector<std::shared_ptr<const Vocabulary>> vocabularies;
        qsizetype bytes = 0;
        quint64 lastUse = 0;
    };

    using Lock = std::unique_lock<std::mutex>;
    // Has the modes folder read again on the loading thread, unless that was done lately, and
    // then the analysers of the languages asked about loaded.
    void rescanSoon(const QStringList& asked);
    // Reads the modes folder, unless no mode file changed since the last reading.
    void rescan();
    // Starts the loads of these languages that are needed, as far as the modes folder was
    // read; false while it is being read and while any of them is loading.
    bool readyOrNone(const QStringList& languages);
    void finishLoading(const QString& code, quint64 generation,
                       std::vector<std::shared_ptr<const Vocabulary>> vocabularies);
    void keepWithinBudget(const QString& kept);

    Options m_options;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_scanned = false;
    bool m_scanning = false;
    bool m_scanAgain = false;
    QStringList m_asked;
    std::chrono::steady_clock::time_point m_lastScan;
    // The mode files when last read: name, size and time of change.
    QStringList m_modesSeen;
    QHash<QString, Language> m_languages;
    QSet<QString> m_prefetched;
    quint64 m_clock = 0;
    bool m_stopping = false;
    // Reads the modes folder and loads analysers, one job at a time: reading a transducer
    // takes several times the memory it ends in.
    QThreadPool m_loader;
};

} // namespace tivela
