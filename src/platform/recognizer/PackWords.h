#pragma once

#include <QDeadlineTimer>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace tivela {

// Which installed dictionary packs hold a word, as a headword or one of its forms: the
// languages a word may be in beyond those the translation engine's analysers know.
//
// Only the packs' word keys are kept, a few megabytes for the largest pack, read on a thread
// of their own the first time a word is asked about; the dictionary folder is looked at again
// at most once a second, and a pack that changed is read again. A caller on the main thread
// never waits for that, nor touches a file: until a pack is read its language is left out.
// Any other caller waits a bounded time. Any thread may call any operation.
class PackWords {
public:
    struct Options {
        QString folder;
        // How long a caller other than the main thread waits for the packs to be read.
        // Loading takes well under a second on an idle machine; the bound is for a loaded one
        // (ten seconds were seen run out beside a full build), where a shorter wait names the
        // wrong language of the first texts after a start.
        std::chrono::milliseconds wait{30000};
        std::chrono::milliseconds rescanInterval{1000};
    };

    explicit PackWords(Options options);
    ~PackWords();
    PackWords(const PackWords&) = delete;
    PackWords& operator=(const PackWords&) = delete;

    // The instance of the process, on the dictionary's folder.
    static PackWords& shared();

    // The languages of the packs that are read and hold a word, each in code order: those
    // with a line of its own for it, and those that hold it less surely: their form rules
    // alone lead it to one, or their line is of a word written only with capitals and the
    // word is typed with one. A rule strips an ending that words of other languages end in too
    // ("saucers" leads to the French "saucer", "haben" to the Spanish "haber"), and names pass
    // from language to language ("Oder", "Volta"). A word typed in lower case is none of those
    // written only with capitals: "oder" is German, whatever the English pack names "Oder";
    // and a German noun typed in lower case ("bild", "kunde") is held loosely. Of those that
    // hold it as it is, the languages whose records make it a function word (a pronoun,
    // preposition, conjunction, determiner or numeral, or a form of one: "eller", "mit").
    struct Holders {
        QStringList exactly;
        QStringList loosely;
        QStringList functionWord;
    };
    Holders holders(const QString& word);
    // Has the installed packs read, waiting for none of them.
    void prefetch();
    // Has the installed packs read and waits at most `bound` for them, from any thread; true
    // when every one of them is read (or could not be).
    bool load(std::chrono::milliseconds bound);
    // The memory the word keys hold, in bytes.
    qsizetype bytes();

private:
    class Index;
    enum class Status { idle, loading, ready, failed };
    struct Pack {
        QString path;
        qint64 size = 0;
        qint64 modified = 0;
        Status status = Status::idle;
        // A read begun for an older file does not count.
        quint64 generation = 0;
        std::shared_ptr<const Index> index;
    };

    using Lock = std::unique_lock<std::mutex>;
    // Has the folder looked at on the loading thread unless that was done lately; true while
    // the packs are being looked for or read.
    bool busy(Lock& lock);
    void rescan();
    void read(const QString& code, quint64 generation, const QString& path);
    bool waitUntilSettled(Lock& lock, QDeadlineTimer deadline);

    Options m_options;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_scanned = false;
    bool m_scanning = false;
    std::chrono::steady_clock::time_point m_lastScan;
    QHash<QString, Pack> m_packs;
    quint64 m_generation = 0;
    bool m_stopping = false;
    // One pack at a time: inflating a pack takes several times the memory its keys end in.
    QThreadPool m_loader;
};

} // namespace tivela
