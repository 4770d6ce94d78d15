#pragma once

#include "FreeDict.h"

#include "core/LexiconPack.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

namespace tivela::packbuild {

// A dictionary from English beside FreeDict's, in the dictd folder.
struct ExtraDictionary {
    // Its file name without the .index and .dict.dz endings.
    QString file;
    // How it writes its articles.
    FreeDict::Style style = FreeDict::Style::Mueller;
    // Its name on cards, and its licence in the pack header's credit and its source line.
    QString name;
    QString licence;
    QString source;
};

// A second route into English for the words the dictionaries lack: Apertium's bilingual
// dictionaries between the language and another one, whose words FreeDict translates.
struct RouteSources {
    // The language in between, FreeDict's code of it, and the licence of its dictionary.
    QString name;
    QString freedict;
    QString licence;
    // Apertium's pair, its analysers of both languages and its bilingual dictionaries both
    // ways, below the Apertium folder.
    QString pair;
    QString analyser;
    QString there;
    QString reverseAnalyser;
    QString back;
};

// What a pack of one language is made of, and what sets it apart from the others.
struct LanguageSources {
    QString code;
    // FreeDict's code of the language: eng-<it> and <it>-eng.
    QString freedict;
    // How FreeDict's dictionary into English writes its articles.
    FreeDict::Style style = FreeDict::Style::FreeDict;
    QString freedictLicence = QStringLiteral("FreeDict (GNU GPL version 2 or later)");
    ExtraDictionary extra;
    // Apertium's analyser of the language, and the bilingual dictionaries that lead from
    // English to it and back, all below the Apertium folder. Where Debian has no pair with
    // English, the way goes through Spanish; where it has none at all, the analyser alone gives
    // the language's forms.
    QString analyser;
    // A generator of the language's forms whose paradigms know far more words than the
    // analyser: the generator of a pair that translates into the language. Empty for none.
    QString formGenerator;
    QStringList chain;
    QStringList back;
    // The generator of the language's written forms at the end of the chain: Apertium writes
    // the feminine of a pair ("ragazza") as its masculine lemma with a feminine tag.
    QString generator;
    QString apertiumLicence = QStringLiteral("Apertium (GNU GPL version 2)");
    // The language's word list in /usr/share/dict, whose words are looked up in Apertium's
    // dictionaries towards English.
    QString wordList;
    // Whether the analyser's own lemmas are looked up beside the word list's words: Italian's
    // list lacks thousands of them ("estasi", "sorveglianza").
    bool analyserLemmas = false;
    // Whether the dictionary into English writes a word's common meaning first; where it
    // does not (nld-eng: "varen" is first "go", "oog" first "point"), a term's first meaning
    // tells nothing of which term is the common one.
    bool commonMeaningFirst = true;
    // Whether a word's card leads with the common English word that the word translates
    // first ("mostrare": show), where the dictionary into English lists a line's words in the
    // order of the alphabet ("indicate, suggest") rather than of their use.
    bool leadsWithCommonWord = false;
    // The licence of FreeDict's dictionaries between the language and German, which confirm
    // its translations through Ding's German; empty for a language without them.
    QString germanLicence;
    // Empty for a language without one.
    RouteSources route;
    // The regular endings of the language's forms, which the pack's reader applies: for a
    // language that Debian has no analyser of, or for forms no analyser lists.
    QList<LexiconPack::FormRule> formRules;
    // Whether a noun's references name its plural beside its compounds.
    bool referencesNamePlurals = false;
    // A preposition fused with an article ("im": "in dem"), by the preposition it leads to:
    // for a language whose analyser does not read them.
    QList<std::pair<QString, QString>> contractions;
    // The spelling of a word before the language's spelling reform, for older texts; nullptr
    // for a language without one.
    QString (*oldSpelling)(const QString& wordKey) = nullptr;
    // The spellings of a perfective verb's imperfective partner, whose translations it shares,
    // for a language whose dictionaries write only the imperfective; nullptr for others.
    QStringList (*imperfectives)(const QString& perfective) = nullptr;
    // The English spellings a word of a part of speech may be a loan of, for a language whose
    // form generator lists words its dictionaries are too old to know; nullptr for others.
    QStringList (*loanSpellings)(const QString& word, const QString& pos) = nullptr;
};

// The languages a pack can be made for besides English, in the order of their packs.
const QList<LanguageSources>& languageTable();
// The row of a language; nullptr for one without dictionaries.
const LanguageSources* languageSources(const QString& code);

} // namespace tivela::packbuild
