#include "app/WordCardLookup.h"

#include "core/Futures.h"

#include <QtConcurrent/QtConcurrentRun>

#include <utility>

namespace tivela {
namespace {

struct LookupResult {
    std::optional<DictionaryEntry> entry;
    // Packs the pair needs that are not installed; asked only when there is no card.
    QStringList missing;
};

} // namespace

WordCardLookup::WordCardLookup(std::shared_ptr<Dictionary> dictionary,
                               std::shared_ptr<PackDownloads> downloads, Translator& translator,
                               QObject* parent)
    : QObject(parent)
    , m_dictionary(std::move(dictionary))
    , m_downloads(std::move(downloads))
    , m_glossBatches(translator) {
    m_lookupPool.setMaxThreadCount(2);
    connect(&m_glossBatches, &GlossBatches::published, this, &WordCardLookup::glossesPublished);
}

void WordCardLookup::lookUp(const QString& word, const QString& from, const QString& to) {
    ++m_lookupsRunning;
    Q_EMIT loadingChanged(true);
    const auto dictionary = m_dictionary;
    const auto downloads = m_downloads;
    const auto first = [dictionary, downloads, word, from, to] {
        LookupResult result{dictionary->lookup(word, from, to), {}};
        if (!result.entry)
            for (const QString& code : downloads->packs(from, to))
                if (!dictionary->isInstalled(code))
                    result.missing << code;
        return result;
    };
    whenFinished(
        this, QtConcurrent::run(&m_lookupPool, first), [=, this](QFuture<LookupResult> future) {
            const LookupResult result = resultOf(future).value_or(LookupResult{});
            if (result.entry || result.missing.isEmpty()) {
                finishLookUp(word, result.entry);
                return;
            }
            // Whether the download worked or not, the second lookup tells.
            whenFinished(this, downloads->ensure(result.missing), [=, this](const QFuture<bool>&) {
                const auto again = [dictionary, word, from, to] {
                    return dictionary->lookup(word, from, to);
                };
                whenFinished(this, QtConcurrent::run(&m_lookupPool, again),
                             [this, word](QFuture<std::optional<DictionaryEntry>> retried) {
                                 finishLookUp(word, resultOf(retried).value_or(std::nullopt));
                             });
            });
        });
}

void WordCardLookup::finishLookUp(const QString& word,
                                  const std::optional<DictionaryEntry>& entry) {
    Q_EMIT found(word, entry);
    if (--m_lookupsRunning == 0)
        Q_EMIT loadingChanged(false);
}

void WordCardLookup::showGlosses(const std::optional<DictionaryEntry>& card, const QString& mine) {
    m_glossBatches.show(card, mine);
}

} // namespace tivela
