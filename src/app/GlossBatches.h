#pragma once

#include "core/DictionaryEntry.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace tivela {

class Translator;

// The English texts of a word card (glosses and examples) translated into the user's language
// in at most two engine calls: the first meanings' texts come back first, the rest after.
// Answers are kept for the session, so a card shown again asks only for what is new. A task
// stops between batches once another card is shown. On the main thread.
class GlossBatches : public QObject {
    Q_OBJECT

public:
    static constexpr int meanings = 8;
    static constexpr int firstMeanings = 3;

    // The translator outlives the batches.
    explicit GlossBatches(Translator& translator, QObject* parent = nullptr);

    // Publishes at once what is known of the card, then asks for the rest; nothing for none.
    void show(const std::optional<DictionaryEntry>& card, const QString& mine);

    // The English texts of a card worth translating for a user whose language is mine, from
    // its first meanings.
    static QStringList texts(const DictionaryEntry& entry, const QString& mine, int meanings);

Q_SIGNALS:
    // English texts of the shown card to their translations, all known so far.
    void published(const QHash<QString, QString>& glosses);

private:
    struct Task {
        QList<QStringList> batches;
        QString mine;
        DictionaryEntry card;
        QStringList all;
    };

    void send(Task task);
    QHash<QString, QString> cached(const QString& mine, const QStringList& texts) const;

    Translator& m_translator;
    std::optional<DictionaryEntry> m_card;
    QHash<QString, QString> m_cache;
};

} // namespace tivela
