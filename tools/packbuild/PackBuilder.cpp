#include "PackBuilder.h"

#include "Apertium.h"

#include "core/Languages.h"
#include "core/Lexicon.h"
#include "core/LexiconDownloader.h"
#include "core/LexiconPack.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <libdeflate.h>
#include <malloc.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;

namespace tivela::packbuild {

namespace {

// Hands freed memory back to the system between the steps of a large language, so that the
// next step does not start from the previous one's peak.
void releaseMemory(int line = __builtin_LINE()) {
    malloc_trim(0);
    if (!qEnvironmentVariableIsSet("TIVELA_PACKBUILD_MEMORY"))
        return;
    // The peak so far tells which step between two calls needed the most.
    QFile status(u"/proc/self/status"_s);
    QByteArray peak;
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& l : status.readAll().split('\n'))
            if (l.startsWith("VmHWM:"))
                peak = l.mid(6).simplified();
    }
    std::fprintf(stderr, "memory at %d: %zu MB in use, peak %s\n", line, mallinfo2().uordblks >> 20,
                 peak.constData());
}

constexpr qsizetype maxMeanings = Lexicon::maxMeanings;
constexpr qsizetype maxTerms = Lexicon::maxTerms;
// A common word translates many senses; the first ones are the dictionaries' best.
constexpr qsizetype maxSensesPerWord = 4;
// The senses a word is weighed among before the best of them are kept.
constexpr qsizetype maxSensesGathered = 64;
constexpr qsizetype maxWordsInTerm = 4;
constexpr qsizetype maxGlossTerms = 5;
constexpr qsizetype commonnessTerms = 3;
constexpr qsizetype maxIpaWord = 10;
// A card shows eight terms of a part of speech; a sense's first five leave room for the next
// senses' best ones.
constexpr qsizetype maxSenseTerms = 5;
// How many of an English word's best translations lead its first sense.
constexpr qsizetype promotedTerms = 2;
// A dictionary this large fills a pack with its rarest words: Ding's 300,000 articles.
constexpr qsizetype largeDictionary = 150000;
constexpr qsizetype longCompound = 11;
constexpr qsizetype maxExample = 80;
// A word with fewer senses of its own gets the senses of its translations up to this many.
constexpr qsizetype derivedMeanings = 4;
// A phrase ("ir a buscar a" for "meet") describes a use more than it translates the word: it
// goes after a single word of like standing.
constexpr double phraseWeight = 2.0;
// A translation that a third language confirms goes before those it does not, the more so
// when both dictionaries with that language give it.
constexpr double germanWeight = 3.0;

// Where a pair comes from: FreeDict from English, FreeDict into English, Apertium from English
// and Apertium into English; confirmed through German.
enum Source : int {
    fromEnglish = 1,
    fromLanguage = 2,
    apertium = 4,
    apertiumBack = 8,
    german = 16
};

// The dictionaries between a language and German, in the dictd folder: their articles hold a
// line of terms and then the source language's own definitions, like the Polish ones.
QString toGerman(const QString& freedict) {
    return u"/freedict-"_s + freedict + u"-deu"_s;
}
QString fromGerman(const QString& freedict) {
    return u"/freedict-deu-"_s + freedict;
}

size_t bridgeHash(const QString& englishKey, size_t germanKey) {
    return qHashMulti(0, englishKey, germanKey);
}

struct LanguageData {
    QString code;
    // FreeDict's code of the language: eng-<it> and <it>-eng.
    QString freedict;
    // Apertium's analyser of the language, and the bilingual dictionaries that lead from
    // English to it and back, all below the Apertium folder. Where Debian has no pair with
    // English, the way goes through Spanish; where it has none at all, the analyser alone
    // gives the language's forms.
    QString analyser;
    QStringList chain;
    QStringList back;
    // The language's word list in /usr/share/dict, whose words are looked up in Apertium's
    // dictionaries towards English.
    QString wordList;
    // How FreeDict's dictionary into English writes its articles.
    FreeDict::Style style = FreeDict::Style::FreeDict;
    // Another dictionary from English in the dictd folder: its file name, how it is written,
    // its name on cards, and its licence.
    QString extra;
    QString extraName;
    QString extraLicence;

    LanguageData(QString code_, QString freedict_, QString analyser_ = {}, QStringList chain_ = {},
                 QStringList back_ = {}, QString wordList_ = {},
                 FreeDict::Style style_ = FreeDict::Style::FreeDict, QString extra_ = {},
                 QString extraName_ = {}, QString extraLicence_ = {})
        : code(std::move(code_))
        , freedict(std::move(freedict_))
        , analyser(std::move(analyser_))
        , chain(std::move(chain_))
        , back(std::move(back_))
        , wordList(std::move(wordList_))
        , style(style_)
        , extra(std::move(extra_))
        , extraName(std::move(extraName_))
        , extraLicence(std::move(extraLicence_)) {}
};

const QList<LanguageData>& languageTable() {
    static const QString engSpa = u"apertium-eng-spa/eng-spa.autobil.bin"_s;
    static const QString spaEng = u"apertium-eng-spa/spa-eng.autobil.bin"_s;
    static const QList<LanguageData> table{
        {u"es"_s,
         u"spa"_s,
         u"apertium-eng-spa/spa-eng.automorf.bin"_s,
         {engSpa},
         {spaEng},
         u"spanish"_s},
        {u"fr"_s,
         u"fra"_s,
         u"apertium-fr-es/fr-es.automorf.bin"_s,
         {engSpa, u"apertium-fr-es/es-fr.autobil.bin"_s},
         {u"apertium-fr-es/fr-es.autobil.bin"_s, spaEng},
         u"french"_s},
        {u"pt"_s,
         u"por"_s,
         u"apertium-es-pt/pt-es.automorf.bin"_s,
         {engSpa, u"apertium-es-pt/es-pt.autobil.bin"_s},
         {u"apertium-es-pt/pt-es.autobil.bin"_s, spaEng},
         u"portuguese"_s},
        {u"it"_s,
         u"ita"_s,
         u"apertium-spa-ita/ita-spa.automorf.bin"_s,
         {engSpa, u"apertium-spa-ita/spa-ita.autobil.bin"_s},
         {u"apertium-spa-ita/ita-spa.autobil.bin"_s, spaEng},
         u"italian"_s},
        {u"de"_s, u"deu"_s, {}, {}, {}, {}},
        {u"ru"_s,
         u"rus"_s,
         u"apertium-rus-ukr/rus-ukr.automorf.bin"_s,
         {},
         {},
         {},
         FreeDict::Style::FreeDict,
         u"mueller7"_s,
         u"Mueller"_s,
         u"Mueller's English-Russian dictionary, 7th edition (S. Starostin, E. S. Cymbalyuk), "
         u"GNU GPL version 2 or later"_s},
        {u"nl"_s, u"nld"_s, u"apertium-afr-nld/nld-afr.automorf.bin"_s, {}, {}, {}},
        {u"sv"_s, u"swe"_s, u"apertium-swe-dan/swe-dan.automorf.bin"_s, {}, {}, {}},
        {u"pl"_s,
         u"pol"_s,
         u"apertium-pol-szl/pol-szl.automorf.bin"_s,
         {},
         {},
         {},
         FreeDict::Style::PolishEnglish},
    };
    return table;
}

// The licence of a source of a language, as the README's table gives it.
QString licence(const QString& code, const QString& source) {
    if (source == "FreeDict"_L1) {
        if (code == "de"_L1)
            return u"FreeDict's Ding (GNU GPL version 3 or later)"_s;
        if (code == "pl"_L1)
            return u"FreeDict (GNU GPL version 3 or later and GNU FDL 1.2 or later)"_s;
        return u"FreeDict (GNU GPL version 2 or later)"_s;
    }
    if (source == "Mueller"_L1)
        return u"Mueller (GNU GPL version 2 or later)"_s;
    if (source == "Apertium"_L1) {
        static const QHash<QString, QString> apertium{
            {u"it"_s, u"Apertium (GNU GPL version 2; version 3 or later for Italian)"_s},
            {u"ru"_s, u"Apertium rus-ukr (GNU GPL version 3 or later)"_s},
            {u"nl"_s, u"Apertium afr-nld (GNU GPL version 2 or later)"_s},
            {u"sv"_s, u"Apertium swe-dan (GNU GPL version 2 or later)"_s},
            {u"pl"_s, u"Apertium pol-szl (GNU GPL version 3 or later)"_s}};
        return apertium.value(code, u"Apertium (GNU GPL version 2)"_s);
    }
    return {};
}

const LanguageData* languageData(const QString& code) {
    for (const LanguageData& data : languageTable()) {
        if (data.code == code)
            return &data;
    }
    return nullptr;
}

const QString& englishAnalyser() {
    static const QString path = u"apertium-eng-spa/eng-spa.automorf.bin"_s;
    return path;
}

QString key(const QString& word, const QString& lang) {
    return Lexicon::key(word, lang);
}

int wordCount(const QString& text) {
    return int(text.split(u' ', Qt::SkipEmptyParts).size());
}

// The part of speech of FreeDict's angle-bracket notes ("n, masc", "vt", "adj").
QString posName(const QString& notes) {
    static const QHash<QString, QString> names{
        {u"n"_s, u"noun"_s},    {u"s"_s, u"noun"_s},      {u"noun"_s, u"noun"_s},
        {u"masc"_s, u"noun"_s}, {u"fem"_s, u"noun"_s},    {u"neut"_s, u"noun"_s},
        {u"pl"_s, u"noun"_s},   {u"v"_s, u"verb"_s},      {u"vt"_s, u"verb"_s},
        {u"vi"_s, u"verb"_s},   {u"verb"_s, u"verb"_s},   {u"adj"_s, u"adj"_s},
        {u"adv"_s, u"adv"_s},   {u"prep"_s, u"prep"_s},   {u"pron"_s, u"pron"_s},
        {u"conj"_s, u"conj"_s}, {u"art"_s, u"det"_s},     {u"det"_s, u"det"_s},
        {u"num"_s, u"num"_s},   {u"interj"_s, u"intj"_s}, {u"intj"_s, u"intj"_s},
        {u"N"_s, u"noun"_s},    {u"V"_s, u"verb"_s},      {u"ADJ"_s, u"adj"_s},
        {u"A"_s, u"adj"_s},     {u"ADV"_s, u"adv"_s}};
    static const QRegularExpression separator(u"[,\\s]+"_s);
    for (const QString& token : notes.split(separator, Qt::SkipEmptyParts)) {
        if (const auto found = names.constFind(token); found != names.constEnd())
            return *found;
    }
    return {};
}

// Whether a term's labels mark a special use: a trade, a region or a register. A label of
// the thing itself beside them ("[zool.] [agr.] horse") keeps the term a common one.
bool specialLabels(const QStringList& labels) {
    return !labels.isEmpty() && std::all_of(labels.begin(), labels.end(), FreeDict::specialist);
}

bool isWordNetPos(const QString& pos) {
    return pos == "noun"_L1 || pos == "verb"_L1 || pos == "adj"_L1 || pos == "adv"_L1;
}

// An English translation as a dictionary writes it, made into a headword: "to run" is
// "run", "possess sth." is "possess", parenthesised notes go.
QString englishHeadword(QString text) {
    static const QRegularExpression notes(u"\\([^)]*\\)|\\[[^\\]]*\\]|<[^>]*>"_s);
    static const QRegularExpression fillers(
        u"\\b(sth|sb|so|sth\\.|sb\\.|so\\.|etw\\.|jdn\\.|jdm\\.|jds\\.)(?=\\s|$)"_s);
    text.remove(notes);
    text.remove(fillers);
    text = text.simplified();
    if (text.startsWith(u"to "_s))
        text = text.mid(3);
    while (text.endsWith(u'.') || text.endsWith(u'!') || text.endsWith(u'?'))
        text.chop(1);
    return text.trimmed();
}

bool usableTerm(const QString& text) {
    return !text.isEmpty() && wordCount(text) <= maxWordsInTerm && !text.contains(u'…') &&
           !text.contains(u'{') && !text.contains(u'"') && !text.contains(u"..."_s);
}

// Some small dictionaries lost the words of multiword headwords and kept only the first:
// their transcription, of the whole phrase, gives them away.
bool garbled(const FreeDict::Entry& entry) {
    return !entry.ipa.contains(u'ˈ') && entry.ipa.size() * 2 > entry.headword.size() * 3 + 4;
}

// German letters without their umlauts, to compare a plural with its singular.
QString folded(const QString& word) {
    QString text = word.toLower();
    text.replace(u'ä', u'a').replace(u'ö', u'o').replace(u'ü', u'u');
    return text;
}

// Parentheses in a definition would end the part that a gloss hides from its terms.
QString bracketed(QString definition) {
    definition.replace(u'(', u'[').replace(u')', u']');
    return definition;
}

QByteArray compact(const QJsonValue& value) {
    return value.isArray() ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                           : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
}

void appendUnique(QStringList& list, const QString& item, qsizetype limit) {
    if (list.size() < limit && !list.contains(item))
        list << item;
}

QByteArray gzip(const QByteArray& text) {
    std::unique_ptr<libdeflate_compressor, void (*)(libdeflate_compressor*)> compressor(
        libdeflate_alloc_compressor(9), libdeflate_free_compressor);
    QByteArray out(qsizetype(libdeflate_gzip_compress_bound(compressor.get(), size_t(text.size()))),
                   Qt::Uninitialized);
    const size_t written = libdeflate_gzip_compress(
        compressor.get(), text.constData(), size_t(text.size()), out.data(), size_t(out.size()));
    out.truncate(qsizetype(written));
    return out;
}

// Lttoolbox units of Spanish, as one bilingual dictionary writes them, in the forms another
// one looks up: placeholders for gender and number filled in, verbs as infinitives.
QList<Apertium::Unit> pivotForms(const Apertium::Unit& unit) {
    QList<Apertium::Unit> forms{unit};
    Apertium::Unit filled = unit;
    for (QString& tag : filled.tags) {
        if (tag == "GD"_L1)
            tag = u"m"_s;
        else if (tag == "ND"_L1)
            tag = u"sg"_s;
    }
    if (filled.tags != unit.tags)
        forms << filled;
    if (unit.tags.size() == 1 && unit.tags[0].startsWith(u"vb"_s))
        forms << Apertium::Unit{unit.lemma, {unit.tags[0], u"inf"_s}};
    if (unit.tags.size() == 2 && unit.tags[0] == "n"_L1)
        forms << Apertium::Unit{unit.lemma, {unit.tags[0], unit.tags[1], u"sg"_s}};
    return forms;
}

// Leads units through bilingual dictionaries one after another; owners follow their units.
bool translateChain(const QStringList& chain, QList<Apertium::Unit>& units,
                    QList<qsizetype>& owners, QString* error) {
    for (qsizetype step = 0; step < chain.size(); ++step) {
        QList<Apertium::Unit> queries;
        QList<qsizetype> queryOwners;
        for (qsizetype u = 0; u < units.size(); ++u) {
            const QList<Apertium::Unit> forms =
                step == 0 ? QList<Apertium::Unit>{units[u]} : pivotForms(units[u]);
            for (const Apertium::Unit& form : forms) {
                queries << form;
                queryOwners << owners[u];
            }
        }
        const auto translations = Apertium::translate(chain[step], queries, error);
        if (!translations)
            return false;
        units.clear();
        owners.clear();
        QSet<QString> done;
        for (qsizetype q = 0; q < queries.size(); ++q) {
            // Through a language in between, the alternatives of one step multiply with the
            // next step's: only each dictionary's preferred translation goes on.
            const QList<Apertium::Unit> found = (*translations)[q];
            const QList<Apertium::Unit> taken =
                chain.size() > 1 ? found.first(std::min<qsizetype>(found.size(), 1)) : found;
            for (const Apertium::Unit& unit : taken) {
                const QString id = QString::number(queryOwners[q]) + u'\t' + unit.form();
                if (!done.contains(id)) {
                    done.insert(id);
                    units << unit;
                    owners << queryOwners[q];
                }
            }
        }
    }
    return true;
}

} // namespace

PackBuilder::PackBuilder(Sources sources)
    : m_sources(std::move(sources)) {
}

QStringList PackBuilder::languages() {
    QStringList codes{u"en"_s};
    for (const LanguageData& data : languageTable())
        codes << data.code;
    return codes;
}

bool PackBuilder::load(const QStringList& langs, QString* error) {
    if (!loadWordNet(error))
        return false;
    for (const QString& lang : langs) {
        if (lang != "en"_L1 && !languageData(lang)) {
            *error = u"no dictionaries are known for "_s + lang;
            return false;
        }
    }
    if (m_englishForms.isEmpty())
        loadEnglishForms();
    return true;
}

bool PackBuilder::loadWordNet(QString* error) {
    if (m_wordnetLoaded)
        return true;
    if (!m_wordnet.load(m_sources.wordnet, error))
        return false;
    for (const QString& lemma : m_wordnet.lemmas()) {
        const QString k = key(lemma, u"en"_s);
        if (!k.isEmpty() && !m_lemmas.contains(k))
            m_lemmas.insert(k, lemma);
    }
    static const QRegularExpression separator(u"[^\\w'-]+"_s);
    // Only compared with the words a term translates: their hashes do.
    m_synsetKeys.reserve(m_wordnet.synsets().size());
    m_definitionWords.reserve(m_wordnet.synsets().size());
    for (const WordNet::Synset& synset : m_wordnet.synsets()) {
        std::vector<size_t> keys;
        for (const QString& word : synset.words)
            keys.push_back(qHash(key(word, u"en"_s)));
        m_synsetKeys.push_back(std::move(keys));
        std::vector<size_t> words;
        for (const QString& word : synset.definition.split(separator, Qt::SkipEmptyParts)) {
            const size_t hash = qHash(word.toLower());
            if (word.size() > 3 && std::find(words.begin(), words.end(), hash) == words.end())
                words.push_back(hash);
        }
        m_definitionWords.push_back(std::move(words));
    }
    m_englishHeader << u"# English entries: WordNet 3.0, Princeton University"_s;
    m_wordnetLoaded = true;
    return true;
}

bool PackBuilder::loadLanguage(const QString& lang, QString* error) {
    const LanguageData* data = languageData(lang);
    if (!data) {
        *error = u"no dictionaries are known for "_s + lang;
        return false;
    }
    releaseMemory();
    Language language;
    language.code = lang;
    int rank = 0;
    int line = 0;
    QString ignored;
    // How often the dictionaries themselves use a word, in headwords, terms and examples: the
    // common words of a language turn up everywhere.
    const auto mention = [&](const QString& text) {
        static const QRegularExpression separator(u"[^\\w'-]+"_s,
                                                  QRegularExpression::UseUnicodePropertiesOption);
        for (const QString& token : text.split(separator, Qt::SkipEmptyParts))
            ++language.mentions[key(token, lang)];
    };

    // A pair whose English side no sense can take is not kept: a phrase or a noun, verb or
    // adjective WordNet does not know, or an English inflected form.
    const auto attachable = [&](const QString& english, const QString& pos) {
        const QString englishKey = key(english, u"en"_s);
        if (m_lemmas.contains(englishKey))
            return true;
        return !m_englishForms.contains(englishKey) && wordCount(english) == 1 &&
               !isWordNetPos(pos);
    };
    // The dictionaries are read article by article, none kept whole: Ding's would take a
    // gigabyte.
    const auto readFromEnglish = [&](FreeDict& dictionary, const QString& base,
                                     FreeDict::Style style) {
        // A capitalised headword beside a lower-case one is what is left of a name ("The"
        // for "The Hague").
        QSet<QString> lowerCase;
        const auto headline = [&](FreeDict::Entry&& entry) {
            if (entry.headword.front().isLower())
                lowerCase.insert(entry.headword);
        };
        if (!dictionary.read(base, style, &ignored, headline, true))
            return false;
        return dictionary.read(base, style, &ignored, [&](FreeDict::Entry&& entry) {
            const QString english = englishHeadword(entry.headword);
            if (!usableTerm(english) ||
                (entry.headword.front().isUpper() && lowerCase.contains(entry.headword.toLower())))
                return;
            if (garbled(entry))
                return;
            // Transcriptions with stress marks are the carefully made ones.
            const QString englishKey = key(english, u"en"_s);
            if (entry.ipa.contains(u'ˈ') && wordCount(english) == 1 &&
                !m_englishIpa[lang].contains(englishKey))
                m_englishIpa[lang].insert(englishKey, u'/' + entry.ipa + u'/');
            for (const FreeDict::Group& group : entry.groups) {
                const QString pos = posName(entry.pos.isEmpty() ? group.pos : entry.pos);
                ++line;
                for (qsizetype t = 0; t < group.terms.size(); ++t) {
                    const QString& term = group.terms[t];
                    mention(term);
                    if (!usableTerm(term) || !attachable(english, pos))
                        continue;
                    Pair pair{english, pos, term, rank++, fromEnglish, {}, {}};
                    pair.special = specialLabels(group.termLabels.value(t));
                    pair.place = &group == &entry.groups.first() ? (t == 0 ? 0 : 1) : 2;
                    pair.line = line;
                    language.pairs.append(pair);
                }
                for (const auto& example : group.examples)
                    mention(example.second);
            }
        });
    };

    if (FreeDict outOfEnglish;
        readFromEnglish(outOfEnglish, m_sources.dictd + u"/freedict-eng-"_s + data->freedict,
                        FreeDict::Style::FreeDict)) {
        language.header << u"# translations: FreeDict eng-"_s + data->freedict + u' ' +
                               outOfEnglish.infoField(u"Edition"_s) + u". "_s +
                               outOfEnglish.infoSection(u"Availability"_s);
        appendUnique(language.credits, u"FreeDict"_s, 8);
    }
    if (FreeDict extra;
        !data->extra.isEmpty() &&
        readFromEnglish(extra, m_sources.dictd + u'/' + data->extra, FreeDict::Style::Mueller)) {
        language.header << u"# translations: "_s + data->extraLicence;
        appendUnique(language.credits, data->extraName, 8);
    }

    releaseMemory();
    // An article into English without a part of speech that refers to other headwords ("gelaufen":
    // "run", see "laufen") is a form of one of them; which one shows once the verbs are known.
    struct FormArticle {
        QString englishKey;
        QString headword;
        QStringList bases;
    };
    QList<FormArticle> formArticles;
    QSet<size_t> ownWords;
    const auto pairHash = [](const QString& englishKey, const QString& term) {
        return qHashMulti(0, englishKey, term);
    };
    const auto readToEnglish = [&](FreeDict::Entry&& entry) {
        mention(entry.headword);
        const bool bare = entry.pos.isEmpty() &&
                          std::all_of(entry.groups.begin(), entry.groups.end(),
                                      [](const FreeDict::Group& g) { return g.pos.isEmpty(); });
        for (const FreeDict::Group& group : entry.groups) {
            for (const QString& english : group.terms) {
                const QString englishKey = key(englishHeadword(english), u"en"_s);
                if (!bare)
                    ownWords.insert(pairHash(englishKey, entry.headword));
                else if (!entry.see.isEmpty())
                    formArticles.append({englishKey, entry.headword, entry.see});
            }
        }
        for (const FreeDict::Group& group : entry.groups) {
            for (const auto& example : group.examples)
                mention(example.first);
        }
        if (!usableTerm(entry.headword) || key(entry.headword, lang).isEmpty() || garbled(entry))
            return;
        for (const FreeDict::Group& group : entry.groups) {
            const QString pos = posName(entry.pos.isEmpty() ? group.pos : entry.pos);
            for (qsizetype t = 0; t < group.terms.size(); ++t) {
                const QString english = englishHeadword(group.terms[t]);
                if (!usableTerm(english) || !attachable(english, pos))
                    continue;
                Pair pair{english, pos, entry.headword, rank++, fromLanguage, {}, {}};
                pair.special = specialLabels(group.termLabels.value(t));
                language.pairs.append(pair);
            }
        }
        language.articles.append(std::move(entry));
    };
    if (FreeDict toEnglish;
        toEnglish.read(m_sources.dictd + u"/freedict-"_s + data->freedict + u"-eng"_s, data->style,
                       &ignored, readToEnglish)) {
        language.header << u"# entries and translations: FreeDict "_s + data->freedict +
                               u"-eng "_s + toEnglish.infoField(u"Edition"_s) + u". "_s +
                               toEnglish.infoSection(u"Availability"_s);
        appendUnique(language.credits, u"FreeDict"_s, 8);
    }

    // A form whose base form translates the same English word ("gelaufen" beside "laufen" for
    // "run") is no term of its own: as the dictionaries agree on it both ways, it would lead.
    if (!formArticles.isEmpty()) {
        QSet<size_t> verbs;
        for (const Pair& pair : std::as_const(language.pairs)) {
            // A line that names no part of speech may hold the verb too.
            if (pair.pos == "verb"_L1 || pair.pos.isEmpty())
                verbs.insert(
                    pairHash(key(pair.english, u"en"_s), key(englishHeadword(pair.term), lang)));
        }
        QSet<size_t> forms;
        for (const FormArticle& article : std::as_const(formArticles)) {
            const size_t form = pairHash(article.englishKey, article.headword);
            if (ownWords.contains(form))
                continue;
            const QString formKey = key(article.headword, lang);
            for (const QString& base : article.bases) {
                const QString baseKey = key(englishHeadword(base), lang);
                if (baseKey != formKey && verbs.contains(pairHash(article.englishKey, baseKey))) {
                    forms.insert(form);
                    break;
                }
            }
        }
        language.pairs.removeIf([&](const Pair& pair) {
            return forms.contains(pairHash(key(pair.english, u"en"_s), pair.term));
        });
    }
    formArticles = {};
    ownWords = {};

    if (lang != "de"_L1)
        loadGermanWords(language);
    releaseMemory();
    if (!m_sources.apertium.isEmpty() && !data->analyser.isEmpty() &&
        !loadApertium(language, error))
        return false;
    if (language.pairs.isEmpty()) {
        *error = u"no dictionary of "_s + lang + u" was found in "_s + m_sources.dictd;
        return false;
    }
    restoreSpaces(language);
    takePartsOfSpeech(language);
    m_languages.insert(lang, language);
    return true;
}

void PackBuilder::loadGermanBridge() {
    if (m_germanLoaded)
        return;
    m_germanLoaded = true;
    QString ignored;
    const auto add = [&](const QString& english, const QString& term, const QStringList& labels) {
        const QString englishKey = key(englishHeadword(english), u"en"_s);
        const QString germanKey = key(term, u"de"_s);
        if (!englishKey.isEmpty() && !germanKey.isEmpty() && !specialLabels(labels))
            m_germanPairs.push_back(bridgeHash(englishKey, qHash(germanKey) & ~size_t(1)));
    };
    FreeDict dictionary;
    dictionary.read(m_sources.dictd + u"/freedict-eng-deu"_s, FreeDict::Style::FreeDict, &ignored,
                    [&](FreeDict::Entry&& entry) {
                        for (const FreeDict::Group& group : entry.groups)
                            for (qsizetype t = 0; t < group.terms.size(); ++t)
                                add(entry.headword, group.terms[t], group.termLabels.value(t));
                    });
    dictionary.read(m_sources.dictd + u"/freedict-deu-eng"_s, FreeDict::Style::FreeDict, &ignored,
                    [&](FreeDict::Entry&& entry) {
                        for (const FreeDict::Group& group : entry.groups)
                            for (qsizetype t = 0; t < group.terms.size(); ++t)
                                add(group.terms[t], entry.headword, group.termLabels.value(t));
                    });
    std::sort(m_germanPairs.begin(), m_germanPairs.end());
    m_germanPairs.erase(std::unique(m_germanPairs.begin(), m_germanPairs.end()),
                        m_germanPairs.end());
    m_germanPairs.shrink_to_fit();
    releaseMemory();
}

void PackBuilder::loadGermanWords(Language& language) {
    const LanguageData* data = languageData(language.code);
    QString ignored;
    // The lowest bit of a German key's hash in the list tells the direction: a pair that both
    // dictionaries give is kept twice.
    const auto add = [&](const QString& word, const QString& germanWord, size_t direction) {
        const QString wordKey = key(word, language.code);
        const size_t germanKey = (qHash(key(germanWord, u"de"_s)) & ~size_t(1)) | direction;
        std::vector<size_t>& list = language.german[wordKey];
        if (!wordKey.isEmpty() && std::find(list.begin(), list.end(), germanKey) == list.end())
            list.push_back(germanKey);
    };
    QStringList names;
    FreeDict dictionary;
    if (dictionary.read(m_sources.dictd + toGerman(data->freedict), FreeDict::Style::PolishEnglish,
                        &ignored, [&](FreeDict::Entry&& entry) {
                            for (const FreeDict::Group& group : entry.groups)
                                for (const QString& term : group.terms)
                                    add(entry.headword, term, 0);
                        }))
        names << data->freedict + u"-deu "_s + dictionary.infoField(u"Edition"_s);
    if (dictionary.read(m_sources.dictd + fromGerman(data->freedict),
                        FreeDict::Style::PolishEnglish, &ignored, [&](FreeDict::Entry&& entry) {
                            for (const FreeDict::Group& group : entry.groups)
                                for (const QString& term : group.terms)
                                    add(term, entry.headword, 1);
                        }))
        names << u"deu-"_s + data->freedict + u' ' + dictionary.infoField(u"Edition"_s);
    if (names.isEmpty())
        return;
    loadGermanBridge();
    // As Debian's copyright files of the dictionaries name them.
    const QString licence = language.code == "sv"_L1 || language.code == "fr"_L1
                                ? u"CC BY-SA 3.0"_s
                                : u"GNU GPL version 2 or later"_s;
    language.header << u"# translations confirmed through German: FreeDict "_s +
                           names.join(u", "_s) + u" ("_s + licence +
                           u") with FreeDict's Ding (GNU GPL version 3 or later)"_s;
}

// Some articles lost the spaces of a phrase ("contable, tenedordelibros"): a term that is no
// word of its own and that another line writes with its spaces gets them back.
void PackBuilder::restoreSpaces(Language& language) {
    QHash<QString, QString> spaced;
    QSet<QString> ambiguous;
    const auto note = [&](const QString& text) {
        if (wordCount(text) < 2)
            return;
        const QString glued = key(text, language.code).remove(u' ');
        const auto found = spaced.constFind(glued);
        if (found == spaced.constEnd())
            spaced.insert(glued, text);
        else if (key(*found, language.code) != key(text, language.code))
            ambiguous.insert(glued);
    };
    QSet<QString> headwords;
    for (const FreeDict::Entry& entry : language.articles) {
        note(entry.headword);
        headwords.insert(key(entry.headword, language.code));
    }
    for (const Pair& pair : language.pairs)
        note(pair.term);
    for (Pair& pair : language.pairs) {
        if (wordCount(pair.term) != 1)
            continue;
        const QString k = key(pair.term, language.code);
        // A word the analyser reads ("abordo", a form of "abordar") is a word of its own.
        if (headwords.contains(k) || ambiguous.contains(k) || language.partsOfSpeech.contains(k) ||
            language.forms.contains(k))
            continue;
        if (const auto found = spaced.constFind(k); found != spaced.constEnd())
            pair.term = *found;
    }
}

// A line of terms without a part of speech ("water: 1. aquatique 2. eau 3. abreuver") would
// put a verb among the noun's senses: the dictionary the other way, or Apertium, tells which
// part of speech the pair is, when they name only one that the English word has.
void PackBuilder::takePartsOfSpeech(Language& language) const {
    using Both = QPair<QString, QString>;
    const auto both = [&](const Pair& pair) {
        return Both{key(pair.term, language.code), key(pair.english, u"en"_s)};
    };
    const auto fits = [&](const Pair& pair, const QString& pos) {
        return isWordNetPos(pos) &&
               !m_wordnet.senses(m_lemmas.value(key(pair.english, u"en"_s)), pos).isEmpty();
    };
    // What the dictionaries name for each pair of words; a pair named as several parts of
    // speech is left as it is.
    QHash<Both, QString> named;
    QSet<Both> several;
    const auto collect = [&] {
        named.clear();
        for (const Pair& pair : std::as_const(language.pairs)) {
            if (!isWordNetPos(pair.pos))
                continue;
            const Both words = both(pair);
            const auto found = named.constFind(words);
            if (found == named.constEnd())
                named.insert(words, pair.pos);
            else if (*found != pair.pos)
                several.insert(words);
        }
    };
    collect();
    for (Pair& pair : language.pairs) {
        if (!pair.pos.isEmpty() || several.contains(both(pair)))
            continue;
        QString pos = named.value(both(pair));
        if (pos.isEmpty()) {
            const QStringList read = language.partsOfSpeech.value(key(pair.term, language.code));
            if (!read.isEmpty() && std::all_of(read.begin(), read.end(),
                                               [&](const QString& p) { return p == read.first(); }))
                pos = read.first();
        }
        if (fits(pair, pos))
            pair.pos = pos;
    }
    // A numbered line lists the terms of one sense: "2. annaffiare, bagnare" are verbs when
    // "bagnare" is. Only verbs: a line of nouns often holds the adjective of the same use
    // ("Erster, erste" for "first").
    QHash<int, QString> linePos;
    QSet<int> mixed;
    for (const Pair& pair : std::as_const(language.pairs)) {
        if (pair.line < 0 || !isWordNetPos(pair.pos))
            continue;
        const auto found = linePos.constFind(pair.line);
        if (found == linePos.constEnd())
            linePos.insert(pair.line, pair.pos);
        else if (*found != pair.pos)
            mixed.insert(pair.line);
    }
    for (Pair& pair : language.pairs) {
        if (pair.pos.isEmpty() && pair.line >= 0 && !mixed.contains(pair.line) &&
            !several.contains(both(pair)) && linePos.value(pair.line) == "verb"_L1 &&
            fits(pair, linePos.value(pair.line)))
            pair.pos = linePos.value(pair.line);
    }
    // The other direction's lines of the same pair follow.
    collect();
    for (Pair& pair : language.pairs) {
        if (pair.pos.isEmpty() && !several.contains(both(pair)))
            pair.pos = named.value(both(pair));
    }
}

int PackBuilder::confirmedThroughGerman(const Language& language, const QString& termKey,
                                        const QString& englishKey) const {
    const auto found = language.german.constFind(termKey);
    if (found == language.german.constEnd())
        return 0;
    int directions = 0;
    for (const size_t germanKey : *found) {
        if (std::binary_search(m_germanPairs.begin(), m_germanPairs.end(),
                               bridgeHash(englishKey, germanKey & ~size_t(1))))
            directions |= 1 << (germanKey & 1);
    }
    return std::popcount(unsigned(directions));
}

bool PackBuilder::loadApertium(Language& language, QString* error) {
    const LanguageData* data = languageData(language.code);
    const QDir folder(m_sources.apertium);
    const QString analyser = folder.filePath(data->analyser);
    if (!QFileInfo::exists(analyser)) {
        // A pair that is not installed only leaves its words out.
        language.header << u"# not used, missing: "_s + analyser;
        return true;
    }
    QStringList chain;
    for (const QString& file : data->chain)
        chain << folder.filePath(file);
    const QString english = folder.filePath(englishAnalyser());
    bool translations = !chain.isEmpty();
    for (const QString& path : chain + QStringList{english}) {
        if (translations && !QFileInfo::exists(path)) {
            language.header << u"# not used, missing: "_s + path;
            translations = false;
        }
    }
    if (translations && !loadApertiumTranslations(language, chain, error))
        return false;
    if (translations && !loadApertiumWords(language, analyser, error))
        return false;

    // The language's own words: parts of speech and inflected forms.
    QStringList terms;
    QSet<QString> termSeen;
    for (const Pair& pair : std::as_const(language.pairs)) {
        const QString k = key(pair.term, language.code);
        if (!termSeen.contains(k)) {
            termSeen.insert(k);
            terms << k;
        }
    }
    const auto readings = Apertium::analyse(analyser, terms, error);
    if (!readings)
        return false;
    for (qsizetype i = 0; i < terms.size(); ++i)
        for (const Apertium::Unit& unit : (*readings)[i])
            appendUnique(language.partsOfSpeech[terms[i]], unit.pos(), 8);
    const auto forms = Apertium::forms(analyser, terms, error);
    if (!forms)
        return false;
    language.forms = *forms;
    language.header << u"# forms: Apertium "_s + data->analyser + u" (GNU GPL)"_s;
    appendUnique(language.credits, u"Apertium"_s, 8);
    return true;
}

bool PackBuilder::loadApertiumTranslations(Language& language, const QStringList& chain,
                                           QString* error) {
    const LanguageData* data = languageData(language.code);
    const QString english = QDir(m_sources.apertium).filePath(englishAnalyser());
    // English base forms: WordNet's lemmas and the dictionaries' English headwords.
    QStringList words;
    QSet<QString> seen;
    for (const QString& lemma : m_lemmas)
        if (!seen.contains(lemma)) {
            seen.insert(lemma);
            words << lemma;
        }
    for (const Pair& pair : std::as_const(language.pairs))
        if (!seen.contains(pair.english)) {
            seen.insert(pair.english);
            words << pair.english;
        }
    const auto analyses = Apertium::analyse(english, words, error);
    if (!analyses)
        return false;
    QList<Apertium::Unit> units;
    QList<qsizetype> owners;
    for (qsizetype i = 0; i < words.size(); ++i) {
        for (const Apertium::Unit& unit : (*analyses)[i]) {
            if (!unit.pos().isEmpty()) {
                units << unit;
                owners << i;
                appendUnique(language.englishPartsOfSpeech[key(words[i], u"en"_s)], unit.pos(), 8);
            }
        }
    }
    if (!translateChain(chain, units, owners, error))
        return false;
    int rank = 1000000;
    for (qsizetype u = 0; u < units.size(); ++u) {
        const QString term = units[u].text();
        if (usableTerm(term) && !units[u].pos().isEmpty() && units[u].pos() != "name"_L1)
            language.pairs.append(
                {words[owners[u]], units[u].pos(), term, rank++, apertium, {}, {}});
    }
    language.header << u"# translations: Apertium "_s + data->chain.join(u" then "_s) +
                           u" (GNU GPL version 2)"_s;
    appendUnique(language.credits, u"Apertium"_s, 8);
    return true;
}

bool PackBuilder::loadApertiumWords(Language& language, const QString& analyser, QString* error) {
    const LanguageData* data = languageData(language.code);
    QFile list(QDir(m_sources.wordLists).filePath(data->wordList));
    QStringList back;
    for (const QString& file : data->back)
        back << QDir(m_sources.apertium).filePath(file);
    if (data->wordList.isEmpty() || !list.open(QIODevice::ReadOnly))
        return true;
    for (const QString& path : back) {
        if (!QFileInfo::exists(path))
            return true;
    }
    QStringList words;
    for (const QByteArray& line : list.readAll().split('\n')) {
        const QString word = QString::fromUtf8(line).trimmed();
        if (!word.isEmpty() && !word.front().isUpper())
            words << word;
    }
    const auto analyses = Apertium::analyse(analyser, words, error);
    if (!analyses)
        return false;
    QList<Apertium::Unit> units;
    QList<qsizetype> owners;
    for (qsizetype i = 0; i < words.size(); ++i) {
        for (const Apertium::Unit& unit : (*analyses)[i]) {
            if (!unit.pos().isEmpty() && unit.pos() != "name"_L1) {
                units << unit;
                owners << i;
            }
        }
    }
    if (!translateChain(back, units, owners, error))
        return false;
    int rank = 2000000;
    for (qsizetype u = 0; u < units.size(); ++u) {
        const QString english = units[u].text();
        if (usableTerm(english) && !units[u].pos().isEmpty())
            language.pairs.append(
                {english, units[u].pos(), words[owners[u]], rank++, apertiumBack, {}, {}});
    }
    language.header << u"# translations of the words of /usr/share/dict/"_s + data->wordList +
                           u": Apertium "_s + data->back.join(u" then "_s);
    return true;
}

void PackBuilder::loadEnglishForms() {
    for (auto it = m_wordnet.exceptionTable().cbegin(); it != m_wordnet.exceptionTable().cend();
         ++it)
        for (const QString& base : it.value())
            appendUnique(m_englishForms[key(it.key(), u"en"_s)], key(base, u"en"_s), 8);
    const QString analyser = QDir(m_sources.apertium).filePath(englishAnalyser());
    QString error;
    const auto forms = m_sources.apertium.isEmpty() || !QFileInfo::exists(analyser)
                           ? std::nullopt
                           : Apertium::forms(analyser, m_lemmas.values(), &error);
    if (forms) {
        for (auto it = forms->cbegin(); it != forms->cend(); ++it)
            for (const QString& base : it.value())
                appendUnique(m_englishForms[key(it.key(), u"en"_s)], key(base, u"en"_s), 8);
        m_englishHeader << u"# forms: WordNet's exception lists, Apertium "_s + englishAnalyser();
    }

    // Possessives and negations of the word list: "children's" and "couldn't" lead where
    // "children" and "could" lead.
    QFile list(QDir(m_sources.wordLists).filePath(u"american-english"_s));
    if (!list.open(QIODevice::ReadOnly))
        return;
    static const QHash<QString, QString> irregular{
        {u"can't"_s, u"can"_s}, {u"won't"_s, u"will"_s}, {u"shan't"_s, u"shall"_s}};
    for (const QByteArray& line : list.readAll().split('\n')) {
        const QString word = key(QString::fromUtf8(line).replace(u'’', u'\''), u"en"_s);
        QString base = irregular.value(word);
        if (base.isEmpty() && word.endsWith(u"'s"_s))
            base = word.chopped(2);
        else if (base.isEmpty() && word.endsWith(u"n't"_s))
            base = word.chopped(3);
        if (base.isEmpty() || base == word)
            continue;
        const QStringList bases =
            m_lemmas.contains(base) ? QStringList{base} : m_englishForms.value(base);
        const QString typeset = QString(word).replace(u'\'', u'’');
        for (const QString& lemma : bases) {
            appendUnique(m_englishForms[word], lemma, 8);
            appendUnique(m_englishForms[typeset], lemma, 8);
        }
    }
    m_englishHeader << u"# possessives and negations: /usr/share/dict/american-english"_s;
}

QString PackBuilder::englishIpa(const QString& k) const {
    for (const QString& lang : {u"de"_s, u"pt"_s, u"it"_s, u"fr"_s, u"es"_s, u"ru"_s}) {
        const QString ipa = m_englishIpa.value(lang).value(k);
        if (!ipa.isEmpty())
            return ipa;
    }
    return {};
}

QString PackBuilder::senseId(const QString& english, const QString& pos, int number) const {
    return english + u'.' + WordNet::letter(pos) + QString::number(number).rightJustified(2, u'0');
}

std::map<QString, QByteArray> PackBuilder::englishLines() {
    std::map<QString, QByteArray> lines;
    for (auto it = m_lemmas.cbegin(); it != m_lemmas.cend(); ++it) {
        const QString& lemma = it.value();
        const QList<QList<WordNet::Sense>> lists = m_wordnet.senses(lemma);
        // Every part of speech keeps its first sense; the rest of the card's room goes to the
        // senses seen most often.
        QList<qsizetype> taken(lists.size(), 0);
        qsizetype room = maxMeanings;
        for (qsizetype l = 0; l < lists.size() && room > 0; ++l, --room)
            taken[l] = 1;
        while (room > 0) {
            qsizetype best = -1;
            for (qsizetype l = 0; l < lists.size(); ++l) {
                if (taken[l] < lists[l].size() &&
                    (best < 0 || lists[l][taken[l]].count > lists[best][taken[best]].count))
                    best = l;
            }
            if (best < 0)
                break;
            ++taken[best];
            --room;
        }
        const QString ipa = englishIpa(it.key());
        QJsonArray entries;
        for (qsizetype l = 0; l < lists.size(); ++l) {
            if (taken[l] == 0)
                continue;
            QJsonArray senses;
            for (qsizetype s = 0; s < taken[l]; ++s) {
                const WordNet::Synset& synset = m_wordnet.synsets()[lists[l][s].synset];
                QJsonArray sense{synset.definition};
                QString example;
                for (const QString& candidate : synset.examples) {
                    if (candidate.contains(lemma, Qt::CaseInsensitive)) {
                        example = candidate;
                        break;
                    }
                }
                if (example.isEmpty())
                    example = synset.examples.value(0);
                if (!example.isEmpty())
                    sense.append(QJsonArray{QJsonArray{example}});
                senses.append(sense);
            }
            const QString pos = m_wordnet.synsets()[lists[l][0].synset].pos;
            entries.append(QJsonArray{pos, ipa, QString(), senses});
        }
        lines.emplace(u"w"_s + it.key(), compact(QJsonObject{{u"e"_s, entries}}));
    }
    for (auto it = m_englishForms.cbegin(); it != m_englishForms.cend(); ++it) {
        if (m_lemmas.contains(it.key()) || it.key().isEmpty())
            continue;
        QStringList lemmas;
        for (const QString& base : it.value())
            if (m_lemmas.contains(base))
                lemmas << base;
        std::stable_sort(lemmas.begin(), lemmas.end(), [&](const QString& a, const QString& b) {
            return m_wordnet.count(m_lemmas.value(a)) > m_wordnet.count(m_lemmas.value(b));
        });
        if (!lemmas.isEmpty())
            lines.emplace(u"w"_s + it.key(),
                          compact(QJsonObject{{u"lm"_s, QJsonArray::fromStringList(lemmas)}}));
    }
    return lines;
}

QString PackBuilder::attach(const Pair& pair, const QHash<QString, QSet<size_t>>& context,
                            std::map<QString, SenseLine>& senses, Tally* tally) const {
    const QString& english = pair.englishKey;
    const QString lemma = m_lemmas.value(english);
    QList<WordNet::Sense> candidates;
    if (!lemma.isEmpty()) {
        if (isWordNetPos(pair.pos)) {
            candidates = m_wordnet.senses(lemma, pair.pos);
        } else if (pair.pos.isEmpty()) {
            for (const QList<WordNet::Sense>& list : m_wordnet.senses(lemma))
                candidates += list;
        }
    }
    if (candidates.isEmpty()) {
        // An English word WordNet does not know as a noun, verb or adjective is a phrase, a
        // rare word or an inflected form: its sense would cost more room than it is worth. A
        // word of another part of speech ("the", "and") has its sense of its own.
        if (lemma.isEmpty() &&
            (wordCount(english) > 1 || isWordNetPos(pair.pos) || pair.pos.isEmpty())) {
            ++tally->dropped;
            return {};
        }
        ++tally->outside;
        const QString id = senseId(english, pair.pos, 0);
        if (!senses.count(id))
            senses[id] = {pair.english, pair.pos, {}, {}, 0};
        return id;
    }

    qsizetype best = 0;
    bool evidence = false;
    if (candidates.size() == 1) {
        ++tally->single;
    } else {
        // Other English words the term translates, found among a sense's synonyms (strong)
        // or in its definition (weak), point to that sense.
        const QSet<size_t> others = context.value(pair.termKey);
        const size_t self = qHash(english);
        double bestScore = -1;
        for (qsizetype c = 0; c < candidates.size(); ++c) {
            int score = 0;
            for (const size_t k : m_synsetKeys[size_t(candidates[c].synset)]) {
                if (k != self && others.contains(k))
                    score += 2;
            }
            for (const size_t k : m_definitionWords[size_t(candidates[c].synset)]) {
                if (k != self && others.contains(k))
                    score += 1;
            }
            // How often WordNet's corpus used a sense weighs against a rare sense that shares
            // a word by chance.
            const double weighed = score + std::log2(1.0 + candidates[c].count);
            if (weighed > bestScore) {
                bestScore = weighed;
                best = c;
                evidence = score > 0;
            }
        }
        ++(evidence ? tally->synonym : tally->first);
    }
    const WordNet::Synset& synset = m_wordnet.synsets()[candidates[best].synset];
    const QString id = senseId(english, synset.pos, candidates[best].number);
    if (!senses.count(id)) {
        QString headword = lemma;
        for (const QString& word : synset.words) {
            if (key(word, u"en"_s) == english) {
                headword = word;
                break;
            }
        }
        senses[id] = {headword, synset.pos, synset.definition, {}, candidates[best].count};
    }
    return id;
}

// Debian's Apertium has no German analyser: the regular endings of nouns, adjectives and
// weak verbs lead to their base forms instead, tried longest first, each only where it
// reaches a word with entries.
QList<LexiconPack::FormRule> PackBuilder::germanRules() {
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

double PackBuilder::englishCommonness(const QString& englishKey) const {
    const QString lemma = m_lemmas.value(englishKey);
    return lemma.isEmpty() ? 0.0 : std::log2(1.0 + double(m_wordnet.count(lemma)));
}

std::map<QString, QByteArray> PackBuilder::languageLines(Language& language, Tally* tally) {
    const QString& lang = language.code;
    std::stable_sort(language.pairs.begin(), language.pairs.end(),
                     [](const Pair& a, const Pair& b) { return a.rank < b.rank; });

    // The English words of each term, by their hashes: a large dictionary has millions.
    QHash<QString, QSet<size_t>> context;
    QHash<QString, QSet<size_t>> confirmed;
    // By term key and English key: which directions give the pair, and whether some source
    // gives it without a special label.
    // By term and English word: which directions give the pair (1 from English, 2 into it),
    // whether some source gives it without a special label, and where the dictionary from
    // English puts the term in the English word's article (0 first, 1 in its first sense, 2
    // later).
    struct PairFacts {
        quint8 directions = 0;
        bool plain = false;
        quint8 place = 2;
    };
    QHash<size_t, PairFacts> facts;
    const auto pairKey = [](const QString& term, const QString& english) {
        return qHashMulti(0, term, english);
    };
    for (Pair& pair : language.pairs) {
        pair.englishKey = key(pair.english, u"en"_s);
        pair.termKey = key(pair.term, lang);
        context[pair.termKey].insert(qHash(pair.englishKey));
        if (pair.source != fromLanguage)
            confirmed[pair.termKey].insert(qHash(pair.englishKey));
        PairFacts& fact = facts[pairKey(pair.termKey, pair.englishKey)];
        fact.directions |= (pair.source & (fromEnglish | apertium)) ? 1 : 2;
        fact.plain = fact.plain || !pair.special;
        if (pair.source == fromEnglish)
            fact.place = quint8(std::min(int(fact.place), pair.place));
    }
    // Without a dictionary into English to agree with, the order of the one from English
    // tells the common translation.
    const double placeWeight = language.articles.isEmpty() ? 2.0 : 0.0;
    const auto place = [&](const QString& term, const QString& english) {
        return double(2 - facts.value(pairKey(term, english)).place);
    };
    const auto agreeing = [&](const QString& term, const QString& english) {
        return facts.value(pairKey(term, english)).directions == 3;
    };
    const auto special = [&](const QString& term, const QString& english) {
        return !facts.value(pairKey(term, english)).plain;
    };

    releaseMemory();
    struct Vote {
        QString text;
        QString key;
        int sources = 0;
        qsizetype order = 0;
        double score = 0;
    };
    std::map<QString, SenseLine> senses;
    std::map<QString, QList<Vote>> votes;
    std::map<QString, Word> words;
    for (Pair pair : std::as_const(language.pairs)) {
        const QString termKey = pair.termKey;
        if (termKey.isEmpty() || pair.englishKey.isEmpty())
            continue;
        // An English inflected form ("dogs") translates a form of the language, whose base
        // form has the pair of its own.
        if (!m_lemmas.contains(pair.englishKey) && m_englishForms.contains(pair.englishKey)) {
            ++tally->dropped;
            continue;
        }
        if (pair.pos.isEmpty()) {
            // The analysers' readings of the term and of the English word decide where the
            // dictionary says nothing: a reading both share, else the English one.
            // Without an English reading, the part of speech in which WordNet's corpus uses
            // the English word most: "rood" is a noun and an adjective, "red" mostly the latter.
            const QString& english = pair.englishKey;
            const QStringList englishParts = language.englishPartsOfSpeech.value(english);
            int bestUse = -1;
            for (const QString& pos : language.partsOfSpeech.value(termKey)) {
                if (englishParts.contains(pos)) {
                    pair.pos = pos;
                    break;
                }
                if (!englishParts.isEmpty())
                    continue;
                const QList<WordNet::Sense> readings =
                    m_wordnet.senses(m_lemmas.value(english), pos);
                int use = 0;
                for (const WordNet::Sense& reading : readings)
                    use += reading.count;
                if (!readings.isEmpty() && use > bestUse) {
                    bestUse = use;
                    pair.pos = pos;
                }
            }
            if (pair.pos.isEmpty() && !m_lemmas.contains(english))
                pair.pos = englishParts.value(0);
        }
        const QString id = attach(pair, context, senses, tally);
        if (id.isEmpty())
            continue;
        QList<Vote>& list = votes[id];
        auto vote =
            std::find_if(list.begin(), list.end(), [&](const Vote& v) { return v.key == termKey; });
        if (vote == list.end())
            list.append({pair.term, termKey, pair.source, list.size()});
        else
            vote->sources |= pair.source;
        appendUnique(words[termKey].senses, id, maxSensesGathered);
    }

    // The pairs live on in the senses and votes.
    language.pairs = {};
    context = {};
    releaseMemory();
    // The words' own entries, from the dictionary into English. A sense whose English words
    // are common ones, that the dictionary from English gives back, and that no special label
    // marks comes first; the dictionary's own order decides between equals.
    static const QRegularExpression pronounForm(
        u"^(?:ich|du|er|sie|es|wir|ihr|er/sie|er/sie/es|ich/er/sie|ich/er/sie/es)\\s+(\\S+)$"_s);
    struct Ranked {
        Meaning meaning;
        double score = 0;
    };
    std::map<QString, QList<QPair<QString, QList<Ranked>>>> ranked;
    QHash<QString, QString> ipaOf;
    static const QRegularExpression plural(u"(^|[,\\s])pl($|[,\\s])"_s);
    static const QRegularExpression singular(u"(^|[,\\s])sg($|[,\\s])"_s);
    QSet<QString> headwords;
    QSet<QString> singulars;
    for (const FreeDict::Entry& article : std::as_const(language.articles)) {
        headwords.insert(key(article.headword, lang));
        if (singular.match(article.pos).hasMatch())
            singulars.insert(key(article.headword, lang));
    }
    // A plural of its own article ("Hunde <pl>") whose singular has one too is a form of it;
    // so is a plural written like its singular ("Stubenmädchen <pl>": "chambermaids").
    const auto pluralOfHeadword = [&](const FreeDict::Entry& article, const QString& wordKey) {
        if (!plural.match(article.pos).hasMatch() || singular.match(article.pos).hasMatch())
            return false;
        if (singulars.contains(wordKey))
            return true;
        for (const QString& ending : {u"nen"_s, u"en"_s, u"er"_s, u"n"_s, u"e"_s, u"s"_s}) {
            if (wordKey.endsWith(ending) && wordKey.size() > ending.size() + 2 &&
                (headwords.contains(wordKey.chopped(ending.size())) ||
                 headwords.contains(folded(wordKey.chopped(ending.size())))))
                return true;
        }
        return false;
    };
    for (FreeDict::Entry& slot : language.articles) {
        // Each article goes once read: its words live on in the entries.
        const FreeDict::Entry article = std::exchange(slot, {});
        const QString wordKey = key(article.headword, lang);
        if (pluralOfHeadword(article, wordKey))
            continue;
        // An article that only names English inflected forms ("ging": "walked", "Hunde":
        // "dogs") is a form of the base form it refers to, if any, and no word of its own.
        bool formsOnly = !article.groups.isEmpty();
        for (const FreeDict::Group& group : article.groups) {
            for (const QString& term : group.terms) {
                const QString englishKey = key(englishHeadword(term), u"en"_s);
                if (m_lemmas.contains(englishKey) || !m_englishForms.contains(englishKey))
                    formsOnly = false;
            }
        }
        if (formsOnly) {
            for (const QString& see : article.see) {
                if (!see.contains(u' '))
                    appendUnique(language.forms[wordKey], see, 8);
            }
            continue;
        }
        // Long compounds are read more than said: their transcriptions would take much room.
        if (!ipaOf.contains(wordKey) && !article.ipa.isEmpty() && wordKey.size() <= maxIpaWord)
            ipaOf.insert(wordKey, u'/' + article.ipa + u'/');
        QList<QPair<QString, QList<Ranked>>>& entries = ranked[wordKey];
        for (const FreeDict::Group& group : article.groups) {
            QString pos = posName(article.pos.isEmpty() ? group.pos : article.pos);
            if (pos.isEmpty())
                pos = language.partsOfSpeech.value(wordKey).value(0);
            // Terms of a special use go after the others.
            // How common a sense's first few English words are on average: a trade's sense
            // of a common word ("play" of a machine) comes with rare companions ("clearance,
            // backlash").
            QStringList plain;
            QStringList marked;
            double sum = 0;
            bool backed = false;
            for (qsizetype t = 0; t < group.terms.size(); ++t) {
                const QString englishKey = key(englishHeadword(group.terms[t]), u"en"_s);
                const bool isSpecial = specialLabels(group.termLabels.value(t));
                (isSpecial ? marked : plain) << group.terms[t];
                if (t < commonnessTerms)
                    sum += englishCommonness(englishKey) - (isSpecial ? 5.0 : 0.0);
                backed = backed || confirmed.value(wordKey).contains(qHash(englishKey));
            }
            const double best =
                sum / double(std::min<qsizetype>(std::max<qsizetype>(group.terms.size(), 1),
                                                 commonnessTerms));
            // A card shows a few terms of a sense and a short example.
            const QStringList shown =
                (plain + marked)
                    .first(std::min<qsizetype>(plain.size() + marked.size(), maxGlossTerms));
            // Cards do not show labels: a very large dictionary keeps the room for words.
            Ranked meaning{
                {shown.join(u", "_s), std::nullopt,
                 language.articles.size() > largeDictionary ? QStringList() : group.labels, 0},
                0};
            if (!group.examples.isEmpty() &&
                group.examples.first().first.size() + group.examples.first().second.size() <=
                    maxExample)
                meaning.meaning.example = group.examples.first();
            qsizetype count = 0;
            for (const auto& entry : std::as_const(entries))
                count += entry.second.size();
            meaning.score = best + (backed ? 3.0 : 0.0) - 0.25 * double(count);
            auto entry = std::find_if(entries.begin(), entries.end(),
                                      [&](const auto& e) { return e.first == pos; });
            if (entry == entries.end()) {
                entries.append({pos, {}});
                entry = entries.end() - 1;
            }
            entry->second.append(meaning);
        }
        for (const QString& see : article.see) {
            const auto match = pronounForm.match(see);
            if (match.hasMatch() && posName(article.pos) == "verb"_L1) {
                const QString form = key(match.captured(1), lang);
                if (form != wordKey && !language.forms.value(form).contains(article.headword))
                    language.forms[form] << article.headword;
            }
            // The references of a German noun name its plural beside its compounds.
            if (lang == "de"_L1 && !see.contains(u' ') &&
                see.size() <= article.headword.size() + 3 && see.size() > article.headword.size() &&
                folded(see).startsWith(folded(article.headword.chopped(1)))) {
                const QString form = key(see, lang);
                if (!language.forms.value(form).contains(article.headword))
                    language.forms[form] << article.headword;
            }
        }
    }
    for (auto& [wordKey, entries] : ranked) {
        for (auto& entry : entries)
            std::stable_sort(entry.second.begin(), entry.second.end(),
                             [](const Ranked& a, const Ranked& b) { return a.score > b.score; });
        std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
            return a.second.first().score > b.second.first().score;
        });
        Word& word = words[wordKey];
        for (const auto& [pos, meanings] : std::as_const(entries)) {
            WordEntry entry{pos, ipaOf.value(wordKey), {}};
            for (const Ranked& meaning : meanings)
                entry.meanings << meaning.meaning;
            word.entries << entry;
        }
    }

    ranked = {};
    ipaOf = {};
    // The articles live on in the words' entries.
    const bool largeSource = language.articles.size() > largeDictionary;
    language.articles = {};
    releaseMemory();
    // A sense's terms: the ones both dictionaries give, that are the term's own first meaning,
    // that the dictionaries use often and that no special label marks come first. Only asked
    // of pairs, so only their hashes are kept: a large dictionary has millions.
    QSet<size_t> firstMeaning;
    for (const auto& [wordKey, word] : words) {
        if (word.entries.isEmpty() || word.entries.first().meanings.isEmpty())
            continue;
        for (const QString& term : Lexicon::glossTerms(word.entries.first().meanings.first().gloss))
            firstMeaning.insert(pairKey(wordKey, key(term, u"en"_s)));
    }
    // "glättend" for "evening": a form of another headword ("glätten") that translates a form
    // of another English word ("even"), not the English word's own sense.
    const auto formOfOther = [&](const QString& term, const QString& english) {
        QStringList englishBases = m_englishForms.value(english);
        // A participle that is a noun of its own ("evening", "building") is no exception in
        // WordNet's lists: its verb is found by the regular endings.
        for (const QString& ending : {u"ing"_s, u"ed"_s}) {
            if (!english.endsWith(ending) || english.size() < ending.size() + 3)
                continue;
            const QString stem = english.chopped(ending.size());
            const bool doubled = stem.at(stem.size() - 1) == stem.at(stem.size() - 2);
            for (const QString& base :
                 QStringList{stem, stem + u'e', doubled ? stem.chopped(1) : QString()}) {
                if (!base.isEmpty() && !m_wordnet.senses(m_lemmas.value(base), u"verb"_s).isEmpty())
                    englishBases << base;
            }
        }
        if (englishBases.isEmpty())
            return false;
        QStringList bases = language.forms.value(term);
        if (lang == "de"_L1)
            bases += Lexicon::derivedKeys(term, germanRules());
        for (const QString& base : std::as_const(bases)) {
            const QString baseKey = key(base, lang);
            if (baseKey == term)
                continue;
            for (const QString& englishBase : englishBases) {
                if (englishBase != english && facts.contains(pairKey(baseKey, englishBase)))
                    return true;
            }
        }
        return false;
    };
    const QStringList trace = qEnvironmentVariable("TIVELA_PACKBUILD_TRACE").split(u',');
    for (auto& [id, list] : votes) {
        const QString english = key(senses[id].english, u"en"_s);
        for (Vote& vote : list) {
            const int confirmations = confirmedThroughGerman(language, vote.key, english);
            if (confirmations > 0)
                vote.sources |= german;
            const int kinds = std::popcount(unsigned(vote.sources));
            vote.score =
                (agreeing(vote.key, english) ? 4.0 : 0.0) +
                (firstMeaning.contains(pairKey(vote.key, english)) ? 3.0 : 0.0) +
                0.5 * std::log2(1.0 + double(language.mentions.value(vote.key))) +
                (kinds > 1 ? 1.0 + 0.5 * double(kinds - 2) : 0.0) + germanWeight * confirmations -
                (special(vote.key, english) || formOfOther(vote.key, english) ? 5.0 : 0.0) +
                placeWeight * place(vote.key, english) -
                (wordCount(vote.key) > 1 ? phraseWeight : 0.0);
        }
        std::stable_sort(list.begin(), list.end(),
                         [](const Vote& a, const Vote& b) { return a.score > b.score; });
        if (trace.contains(english)) {
            for (const Vote& vote : std::as_const(list))
                std::fprintf(
                    stderr, "%s %s %.2f agree=%d first=%d mentions=%d src=%d special=%d form=%d\n",
                    qPrintable(id), qPrintable(vote.key), vote.score, agreeing(vote.key, english),
                    firstMeaning.contains(pairKey(vote.key, english)),
                    language.mentions.value(vote.key), vote.sources, special(vote.key, english),
                    formOfOther(vote.key, english));
        }
    }
    // A card lists the first sense's terms before the next sense's: the best translations of
    // an English word and part of speech, wherever they were attached, lead its first sense,
    // so that a rare first sense cannot push them off the card.
    std::map<QString, QStringList> firstSenses;
    for (const auto& [id, list] : votes) {
        if (!list.isEmpty())
            firstSenses[key(senses[id].english, u"en"_s) + u'\t' + senses[id].pos] << id;
    }
    for (auto& [group, ids] : firstSenses) {
        std::sort(ids.begin(), ids.end());
        QList<QPair<double, Vote>> best;
        for (const QString& id : std::as_const(ids)) {
            for (const Vote& vote : std::as_const(votes[id]))
                best.append({vote.score, vote});
        }
        std::stable_sort(best.begin(), best.end(),
                         [](const auto& a, const auto& b) { return a.first > b.first; });
        QList<Vote>& first = votes[ids.first()];
        QList<Vote> promoted;
        for (qsizetype i = 0; i < best.size() && promoted.size() < promotedTerms; ++i) {
            const Vote& vote = best[i].second;
            if (std::none_of(promoted.begin(), promoted.end(),
                             [&](const Vote& v) { return v.key == vote.key; }))
                promoted << vote;
        }
        for (const Vote& vote : std::as_const(first)) {
            if (std::none_of(promoted.begin(), promoted.end(),
                             [&](const Vote& v) { return v.key == vote.key; }))
                promoted << vote;
        }
        first = promoted;
    }
    for (auto& [id, list] : votes) {
        for (const Vote& vote : std::as_const(list).first(std::min(list.size(), maxSenseTerms)))
            senses[id].terms << vote.text;
    }
    votes = {};
    firstSenses = {};
    firstMeaning = {};

    // A word without an article that is a form of one that has an article ("Hunde") is
    // shown as that form, not as a word of its own.
    const auto baseOf = [&](const QString& wordKey) -> QString {
        for (const QString& lemma : language.forms.value(wordKey)) {
            const QString lemmaKey = key(lemma, lang);
            if (lemmaKey != wordKey && words.count(lemmaKey) && !words[lemmaKey].entries.isEmpty())
                return lemmaKey;
        }
        if (lang == "de"_L1) {
            for (const QString& base : Lexicon::derivedKeys(wordKey, germanRules())) {
                if (words.count(base) && !words[base].entries.isEmpty())
                    return base;
            }
        }
        return {};
    };
    QSet<QString> formsOfArticles;
    for (auto& [wordKey, word] : words) {
        if (!word.entries.isEmpty())
            continue;
        if (const QString base = baseOf(wordKey); !base.isEmpty()) {
            appendUnique(language.forms[wordKey], base, 8);
            formsOfArticles.insert(wordKey);
        }
    }

    // Words that only other dictionaries know get entries from the senses they translate,
    // the senses in which they stand first and the common ones first; a short entry of the
    // dictionary into English gets the senses it does not name.
    for (auto& [wordKey, word] : words) {
        if (formsOfArticles.contains(wordKey))
            continue;
        qsizetype count = 0;
        QSet<QString> named;
        for (const WordEntry& entry : std::as_const(word.entries)) {
            for (const Meaning& meaning : entry.meanings) {
                ++count;
                for (const QString& term : Lexicon::glossTerms(meaning.gloss))
                    named.insert(key(term, u"en"_s));
            }
        }
        QStringList ids = word.senses;
        QHash<QString, double> weight;
        for (const QString& id : std::as_const(ids)) {
            const SenseLine& sense = senses[id];
            qsizetype position = 3;
            for (qsizetype i = 0; i < sense.terms.size() && i < position; ++i) {
                if (key(sense.terms[i], lang) == wordKey)
                    position = i;
            }
            const QString english = key(sense.english, u"en"_s);
            weight[id] = englishCommonness(english) - 2.0 * double(position) +
                         std::log2(1.0 + double(sense.count)) -
                         (special(wordKey, english) ? 5.0 : 0.0) +
                         placeWeight * place(wordKey, english);
        }
        std::stable_sort(ids.begin(), ids.end(), [&](const QString& a, const QString& b) {
            return weight.value(a) > weight.value(b);
        });
        word.senses = ids.first(std::min(ids.size(), maxSensesPerWord));
        for (const QString& id : std::as_const(ids)) {
            if (count >= derivedMeanings && !named.isEmpty())
                break;
            const SenseLine& sense = senses[id];
            if (sense.terms.isEmpty() || named.contains(key(sense.english, u"en"_s)))
                continue;
            named.insert(key(sense.english, u"en"_s));
            ++count;
            WordEntry* entry = nullptr;
            for (WordEntry& existing : word.entries) {
                if (existing.pos == sense.pos)
                    entry = &existing;
            }
            if (!entry) {
                word.entries.append({sense.pos, {}, {}});
                entry = &word.entries.last();
            }
            const QString gloss = sense.gloss.isEmpty()
                                      ? sense.english
                                      : sense.english + u" ("_s + bracketed(sense.gloss) + u')';
            entry->meanings.append({gloss, std::nullopt, {}, 0});
        }
    }

    facts = {};
    confirmed = {};
    language.mentions = {};
    releaseMemory();
    // Inflected forms point at their lemmas.
    std::map<QString, QStringList> formLemmas;
    // In the order of the forms, not of the hash: several spellings of a form share its key,
    // and the same input must give the same bytes.
    QStringList formNames = language.forms.keys();
    std::sort(formNames.begin(), formNames.end());
    for (const QString& form : std::as_const(formNames)) {
        const QString formKey = key(form, lang);
        if (formKey.isEmpty() || (words.count(formKey) && !words[formKey].entries.isEmpty()))
            continue;
        for (const QString& lemma : language.forms.value(form)) {
            const QString lemmaKey = key(lemma, lang);
            if (lemmaKey != formKey && words.count(lemmaKey) && !words[lemmaKey].entries.isEmpty())
                appendUnique(formLemmas[formKey], lemmaKey, 8);
        }
    }
    QList<LexiconPack::FormRule> rules = formRules(formLemmas);
    if (lang == "de"_L1)
        rules = germanRules() + rules;
    for (const auto& [formKey, lemmas] : formLemmas) {
        Word& word = words[formKey];
        if (!word.entries.isEmpty())
            continue;
        // What the reader derives by the rules needs no line, unless the form has a line of
        // its own anyway (its senses), where the reader derives nothing.
        QString derived;
        for (const QString& base : Lexicon::derivedKeys(formKey, rules)) {
            if (words.count(base) && !words[base].entries.isEmpty()) {
                derived = base;
                break;
            }
        }
        if (!word.senses.isEmpty() || derived != lemmas.first())
            word.lemmas = lemmas;
    }

    releaseMemory();
    std::map<QString, QByteArray> lines;
    if (!rules.isEmpty()) {
        QJsonArray list;
        for (const LexiconPack::FormRule& rule : rules)
            list.append(rule.prefix.isEmpty()
                            ? QJsonArray{rule.ending, rule.replacement}
                            : QJsonArray{rule.ending, rule.replacement, rule.prefix});
        lines.emplace(u"f"_s, compact(list));
    }
    std::map<QString, QStringList> english;
    for (const auto& [id, sense] : senses) {
        if (sense.terms.isEmpty())
            continue;
        QJsonArray terms;
        for (const QString& term : sense.terms)
            terms.append(QJsonArray{term});
        lines.emplace(u"s"_s + id,
                      compact(QJsonArray{sense.english, sense.pos, sense.gloss, terms}));
        english[key(sense.english, u"en"_s)] << id;
    }
    for (auto& [word, ids] : english) {
        std::sort(ids.begin(), ids.end());
        lines.emplace(u"x"_s + word, compact(QJsonArray::fromStringList(ids)));
    }
    senses = {};
    for (auto it = words.begin(); it != words.end(); it = words.erase(it)) {
        const QString& wordKey = it->first;
        const Word& word = it->second;
        // Only a word or two is looked up; a long compound or a pair of words that
        // translates no English word is rare enough to leave out when room is short.
        if (wordKey.isEmpty() || Lexicon::key(wordKey, lang) != wordKey || wordKey.count(u' ') > 1)
            continue;
        if (word.senses.isEmpty() && word.lemmas.isEmpty() && largeSource &&
            (wordKey.contains(u' ') || wordKey.size() >= longCompound))
            continue;
        QJsonObject record;
        if (!word.entries.isEmpty()) {
            QJsonArray entries;
            qsizetype room = maxMeanings;
            for (const WordEntry& entry : word.entries) {
                QJsonArray meanings;
                for (const Meaning& meaning : entry.meanings) {
                    if (room == 0)
                        break;
                    --room;
                    QJsonArray sense{meaning.gloss};
                    if (meaning.example || !meaning.tags.isEmpty()) {
                        sense.append(meaning.example
                                         ? QJsonArray{QJsonArray{meaning.example->first,
                                                                 meaning.example->second}}
                                         : QJsonArray{});
                    }
                    if (!meaning.tags.isEmpty())
                        sense.append(QJsonArray::fromStringList(meaning.tags));
                    meanings.append(sense);
                }
                if (!meanings.isEmpty())
                    entries.append(QJsonArray{entry.pos, entry.ipa, QString(), meanings});
            }
            record.insert(u"e"_s, entries);
        } else if (!word.lemmas.isEmpty()) {
            record.insert(u"lm"_s, QJsonArray::fromStringList(word.lemmas));
        }
        if (!word.senses.isEmpty())
            record.insert(u"s"_s, QJsonArray::fromStringList(word.senses));
        if (!record.isEmpty())
            lines.emplace(u"w"_s + wordKey, compact(record));
    }
    return lines;
}

QList<LexiconPack::FormRule>
PackBuilder::formRules(const std::map<QString, QStringList>& formLemmas) {
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

std::map<QString, QByteArray> PackBuilder::lines(const QString& lang, QStringList* header,
                                                 QString* error) {
    std::map<QString, QByteArray> lines;
    *header = {u"# tivela dictionary pack lang="_s + lang};
    // Every pack holds WordNet's definitions or senses, so every pack carries its licence.
    for (const QString& line : m_wordnet.licence())
        *header << QString(u"# "_s + line).trimmed();
    if (lang == "en"_L1) {
        lines = englishLines();
        *header << u"# credit: WordNet"_s;
        *header << u"# licences: WordNet 3.0 licence; Apertium (GNU GPL version 2)"_s;
        *header += m_englishHeader;
        *header << u"# lines "_s + QString::number(lines.size());
        return lines;
    }
    if (!m_languages.contains(lang) && !loadLanguage(lang, error))
        return {};
    Language& language = m_languages[lang];
    Tally tally;
    lines = languageLines(language, &tally);
    *header << u"# credit: "_s + (QStringList{u"WordNet"_s} + language.credits).join(u" · "_s);
    QStringList licences{u"WordNet 3.0 licence"_s};
    for (const QString& source : std::as_const(language.credits))
        licences << licence(lang, source);
    *header << u"# licences: "_s + licences.join(u"; "_s);
    *header += language.header;
    *header << u"# lines "_s + QString::number(lines.size());
    *header << u"# pairs attached to English senses: %1 to the only sense of their part of "
               u"speech, %2 by shared synonyms or definition words, %3 to the first sense of "
               u"their part of speech, %4 to a sense of their own outside WordNet; %5 "
               u"English phrases outside WordNet left out"_s.arg(tally.single)
                   .arg(tally.synonym)
                   .arg(tally.first)
                   .arg(tally.outside)
                   .arg(tally.dropped);
    return lines;
}

QByteArray PackBuilder::text(const QStringList& header,
                             const std::map<QString, QByteArray>& lines) {
    QByteArray text = header.join(u'\n').toUtf8() + '\n';
    for (const auto& [k, value] : lines)
        text += k.toUtf8() + '\t' + value + '\n';
    return text;
}

bool PackBuilder::writeIndex(const QString& folder, QString* error) {
    QJsonArray packs;
    const QDir dir(folder);
    for (const QString& name : dir.entryList({u"*.lex.gz"_s}, QDir::Files, QDir::Name)) {
        const QString lang = name.chopped(Lexicon::fileName(QString()).size());
        QFile file(dir.filePath(name));
        if (!Languages::lexicon().contains(lang) || !file.open(QIODevice::ReadOnly))
            continue;
        QCryptographicHash hash(QCryptographicHash::Sha256);
        hash.addData(&file);
        packs.append(QJsonObject{{u"lang"_s, lang},
                                 {u"file"_s, name},
                                 {u"size"_s, double(file.size())},
                                 {u"sha256"_s, QString::fromLatin1(hash.result().toHex())}});
    }
    const QString path = dir.filePath(LexiconDownloader::indexFileName);
    QFile index(path + u".part"_s);
    if (!index.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        index.write(QJsonDocument(QJsonObject{{u"packs"_s, packs}}).toJson()) < 0 ||
        !index.flush()) {
        *error = u"cannot write "_s + index.fileName();
        return false;
    }
    index.close();
    if (std::rename(QFile::encodeName(index.fileName()).constData(),
                    QFile::encodeName(path).constData()) != 0) {
        *error = u"cannot move the index to "_s + path;
        return false;
    }
    return true;
}

bool PackBuilder::write(const QString& lang, const QString& folder, QString* error) {
    QStringList header;
    error->clear();
    std::map<QString, QByteArray> lines = this->lines(lang, &header, error);
    // A language's data is needed once: its pack is written and the memory goes back.
    m_languages.remove(lang);
    if (!error->isEmpty())
        return false;
    if (!QDir().mkpath(folder)) {
        *error = u"cannot make "_s + folder;
        return false;
    }
    const qsizetype lineCount = qsizetype(lines.size());
    const QByteArray content = text(header, lines);
    lines = {};
    malloc_trim(0);
    const QString path = QDir(folder).filePath(Lexicon::fileName(lang));
    const QString temporary = path + u".part"_s;
    QFile file(temporary);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(gzip(content)) < 0 ||
        !file.flush()) {
        *error = u"cannot write "_s + temporary;
        return false;
    }
    file.close();

    // The application's reader must find every key line it is given.
    const auto pack = LexiconPack::load(temporary, lang);
    bool found = pack && pack->lineCount() == lineCount;
    for (qsizetype start = 0; found && start < content.size();) {
        qsizetype end = content.indexOf('\n', start);
        if (end < 0)
            end = content.size();
        const QByteArrayView line(content.constData() + start, end - start);
        start = end + 1;
        const qsizetype tab = line.indexOf('\t');
        if (line.isEmpty() || line.front() == '#' || tab < 0)
            continue;
        found = pack->raw(QString::fromUtf8(line.first(tab))) == line.sliced(tab + 1).toByteArray();
    }
    if (!found) {
        QFile::remove(temporary);
        *error = u"the reader does not find every line of "_s + path;
        return false;
    }
    if (std::rename(QFile::encodeName(temporary).constData(),
                    QFile::encodeName(path).constData()) != 0) {
        QFile::remove(temporary);
        *error = u"cannot move the pack to "_s + path;
        return false;
    }
    return true;
}

} // namespace tivela::packbuild
