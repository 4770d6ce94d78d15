#pragma once

#include "app/AppServices.h"
#include "app/GlossBatches.h"
#include "core/DictionaryEntry.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <memory>
#include <optional>

namespace tivela {

class Translator;

// The word card of a single-word input and the translations of its English texts. A lookup
// runs off the main thread; when it finds no card it fetches the packs the pair lacks once and
// looks again. Lookups are never cancelled: several may run at once, each tells its own word.
// On the main thread.
class WordCardLookup : public QObject {
    Q_OBJECT

public:
    // The translator outlives the lookup.
    WordCardLookup(std::shared_ptr<Dictionary> dictionary, std::shared_ptr<PackDownloads> downloads,
                   Translator& translator, QObject* parent = nullptr);

    void lookUp(const QString& word, const QString& from, const QString& to);
    // Publishes at once what is known of the card's glosses, then asks for the rest.
    void showGlosses(const std::optional<DictionaryEntry>& card, const QString& mine);

Q_SIGNALS:
    // A lookup ended with the word's card, or with none.
    void found(const QString& word, const std::optional<DictionaryEntry>& entry);
    // Told when a lookup starts, and when the last one running ends.
    void loadingChanged(bool loading);
    // English texts of the shown card to their translations, all known so far.
    void glossesPublished(const QHash<QString, QString>& glosses);

private:
    void finishLookUp(const QString& word, const std::optional<DictionaryEntry>& entry);

    std::shared_ptr<Dictionary> m_dictionary;
    std::shared_ptr<PackDownloads> m_downloads;
    int m_lookupsRunning = 0;
    GlossBatches m_glossBatches;
    // Last, so its threads end before the rest goes.
    QThreadPool m_lookupPool;
};

} // namespace tivela
