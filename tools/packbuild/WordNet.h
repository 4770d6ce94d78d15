#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace tivela::packbuild {

// The parts of WordNet a pack needs: synsets with their words, definitions and examples, the
// senses of every lemma in WordNet's order, how often each sense was seen in its tagged
// corpus, and the exception lists of irregular forms.
class WordNet {
public:
    struct Synset {
        // "noun", "verb", "adj" or "adv".
        QString pos;
        // As written in WordNet, spaces for underscores, without adjective position markers.
        QStringList words;
        QString definition;
        QStringList examples;
    };

    struct Sense {
        // Index into synsets().
        qsizetype synset = 0;
        // 1 for the first sense of the lemma in its part of speech.
        int number = 0;
        int count = 0;
    };

    // Reads the files of a WordNet "dict" folder; false when one of them is missing or
    // malformed.
    bool load(const QString& folder, QString* error);

    const QList<Synset>& synsets() const { return m_synsets; }
    // WordNet's licence, which every copy of the database carries, as its files give it.
    const QStringList& licence() const { return m_licence; }
    // Lemma keys in sorted order.
    QStringList lemmas() const;
    // The senses of a lemma by part of speech, each list in WordNet's order; parts of speech
    // in order of how often the lemma was seen in them.
    QList<QList<Sense>> senses(const QString& lemma) const;
    // The senses of one part of speech.
    QList<Sense> senses(const QString& lemma, const QString& pos) const;
    // How often a lemma was seen in the tagged corpus, over all its senses.
    int count(const QString& lemma) const;
    // Base forms of irregular forms ("ran" gives "run"), from the exception lists.
    const QHash<QString, QStringList>& exceptionTable() const { return m_exceptions; }

    // The one-letter part of speech of a sense id, and back.
    static QChar letter(const QString& pos);

private:
    // data.<part>: the synsets, by the part of speech and offset that the index names.
    bool readSynsets(const QString& folder, QHash<QString, qsizetype>& byOffset, QString* error);
    // index.<part> and <part>.exc: the senses of each lemma and the irregular forms.
    bool readIndex(const QString& folder, const QString& part,
                   const QHash<QString, qsizetype>& byOffset, QString* error);
    void readCounts(const QString& folder);

    QList<Synset> m_synsets;
    // lemma -> pos -> senses
    QHash<QString, QHash<QString, QList<Sense>>> m_senses;
    QHash<QString, QStringList> m_exceptions;
    QStringList m_licence;
};

} // namespace tivela::packbuild
