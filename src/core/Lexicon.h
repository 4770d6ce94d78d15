#pragma once

#include "core/DictionaryEntry.h"
#include "core/LexiconPack.h"

#include <QHash>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace tivela {

// The dictionary of one process: the folder of the packs, a cache of the packs loaded so far,
// and the word cards built from them. Every operation may be called from any thread; the lock
// guards only the cache and is never held while a lookup reads a pack.
class Lexicon {
public:
    static constexpr int maxKeyCharacters = 60;
    static constexpr int maxTerms = 8;
    static constexpr int maxMeanings = 8;

    explicit Lexicon(QString directory);
    Lexicon(const Lexicon&) = delete;
    Lexicon& operator=(const Lexicon&) = delete;

    // The instance of the process, on the dictionary folder of the data folder.
    static Lexicon& shared();

    const QString& directory() const { return m_directory; }
    // The pack file of a dictionary language, used unchanged (callers fold "zh-TW" to "zh");
    // empty for a code that has no packs, so no other name can reach the file system.
    QString packPath(const QString& lang) const;
    // The name of a language's pack file, in the dictionary folder and on the pack server.
    static QString fileName(const QString& lang);
    bool isInstalled(const QString& lang) const;
    // The cached pack, or one loaded now under the lock. A file that failed to load is not
    // read again until it changes.
    std::shared_ptr<const LexiconPack> pack(const QString& lang);
    void unload(const QString& lang);

    // The word card of a word for a pair of languages; nothing for the same language, a
    // missing source pack, an empty or overlong key, or a word the packs do not know.
    std::optional<DictionaryEntry> lookup(const QString& word, const QString& from,
                                          const QString& to);

    // The normalised key of a word: punctuation and white space trimmed, composed, lower-cased;
    // Russian, Ukrainian and Bulgarian also lose stress marks and read "ё" as "е".
    static QString key(const QString& word, const QString& lang);
    // Short translations taken from an English gloss: parentheses cut, split at "," and ";",
    // at most three words each, in order and without repeats.
    static QStringList glossTerms(const QString& gloss);
    // The keys a pack's form rules lead a key to, in the order of the rules, without repeats;
    // a stem keeps at least two characters.
    static QStringList derivedKeys(const QString& key, const QList<LexiconPack::FormRule>& rules);

    // The sources and licences of a loaded pack ("WordNet · FreeDict"); empty while the pack
    // is not loaded or names none. Never waits for a pack to load.
    QString credit(const QString& lang) const;

private:
    struct FileStamp {
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = 0;
        qint64 modified = 0;

        friend bool operator==(const FileStamp&, const FileStamp&) = default;
    };
    static std::optional<FileStamp> stamp(const QString& path);

    const QString m_directory;
    QMutex m_mutex;
    QHash<QString, std::shared_ptr<const LexiconPack>> m_packs;
    QHash<QString, FileStamp> m_failures;
    mutable QMutex m_creditMutex;
    QHash<QString, QString> m_credits;
};

} // namespace tivela
