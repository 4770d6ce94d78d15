// The forms of a pack: the ending rules learnt from the analyser's forms, and which forms
// need a line of their own because neither the language's rules nor the learnt ones lead the
// reader to their lemma.
#include "Forms.h"

#include "core/Lexicon.h"

#include <QSet>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace tivela::packbuild {
namespace {

QStringList described(const QList<LexiconPack::FormRule>& rules) {
    QStringList texts;
    for (const LexiconPack::FormRule& rule : rules)
        texts << rule.prefix + u'|' + rule.ending + u'>' + rule.replacement;
    return texts;
}

TEST(FormsTest, CommonEndingsBecomeRulesAndOnlyTheFormsTheyMissGetLines) {
    // Sixty forms in "-s", fifty-five in "-ten", ten in "-a": a rule needs fifty.
    std::map<QString, QStringList> formLemmas;
    for (int i = 0; i < 60; ++i)
        formLemmas[u"ba%1ms"_s.arg(i)] = {u"ba%1m"_s.arg(i)};
    for (int i = 0; i < 55; ++i)
        formLemmas[u"ko%1ten"_s.arg(i)] = {u"ko%1"_s.arg(i)};
    for (int i = 0; i < 10; ++i)
        formLemmas[u"vi%1xa"_s.arg(i)] = {u"vi%1x"_s.arg(i)};
    // Longer endings first, so that "-n" would not be tried before "-en".
    EXPECT_EQ(described(Forms::learnedRules(formLemmas)), (QStringList{u"|ten>"_s, u"|s>"_s}));

    // German: the language's own rules lead "hunde" to "hund" and "gemacht" to "machen";
    // "ging" needs its line, and so does "hunde" once it translates a sense itself.
    Evidence evidence;
    evidence.code = u"de"_s;
    evidence.forms = {{u"ging"_s, {u"gehen"_s}},
                      {u"hunde"_s, {u"hund"_s}},
                      {u"gemacht"_s, {u"machen"_s}},
                      {u"häuser"_s, {u"haus"_s}},
                      {u"katzen"_s, {u"katze"_s, u"kater"_s}}};
    Draft draft;
    for (const QString& lemma :
         {u"gehen"_s, u"hund"_s, u"machen"_s, u"haus"_s, u"katze"_s, u"kater"_s})
        draft.words[lemma].entries << WordEntry{u"noun"_s, {}, {Meaning{u"x"_s, {}, {}}}};
    draft.words[u"hunde"_s].senses << u"dogs.n00"_s;
    const QList<LexiconPack::FormRule> rules =
        Forms::linkForms(draft, evidence, Forms::germanRules());
    EXPECT_EQ(rules.size(), Forms::germanRules().size());
    const auto lemmas = [&](const QString& form) { return draft.words[form].lemmas; };
    EXPECT_EQ(lemmas(u"ging"_s), QStringList{u"gehen"_s});
    EXPECT_EQ(lemmas(u"hunde"_s), QStringList{u"hund"_s});
    EXPECT_TRUE(lemmas(u"gemacht"_s).isEmpty());
    // The umlaut is beyond the rules; "katzen" reaches "katze" by them, not "kater".
    EXPECT_EQ(lemmas(u"häuser"_s), QStringList{u"haus"_s});
    EXPECT_TRUE(lemmas(u"katzen"_s).isEmpty());
    EXPECT_EQ(Lexicon::derivedKeys(u"gemacht"_s, rules).value(0), u"machen"_s);
}

// Older German texts write "ß" where the reform writes "ss" at a word's end or before a
// consonant: the old spelling leads to the lemmas of the new one.
TEST(FormsTest, OldGermanSpellingsLeadToTheirWords) {
    Draft draft;
    draft.words[u"dass"_s].entries << WordEntry{u"conj"_s, {}, {Meaning{u"that"_s, {}, {}}}};
    draft.words[u"müssen"_s].entries << WordEntry{u"verb"_s, {}, {Meaning{u"must"_s, {}, {}}}};
    draft.words[u"lässt"_s].lemmas = {u"lassen"_s};
    draft.words[u"schlüssel"_s].entries << WordEntry{u"noun"_s, {}, {Meaning{u"key"_s, {}, {}}}};
    // "Fluß" had an article of its own: it stays as it is.
    draft.words[u"fluss"_s].entries << WordEntry{u"noun"_s, {}, {Meaning{u"river"_s, {}, {}}}};
    draft.words[u"fluß"_s].entries << WordEntry{u"noun"_s, {}, {Meaning{u"river"_s, {}, {}}}};
    Forms::linkOldSpellings(draft, Forms::germanOldSpelling);
    const auto lemmas = [&](const QString& form) {
        return draft.words.count(form) ? draft.words.at(form).lemmas : QStringList{u"none"_s};
    };
    EXPECT_EQ(lemmas(u"daß"_s), QStringList{u"dass"_s});
    EXPECT_EQ(lemmas(u"läßt"_s), QStringList{u"lassen"_s});
    EXPECT_EQ(lemmas(u"fluß"_s), QStringList{});
    EXPECT_EQ(lemmas(u"müßen"_s), QStringList{u"none"_s});
    EXPECT_EQ(lemmas(u"schlüßel"_s), QStringList{u"none"_s});
    EXPECT_EQ(Forms::germanOldSpelling(u"wussten"_s), u"wußten"_s);
}

// Older Italian prints a stressed final i or u with the acute accent; "perché" always had it.
TEST(FormsTest, OldItalianSpellingsWriteTheAcute) {
    const QList<std::pair<QString, QString>> cases{{u"più"_s, u"piú"_s},
                                                   {u"così"_s, u"cosí"_s},
                                                   {u"perché"_s, u"perché"_s},
                                                   {u"città"_s, u"città"_s},
                                                   {u"ìsola"_s, u"ìsola"_s}};
    for (const auto& [word, old] : cases)
        EXPECT_EQ(Forms::italianOldSpelling(word), old) << word.toStdString();
}

// An elided word leads to the word after its apostrophe, in either apostrophe; a short rest or
// a word without an elision leads nowhere; an old acute past leads to its infinitive.
TEST(FormsTest, ItalianElisionsLeadToTheWordAfterTheApostrophe) {
    const QList<std::pair<QString, QStringList>> cases{{u"ch'essa"_s, {u"essa"_s}},
                                                       {u"dell'acqua"_s, {u"acqua"_s}},
                                                       {u"tutt’altro"_s, {u"altro"_s}},
                                                       {u"finí"_s, {u"finire"_s}},
                                                       {u"c'è"_s, {}},
                                                       {u"all'"_s, {}},
                                                       {u"cammino"_s, {}},
                                                       {u"dell"_s, {}}};
    for (const auto& [word, bases] : cases)
        EXPECT_EQ(Lexicon::derivedKeys(word, Forms::italianRules()), bases) << word.toStdString();
}

struct DutchForm {
    const char* form;
    // The base form the reader shows; empty when it must show none.
    const char* base;
};

class DutchFormsTest : public testing::TestWithParam<DutchForm> {};

// The reader takes the first base form the rules reach that has entries.
TEST_P(DutchFormsTest, LeadToTheirBaseForm) {
    static const QSet<QString> withEntries{
        u"snel"_s,        u"bezwaar"_s, u"vroom"_s,     u"lief"_s,     u"talloos"_s, u"plegen"_s,
        u"scoren"_s,      u"bellen"_s,  u"schrappen"_s, u"schrapen"_s, u"barst"_s,   u"bars"_s,
        u"zoon"_s,        u"pinda"_s,   u"werken"_s,    u"lopen"_s,    u"leveren"_s, u"voetbal"_s,
        u"controleren"_s, u"delen"_s,   u"deel"_s,      u"gek"_s};
    const DutchForm& c = GetParam();
    QString reached;
    for (const QString& base :
         Lexicon::derivedKeys(QString::fromUtf8(c.form), Forms::dutchRules())) {
        if (withEntries.contains(base)) {
            reached = base;
            break;
        }
    }
    EXPECT_EQ(reached, QString::fromUtf8(c.base)) << c.form;
}

INSTANTIATE_TEST_SUITE_P(
    Words, DutchFormsTest,
    testing::Values(DutchForm{"snelle", "snel"}, DutchForm{"gekke", "gek"},
                    DutchForm{"bezwaren", "bezwaar"}, DutchForm{"vrome", "vroom"},
                    DutchForm{"lieve", "lief"}, DutchForm{"talloze", "talloos"},
                    DutchForm{"pinda's", "pinda"}, DutchForm{"zoontje", "zoon"},
                    DutchForm{"barstje", "barst"}, DutchForm{"gepleegd", "plegen"},
                    DutchForm{"gecontroleerd", "controleren"}, DutchForm{"geleverd", "leveren"},
                    DutchForm{"geschrapt", "schrappen"}, DutchForm{"belde", "bellen"},
                    DutchForm{"scoorde", "scoren"}, DutchForm{"deelde", "delen"},
                    DutchForm{"werkt", "werken"}, DutchForm{"lopende", "lopen"},
                    // A noun in "-er" is a word of its own, not its first part's form.
                    DutchForm{"voetballer", ""}));

} // namespace
} // namespace tivela::packbuild
