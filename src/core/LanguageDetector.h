#pragma once

#include "core/LanguageRecognizer.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace tivela {

// Names the language of a text among the languages the caller allows, leaning toward the ones
// it hints at (the application hints the user's pair), and tells whether a text is a single
// word. Free of state: any thread may call it at any time.
namespace LanguageDetector {

struct Guess {
    QString code;
    // The recogniser's probability for the language, 0 to 1; no threshold is applied.
    double confidence = 0;

    friend bool operator==(const Guess&, const Guess&) = default;
};

// Only this many user-perceived characters reach the recogniser, so long texts cost no more.
inline constexpr int maxCharacters = 2000;
inline constexpr int maxHypotheses = 3;
inline constexpr double allowedWeight = 0.02;
inline constexpr double firstHintWeight = 0.5;
inline constexpr double laterHintWeight = 0.35;
// Where every language is allowed, each one beyond the popular languages weighs this much: so
// little that a text is named in one only when no popular language writes its script, or when
// an installed analyser of that language knows it: CLD2 takes many texts of popular languages
// for a close neighbour's (Portuguese ones for Galician, German ones for Luxembourgish).
inline constexpr double rareWeight = 1e-8;

// The prior weights the recogniser gets, by platform identifier: the hinted languages in hint
// order (a repeated hint keeps its first place and its last weight), then the other allowed
// languages by popularity and code. Empty without hints.
QList<LanguageRecognizer::Hint> hintWeights(const QSet<QString>& allowed, const QStringList& hints);

// Nothing for a blank text or when the recogniser names no allowed language. An empty
// `allowed` allows every language; earlier hints weigh more. The recogniser is fresh for this
// one text.
std::optional<Guess> detect(const QString& text, const QSet<QString>& allowed,
                            const QStringList& hints, LanguageRecognizer& recognizer);

// The language of a text among every language the recogniser knows, as a translation's source
// is detected: a text in a language the engine lacks is named as such, so that it is reported
// untranslatable instead of being translated from a language it is not in. The popular
// languages weigh `allowedWeight` and the hints as in `detect`, even without hints.
std::optional<Guess> detectAny(const QString& text, const QStringList& hints,
                               LanguageRecognizer& recognizer);

// At most 40 characters, at most two words, and none of . ! ? ; : — worth a dictionary lookup.
bool isSingleWord(const QString& text);

} // namespace LanguageDetector

} // namespace tivela
