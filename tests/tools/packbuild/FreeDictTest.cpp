// FreeDict's ways of writing an article (its TEI export, the Polish-English one, Mueller's
// English-Russian), read from sample articles; and a dictd dictionary read from its files.
#include "FreeDict.h"
#include "Mueller.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace tivela::packbuild {
namespace {

struct ArticleCase {
    const char* what;
    FreeDict::Style style;
    QString article;
    QString headword;
    QString pos;
    // Each group's terms, joined by "|"; labels of a group after "#".
    QStringList groups;
    QStringList see = {};
    QString ipa = {};
};

QString described(const FreeDict::Group& group) {
    return group.terms.join(u'|') +
           (group.labels.isEmpty() ? QString() : u'#' + group.labels.join(u'|'));
}

TEST(FreeDictTest, EachStyleGivesItsHeadwordTermsAndLabels) {
    const QList<ArticleCase> cases{
        {"a TEI article: numbered lines, labels, an example and a reference",
         FreeDict::Style::FreeDict,
         u"Hund /hʊnt/ <n, masc>\n1. dog [zool.]\n2. [min.] mine car; corf [Br.]\n"
         u"\"Der Hund bellt.\" - The dog barks.\nsee: {Hunde}"_s,
         u"Hund"_s,
         u"n, masc"_s,
         {u"dog#zool."_s, u"mine car|corf#min.|Br."_s},
         {u"Hunde"_s},
         u"hʊnt"_s},
        {"a reflexive verb with a note, placeholders out of headword and terms",
         FreeDict::Style::FreeDict,
         u"sich (schnell) etw. waschen <v>\nto wash sth. (quickly)"_s,
         u"waschen"_s,
         u"v"_s,
         {u"to wash"_s}},
        {"a comma between digits belongs to a chemical name",
         FreeDict::Style::FreeDict,
         u"Brenzkatechin /bɾˈɛntskatˌɛçɪn/ <neut, n, sg>\npyrocatechol <n>, 1,2-dihydroxybenzene "
         u"<n>; 1,5 <num>"_s,
         u"Brenzkatechin"_s,
         u"neut, n, sg"_s,
         {u"pyrocatechol|1,2-dihydroxybenzene|1,5"_s},
         {},
         u"bɾˈɛntskatˌɛçɪn"_s},
        {"a compound's first part is no word",
         FreeDict::Style::FreeDict,
         u"huis‐ <n>\nhouse‐"_s,
         QString(),
         u"n"_s,
         {}},
        {"a numbered line that begins with an English phrase translates the phrase",
         FreeDict::Style::FreeDict,
         u"book <n>\n1. Buch\n2. books  Bücher"_s,
         u"book"_s,
         u"n"_s,
         {u"Buch"_s}},
        {"Polish-English: English lines, definitions whose labels mark the line above",
         FreeDict::Style::PolishEnglish,
         u"pies <N>\ndog 1.\n(potocznie, potoczny) zwierzę domowe\n2. hound 2.\npies myśliwski\n"
         u"- zejść na psy"_s,
         u"pies"_s,
         u"N"_s,
         {u"dog#potocznie, potoczny"_s, u"hound"_s}},
        {"Polish from English: parts of speech per numbered line, phrasal verbs left out",
         FreeDict::Style::FreeDict,
         u"house /haʊs/\nI.  <N> 1.  dom\nII.  <V> 1.  gościć (at - w)\n - mieć pełny dom\n"
         u"III.  <V Phras>house in  [BR]   mieszkać"_s,
         u"house"_s,
         QString(),
         {u"dom"_s, u"gościć"_s},
         {},
         u"haʊs"_s},
        {"Mueller: translations before idioms, labels, references and placeholders out",
         FreeDict::Style::Mueller,
         u"dog\n   [dɘg]\n   1. _n.\n      1) собака, пёс; Greater Dog созвездие Большого Пса\n"
         u"      2) кобель; самец волка (тж. dog-wolf)\n      3) _разг. парень; gay dog "
         u"весельчак\n      4) = andiron\n   2. _v. ходить по пятам, выслеживать кого-л."_s,
         u"dog"_s,
         QString(),
         {u"собака|пёс"_s, u"кобель|самец волка"_s, u"парень#разг."_s,
          u"ходить по пятам|выслеживать"_s},
         {},
         u"dɘg"_s},
        {"Mueller: a function word's notes, its kind and its uses out",
         FreeDict::Style::Mueller,
         u"and\n   [ænd] (полная форма); [ɜnd] (редуцированные формы) _cj.\n   1) "
         u"соединительный союз и; boys and girls мальчики и девочки\n   2) указывает на "
         u"следствие"_s,
         u"and"_s,
         QString(),
         {u"и"_s},
         {},
         u"ænd"_s},
        {"Mueller: a plural noun's sense",
         FreeDict::Style::Mueller,
         u"semantics\n   [sɪ↗mæntɪks] _n. _pl. (употр. как sing) _лингв. семантика"_s,
         u"semantics"_s,
         QString(),
         {u"семантика#лингв."_s},
         {},
         u"sɪmæntɪks"_s},
    };
    for (const ArticleCase& c : cases) {
        const FreeDict::Entry entry = c.style == FreeDict::Style::Mueller
                                          ? Mueller::parse(c.article)
                                          : FreeDict::parse(c.article, c.style);
        EXPECT_EQ(entry.headword, c.headword) << c.what;
        if (entry.headword.isEmpty())
            continue;
        EXPECT_EQ(entry.pos, c.pos) << c.what;
        EXPECT_EQ(entry.ipa, c.ipa) << c.what;
        EXPECT_EQ(entry.see, c.see) << c.what;
        QStringList groups;
        for (const FreeDict::Group& group : entry.groups)
            groups << described(group);
        EXPECT_EQ(groups, c.groups) << c.what;
    }
    EXPECT_EQ(Mueller::parse(cases[cases.size() - 2].article).groups.value(0).pos, u"conj"_s);
    const FreeDict::Entry mueller = Mueller::parse(cases[cases.size() - 3].article);
    EXPECT_EQ(mueller.groups.value(0).pos, u"noun"_s);
    EXPECT_EQ(mueller.groups.value(3).pos, u"verb"_s);
    const FreeDict::Entry hund = FreeDict::parse(cases.first().article);
    EXPECT_EQ(hund.groups.value(1).termLabels,
              (QList<QStringList>{{u"min."_s}, {u"min."_s, u"Br."_s}}));
    EXPECT_EQ(hund.groups.value(0).examples.size(), 0);
    EXPECT_EQ(hund.groups.value(1).examples.value(0),
              (QPair<QString, QString>{u"Der Hund bellt."_s, u"The dog barks."_s}));
}

TEST(FreeDictTest, ADictdDictionaryIsReadArticleByArticleWithItsInfo) {
    const QString base = qEnvironmentVariable("TIVELA_SOURCE_DIR") +
                         u"/tests/data/packbuild/dictd/freedict-spa-eng"_s;
    FreeDict dictionary;
    QString error;
    QStringList headwords;
    QStringList headlines;
    // The dictzip file, its articles in the order of the file, each once.
    ASSERT_TRUE(dictionary.read(base, FreeDict::Style::FreeDict, &error,
                                [&](FreeDict::Entry&& entry) { headwords << entry.headword; }))
        << error.toStdString();
    ASSERT_TRUE(dictionary.read(
        base, FreeDict::Style::FreeDict, &error,
        [&](FreeDict::Entry&& entry) {
            headlines << entry.headword + u':' + QString::number(entry.groups.size());
        },
        true));
    EXPECT_TRUE(headwords.contains(u"casa"_s));
    EXPECT_EQ(headwords.removeDuplicates(), 0);
    EXPECT_TRUE(headlines.contains(u"casa:0"_s));
    EXPECT_FALSE(dictionary.infoField(u"Edition"_s).isEmpty());
    EXPECT_FALSE(dictionary.infoSection(u"Availability"_s).isEmpty());

    EXPECT_FALSE(dictionary.read(base + u"-missing"_s, FreeDict::Style::FreeDict, &error,
                                 [](FreeDict::Entry&&) {}));
    EXPECT_TRUE(error.contains(u"-missing"_s));
}

} // namespace
} // namespace tivela::packbuild
