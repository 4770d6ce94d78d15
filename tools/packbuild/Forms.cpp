#include "Forms.h"

#include "English.h"
#include "Terms.h"

#include "core/Lexicon.h"

#include <QRegularExpression>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tivela::packbuild::Forms {

QList<LexiconPack::FormRule> germanRules() {
    static const QList<LexiconPack::FormRule> rules{
        // weak verbs: past participles, then the endings of their tenses
        {u"et"_s, u"en"_s, u"ge"_s},
        {u"t"_s, u"en"_s, u"ge"_s},
        {u"etest"_s, u"en"_s, {}},
        {u"etet"_s, u"en"_s, {}},
        {u"eten"_s, u"en"_s, {}},
        {u"test"_s, u"en"_s, {}},
        {u"ete"_s, u"en"_s, {}},
        {u"est"_s, u"en"_s, {}},
        {u"tet"_s, u"en"_s, {}},
        {u"ten"_s, u"en"_s, {}},
        {u"end"_s, u"en"_s, {}},
        {u"nen"_s, u""_s, {}},
        {u"te"_s, u"en"_s, {}},
        {u"st"_s, u"en"_s, {}},
        {u"et"_s, u"en"_s, {}},
        // nouns and adjectives
        {u"em"_s, u""_s, {}},
        {u"en"_s, u""_s, {}},
        {u"er"_s, u""_s, {}},
        {u"es"_s, u""_s, {}},
        {u"e"_s, u""_s, {}},
        {u"n"_s, u""_s, {}},
        {u"s"_s, u""_s, {}},
        // verbs: the first person, the rest of the present
        {u"e"_s, u"en"_s, {}},
        {u"t"_s, u"en"_s, {}},
        {u"n"_s, u"en"_s, {}},
        // adjectives whose base form ends in "e" ("müde", "müden")
        {u"r"_s, u""_s, {}},
        {u"m"_s, u""_s, {}}};
    return rules;
}

QList<LexiconPack::FormRule> learnedRules(const std::map<QString, QStringList>& formLemmas) {
    // The endings that most forms share with their first lemma, once they differ from it.
    QHash<QPair<QString, QString>, int> counts;
    for (const auto& [form, lemmas] : formLemmas) {
        const QString& lemma = lemmas.first();
        qsizetype common = 0;
        while (common < form.size() && common < lemma.size() && form[common] == lemma[common])
            ++common;
        if (common < 2 || form.size() - common > 5)
            continue;
        ++counts[{form.mid(common), lemma.mid(common)}];
    }
    QList<QPair<QPair<QString, QString>, int>> ranked;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() >= 50 && !it.key().first.isEmpty())
            ranked.append({it.key(), it.value()});
    }
    std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
        return a.second != b.second ? a.second > b.second : a.first < b.first;
    });
    if (ranked.size() > 200)
        ranked.resize(200);
    // Longer endings first, so "en" of "Katzen" is tried before "n".
    std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
        return a.first.first.size() > b.first.first.size();
    });
    QList<LexiconPack::FormRule> rules;
    for (const auto& rule : std::as_const(ranked))
        rules.append({rule.first.first, rule.first.second, {}});
    return rules;
}

QStringList bases(const QString& wordKey, const Evidence& evidence,
                  const QList<LexiconPack::FormRule>& rules) {
    return evidence.forms.value(wordKey) + Lexicon::derivedKeys(wordKey, rules);
}

namespace {

// The English verbs a form ("evening", "building") may be a participle of: WordNet's
// exception lists know only the irregular ones, the regular endings find the rest.
QStringList englishBases(const QString& english, const English& englishWords) {
    QStringList found = englishWords.forms().value(english);
    for (const QString& ending : {u"ing"_s, u"ed"_s}) {
        if (!english.endsWith(ending) || english.size() < ending.size() + 3)
            continue;
        const QString stem = english.chopped(ending.size());
        const bool doubled = stem.at(stem.size() - 1) == stem.at(stem.size() - 2);
        for (const QString& base :
             QStringList{stem, stem + u'e', doubled ? stem.chopped(1) : QString()}) {
            if (!base.isEmpty() &&
                !englishWords.wordnet().senses(englishWords.lemma(base), u"verb"_s).isEmpty())
                found << base;
        }
    }
    return found;
}

} // namespace

bool formOfOther(const QString& term, const QString& english, const Evidence& evidence,
                 const QList<LexiconPack::FormRule>& rules, const English& englishWords,
                 const Draft& draft) {
    const QStringList others = englishBases(english, englishWords);
    if (others.isEmpty())
        return false;
    for (const QString& base : bases(term, evidence, rules)) {
        const QString baseKey = key(base, evidence.code);
        if (baseKey == term)
            continue;
        for (const QString& englishBase : others) {
            if (englishBase != english && draft.knows(baseKey, englishBase))
                return true;
        }
    }
    return false;
}

QList<LexiconPack::FormRule> linkForms(Draft& draft, const Evidence& evidence,
                                       const QList<LexiconPack::FormRule>& rules) {
    const QString& lang = evidence.code;
    std::map<QString, QStringList> formLemmas;
    // In the order of the forms, not of the hash: several spellings of a form share its key,
    // and the same input must give the same bytes.
    QStringList formNames = evidence.forms.keys();
    std::sort(formNames.begin(), formNames.end());
    for (const QString& form : std::as_const(formNames)) {
        const QString formKey = key(form, lang);
        if (formKey.isEmpty() || draft.hasEntries(formKey))
            continue;
        for (const QString& lemma : evidence.forms.value(form)) {
            const QString lemmaKey = key(lemma, lang);
            if (lemmaKey != formKey && draft.hasEntries(lemmaKey))
                appendUnique(formLemmas[formKey], lemmaKey, 8);
        }
    }
    const QList<LexiconPack::FormRule> all = rules + learnedRules(formLemmas);
    for (const auto& [formKey, lemmas] : formLemmas) {
        Word& word = draft.words[formKey];
        if (!word.entries.isEmpty())
            continue;
        // What the reader derives by the rules needs no line, unless the form has a line of
        // its own anyway (its senses), where the reader derives nothing.
        QString derived;
        for (const QString& base : Lexicon::derivedKeys(formKey, all)) {
            if (draft.hasEntries(base)) {
                derived = base;
                break;
            }
        }
        if (!word.senses.isEmpty() || derived != lemmas.first())
            word.lemmas = lemmas;
    }
    return all;
}

QString germanOldSpelling(const QString& wordKey) {
    static const QRegularExpression reformed(u"ss(?=$|[^aeiouyäöü])"_s);
    QString old = wordKey;
    return old.replace(reformed, u"ß"_s);
}

QString italianOldSpelling(const QString& wordKey) {
    QString old = wordKey;
    if (old.endsWith(u'ì'))
        old.back() = u'í';
    else if (old.endsWith(u'ù'))
        old.back() = u'ú';
    return old;
}

QList<LexiconPack::FormRule> italianRules() {
    // Articles and prepositions with them, pronouns, conjunctions, adverbs and the adjectives
    // that Italian elides before a vowel.
    static const QStringList elided{
        u"l"_s,     u"un"_s,     u"gl"_s,    u"dell"_s,    u"all"_s,  u"dall"_s, u"nell"_s,
        u"sull"_s,  u"coll"_s,   u"pell"_s,  u"degl"_s,    u"agl"_s,  u"dagl"_s, u"negl"_s,
        u"sugl"_s,  u"quell"_s,  u"quest"_s, u"d"_s,       u"m"_s,    u"t"_s,    u"s"_s,
        u"c"_s,     u"v"_s,      u"n"_s,     u"ch"_s,      u"anch"_s, u"com"_s,  u"dov"_s,
        u"quand"_s, u"cos"_s,    u"senz"_s,  u"tutt"_s,    u"mezz"_s, u"bell"_s, u"buon"_s,
        u"sant"_s,  u"nessun"_s, u"alcun"_s, u"ciascun"_s, u"ogn"_s,  u"null"_s, u"dev"_s};
    QList<LexiconPack::FormRule> rules;
    for (const QString& word : elided) {
        rules.append({{}, {}, word + u'\''});
        rules.append({{}, {}, word + u'’'});
    }
    rules.append({u"í"_s, u"ire"_s, {}});
    return rules;
}

void linkOldSpellings(Draft& draft, QString (*oldSpelling)(const QString&)) {
    std::map<QString, QStringList> found;
    for (const auto& [wordKey, word] : draft.words) {
        const QString old = oldSpelling(wordKey);
        const QStringList lemmas = word.entries.isEmpty() ? word.lemmas : QStringList{wordKey};
        if (old != wordKey && !lemmas.isEmpty() && !draft.words.count(old))
            found.emplace(old, lemmas);
    }
    for (auto& [old, lemmas] : found)
        draft.words[old].lemmas = std::move(lemmas);
}

} // namespace tivela::packbuild::Forms
