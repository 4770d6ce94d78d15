#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace tivela {

// Names the language of a text, the way the language detector asks it: a fresh recogniser per
// text, told which languages it may name and how likely each is beforehand, then asked for its
// best few hypotheses. Identifiers are platform language identifiers ("en", "zh-Hans", "iw");
// callers turn them into language codes themselves.
class LanguageRecognizer {
public:
    struct Hypothesis {
        QString identifier;
        double probability = 0;

        friend bool operator==(const Hypothesis&, const Hypothesis&) = default;
    };

    struct Hint {
        QString identifier;
        double weight = 0;

        friend bool operator==(const Hint&, const Hint&) = default;
    };

    virtual ~LanguageRecognizer() = default;

    // Only these languages may be named; an empty list allows every language.
    virtual void setLanguageConstraints(const QStringList& identifiers) = 0;
    // Prior weights of languages; a language not listed weighs `others`. Where two languages
    // end up equally probable, the one listed earlier is named first.
    virtual void setLanguageHints(const QList<Hint>& hints, double others) = 0;
    virtual void processString(QStringView text) = 0;
    // At most `maximum` hypotheses, the most probable first; their probabilities add up to at
    // most 1. Empty when the text names no allowed language.
    virtual QList<Hypothesis> languageHypotheses(int maximum) const = 0;
};

} // namespace tivela
