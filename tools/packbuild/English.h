#pragma once

#include "WordNet.h"

#include <QHash>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include <vector>

namespace tivela::packbuild {

// What every pack knows of English: WordNet's lemmas and senses, the words that point to a
// sense, the inflected forms of English words, and the transcriptions the dictionaries give.
class English {
public:
    // Reads WordNet's "dict" folder; false with a message when it cannot.
    bool load(const QString& wordnet, QString* error);
    // The forms of English words: WordNet's exception lists, the forms of Apertium's English
    // analyser below the Apertium folder (none when it is empty or missing), and the
    // possessives and negations of the word list of a folder of word lists.
    void loadForms(const QString& apertium, const QString& wordLists);
    bool isLoaded() const { return m_loaded; }
    bool hasForms() const { return !m_forms.isEmpty(); }

    const WordNet& wordnet() const { return m_wordnet; }
    // WordNet's lemmas by their keys.
    const QMap<QString, QString>& lemmas() const { return m_lemmas; }
    bool isLemma(const QString& key) const { return m_lemmas.contains(key); }
    QString lemma(const QString& key) const { return m_lemmas.value(key); }
    // The lemma keys of an inflected form's key ("ran": "run").
    const QHash<QString, QStringList>& forms() const { return m_forms; }
    bool isForm(const QString& key) const { return m_forms.contains(key); }
    // Whether the word list spells a word in lower case: an ordinary word, whatever WordNet
    // has of it ("us" beside "US").
    bool listedInLowerCase(const QString& key) const { return m_lowerCase.contains(key); }
    // How common an English word is: how often WordNet's corpus used it, on a log scale.
    double commonness(const QString& key) const;
    // By synset: the hashes of its words' keys, and of the longer words of its definition.
    const std::vector<size_t>& synsetKeys(qsizetype synset) const;
    const std::vector<size_t>& definitionWords(qsizetype synset) const;

    // A transcription of an English word that a language's dictionary gives; the first one
    // of each language stays.
    void noteIpa(const QString& lang, const QString& key, const QString& ipa);
    // The transcription of a word, from the dictionaries in the order they are trusted.
    QString ipa(const QString& key) const;
    // The header lines that name the English sources.
    const QStringList& header() const { return m_header; }

    // Apertium's English analyser, below the Apertium folder.
    static QString analyser();

private:
    void addForm(const QString& form, const QString& base);
    void loadPossessives(const QString& wordLists);

    WordNet m_wordnet;
    bool m_loaded = false;
    QMap<QString, QString> m_lemmas;
    std::vector<std::vector<size_t>> m_synsetKeys;
    std::vector<std::vector<size_t>> m_definitionWords;
    QHash<QString, QStringList> m_forms;
    QSet<QString> m_lowerCase;
    // By the language of the dictionary that gave it.
    QHash<QString, QHash<QString, QString>> m_ipa;
    QStringList m_header;
};

} // namespace tivela::packbuild
