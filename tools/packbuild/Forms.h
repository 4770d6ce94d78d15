#pragma once

#include "Draft.h"
#include "Evidence.h"

#include "core/LexiconPack.h"

#include <map>

namespace tivela::packbuild {

class English;

// The inflected forms of a language's words: the ending rules that the pack's reader applies,
// and the lines of the forms that the rules do not reach.
namespace Forms {

// Debian's Apertium has no German analyser: the regular endings of nouns, adjectives and weak
// verbs lead to their base forms instead, tried longest first, each only where it reaches a
// word with entries.
QList<LexiconPack::FormRule> germanRules();

// Dutch forms whose endings Debian's small analyser does not read: plurals and the endings of
// adjectives ("snelle", "jaren", "lieve"), diminutives ("tijdje") and weak verbs ("gepleegd",
// "duurde"), each tried only where it reaches a word with entries.
QList<LexiconPack::FormRule> dutchRules();

// The ending rules that lead the most forms to their first lemmas, longest endings first.
QList<LexiconPack::FormRule> learnedRules(const std::map<QString, QStringList>& formLemmas);

// The base forms of a word that the evidence names or the rules lead to.
QStringList bases(const QString& wordKey, const Evidence& evidence,
                  const QList<LexiconPack::FormRule>& rules);

// "glättend" for "evening": whether a term is a form of another headword ("glätten") that
// translates a form of another English word ("even"), not the English word's own sense.
bool formOfOther(const QString& term, const QString& english, const Evidence& evidence,
                 const QList<LexiconPack::FormRule>& rules, const English& englishWords,
                 const Draft& draft);

// Points the forms without entries of their own at their lemmas, where the rules (the
// language's own, then the learned ones, which it returns) do not lead the reader there.
QList<LexiconPack::FormRule> linkForms(Draft& draft, const Evidence& evidence,
                                       const QList<LexiconPack::FormRule>& rules);

// German as it was written before its spelling reform: "ss" at the end of a word or before a
// consonant was "ß" ("muss": "muß", "wusste": "wußte"; "müssen" stays).
QString germanOldSpelling(const QString& wordKey);

// Italian as older texts print it: a stressed final "ì" or "ù" with the acute accent ("più":
// "piú", "così": "cosí").
QString italianOldSpelling(const QString& wordKey);

// Italian drops the last vowel of a short word before another vowel and joins the two with an
// apostrophe ("ch'essa", "dell'acqua", "tutt'altro"): the elided word says little, the word
// after it is the one looked up. Older texts write the past of "-ire" verbs with the acute
// accent ("finí"), whose infinitive the rules reach too.
QList<LexiconPack::FormRule> italianRules();

// Points the old spelling of each word with entries or lemmas at the word's lemmas, where the
// old spelling is no word of its own: older texts still write it.
void linkOldSpellings(Draft& draft, QString (*oldSpelling)(const QString&));

} // namespace Forms

} // namespace tivela::packbuild
