#include "platform/recognizer/Cld2Recognizer.h"

#include "core/LanguageDetector.h"
#include "core/Languages.h"
#include "core/Voices.h"

#include <QChar>
#include <QSet>

// CLD2's header uses FILE without including its declaration.
#include <cstdio>

#include <cld2/public/compact_lang_det.h>
#include <cld2/public/encodings.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

// What the recogniser needs of a language, worked out once per process: detection runs on
// every keystroke, and the code parser and script tables are too slow to ask each time.
struct LanguageFacts {
    QString identifier; // CLD2's, or the code itself where CLD2 lacks the language
    QList<Voices::Script> scripts;
    qsizetype popularityRank = 0;
};

struct Catalogue {
    QHash<int, QString> codeOfCld2Language;
    // CLD2's languages by code, in CLD2's order, and those written in each script.
    QStringList cld2Codes;
    QSet<QString> cld2CodeSet;
    QHash<int, QStringList> cld2CodesOfScript;
    QHash<QString, LanguageFacts> facts;
    QHash<QString, QString> codeOfIdentifier;

    void add(const QString& code, const QString& identifier) {
        codeOfIdentifier.insert(identifier, code);
        codeOfIdentifier.insert(code, code);
        codeOfIdentifier.insert(Languages::platformIdentifier(code), code);
        if (!facts.contains(code))
            facts.insert(code,
                         {identifier, Voices::scripts(code), Languages::popularityRank(code)});
    }
};

const Catalogue& catalogue() {
    static const Catalogue table = [] {
        Catalogue t;
        // CLD2's extended pseudo-languages (scripts, Klingon, Pig Latin) and its two unknowns
        // are no language a text is in.
        for (int i = 0; i < CLD2::NUM_LANGUAGES; ++i) {
            const auto language = static_cast<CLD2::Language>(i);
            if (language == CLD2::UNKNOWN_LANGUAGE || language == CLD2::TG_UNKNOWN_LANGUAGE)
                continue;
            const QString identifier = QString::fromLatin1(CLD2::LanguageCode(language));
            if (identifier.isEmpty() || identifier.startsWith(u"xx") ||
                identifier.startsWith(u"zz") || identifier == u"tlh")
                continue;
            const QString code = Languages::code(identifier);
            t.codeOfCld2Language.insert(i, code);
            if (!t.facts.contains(code))
                t.cld2Codes << code;
            t.add(code, identifier);
        }
        t.cld2CodeSet = QSet<QString>(t.cld2Codes.cbegin(), t.cld2Codes.cend());
        for (const QString& code : std::as_const(t.cld2Codes))
            for (const Voices::Script script : t.facts.value(code).scripts)
                t.cld2CodesOfScript[int(script)] << code;
        for (const QString& code : Languages::popularity())
            t.add(code, code);
        for (auto it = Voices::scriptOfLanguage().cbegin(); it != Voices::scriptOfLanguage().cend();
             ++it)
            t.add(it.key(), it.key());
        return t;
    }();
    return table;
}

QString codeOf(const QString& identifier) {
    const auto& known = catalogue().codeOfIdentifier;
    const auto it = known.constFind(identifier);
    return it != known.cend() ? *it : Languages::code(identifier);
}

// The facts of a language the catalogue lacks are worked out into `spares`.
const LanguageFacts& factsOf(const QString& code, std::deque<LanguageFacts>& spares) {
    const auto& facts = catalogue().facts;
    const auto it = facts.constFind(code);
    if (it != facts.cend())
        return *it;
    return spares.emplace_back(
        LanguageFacts{code, Voices::scripts(code), Languages::popularityRank(code)});
}

// CLD2 counts lengths in int; a megabyte is far more than detection ever looks at.
constexpr qsizetype maxBytes = 1 << 20;

QByteArray boundedUtf8(QStringView text) {
    QByteArray utf8 = text.toUtf8();
    if (utf8.size() > maxBytes) {
        qsizetype end = maxBytes;
        while (end > 0 && (uchar(utf8[end]) & 0xC0) == 0x80)
            --end;
        utf8.truncate(end);
    }
    return utf8;
}

struct Cld2Answer {
    CLD2::Language language = CLD2::UNKNOWN_LANGUAGE;
    CLD2::Language language3[3] = {};
    int percent3[3] = {};
    double normalizedScore3[3] = {};
};

Cld2Answer askCld2(const QByteArray& utf8, int flags) {
    const CLD2::CLDHints hints{nullptr, nullptr, CLD2::UNKNOWN_ENCODING, CLD2::UNKNOWN_LANGUAGE};
    Cld2Answer answer;
    int textBytes = 0;
    bool reliable = false;
    int validPrefixBytes = 0;
    answer.language = CLD2::ExtDetectLanguageSummaryCheckUTF8(
        utf8.constData(), int(utf8.size()), true, &hints, flags, answer.language3, answer.percent3,
        answer.normalizedScore3, nullptr, &textBytes, &reliable, &validPrefixBytes);
    return answer;
}

bool readShares(const QByteArray& utf8, int flags, QHash<QString, double>& shares) {
    // The return value can disagree with the first hypothesis; the hypotheses are what counts.
    const Cld2Answer answer = askCld2(utf8, flags);
    const auto& codes = catalogue().codeOfCld2Language;
    for (int i = 0; i < 3; ++i) {
        // Pressed for a best effort on text it cannot place, CLD2 falls back on English with
        // a score far below that of ordinary text; that fallback is no evidence.
        if ((flags & CLD2::kCLDFlagBestEffort) && answer.language3[i] == CLD2::ENGLISH &&
            answer.normalizedScore3[i] < Cld2Recognizer::bestEffortFloor)
            continue;
        const auto code = codes.constFind(int(answer.language3[i]));
        if (code != codes.cend() && answer.percent3[i] > 0)
            shares[*code] += answer.percent3[i] / 100.0;
    }
    return !shares.isEmpty();
}

// Whether CLD2 names one of the languages, the keys of a hash, of its own accord and not only
// pressed for a guess.
template <typename Hash>
bool standsBy(const Cld2Recognizer::Evidence& found, const Hash& languages) {
    if (found.bestEffort)
        return false;
    for (auto it = languages.cbegin(); it != languages.cend(); ++it)
        if (found.shares.value(it.key()) > 0)
            return true;
    return false;
}

qsizetype letterCount(QStringView text) {
    qsizetype letters = 0;
    for (const uint scalar : text.toUcs4())
        if (QChar::isLetter(scalar))
            ++letters;
    return letters;
}

} // namespace

Cld2Recognizer::Cld2Recognizer()
    : Cld2Recognizer(Morphology::shared(), &PackWords::shared()) {
}

Cld2Recognizer::Cld2Recognizer(Morphology& morphology, PackWords* packs)
    : m_morphology(&morphology)
    , m_packs(packs) {
}

const QStringList& Cld2Recognizer::languages() {
    return catalogue().cld2Codes;
}

void Cld2Recognizer::setLanguageConstraints(const QStringList& identifiers) {
    m_constraints.clear();
    QSet<QString> seen;
    for (const QString& identifier : identifiers) {
        const QString code = codeOf(identifier);
        if (!seen.contains(code)) {
            seen.insert(code);
            m_constraints << code;
        }
    }
}

void Cld2Recognizer::setLanguageHints(const QList<Hint>& hints, double others) {
    m_hints.clear();
    m_hintOrder.clear();
    for (const Hint& hint : hints) {
        const QString code = codeOf(hint.identifier);
        const auto known = m_hints.find(code);
        if (known == m_hints.end()) {
            m_hints.insert(code, {hint.weight, m_hintOrder.size()});
            m_hintOrder << code;
        } else {
            known->weight = hint.weight;
        }
    }
    m_others = others;
    m_hinted = true;
}

QString Cld2Recognizer::answer(QStringView text, bool bestEffort) {
    const Cld2Answer answer = askCld2(boundedUtf8(text), bestEffort ? CLD2::kCLDFlagBestEffort : 0);
    return Languages::code(QString::fromLatin1(CLD2::LanguageCode(answer.language)));
}

Cld2Recognizer::Evidence Cld2Recognizer::evidence(QStringView text) {
    Evidence result;
    const QByteArray utf8 = boundedUtf8(text);
    if (!readShares(utf8, 0, result.shares))
        result.bestEffort = readShares(utf8, CLD2::kCLDFlagBestEffort, result.shares);
    return result;
}

bool Cld2Recognizer::mayName(const QString& code) const {
    return m_constraints.isEmpty() || m_constraints.contains(code);
}

Cld2Recognizer::LexiconEvidence Cld2Recognizer::lexiconEvidence(QStringView text,
                                                                const Evidence& found) const {
    // The languages the caller expects: weighed above what the detector gives any language it
    // merely allows.
    const double expected = std::max(m_others, LanguageDetector::allowedWeight);
    QStringList hinted;
    for (const QString& code : m_hintOrder)
        if (m_hints.value(code).weight > expected && mayName(code))
            hinted << code;
    if (hinted.size() < 2)
        return {};
    const QStringList words = Morphology::words(text);
    if (words.isEmpty())
        return {};
    const QHash<QString, QList<bool>> known = m_morphology->known(words, hinted);
    // With one language's analysers alone, a word it does not know could be anything.
    if (known.size() < 2)
        return {};
    // The other installed languages' analysers load in the background beforehand, so that a
    // single word is rarely met before they are ready.
    QStringList others;
    for (const QString& code : m_morphology->languages())
        if (!hinted.contains(code) && mayName(code))
            others << code;
    m_morphology->prefetch(others);
    if (m_packs)
        m_packs->prefetch();

    QHash<QString, qsizetype> counts;
    qsizetype knownToSome = 0;
    for (qsizetype i = 0; i < words.size(); ++i) {
        bool some = false;
        for (auto it = known.cbegin(); it != known.cend(); ++it) {
            counts[it.key()] += it->at(i);
            some = some || it->at(i);
        }
        knownToSome += some;
    }
    LexiconEvidence evidence;
    // Only what tells the languages apart counts: words all know, or none, count for none.
    const qsizetype fewest = *std::min_element(counts.cbegin(), counts.cend());
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        evidence.between.insert(it.key(),
                                oneSidedEvidence * double(*it - fewest) / double(words.size()));
    if (words.size() > 1) {
        // A few words' worth at most: a longer text is for CLD2 to place among the rest.
        const double n = double(words.size());
        evidence.together =
            std::min(n, double(wordsAgainstTheRest)) *
            (knownWordEvidence * double(knownToSome) - unknownWordEvidence * (n - knownToSome)) / n;
        // A short phrase none of whose words they know goes by the packs as a word does.
        if (words.size() <= wordsAgainstTheRest && knownToSome == 0 && !standsBy(found, known))
            evidence.elsewhere =
                elsewhereEvidence(words, known, hinted, m_morphology->known(words, others), false);
    } else if (knownToSome == 1 && fewest == 0) {
        // A word that only some of them know is theirs; one all know is left to CLD2 and the
        // weights.
        evidence.together = oneSidedEvidence;
    } else if (knownToSome == 0 && !standsBy(found, known)) {
        // A word none of them knows is another installed language's when its analysers or its
        // dictionary pack know it ("Bonjour", "Zeitung" beside English and Spanish), unless
        // CLD2 stands by one of theirs; one nothing installed knows is left to CLD2 and the
        // weights.
        evidence.elsewhere =
            elsewhereEvidence(words, known, hinted, m_morphology->known(words, others), true);
    }
    return evidence;
}

QHash<QString, double> Cld2Recognizer::elsewhereEvidence(const QStringList& words,
                                                         const QHash<QString, QList<bool>>& known,
                                                         const QStringList& hinted,
                                                         const QHash<QString, QList<bool>>& others,
                                                         bool analysersCount) const {
    QHash<QString, double> held;
    for (qsizetype i = 0; i < words.size(); ++i) {
        if (std::any_of(known.cbegin(), known.cend(), [i](const QList<bool>& k) { return k[i]; }))
            continue;
        PackWords::Holders holders = m_packs ? m_packs->holders(words[i]) : PackWords::Holders{};
        // A word the pair's own packs hold is the pair's as much as any other pack's; one they
        // hold less surely ("haben", which form rules lead to the Spanish "haber"; "Oder",
        // which the English pack has only as a name) is not.
        if (std::any_of(hinted.cbegin(), hinted.cend(),
                        [&](const QString& code) { return holders.exactly.contains(code); }))
            holders = {};
        QHash<QString, double> shares;
        for (const QString& code : holders.exactly) {
            // A word the language's own analyser does not know is one its pack has beside its
            // ordinary words: a name ("Io" to the Swedish pack) or a rarity.
            const auto analyser = others.constFind(code);
            if (mayName(code))
                shares[code] = analyser != others.cend() && !analyser->at(i) ? formsShare : 1;
        }
        for (const QString& code : holders.loosely)
            if (mayName(code) && !hinted.contains(code))
                shares[code] = std::max(shares.value(code), formsShare);
        if (analysersCount)
            for (auto it = others.cbegin(); it != others.cend(); ++it)
                if (it->at(i))
                    shares[it.key()] = 1;
        for (auto it = shares.cbegin(); it != shares.cend(); ++it)
            held[it.key()] +=
                *it + (*it == 1 && holders.functionWord.contains(it.key()) ? functionWordShare : 0);
    }
    QHash<QString, double> evidence;
    for (auto it = held.cbegin(); it != held.cend(); ++it)
        evidence.insert(it.key(), oneSidedEvidence * *it / double(words.size()));
    return evidence;
}

void Cld2Recognizer::processString(QStringView text) {
    m_hypotheses.clear();
    const qsizetype letters = letterCount(text);
    if (letters == 0)
        return;
    const Evidence found = evidence(text);
    const std::optional<Voices::Script> script = Voices::script(text);

    // The languages that may be named: the constraints, or else CLD2's and the hinted ones. Of
    // those, a text in a script the table knows can only be in a language written in it, and
    // one in a script it does not know only in a language CLD2 recognised.
    QStringList codes;
    if (!m_constraints.isEmpty()) {
        codes = m_constraints;
    } else if (script) {
        codes = catalogue().cld2CodesOfScript.value(int(*script));
        for (const QString& code : std::as_const(m_hintOrder))
            if (!catalogue().cld2CodeSet.contains(code))
                codes << code;
    } else {
        codes = found.shares.keys();
    }

    struct Candidate {
        const QString* code;
        const LanguageFacts* facts;
        double score = 0;
        qsizetype hintRank = 0;
    };
    const double strength = evidencePerLetter *
                            double(std::min<qsizetype>(letters, evidenceLetters)) *
                            (found.bestEffort ? bestEffortFactor : 1.0);
    // The smallest weight still counts: a language weighted 0 is unlikely, not impossible.
    constexpr double leastWeight = 1e-9;
    QList<Candidate> candidates;
    candidates.reserve(codes.size());
    // Only a language the catalogue lacks needs one; a deque keeps the facts where they are.
    std::deque<LanguageFacts> spares;
    for (const QString& code : codes) {
        const LanguageFacts& facts = factsOf(code, spares);
        // A text in a script the table does not know can only be what CLD2 recognised.
        if (script ? !facts.scripts.contains(*script) : !found.shares.contains(code))
            continue;
        const auto hint = m_hints.constFind(code);
        const bool hinted = hint != m_hints.cend();
        const double weight = hinted ? hint->weight : m_hinted ? m_others : 1.0;
        const double score =
            std::log(std::max(weight, leastWeight)) + strength * found.shares.value(code);
        candidates.append({&code, &facts, score, hinted ? hint->order : m_hintOrder.size()});
    }
    if (candidates.isEmpty())
        return;
    // The analysers weigh the hinted languages against each other keeping the odds they
    // had together, then weigh them together against the rest.
    const LexiconEvidence lexicon = lexiconEvidence(text, found);
    if (!lexicon.between.isEmpty()) {
        const auto together = [&](bool weighed) {
            double top = -std::numeric_limits<double>::infinity();
            for (const Candidate& c : std::as_const(candidates))
                if (lexicon.between.contains(*c.code))
                    top = std::max(top, c.score + (weighed ? lexicon.between[*c.code] : 0.0));
            double sum = 0;
            for (const Candidate& c : std::as_const(candidates))
                if (lexicon.between.contains(*c.code))
                    sum += std::exp(c.score + (weighed ? lexicon.between[*c.code] : 0.0) - top);
            return top + std::log(sum);
        };
        const double shift = together(false) - together(true) + lexicon.together;
        for (Candidate& candidate : candidates)
            if (lexicon.between.contains(*candidate.code))
                candidate.score += lexicon.between[*candidate.code] + shift;
    }
    for (Candidate& candidate : candidates)
        candidate.score += lexicon.elsewhere.value(*candidate.code);

    const double top =
        std::max_element(candidates.cbegin(), candidates.cend(),
                         [](const Candidate& a, const Candidate& b) { return a.score < b.score; })
            ->score;
    // A hundred languages may be left out of the weights; those a millionth as likely as the
    // best change no answer and are not worth sorting.
    candidates.removeIf([&](const Candidate& c) { return c.score < top - negligibleLogOdds; });
    double total = 0;
    for (Candidate& candidate : candidates) {
        candidate.score = std::exp(candidate.score - top);
        total += candidate.score;
    }
    std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        if (a.score != b.score)
            return a.score > b.score;
        if (a.hintRank != b.hintRank)
            return a.hintRank < b.hintRank;
        if (a.facts->popularityRank != b.facts->popularityRank)
            return a.facts->popularityRank < b.facts->popularityRank;
        return *a.code < *b.code;
    });
    for (const Candidate& candidate : std::as_const(candidates))
        m_hypotheses << Hypothesis{candidate.facts->identifier, candidate.score / total};
}

QList<LanguageRecognizer::Hypothesis> Cld2Recognizer::languageHypotheses(int maximum) const {
    return m_hypotheses.first(std::clamp<qsizetype>(maximum, 0, m_hypotheses.size()));
}

} // namespace tivela
