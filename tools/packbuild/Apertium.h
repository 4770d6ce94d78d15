#pragma once

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <optional>

namespace tivela::packbuild {

// Apertium's compiled dictionaries, used through lttoolbox's own programs (lt-proc,
// lt-paradigm): morphological analysers give the forms of a lemma, bilingual dictionaries the
// translations of a lemma. Each call is one batch process with a bounded wait.
namespace Apertium {

// A lexical unit as lttoolbox writes it, "casa<n><f>": the lemma and its tags.
struct Unit {
    QString lemma;
    QStringList tags;

    // The lemma as text: "#" joins of multiword lemmas become spaces, homonyms' numbers go.
    QString text() const;
    // The part of speech its first tag names ("noun", "verb", ...); empty when unknown.
    QString pos() const;
    QString form() const;
};

std::optional<Unit> parseUnit(const QString& text);

// For each word, every analysis that is one unit.
std::optional<QList<QList<Unit>>> readings(const QString& analyser, const QStringList& words,
                                           QString* error);
// For each word, the analyses whose lemma is the word itself (its base-form readings).
std::optional<QList<QList<Unit>>> analyse(const QString& analyser, const QStringList& words,
                                          QString* error);
// Each word that the analyser reads only as a combination of units ("del": "di<pr>+il<det>",
// "farlo": "fare<vblex>+lo<prn>") with the lemma of its first unit.
std::optional<QHash<QString, QString>> combinations(const QString& analyser,
                                                    const QStringList& words, QString* error);
// For each unit, its translations by a bilingual dictionary (none when it has none).
std::optional<QList<QList<Unit>>> translate(const QString& bilingual, const QList<Unit>& units,
                                            QString* error);
// The written form of each unit by a generator ("ragazzo<n><f><sg>": "ragazza"); empty for a
// unit it cannot generate.
std::optional<QStringList> generate(const QString& generator, const QList<Unit>& units,
                                    QString* error);
enum class Side { analyser, generator };
// The lemma as text and the form of each path that lt-paradigm lists for these patterns
// ("хотеть<vblex><*>"); an analyser has its tags on the right, a generator on the left.
std::optional<QList<QPair<QString, QString>>>
paradigms(const QString& transducer, const QStringList& patterns, Side side, QString* error);
// Every form of these lemmas (as the analyser writes them, "vara¹") with the lemmas it is a
// form of as text, lemma excluded.
std::optional<QHash<QString, QStringList>> forms(const QString& transducer,
                                                 const QStringList& lemmas, QString* error,
                                                 Side side = Side::analyser);

// The lemmas an analyser knows, names and numerals left out, in order.
std::optional<QStringList> lemmas(const QString& analyser, QString* error);

} // namespace Apertium

} // namespace tivela::packbuild
