#pragma once

#include <QHash>
#include <QList>
#include <QPair>
#include <QSet>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>

namespace tivela::packbuild {

// A pack of a language other than English while it is being made: the English senses its
// words translate, the words' votes for each sense, and the words' own records.

struct Meaning {
    QString gloss;
    std::optional<QPair<QString, QString>> example;
    QStringList tags;
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
    // The other spellings of the English word in its synset ("color" beside "colour"), under
    // which the sense is found too.
    QStringList spellings;
};

// A word of the language as a translation of one English sense.
struct Vote {
    QString text;
    QString key;
    // The sources that give it, one bit each.
    int sources = 0;
    double score = 0;
};

// How the pairs were attached to English senses, for the pack's header.
struct Tally {
    int single = 0;
    int synonym = 0;
    int first = 0;
    int outside = 0;
    int dropped = 0;
};

// By term and English word: which directions give the pair (1 from English, 2 into it),
// whether some source gives it without a special label, and where the dictionary from English
// puts the term in the English word's article (0 first, 1 in its first sense, 2 later).
struct PairFacts {
    quint8 directions = 0;
    bool plain = false;
    quint8 place = 2;
};

struct Draft {
    std::map<QString, SenseLine> senses;
    std::map<QString, QList<Vote>> votes;
    std::map<QString, Word> words;
    // Only asked of pairs, so only their hashes are kept: a large dictionary has millions.
    QHash<size_t, PairFacts> facts;
    // The English words of each term, by their hashes; those that some source other than the
    // dictionary into English gives.
    QHash<QString, QSet<size_t>> context;
    QHash<QString, QSet<size_t>> confirmed;
    // Without a dictionary into English to agree with, the order of the one from English tells
    // the common translation.
    bool ordered = false;
    // A dictionary so large that it fills a pack with its rarest words.
    bool largeSource = false;
    Tally tally;

    static size_t pairKey(const QString& term, const QString& english) {
        return qHashMulti(0, term, english);
    }
    PairFacts fact(const QString& term, const QString& english) const {
        return facts.value(pairKey(term, english));
    }
    bool knows(const QString& term, const QString& english) const {
        return facts.contains(pairKey(term, english));
    }
    // The word's entries, when it has any.
    bool hasEntries(const QString& wordKey) const {
        const auto found = words.find(wordKey);
        return found != words.end() && !found->second.entries.isEmpty();
    }
};

} // namespace tivela::packbuild
