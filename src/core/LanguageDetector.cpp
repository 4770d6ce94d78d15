#include "core/LanguageDetector.h"

#include "core/Graphemes.h"
#include "core/Languages.h"

#include <QHash>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tivela::LanguageDetector {
namespace {

// Sets iterate in no fixed order; the recogniser breaks ties by the order it is told.
QStringList byPopularity(const QSet<QString>& codes) {
    QList<std::pair<qsizetype, QString>> ranked;
    ranked.reserve(codes.size());
    for (const QString& code : codes)
        ranked.append({Languages::popularityRank(code), code});
    std::sort(ranked.begin(), ranked.end());
    QStringList list;
    list.reserve(ranked.size());
    for (const auto& [rank, code] : std::as_const(ranked))
        list << code;
    return list;
}

// The allowed codes as the platform names them, in the order the recogniser breaks ties by.
QStringList platformIdentifiers(const QSet<QString>& codes) {
    QStringList identifiers;
    for (const QString& code : byPopularity(codes))
        identifiers << Languages::platformIdentifier(code);
    return identifiers;
}

QList<LanguageRecognizer::Hint> weights(const QStringList& allowed, const QStringList& hints) {
    QList<LanguageRecognizer::Hint> result;
    result.reserve(hints.size() + allowed.size());
    QHash<QString, qsizetype> places;
    const auto weigh = [&](const QString& identifier, double weight, bool overwrite) {
        const auto place = places.constFind(identifier);
        if (place == places.cend()) {
            places.insert(identifier, result.size());
            result << LanguageRecognizer::Hint{identifier, weight};
        } else if (overwrite) {
            result[*place].weight = weight;
        }
    };
    for (qsizetype i = 0; i < hints.size(); ++i)
        weigh(Languages::platformIdentifier(hints[i]), i == 0 ? firstHintWeight : laterHintWeight,
              true);
    for (const QString& identifier : allowed)
        weigh(identifier, allowedWeight, false);
    return result;
}

std::optional<Guess> recognise(const QString& trimmed, LanguageRecognizer& recognizer) {
    recognizer.processString(Graphemes::first(trimmed, maxCharacters));
    const QList<LanguageRecognizer::Hypothesis> hypotheses =
        recognizer.languageHypotheses(maxHypotheses);
    if (hypotheses.isEmpty())
        return std::nullopt;
    // Of equal probabilities the recogniser's order stands: the first one met wins.
    const auto best =
        std::max_element(hypotheses.cbegin(), hypotheses.cend(), [](const auto& a, const auto& b) {
            return a.probability < b.probability;
        });
    return Guess{Languages::code(best->identifier), std::clamp(best->probability, 0.0, 1.0)};
}

qsizetype wordCount(const QString& text) {
    qsizetype words = 0;
    bool inWord = false;
    for (const QChar c : text) {
        if (c.isSpace())
            inWord = false;
        else if (!inWord) {
            inWord = true;
            ++words;
        }
    }
    return words;
}

} // namespace

QList<LanguageRecognizer::Hint> hintWeights(const QSet<QString>& allowed,
                                            const QStringList& hints) {
    if (hints.isEmpty())
        return {};
    return weights(platformIdentifiers(allowed), hints);
}

std::optional<Guess> detect(const QString& text, const QSet<QString>& allowed,
                            const QStringList& hints, LanguageRecognizer& recognizer) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    const QStringList constraints = platformIdentifiers(allowed);
    if (!constraints.isEmpty())
        recognizer.setLanguageConstraints(constraints);
    if (!hints.isEmpty())
        recognizer.setLanguageHints(weights(constraints, hints), allowedWeight);
    return recognise(trimmed, recognizer);
}

std::optional<Guess> detectAny(const QString& text, const QStringList& hints,
                               LanguageRecognizer& recognizer) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    static const QStringList popular = [] {
        QStringList identifiers;
        for (const QString& code : Languages::popularity())
            identifiers << Languages::platformIdentifier(code);
        return identifiers;
    }();
    recognizer.setLanguageHints(weights(popular, hints), rareWeight);
    return recognise(trimmed, recognizer);
}

bool isSingleWord(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return false;
    if (Graphemes::longerThan(trimmed, 40) || wordCount(trimmed) > 2)
        return false;
    return std::none_of(trimmed.cbegin(), trimmed.cend(), [](QChar c) {
        return c == u'.' || c == u'!' || c == u'?' || c == u';' || c == u':';
    });
}

} // namespace tivela::LanguageDetector
