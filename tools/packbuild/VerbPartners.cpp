#include "VerbPartners.h"

#include "Apertium.h"
#include "Evidence.h"
#include "Terms.h"

#include <QHash>

#include <map>
#include <optional>

using namespace Qt::StringLiterals;

namespace tivela::packbuild::VerbPartners {

namespace {

// The stem as the imperfective writes it: "т" becomes "щ" in the Church Slavonic words
// ("превратить": "превращать") and "ч" in the others ("ответить": "отвечать"), a labial takes
// an "л" ("добавить": "добавлять").
QStringList alternations(const QString& stem) {
    static const QList<std::pair<QString, QStringList>> table{
        {u"ст"_s, {u"щ"_s}}, {u"т"_s, {u"щ"_s, u"ч"_s}}, {u"д"_s, {u"ж"_s, u"жд"_s}},
        {u"з"_s, {u"ж"_s}},  {u"с"_s, {u"ш"_s}},         {u"б"_s, {u"бл"_s}},
        {u"в"_s, {u"вл"_s}}, {u"п"_s, {u"пл"_s}},        {u"м"_s, {u"мл"_s}},
        {u"ф"_s, {u"фл"_s}}};
    for (const auto& [ending, replacements] : table) {
        if (!stem.endsWith(ending))
            continue;
        QStringList stems;
        for (const QString& replacement : replacements)
            stems << stem.chopped(ending.size()) + replacement;
        return stems;
    }
    return {stem};
}

// The root's last "о" as the imperfective writes it, "а" ("закончить": "заканчивать").
std::optional<QString> openedVowel(const QString& stem) {
    const qsizetype at = stem.lastIndexOf(u'о');
    if (at < 0)
        return std::nullopt;
    QString opened = stem;
    opened[at] = u'а';
    return opened;
}

bool hushing(QChar c) {
    return c == u'ж' || c == u'ш' || c == u'ч' || c == u'щ';
}

QStringList candidates(const QString& verb) {
    QStringList found;
    if (verb.endsWith(u"ить"_s)) {
        for (const QString& stem : alternations(verb.chopped(3))) {
            found << stem + (hushing(stem.back()) ? u"ать"_s : u"ять"_s);
            if (const auto opened = openedVowel(stem))
                found << *opened + u"ивать"_s;
            found << stem + u"ивать"_s;
        }
    } else if (verb.endsWith(u"еть"_s)) {
        // "осмотреть": "осматривать"; without the vowel's change the suffix makes another verb
        // ("пропеть" is no "пропивать").
        if (const auto opened = openedVowel(verb.chopped(3)))
            found << *opened + u"ивать"_s;
    } else if (verb.endsWith(u"нуть"_s)) {
        const QString stem = verb.chopped(4);
        found << stem + u"ать"_s << stem + u"ивать"_s << stem + u"ывать"_s;
    } else if (verb.endsWith(u"ать"_s) || verb.endsWith(u"ять"_s)) {
        const QString stem = verb.chopped(3);
        found << stem + u"ывать"_s << stem + u"ивать"_s;
        for (const QString& root : {u"дать"_s, u"стать"_s, u"знать"_s}) {
            if (verb.endsWith(root))
                found << stem + u"авать"_s;
        }
    }
    return found;
}

} // namespace

QStringList russianImperfectives(const QString& perfective) {
    const bool reflexive = perfective.endsWith(u"ся"_s) || perfective.endsWith(u"сь"_s);
    QStringList found = candidates(reflexive ? perfective.chopped(2) : perfective);
    if (reflexive) {
        for (QString& verb : found)
            verb += u"ся"_s;
    }
    found.removeAll(perfective);
    return found;
}

bool linkPerfectives(const QString& generator, const QSet<QString>& terms,
                     QStringList (*imperfectives)(const QString&), Evidence& evidence,
                     QString* error) {
    const QString& lang = evidence.code;
    const auto perfectiveForms =
        Apertium::paradigms(generator, {u"*<vblex><perf><*>"_s}, Apertium::Side::generator, error);
    if (!perfectiveForms)
        return false;
    // In the order of the verbs: the same input gives the same bytes.
    std::map<QString, QStringList> partners;
    QStringList asked;
    // A verb's forms come one after another: its key is formed once.
    QString lastLemma;
    QString verb;
    for (const auto& [lemma, form] : *perfectiveForms) {
        if (lemma != lastLemma) {
            lastLemma = lemma;
            verb = key(lemma, lang);
        }
        if (terms.contains(verb) || partners.count(verb))
            continue;
        QStringList& found = partners[verb];
        for (const QString& partner : imperfectives(verb)) {
            if (terms.contains(partner)) {
                found << partner;
                asked << partner + u"<vblex><impf><*>"_s;
            }
        }
    }
    asked.removeDuplicates();
    const auto listed = Apertium::paradigms(generator, asked, Apertium::Side::generator, error);
    if (!listed)
        return false;
    QSet<QString> verbs;
    for (const auto& [lemma, form] : *listed)
        verbs.insert(key(lemma, lang));
    QHash<QString, int> claims;
    for (auto& [perfective, found] : partners) {
        found.removeIf([&](const QString& partner) { return !verbs.contains(partner); });
        if (found.size() == 1)
            ++claims[found.first()];
    }
    lastLemma.clear();
    for (const auto& [lemma, form] : *perfectiveForms) {
        if (lemma != lastLemma) {
            lastLemma = lemma;
            verb = key(lemma, lang);
        }
        const auto found = partners.find(verb);
        if (found != partners.end() && found->second.size() == 1 &&
            claims.value(found->second.first()) == 1)
            appendUnique(evidence.forms[form], found->second.first(), 8);
    }
    return true;
}

} // namespace tivela::packbuild::VerbPartners
