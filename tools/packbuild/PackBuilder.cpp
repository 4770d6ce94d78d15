#include "PackBuilder.h"

#include "ApertiumPairs.h"
#include "EnglishPack.h"
#include "Entries.h"
#include "Forms.h"
#include "LanguageTable.h"
#include "PackWriter.h"
#include "PartsOfSpeech.h"
#include "Ranking.h"
#include "Routes.h"
#include "SecondRoute.h"
#include "Senses.h"
#include "Terms.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace tivela::packbuild {

namespace {

// Routes rank after the dictionaries' own pairs and Apertium's, the second route after German.
constexpr int routeRank = 3000000;
constexpr int secondRouteRank = 4000000;

} // namespace

PackBuilder::PackBuilder(Sources sources)
    : m_sources(std::move(sources)) {
}

QStringList PackBuilder::languages() {
    QStringList codes{u"en"_s};
    for (const LanguageSources& row : languageTable())
        codes << row.code;
    return codes;
}

bool PackBuilder::load(const QStringList& langs, QString* error) {
    if (!m_english.load(m_sources.wordnet, error))
        return false;
    for (const QString& lang : langs) {
        if (lang != "en"_L1 && !languageSources(lang)) {
            *error = u"no dictionaries are known for "_s + lang;
            return false;
        }
    }
    if (!m_english.hasForms())
        m_english.loadForms(m_sources.apertium, m_sources.wordLists);
    return true;
}

void PackBuilder::readFreeDict(const LanguageSources& sources, Evidence& evidence) {
    DictionaryReader reader(m_english, evidence);
    if (FreeDict outOfEnglish; reader.readFromEnglish(
            outOfEnglish, m_sources.dictd + u"/freedict-eng-"_s + sources.freedict,
            FreeDict::Style::FreeDict)) {
        evidence.header << u"# translations: FreeDict eng-"_s + sources.freedict + u' ' +
                               outOfEnglish.infoField(u"Edition"_s) + u". "_s +
                               outOfEnglish.infoSection(u"Availability"_s);
        appendUnique(evidence.credits, u"FreeDict"_s, 8);
    }
    if (FreeDict extra; !sources.extra.file.isEmpty() &&
                        reader.readFromEnglish(extra, m_sources.dictd + u'/' + sources.extra.file,
                                               sources.extra.style)) {
        evidence.header << u"# translations: "_s + sources.extra.source;
        appendUnique(evidence.credits, sources.extra.name, 8);
    }
    releaseMemory();
    if (FreeDict toEnglish; reader.readToEnglish(
            toEnglish, m_sources.dictd + u"/freedict-"_s + sources.freedict + u"-eng"_s,
            sources.style)) {
        evidence.header << u"# entries and translations: FreeDict "_s + sources.freedict +
                               u"-eng "_s + toEnglish.infoField(u"Edition"_s) + u". "_s +
                               toEnglish.infoSection(u"Availability"_s);
        appendUnique(evidence.credits, u"FreeDict"_s, 8);
    }
}

void PackBuilder::readGerman(const LanguageSources& sources, const QStringList& names,
                             Evidence& evidence, const SecondRoute& second) {
    if (!m_ding.isLoaded()) {
        m_ding.load(m_sources.dictd);
        releaseMemory();
    }
    evidence.header << u"# translations confirmed through German: FreeDict "_s +
                           names.join(u", "_s) + u" ("_s + sources.germanLicence +
                           u") with FreeDict's Ding (GNU GPL version 3 or later)"_s;
    evidence.licences << u"FreeDict's dictionaries with German ("_s + sources.germanLicence +
                             u") and Ding (GNU GPL version 3 or later)"_s;
    const QList<Pair> routes =
        routesThroughGerman(evidence.german, m_ding, m_english, routeRank, &second);
    evidence.pairs += routes;
    evidence.header << u"# translations into English through German: %1 pairs"_s.arg(routes.size());
}

bool PackBuilder::readSecondRoute(const LanguageSources& sources, Evidence& evidence,
                                  SecondRoute& route, QString* error) {
    const RouteSources& paths = sources.route;
    const QDir apertium(m_sources.apertium);
    if (paths.freedict.isEmpty() || m_sources.apertium.isEmpty())
        return true;
    for (const QString& file : {paths.analyser, paths.there, paths.reverseAnalyser, paths.back}) {
        if (!QFileInfo::exists(apertium.filePath(file))) {
            evidence.header << u"# not used, missing: "_s + apertium.filePath(file);
            return true;
        }
    }
    const QString dictionary = paths.freedict + u"-eng"_s;
    const QString base = m_sources.dictd + u"/freedict-"_s + dictionary;
    const auto edition = route.loadDictionary(base, paths.freedict);
    if (!edition) {
        evidence.header << u"# not used, missing: "_s + base;
        return true;
    }
    // The words of the dictionaries with German, whose German senses the route may confirm.
    if (!translateRoute({apertium.filePath(paths.analyser), apertium.filePath(paths.there),
                         apertium.filePath(paths.reverseAnalyser), apertium.filePath(paths.back)},
                        sources.code, evidence.german.words().keys(), route, error))
        return false;
    // Its own pairs stand in only for words the dictionaries lack: a word they translate keeps
    // their words, not a false friend's ("kost", food, is Danish for a broom).
    QSet<QString> translated;
    for (const Pair& pair : std::as_const(evidence.pairs))
        translated.insert(key(pair.term, sources.code));
    QList<Pair> pairs = routesThroughSecond(route, m_english, secondRouteRank);
    pairs.removeIf([&](const Pair& pair) { return translated.contains(pair.term); });
    evidence.pairs += pairs;
    evidence.header << u"# translations into English through "_s + paths.name + u": Apertium "_s +
                           paths.pair + u" then FreeDict "_s + dictionary + u' ' + *edition +
                           u" ("_s + paths.licence + u"), %1 pairs"_s.arg(pairs.size());
    evidence.licences << u"FreeDict "_s + dictionary + u" ("_s + paths.licence + u')';
    return true;
}

bool PackBuilder::loadLanguage(const LanguageSources& sources, QString* error) {
    releaseMemory();
    Evidence evidence;
    evidence.code = sources.code;
    readFreeDict(sources, evidence);
    const QStringList germanNames =
        sources.germanLicence.isEmpty()
            ? QStringList()
            : evidence.german.load(m_sources.dictd, sources.freedict, sources.code);
    SecondRoute second;
    if (!readSecondRoute(sources, evidence, second, error))
        return false;
    if (!germanNames.isEmpty())
        readGerman(sources, germanNames, evidence, second);
    releaseMemory();
    if (!m_sources.apertium.isEmpty() && !sources.analyser.isEmpty() &&
        !ApertiumPairs(m_sources.apertium, m_sources.wordLists, m_english)
             .read(sources, evidence, error))
        return false;
    if (evidence.pairs.isEmpty()) {
        *error = u"no dictionary of "_s + sources.code + u" was found in "_s + m_sources.dictd;
        return false;
    }
    restoreSpaces(evidence);
    for (const auto& [form, preposition] : sources.contractions)
        appendUnique(evidence.forms[form], preposition, 8);
    takePartsOfSpeech(evidence, m_english);
    m_languages.insert(sources.code, std::move(evidence));
    return true;
}

Lines PackBuilder::languageLines(const LanguageSources& sources, Evidence& evidence, Tally* tally) {
    Draft draft;
    SenseAttacher(m_english, evidence, draft).attachAll();
    releaseMemory();
    EntryBuilder entries(m_english, sources, evidence, draft, m_ding);
    entries.ownEntries();
    releaseMemory();
    Weights weights;
    if (!sources.commonMeaningFirst)
        weights.firstMeaning = 0;
    rankVotes(
        draft, evidence, m_ding,
        [&](const QString& term, const QString& english) {
            return Forms::formOfOther(term, english, evidence, sources.formRules, m_english, draft);
        },
        weights);
    entries.derivedEntries();
    draft.facts = {};
    draft.confirmed = {};
    evidence.mentions = {};
    releaseMemory();
    const QList<LexiconPack::FormRule> rules = Forms::linkForms(draft, evidence, sources.formRules);
    if (sources.oldSpelling)
        Forms::linkOldSpellings(draft, sources.oldSpelling);
    releaseMemory();
    *tally = draft.tally;
    return packLines(draft, sources.code, rules);
}

QStringList PackBuilder::languageHeader(const LanguageSources& sources, const Evidence& evidence,
                                        const Tally& tally, qsizetype lineCount) const {
    QStringList header;
    header << u"# credit: "_s + (QStringList{u"WordNet"_s} + evidence.credits).join(u" · "_s);
    QStringList licences{u"WordNet 3.0 licence"_s};
    for (const QString& source : evidence.credits) {
        if (source == "FreeDict"_L1)
            licences << sources.freedictLicence;
        else if (source == "Apertium"_L1)
            licences << sources.apertiumLicence;
        else if (source == sources.extra.name)
            licences << sources.extra.licence;
    }
    header << u"# licences: "_s + (licences + evidence.licences).join(u"; "_s);
    header += evidence.header;
    header << u"# lines "_s + QString::number(lineCount);
    header << u"# pairs attached to English senses: %1 to the only sense of their part of "
              u"speech, %2 by shared synonyms or definition words, %3 to the first sense of "
              u"their part of speech, %4 to a sense of their own outside WordNet; %5 "
              u"English phrases outside WordNet left out"_s.arg(tally.single)
                  .arg(tally.synonym)
                  .arg(tally.first)
                  .arg(tally.outside)
                  .arg(tally.dropped);
    return header;
}

Lines PackBuilder::lines(const QString& lang, QStringList* header, QString* error) {
    *header = {u"# tivela dictionary pack lang="_s + lang};
    // Every pack holds WordNet's definitions or senses, so every pack carries its licence.
    for (const QString& line : m_english.wordnet().licence())
        *header << QString(u"# "_s + line).trimmed();
    if (lang == "en"_L1) {
        Lines lines = englishLines(m_english);
        *header << u"# credit: WordNet"_s;
        *header << u"# licences: WordNet 3.0 licence; Apertium (GNU GPL version 2)"_s;
        *header += m_english.header();
        *header << u"# lines "_s + QString::number(lines.size());
        return lines;
    }
    const LanguageSources* sources = languageSources(lang);
    if (!sources) {
        *error = u"no dictionaries are known for "_s + lang;
        return {};
    }
    if (!m_languages.contains(lang) && !loadLanguage(*sources, error))
        return {};
    Evidence& evidence = m_languages[lang];
    Tally tally;
    Lines lines = languageLines(*sources, evidence, &tally);
    *header += languageHeader(*sources, evidence, tally, qsizetype(lines.size()));
    return lines;
}

bool PackBuilder::write(const QString& lang, const QString& folder, QString* error) {
    QStringList header;
    error->clear();
    Lines lines = this->lines(lang, &header, error);
    // A language's data is needed once: its pack is written and the memory goes back.
    m_languages.remove(lang);
    if (!error->isEmpty())
        return false;
    return PackWriter::write(lang, header, lines, folder, error);
}

} // namespace tivela::packbuild
