#pragma once

#include "Apertium.h"
#include "Evidence.h"

namespace tivela::packbuild {

class English;
struct LanguageSources;

// What Apertium's data below a folder tells of a language: translations of English lemmas
// through its bilingual dictionaries, translations back of the words of its word list, and
// the parts of speech and inflected forms its analyser reads. A pair that is not installed
// only leaves its words out; false with a message when a program fails.
class ApertiumPairs {
public:
    ApertiumPairs(const QString& apertium, const QString& wordLists, const English& english);

    bool read(const LanguageSources& sources, Evidence& evidence, QString* error) const;

    // Leads units through bilingual dictionaries one after another; owners follow their
    // units. Through a language in between only each dictionary's preferred translation goes
    // on, and Spanish units are looked up in the forms the next dictionary writes.
    static bool translateChain(const QStringList& chain, QList<Apertium::Unit>& units,
                               QList<qsizetype>& owners, QString* error);
    // The English words that the language's words (units with the indices of their words)
    // lead to through the written forms of the language in between, appended to the chain's
    // units; the English units' pronouns as the English generator writes them.
    static bool throughWrittenForms(const QStringList& back, const QList<Apertium::Unit>& ownUnits,
                                    const QList<qsizetype>& ownOwners, QList<Apertium::Unit>& units,
                                    QList<qsizetype>& owners, QString* error);

private:
    bool translations(const LanguageSources& sources, const QStringList& chain, Evidence& evidence,
                      QString* error) const;
    // The terms of translated units as the language writes them.
    std::optional<QStringList> writtenForms(const LanguageSources& sources,
                                            const QList<Apertium::Unit>& units,
                                            QString* error) const;
    bool words(const LanguageSources& sources, const QString& analyser, Evidence& evidence,
               QString* error) const;
    bool analyse(const LanguageSources& sources, const QString& analyser, Evidence& evidence,
                 QString* error) const;

    QString m_apertium;
    QString m_wordLists;
    const English& m_english;
};

} // namespace tivela::packbuild
