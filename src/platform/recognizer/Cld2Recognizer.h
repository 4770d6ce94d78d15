#pragma once

#include "core/LanguageRecognizer.h"
#include "platform/recognizer/Morphology.h"
#include "platform/recognizer/PackWords.h"

#include <QHash>

namespace tivela {

// The language recogniser on CLD2. CLD2 knows the languages of sentences well, but on a single
// word it mostly answers English or nothing, it cannot be held to a set of languages, and it has
// no notion of prior likelihood. Those parts are this class's own:
// - only an allowed language whose writing system is the text's main script can be named, so
//   kana means Japanese and Han-only text is Chinese (either form) or Japanese;
// - the weights are priors, and CLD2's shares of the text are evidence that counts for more the
//   more letters the text has, so a short word is decided by its script and the weights, CLD2's
//   guess only tipping the balance between languages weighted alike, while a sentence is
//   decided by CLD2;
// - the installed analysers of the hinted languages (those weighed above what the detector
//   gives any language it merely allows) are evidence too. Between those languages: the words
//   one knows and another does not speak for the first, so a single word only one of them knows
//   is that language's whatever CLD2 makes of it. Against the rest: a text whose words they
//   know is likely one of theirs, one whose words none of them knows likely is not, and a
//   single word none of them knows is that of the other installed languages whose analysers
//   or dictionary packs know it ("Bonjour", "Zeitung" beside English and Spanish), unless CLD2
//   by itself names one of the hinted languages; a short phrase none of whose words they know
//   counts for the packs by the share of its words each holds. A pack that reaches a word
//   only through its form rules, or holds it only as a name typed with a capital, counts
//   for half, and so does one the language's own analyser does not know; a word typed in
//   lower case is none of a pack's names. A pack's function word counts for a quarter more:
//   between languages that all have a word, the one that has it among its commonest words
//   likely means it ("eller" is Swedish for "or", German for "alder"). A word the hinted
//   languages' packs hold as it is, not only through their form rules or as a name, is
//   theirs as much as anyone's. A single word nothing installed knows, or all the hinted
//   languages' analysers do, is left to CLD2 and the weights;
// - equal probabilities are ordered by the weights' order, then popularity, then code.
// Identifiers given in are read as language codes (`Languages::code`); hypotheses name
// languages by CLD2's identifiers ("iw", "zh-Hant", "no") where CLD2 has the language.
class Cld2Recognizer final : public LanguageRecognizer {
public:
    // What CLD2 by itself makes of a text: the shares (0 to 1) of the languages it found,
    // by language code, and whether they come only from its best-effort guess.
    struct Evidence {
        QHash<QString, double> shares;
        bool bestEffort = false;
    };

    // Evidence per letter, in natural-log units of odds, at full share, and the number of
    // letters past which more text adds no more confidence.
    static constexpr double evidencePerLetter = 0.3;
    static constexpr int evidenceLetters = 40;
    // How much a best-effort guess counts against a guess CLD2 stands by, and the normalised
    // score below which a best-effort English counts for nothing (ordinary text scores around
    // a thousand; CLD2's fallback to English on words it cannot place, a few hundred).
    static constexpr double bestEffortFactor = 0.5;
    static constexpr double bestEffortFloor = 300;
    // The analysers' evidence, in the same units. Between the hinted languages: a text all of
    // whose words one of them knows and another none counts this much for the first, a share
    // of the words its share; a single word only some of them know counts as much for them
    // against the rest, and a single word none of them knows as much for the other installed
    // languages that know it. For the hinted languages together against the rest, per word of
    // a longer text up to a number of words: a word some of them know, and one none of them
    // knows.
    static constexpr double oneSidedEvidence = 20;
    // The share of that a word counts for another installed language whose pack holds it
    // less surely (through its form rules alone, or as a name): below a pack or analyser
    // that holds it as it is, above the weights and CLD2's guess on a word.
    static constexpr double formsShare = 0.5;
    // What a pack's function word counts for beyond that (a pronoun, preposition, conjunction,
    // determiner or numeral is among the commonest words of its language, where another
    // language's word spelt alike is mostly a rarer one): above CLD2's guess on a word, below
    // the step between a pack that holds it as it is and one that holds it less surely.
    static constexpr double functionWordShare = 0.25;
    static constexpr double knownWordEvidence = 2;
    static constexpr double unknownWordEvidence = 5;
    static constexpr int wordsAgainstTheRest = 5;
    // Hypotheses this far below the best, in natural-log units of odds (a millionth), are
    // dropped.
    static constexpr double negligibleLogOdds = 13.8;

    // On the process's analysers and dictionary packs.
    Cld2Recognizer();
    // Asks this morphology and these packs (none: no packs) about words instead.
    explicit Cld2Recognizer(Morphology& morphology, PackWords* packs = nullptr);

    void setLanguageConstraints(const QStringList& identifiers) override;
    void setLanguageHints(const QList<Hint>& hints, double others) override;
    void processString(QStringView text) override;
    QList<Hypothesis> languageHypotheses(int maximum) const override;

    static Evidence evidence(QStringView text);
    // What a program using CLD2 directly gets: the language it returns, as a language code
    // ("un" for none). Detection is measured against it.
    static QString answer(QStringView text, bool bestEffort);
    // The language codes CLD2 can name.
    static const QStringList& languages();

private:
    struct Weight {
        double weight = 0;
        qsizetype order = 0;
    };

    // What the analysers make of a text: scores that weigh the hinted languages against each
    // other, one that weighs them all against the rest, and scores of the other installed
    // languages whose analysers or packs know the words none of the hinted languages knows.
    struct LexiconEvidence {
        QHash<QString, double> between;
        double together = 0;
        QHash<QString, double> elsewhere;
    };
    LexiconEvidence lexiconEvidence(QStringView text, const Evidence& found) const;
    // The other installed languages by the share of the words that they know and nothing of
    // the hinted languages knows, their packs included: a word a pack holds as it is counts
    // whole, unless the language's own analyser (in `others`) does not know it, and one it
    // holds less surely for `formsShare`; with `analysersCount`, a word a language's analyser
    // knows counts whole too. A function word of a language's pack counts `functionWordShare`
    // more where it counts whole.
    QHash<QString, double> elsewhereEvidence(const QStringList& words,
                                             const QHash<QString, QList<bool>>& known,
                                             const QStringList& hinted,
                                             const QHash<QString, QList<bool>>& others,
                                             bool analysersCount) const;
    bool mayName(const QString& code) const;

    Morphology* m_morphology;
    PackWords* m_packs;

    QStringList m_constraints;
    QHash<QString, Weight> m_hints;
    QStringList m_hintOrder;
    bool m_hinted = false;
    double m_others = 1;
    QList<Hypothesis> m_hypotheses;
};

} // namespace tivela
