#include "ApertiumPairs.h"

#include "English.h"
#include "LanguageTable.h"
#include "Loanwords.h"
#include "Terms.h"
#include "VerbPartners.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace tivela::packbuild {

namespace {

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

// Units with a part of speech, each with the index of the word it reads.
void readUnits(const QList<QList<Apertium::Unit>>& analyses, bool names,
               QList<Apertium::Unit>& units, QList<qsizetype>& owners) {
    for (qsizetype i = 0; i < analyses.size(); ++i) {
        for (const Apertium::Unit& unit : analyses[i]) {
            if (!unit.pos().isEmpty() && (names || unit.pos() != "name"_L1)) {
                units << unit;
                owners << i;
            }
        }
    }
}

// The elided words that a list's words begin with ("dell'" of "dell'acqua"), which stand
// apart in a text whose apostrophe is followed by a space.
QStringList elidedHeads(const QStringList& words) {
    QStringList heads;
    for (const QString& word : words) {
        const qsizetype apostrophe = word.indexOf(u'\'');
        if (apostrophe > 0)
            heads << word.left(apostrophe + 1);
    }
    heads.removeDuplicates();
    return heads;
}

// The file of the same pair beside a bilingual dictionary: its generator or analyser.
QString besideBilingual(const QString& bilingual, const QString& kind) {
    QString path = bilingual;
    return path.replace(u".autobil.bin"_s, u"."_s + kind + u".bin"_s);
}

bool addForms(const QString& transducer, Apertium::Side side, const QStringList& lemmas,
              Evidence& evidence, QString* error) {
    const auto forms = Apertium::forms(transducer, lemmas, error, side);
    if (!forms)
        return false;
    for (auto it = forms->cbegin(); it != forms->cend(); ++it) {
        for (const QString& lemma : it.value())
            appendUnique(evidence.forms[it.key()], lemma, 8);
    }
    return true;
}

} // namespace

ApertiumPairs::ApertiumPairs(const QString& apertium, const QString& wordLists,
                             const English& english)
    : m_apertium(apertium)
    , m_wordLists(wordLists)
    , m_english(english) {
}

bool ApertiumPairs::translateChain(const QStringList& chain, QList<Apertium::Unit>& units,
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

bool ApertiumPairs::read(const LanguageSources& sources, Evidence& evidence, QString* error) const {
    const QDir folder(m_apertium);
    const QString analyser = folder.filePath(sources.analyser);
    if (!QFileInfo::exists(analyser)) {
        evidence.header << u"# not used, missing: "_s + analyser;
        return true;
    }
    QStringList chain;
    for (const QString& file : sources.chain)
        chain << folder.filePath(file);
    bool translating = !chain.isEmpty();
    for (const QString& path : chain + QStringList{folder.filePath(English::analyser())}) {
        if (translating && !QFileInfo::exists(path)) {
            evidence.header << u"# not used, missing: "_s + path;
            translating = false;
        }
    }
    if (translating && (!translations(sources, chain, evidence, error) ||
                        !words(sources, analyser, evidence, error)))
        return false;
    const QString generator = folder.filePath(sources.formGenerator);
    if (sources.loanSpellings && !sources.formGenerator.isEmpty() && QFileInfo::exists(generator) &&
        !Loanwords::addPairs(generator, sources.loanSpellings, m_english, evidence, error))
        return false;
    return analyse(sources, analyser, evidence, error);
}

// The language's own words: parts of speech and inflected forms.
bool ApertiumPairs::analyse(const LanguageSources& sources, const QString& analyser,
                            Evidence& evidence, QString* error) const {
    QStringList terms;
    QSet<QString> termSeen;
    for (const Pair& pair : std::as_const(evidence.pairs)) {
        const QString k = key(pair.term, evidence.code);
        if (!termSeen.contains(k)) {
            termSeen.insert(k);
            terms << k;
        }
    }
    const auto readings = Apertium::analyse(analyser, terms, error);
    if (!readings)
        return false;
    QStringList lemmas = terms;
    for (qsizetype i = 0; i < terms.size(); ++i) {
        for (const Apertium::Unit& unit : (*readings)[i]) {
            appendUnique(evidence.partsOfSpeech[terms[i]], unit.pos(), 8);
            if (unit.lemma != terms[i] && unit.lemma != unit.text())
                lemmas << unit.lemma;
        }
    }
    lemmas.removeDuplicates();
    if (!addForms(analyser, Apertium::Side::analyser, lemmas, evidence, error))
        return false;
    evidence.header << u"# forms: Apertium "_s + sources.analyser + u" (GNU GPL)"_s;
    const QString generator = QDir(m_apertium).filePath(sources.formGenerator);
    if (!sources.formGenerator.isEmpty() && QFileInfo::exists(generator)) {
        if (!addForms(generator, Apertium::Side::generator, lemmas, evidence, error) ||
            (sources.imperfectives &&
             !VerbPartners::linkPerfectives(generator, QSet<QString>(terms.begin(), terms.end()),
                                            sources.imperfectives, evidence, error)))
            return false;
        evidence.header << u"# forms: Apertium "_s + sources.formGenerator + u" (GNU GPL)"_s;
    }
    appendUnique(evidence.credits, u"Apertium"_s, 8);
    return true;
}

std::optional<QStringList> ApertiumPairs::writtenForms(const LanguageSources& sources,
                                                       const QList<Apertium::Unit>& units,
                                                       QString* error) const {
    QStringList terms;
    QList<Apertium::Unit> feminine;
    QList<qsizetype> at;
    for (qsizetype u = 0; u < units.size(); ++u) {
        const Apertium::Unit& unit = units[u];
        terms << unit.text();
        if (unit.tags.size() >= 2 && unit.tags[0] == "n"_L1 && unit.tags[1] == "f"_L1 &&
            !unit.lemma.contains(u'#')) {
            feminine << Apertium::Unit{unit.lemma, {u"n"_s, u"f"_s, u"sg"_s}};
            at << u;
        }
    }
    // A feminine that cannot be written ("chico<n><f>" without a generator) is no term: its
    // lemma is the masculine's, which translates another word.
    const QString generator = QDir(m_apertium).filePath(sources.generator);
    const auto written = sources.generator.isEmpty() || !QFileInfo::exists(generator)
                             ? std::optional<QStringList>(QStringList(feminine.size(), QString()))
                             : Apertium::generate(generator, feminine, error);
    if (!written)
        return std::nullopt;
    for (qsizetype f = 0; f < at.size(); ++f)
        terms[at[f]] = (*written)[f];
    return terms;
}

bool ApertiumPairs::translations(const LanguageSources& sources, const QStringList& chain,
                                 Evidence& evidence, QString* error) const {
    // English base forms: WordNet's lemmas and the dictionaries' English headwords.
    QStringList words;
    QSet<QString> seen;
    for (const QString& lemma : m_english.lemmas())
        if (!seen.contains(lemma)) {
            seen.insert(lemma);
            words << lemma;
        }
    for (const Pair& pair : std::as_const(evidence.pairs))
        if (!seen.contains(pair.english)) {
            seen.insert(pair.english);
            words << pair.english;
        }
    const auto analyses =
        Apertium::analyse(QDir(m_apertium).filePath(English::analyser()), words, error);
    if (!analyses)
        return false;
    QList<Apertium::Unit> units;
    QList<qsizetype> owners;
    readUnits(*analyses, true, units, owners);
    for (qsizetype u = 0; u < units.size(); ++u)
        appendUnique(evidence.englishPartsOfSpeech[key(words[owners[u]], u"en"_s)], units[u].pos(),
                     8);
    if (!translateChain(chain, units, owners, error))
        return false;
    const auto terms = writtenForms(sources, units, error);
    if (!terms)
        return false;
    int rank = 1000000;
    for (qsizetype u = 0; u < units.size(); ++u) {
        const QString& term = (*terms)[u];
        if (usableTerm(term) && !units[u].pos().isEmpty() && units[u].pos() != "name"_L1)
            evidence.pairs.append(
                {words[owners[u]], units[u].pos(), term, rank++, apertium, {}, {}});
    }
    evidence.header << u"# translations: Apertium "_s + sources.chain.join(u" then "_s) +
                           u" (GNU GPL version 2)"_s;
    appendUnique(evidence.credits, u"Apertium"_s, 8);
    return true;
}

bool ApertiumPairs::words(const LanguageSources& sources, const QString& analyser,
                          Evidence& evidence, QString* error) const {
    QFile list(QDir(m_wordLists).filePath(sources.wordList));
    QStringList back;
    for (const QString& file : sources.back)
        back << QDir(m_apertium).filePath(file);
    if (sources.wordList.isEmpty() || !list.open(QIODevice::ReadOnly))
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
    if (sources.analyserLemmas) {
        const auto lemmas = Apertium::lemmas(analyser, error);
        if (!lemmas)
            return false;
        const QSet<QString> listed(words.begin(), words.end());
        for (const QString& lemma : *lemmas) {
            if (!listed.contains(lemma) && !lemma.front().isUpper())
                words << lemma;
        }
    }
    const auto analyses = Apertium::analyse(analyser, words, error);
    const auto combined = analyses
                              ? Apertium::combinations(analyser, words + elidedHeads(words), error)
                              : std::nullopt;
    if (!combined)
        return false;
    // A preposition with an article ("del") or a verb with its pronouns ("farlo") is read as
    // a form of the preposition or the verb.
    for (auto it = combined->cbegin(); it != combined->cend(); ++it)
        appendUnique(evidence.forms[key(it.key(), evidence.code)], it.value(), 8);
    QList<Apertium::Unit> units;
    QList<qsizetype> owners;
    readUnits(*analyses, false, units, owners);
    const QList<Apertium::Unit> ownUnits = units;
    const QList<qsizetype> ownOwners = owners;
    if (!translateChain(back, units, owners, error) ||
        !throughWrittenForms(back, ownUnits, ownOwners, units, owners, error))
        return false;
    int rank = 2000000;
    for (qsizetype u = 0; u < units.size(); ++u) {
        const QString english = units[u].text();
        if (usableTerm(english) && !units[u].pos().isEmpty())
            evidence.pairs.append(
                {english, units[u].pos(), words[owners[u]], rank++, apertiumBack, {}, {}});
    }
    evidence.header << u"# translations of the words of /usr/share/dict/"_s + sources.wordList +
                           u": Apertium "_s + sources.back.join(u" then "_s);
    return true;
}

// The language in between writes some words under another lemma or other tags in its
// dictionary into English than in the one from the language: a personal pronoun is a
// placeholder there ("prpers<prn><obj><p1>"), which the English generator spells ("me"), a
// pronoun of things has another gender ("esto<prn><tn><m>"). Such a word is found there only
// from its written form: it goes to the language in between as the generator writes it and is
// read again, as a word of the same part of speech, before the last step.
bool ApertiumPairs::throughWrittenForms(const QStringList& back,
                                        const QList<Apertium::Unit>& ownUnits,
                                        const QList<qsizetype>& ownOwners,
                                        QList<Apertium::Unit>& units, QList<qsizetype>& owners,
                                        QString* error) {
    const QString english = besideBilingual(back.last(), u"autogen"_s);
    if (!QFileInfo::exists(english))
        return true;
    if (back.size() == 2 && QFileInfo::exists(besideBilingual(back[0], u"autogen"_s)) &&
        QFileInfo::exists(besideBilingual(back[1], u"automorf"_s))) {
        QList<Apertium::Unit> between = ownUnits;
        QList<qsizetype> betweenOwners = ownOwners;
        if (!translateChain({back[0]}, between, betweenOwners, error))
            return false;
        for (Apertium::Unit& unit : between)
            unit = pivotForms(unit).last();
        const auto written =
            Apertium::generate(besideBilingual(back[0], u"autogen"_s), between, error);
        const auto read =
            written ? Apertium::readings(besideBilingual(back[1], u"automorf"_s), *written, error)
                    : std::nullopt;
        if (!read)
            return false;
        QList<Apertium::Unit> placeholders;
        QList<qsizetype> placeholderOwners;
        for (qsizetype u = 0; u < between.size(); ++u) {
            for (const Apertium::Unit& reading : (*read)[u]) {
                const bool same =
                    reading.lemma == between[u].lemma && reading.tags == between[u].tags;
                if (!same && reading.pos() == between[u].pos()) {
                    placeholders << reading;
                    placeholderOwners << betweenOwners[u];
                }
            }
        }
        if (!translateChain({back[1]}, placeholders, placeholderOwners, error))
            return false;
        units += placeholders;
        owners += placeholderOwners;
    }
    QList<Apertium::Unit> spoken;
    QList<qsizetype> at;
    for (qsizetype u = 0; u < units.size(); ++u) {
        if (units[u].pos() == "pron"_L1) {
            spoken << units[u];
            at << u;
        }
    }
    const auto written = Apertium::generate(english, spoken, error);
    if (!written)
        return false;
    for (qsizetype s = 0; s < at.size(); ++s) {
        if (!(*written)[s].isEmpty())
            units[at[s]] = Apertium::Unit{(*written)[s], spoken[s].tags};
    }
    return true;
}

} // namespace tivela::packbuild
