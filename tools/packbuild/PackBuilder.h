#pragma once

#include "FreeDict.h"
#include "WordNet.h"

#include "core/LexiconPack.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <vector>

namespace tivela::packbuild {

// Where the data of the packs comes from.
struct Sources {
    // WordNet's "dict" folder (index.noun, data.noun, noun.exc, ...).
    QString wordnet;
    // The folder of the dictd files (freedict-eng-spa.index, freedict-eng-spa.dict.dz, ...).
    QString dictd;
    // Apertium's data folder; empty to use no Apertium data.
    QString apertium;
    // The folder of the word lists of /usr/share/dict (american-english, spanish, ...).
    QString wordLists;
};

// Builds dictionary packs: the English pack from WordNet, and a pack for each other language
// whose translations are attached to WordNet's English senses. Each pack is written only
// after the core's reader has loaded it.
class PackBuilder {
public:
    explicit PackBuilder(Sources sources);

    // The languages a pack can be made for, with the dictionaries each one reads.
    static QStringList languages();

    // Reads WordNet and the dictionaries of these languages; false with a message when
    // WordNet or every dictionary of a language is missing.
    bool load(const QStringList& langs, QString* error);
    // Writes the index of the packs in a folder beside them: each pack's language, file,
    // size and SHA-256, so that only packs that exist are offered.
    static bool writeIndex(const QString& folder, QString* error);

    // Writes <folder>/<lang>.lex.gz, reading the language's dictionaries first; false with a
    // message when it cannot. English, whose transcriptions come from the other languages'
    // dictionaries, is best written last.
    bool write(const QString& lang, const QString& folder, QString* error);

private:
    // One piece of evidence that a word of a language translates an English word.
    struct Pair {
        QString english;
        QString pos;
        QString term;
        // Lower is better: the dictionary's order of its articles and lines.
        int rank = 0;
        // The dictionary it comes from, one bit each.
        int source = 0;
        // Lookup keys of english and term, filled in when the pack is made.
        QString englishKey;
        QString termKey;
        // The dictionary labels it with a special use ("techn.", "Br.", "coll.").
        bool special = false;
        // From English: 0 for the first term of the article, 1 for the rest of its first
        // sense, 2 for later senses.
        int place = 2;
        // The line of terms it was read from, in the dictionary from English; -1 otherwise.
        int line = -1;
    };

    struct Meaning {
        QString gloss;
        std::optional<QPair<QString, QString>> example;
        QStringList tags;
        // How many of its translations other dictionaries confirm.
        int support = 0;
    };

    struct WordEntry {
        QString pos;
        QString ipa;
        QList<Meaning> meanings;
    };

    // What a pack says of one word of its language.
    struct Word {
        QList<WordEntry> entries;
        QStringList senses;
        QStringList lemmas;
    };

    struct SenseLine {
        QString english;
        QString pos;
        QString gloss;
        QStringList terms;
        // How often WordNet's corpus used the sense.
        int count = 0;
    };

    struct Tally {
        int single = 0;
        int synonym = 0;
        int first = 0;
        int outside = 0;
        int dropped = 0;
    };

    struct Language {
        QString code;
        QStringList header;
        QList<Pair> pairs;
        // Articles of the language-to-English dictionary by headword key.
        QList<FreeDict::Entry> articles;
        QHash<QString, QStringList> forms;
        // Part of speech of a word as the language's analyser reads it.
        QHash<QString, QStringList> partsOfSpeech;
        QHash<QString, QStringList> englishPartsOfSpeech;
        // How often the dictionaries use each word key.
        QHash<QString, int> mentions;
        // The names of the sources, for the card's credit line.
        QStringList credits;
        // The German words of each word key, from the dictionaries between the language and
        // German, by their keys' hashes.
        QHash<QString, std::vector<size_t>> german;
    };

    bool loadWordNet(QString* error);
    // Ding's pairs of English and German words, for the languages whose dictionaries with
    // German confirm their translations of English.
    void loadGermanBridge();
    void loadGermanWords(Language& language);
    void takePartsOfSpeech(Language& language) const;
    static void restoreSpaces(Language& language);
    // Whether a German word that Ding gives for the English word translates the term too: in
    // how many of the language's dictionaries with German (0, 1 or 2).
    int confirmedThroughGerman(const Language& language, const QString& termKey,
                               const QString& englishKey) const;
    bool loadLanguage(const QString& lang, QString* error);
    bool loadApertium(Language& language, QString* error);
    bool loadApertiumTranslations(Language& language, const QStringList& chain, QString* error);
    bool loadApertiumWords(Language& language, const QString& analyser, QString* error);
    static QList<LexiconPack::FormRule> germanRules();
    void loadEnglishForms();

    std::map<QString, QByteArray> lines(const QString& lang, QStringList* header, QString* error);
    static QByteArray text(const QStringList& header, const std::map<QString, QByteArray>& lines);
    std::map<QString, QByteArray> englishLines();
    std::map<QString, QByteArray> languageLines(Language& language, Tally* tally);
    // How common an English word is: how often WordNet's corpus used it, on a log scale.
    double englishCommonness(const QString& englishKey) const;
    // The ending rules that lead the most forms to their lemmas, longest endings first.
    static QList<LexiconPack::FormRule> formRules(const std::map<QString, QStringList>& formLemmas);

    // The sense id a pair is attached to, and how it was found.
    QString attach(const Pair& pair, const QHash<QString, QSet<size_t>>& context,
                   std::map<QString, SenseLine>& senses, Tally* tally) const;
    QString senseId(const QString& english, const QString& pos, int number) const;
    QString englishIpa(const QString& key) const;

    Sources m_sources;
    WordNet m_wordnet;
    bool m_wordnetLoaded = false;
    // WordNet lemmas by key.
    QMap<QString, QString> m_lemmas;
    // By synset: the keys of its words, and the longer words of its definition.
    std::vector<std::vector<size_t>> m_synsetKeys;
    std::vector<std::vector<size_t>> m_definitionWords;
    QHash<QString, QStringList> m_englishForms;
    // IPA of English words by the language of the dictionary that gave it.
    QHash<QString, QHash<QString, QString>> m_englishIpa;
    QStringList m_englishHeader;
    QHash<QString, Language> m_languages;
    // Hashes of Ding's plain pairs of an English and a German key, sorted.
    std::vector<size_t> m_germanPairs;
    bool m_germanLoaded = false;
};

} // namespace tivela::packbuild
