#include "Forms.h"

using namespace Qt::StringLiterals;

namespace tivela::packbuild::Forms {

namespace {

using Rule = LexiconPack::FormRule;

// The consonants that Dutch doubles after a short vowel ("snel", "snelle") and that close a
// long vowel's syllable ("jaar", "jaren").
const QString& consonants() {
    static const QString letters = u"bdgklmnprt"_s;
    return letters;
}

// A short vowel keeps its sound before an ending by doubling the consonant after it: "snelle",
// "kakkerlakken", "gekke"; a verb's infinitive doubles what its other forms write once
// ("belde", "geschrapt": "bellen", "schrappen"). The "-er" of a comparative is left out: it is
// as often a noun of its own ("voetballer" is no "voetbal").
void doubledConsonants(QList<Rule>& rules) {
    for (const QChar c : consonants()) {
        const QString doubled = QString(c) + c;
        for (const QString& ending : {u"etjes"_s, u"etje"_s, u"en"_s, u"e"_s})
            rules.append({doubled + ending, QString(c), {}});
        for (const QString& ending : {u"de"_s, u"te"_s, u"den"_s, u"ten"_s, u"t"_s})
            rules.append({c + ending, doubled + u"en"_s, {}});
        rules.append({c + u"d"_s, doubled + u"en"_s, u"ge"_s});
        rules.append({c + u"t"_s, doubled + u"en"_s, u"ge"_s});
    }
}

// A long vowel is written once in an open syllable: "bezwaren" is "bezwaar", "vrome" "vroom",
// "gepleegd" "plegen", "scoorde" "scoren"; "f" and "s" are voiced between vowels ("lieve",
// "boze", "beurzen").
void longVowels(QList<Rule>& rules) {
    for (const QChar v : u"aeou"_s) {
        for (const QChar c : consonants()) {
            const QString open = QString(v) + c;
            const QString closed = QString(v) + v + c;
            rules.append({open + u"en"_s, closed, {}});
            rules.append({open + u"e"_s, closed, {}});
            // The first of the long vowel's letters stays with the stem: the rule needs the
            // stem's two letters.
            for (const QString& ending : {u"de"_s, u"te"_s, u"den"_s, u"ten"_s, u"t"_s})
                rules.append({open + ending, c + u"en"_s, {}});
            rules.append({open + u"d"_s, c + u"en"_s, u"ge"_s});
            rules.append({open + u"t"_s, c + u"en"_s, u"ge"_s});
        }
        rules.append({QString(v) + u"ve"_s, QString(v) + v + u'f', {}});
        rules.append({QString(v) + u"ven"_s, QString(v) + v + u'f', {}});
        rules.append({QString(v) + u"ze"_s, QString(v) + v + u's', {}});
        rules.append({QString(v) + u"zen"_s, QString(v) + v + u's', {}});
    }
}

} // namespace

QList<LexiconPack::FormRule> dutchRules() {
    static const QList<Rule> rules = [] {
        QList<Rule> list;
        doubledConsonants(list);
        longVowels(list);
        list += QList<Rule>{// weak verbs: past participles, present participles, past tenses
                            {u"d"_s, u"en"_s, u"ge"_s},
                            {u"t"_s, u"en"_s, u"ge"_s},
                            {u"ende"_s, u"en"_s, {}},
                            {u"end"_s, u"en"_s, {}},
                            {u"den"_s, u"en"_s, {}},
                            {u"ten"_s, u"en"_s, {}},
                            {u"de"_s, u"en"_s, {}},
                            {u"te"_s, u"en"_s, {}},
                            // diminutives, plurals, and the endings of adjectives
                            {u"jes"_s, u""_s, {}},
                            {u"je"_s, u""_s, {}},
                            {u"tjes"_s, u""_s, {}},
                            {u"pjes"_s, u""_s, {}},
                            {u"tje"_s, u""_s, {}},
                            {u"pje"_s, u""_s, {}},
                            {u"ven"_s, u"f"_s, {}},
                            {u"ve"_s, u"f"_s, {}},
                            {u"zen"_s, u"s"_s, {}},
                            {u"ze"_s, u"s"_s, {}},
                            {u"'s"_s, u""_s, {}},
                            {u"ste"_s, u""_s, {}},
                            {u"en"_s, u""_s, {}},
                            {u"st"_s, u""_s, {}},
                            {u"e"_s, u""_s, {}},
                            {u"s"_s, u""_s, {}},
                            // the present of verbs
                            {u"t"_s, u"en"_s, {}}};
        return list;
    }();
    return rules;
}

} // namespace tivela::packbuild::Forms
