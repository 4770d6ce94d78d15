#pragma once

#include "Draft.h"
#include "Evidence.h"
#include "Ranking.h"

#include "core/LexiconPack.h"

namespace tivela::packbuild {

class English;
struct LanguageSources;

// The words' own entries: those the dictionary into English writes, in the order of their
// common meaning, and for the words only other dictionaries know, the English senses they
// translate.
class EntryBuilder {
public:
    // Ding's German backs a meaning whose English word a German word of the word leads to.
    EntryBuilder(const English& english, const LanguageSources& sources, Evidence& evidence,
                 Draft& draft, const Ding& ding);

    // The entries of the dictionary into English; its articles are used up, and the forms
    // they name join the evidence.
    void ownEntries();
    // Points a word without an entry at its base form that has one ("Hunde" at "Hund"), and
    // gives the other words entries from the senses they translate.
    void derivedEntries();

private:
    struct Ranked {
        Meaning meaning;
        double score = 0;
    };
    using RankedEntries = QList<QPair<QString, QList<Ranked>>>;

    bool pluralOfHeadword(const FreeDict::Entry& article, const QString& wordKey) const;
    bool formsOnly(const FreeDict::Entry& article) const;
    QList<qsizetype> termOrder(const FreeDict::Group& group) const;
    QString unwrittenPos(const QString& wordKey, const FreeDict::Group& group) const;
    void rankMeanings(const FreeDict::Entry& article, const QString& wordKey,
                      RankedEntries& entries) const;
    void noteReferences(const FreeDict::Entry& article, const QString& wordKey);
    void settle(std::map<QString, RankedEntries>& ranked, const QHash<QString, QString>& ipaOf);
    QString baseWithEntries(const QString& wordKey) const;
    void senseEntries(const QString& wordKey, Word& word);
    void leadWithCommonWord(const QString& wordKey, Word& word,
                            const QHash<QString, QString>& firstSenses) const;

    const English& m_english;
    const LanguageSources& m_sources;
    Evidence& m_evidence;
    Draft& m_draft;
    const Ding& m_ding;
    Weights m_weights;
    QSet<QString> m_headwords;
    QSet<QString> m_singulars;
};

} // namespace tivela::packbuild
