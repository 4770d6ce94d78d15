#pragma once

#include "FreeDict.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

namespace tivela::packbuild {

// Ding's German and English, from FreeDict's two dictionaries made of it: which German word
// translates which English one. Only hashes of the pairs are kept: Ding has millions.
class Ding {
public:
    // One line of a German article: the English word it leads with and its part of speech.
    struct Sense {
        QString english;
        QString pos;
    };

    // Reads freedict-eng-deu and freedict-deu-eng of a dictd folder; a missing one adds
    // nothing.
    void load(const QString& dictd);
    bool isLoaded() const { return m_loaded; }
    // Whether Ding pairs the English key with a German word of this hash (germanHash()).
    bool pairs(const QString& englishKey, size_t germanHash) const;
    // The senses of a German word (by germanHash()) in its own article, plain ones only.
    QList<Sense> senses(size_t germanHash) const { return m_senses.value(germanHash); }
    // The hash of a German word key, its lowest bit free for GermanWords' direction.
    static size_t germanHash(const QString& germanKey);

private:
    void addSenses(const FreeDict::Entry& entry);

    std::vector<size_t> m_pairs;
    QHash<size_t, QList<Sense>> m_senses;
    bool m_loaded = false;
};

// The German words of each word of a language, from FreeDict's dictionaries between it and
// German: a translation of an English word that Ding's German confirms is its common one.
class GermanWords {
public:
    // Reads freedict-<freedict>-deu and freedict-deu-<freedict>; the names and editions of the
    // dictionaries read, empty when there are none.
    QStringList load(const QString& dictd, const QString& freedict, const QString& lang);
    // In how many of the dictionaries with German (0, 1 or 2) a German word of the term is one
    // that Ding gives for the English word.
    int confirmations(const Ding& ding, const QString& termKey, const QString& englishKey) const;
    // The hashes of the German words of each word key.
    const QHash<QString, std::vector<size_t>>& words() const { return m_words; }
    // The parts of speech the dictionaries name for a word key, each once, in the order of
    // their articles: "jag" is a noun ("ett jag") and a pronoun. Empty when they name none.
    QStringList partsOfSpeech(const QString& wordKey) const { return m_parts.value(wordKey); }

private:
    // The lowest bit of a hash tells the direction: a pair that both dictionaries give is kept
    // twice.
    QHash<QString, std::vector<size_t>> m_words;
    QHash<QString, QStringList> m_parts;
};

} // namespace tivela::packbuild
