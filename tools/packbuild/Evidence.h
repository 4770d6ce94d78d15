#pragma once

#include "Ding.h"
#include "FreeDict.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

namespace tivela::packbuild {

class English;

// Where a pair comes from, one bit each: FreeDict from English, FreeDict into English,
// Apertium from English and Apertium into English; confirmed through German.
enum Source : int {
    fromEnglish = 1,
    fromLanguage = 2,
    apertium = 4,
    apertiumBack = 8,
    german = 16,
    // Into English through another language's dictionaries, after the direct ones.
    routed = 32
};

// One piece of evidence that a word of a language translates an English word.
struct Pair {
    QString english;
    QString pos;
    QString term;
    // Lower is better: the dictionary's order of its articles and lines.
    int rank = 0;
    int source = 0;
    // Lookup keys of english and term, filled in when the pack is made.
    QString englishKey;
    QString termKey;
    // The dictionary labels it with a special use ("techn.", "Br.", "coll.").
    bool special = false;
    // From English: 0 for the first term of the article, 1 for the rest of its first sense,
    // 2 for later senses.
    int place = 2;
    // The line of terms it was read from, in the dictionary from English; -1 otherwise.
    int line = -1;
};

// What the sources say of one language, before it is made into a pack.
struct Evidence {
    QString code;
    QStringList header;
    QList<Pair> pairs;
    // The articles of the dictionary into English, in its order.
    QList<FreeDict::Entry> articles;
    // The lemmas of inflected forms.
    QHash<QString, QStringList> forms;
    // Part of speech of a word as the language's analyser reads it.
    QHash<QString, QStringList> partsOfSpeech;
    QHash<QString, QStringList> englishPartsOfSpeech;
    // How often the dictionaries use each word key.
    QHash<QString, int> mentions;
    // The names of the sources, for the card's credit line.
    QStringList credits;
    // The licences of sources that the credits name under another source's name.
    QStringList licences;
    GermanWords german;
};

// Whether some English sense can take a pair: WordNet's lemma, or a word of a part of speech
// WordNet does not have; not a phrase or a noun, verb or adjective WordNet does not know, nor
// an English inflected form.
bool attachable(const English& english, const QString& word, const QString& pos);

// Reads FreeDict's dictionaries between a language and English into pairs, article by
// article, none kept whole: Ding's would take a gigabyte.
class DictionaryReader {
public:
    DictionaryReader(English& english, Evidence& evidence);

    // A dictionary from English; false when it is missing.
    bool readFromEnglish(FreeDict& dictionary, const QString& base, FreeDict::Style style);
    // The dictionary into English; its articles are kept for the words' own entries.
    bool readToEnglish(FreeDict& dictionary, const QString& base, FreeDict::Style style);

private:
    // An article into English without a part of speech that refers to other headwords
    // ("gelaufen": "run", see "laufen") is a form of one of them.
    struct FormArticle {
        QString englishKey;
        QString headword;
        QStringList bases;
    };

    void mention(const QString& text);
    void fromEnglishArticle(const FreeDict::Entry& entry, const QSet<QString>& lowerCase);
    void toEnglishArticle(FreeDict::Entry&& entry);
    void dropFormsOfVerbs();

    English& m_english;
    Evidence& m_evidence;
    int m_rank = 0;
    int m_line = 0;
    QList<FormArticle> m_formArticles;
    QSet<size_t> m_ownWords;
};

// Some articles lost the spaces of a phrase ("contable, tenedordelibros"): a term that is no
// word of its own and that another line writes with its spaces gets them back.
void restoreSpaces(Evidence& evidence);

} // namespace tivela::packbuild
