#include "PartsOfSpeech.h"

#include "English.h"
#include "Terms.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tivela::packbuild {

namespace {

using Both = QPair<QString, QString>;

// What the dictionaries name for each pair of words; a pair named as several parts of speech
// is left as it is. A route's part of speech is its German word's, which a key shares with
// other parts of speech ("spielen", "Spielen"): it names none of the dictionaries' pairs.
struct Named {
    QHash<Both, QString> parts;
    QSet<Both> several;
};

Both both(const Pair& pair, const QString& lang) {
    return Both{key(pair.term, lang), key(pair.english, u"en"_s)};
}

void collect(const Evidence& evidence, Named& named) {
    named.parts.clear();
    for (const Pair& pair : evidence.pairs) {
        if (!isWordNetPos(pair.pos) || pair.source == routed)
            continue;
        const Both words = both(pair, evidence.code);
        const auto found = named.parts.constFind(words);
        if (found == named.parts.constEnd())
            named.parts.insert(words, pair.pos);
        else if (*found != pair.pos)
            named.several.insert(words);
    }
}

// A numbered line lists the terms of one sense: "2. annaffiare, bagnare" are verbs when
// "bagnare" is. Only verbs: a line of nouns often holds the adjective of the same use
// ("Erster, erste" for "first").
void takeVerbLines(Evidence& evidence, const Named& named, const auto& fits) {
    QHash<int, QString> linePos;
    QSet<int> mixed;
    for (const Pair& pair : std::as_const(evidence.pairs)) {
        if (pair.line < 0 || !isWordNetPos(pair.pos))
            continue;
        const auto found = linePos.constFind(pair.line);
        if (found == linePos.constEnd())
            linePos.insert(pair.line, pair.pos);
        else if (*found != pair.pos)
            mixed.insert(pair.line);
    }
    for (Pair& pair : evidence.pairs) {
        if (pair.pos.isEmpty() && pair.line >= 0 && !mixed.contains(pair.line) &&
            !named.several.contains(both(pair, evidence.code)) &&
            linePos.value(pair.line) == "verb"_L1 && fits(pair, linePos.value(pair.line)))
            pair.pos = linePos.value(pair.line);
    }
}

} // namespace

void takePartsOfSpeech(Evidence& evidence, const English& english) {
    const QString& lang = evidence.code;
    const auto fits = [&](const Pair& pair, const QString& pos) {
        return isWordNetPos(pos) &&
               !english.wordnet().senses(english.lemma(key(pair.english, u"en"_s)), pos).isEmpty();
    };
    Named named;
    collect(evidence, named);
    for (Pair& pair : evidence.pairs) {
        if (!pair.pos.isEmpty() || named.several.contains(both(pair, lang)))
            continue;
        QString pos = named.parts.value(both(pair, lang));
        if (pos.isEmpty()) {
            const QStringList read = evidence.partsOfSpeech.value(key(pair.term, lang));
            if (!read.isEmpty() && std::all_of(read.begin(), read.end(),
                                               [&](const QString& p) { return p == read.first(); }))
                pos = read.first();
        }
        if (fits(pair, pos))
            pair.pos = pos;
    }
    takeVerbLines(evidence, named, fits);
    // The other direction's lines of the same pair follow.
    collect(evidence, named);
    for (Pair& pair : evidence.pairs) {
        if (pair.pos.isEmpty() && !named.several.contains(both(pair, lang)))
            pair.pos = named.parts.value(both(pair, lang));
    }
}

QString readPartOfSpeech(const Pair& pair, const Evidence& evidence, const English& english) {
    const QString& englishKey = pair.englishKey;
    const bool known = english.isLemma(englishKey);
    // WordNet has no sense of a word it does not know as a noun, verb, adjective or adverb:
    // such a word ("his", "when") is a function word, read as the part of speech it has.
    QStringList englishParts = evidence.englishPartsOfSpeech.value(englishKey);
    if (!known)
        englishParts.removeIf([](const QString& pos) { return isWordNetPos(pos); });
    QString chosen;
    int bestUse = -1;
    for (const QString& pos : evidence.partsOfSpeech.value(pair.termKey)) {
        if (englishParts.contains(pos))
            return pos;
        if (!englishParts.isEmpty())
            continue;
        const QList<WordNet::Sense> readings =
            english.wordnet().senses(english.lemma(englishKey), pos);
        int use = 0;
        for (const WordNet::Sense& reading : readings)
            use += reading.count;
        if (!readings.isEmpty() && use > bestUse) {
            bestUse = use;
            chosen = pos;
        }
    }
    if (chosen.isEmpty() && !known)
        chosen = englishParts.value(0, pair.pos);
    return chosen;
}

} // namespace tivela::packbuild
