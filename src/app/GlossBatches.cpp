#include "app/GlossBatches.h"

#include "core/Futures.h"
#include "core/Translator.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

constexpr QChar ellipsis = u'\u2026';

// Chinese in any script counts as one language.
QString folded(const QString& code) {
    return code.startsWith(u"zh"_s) ? u"zh"_s : code;
}

QString cacheKey(const QString& mine, const QString& text) {
    return QString(mine + u'|' + text);
}

// A text cut off by an ellipsis goes out without its broken last word, so the engine sees whole
// words only.
QString request(const QString& text) {
    if (!text.endsWith(ellipsis))
        return text;
    QStringList words = text.chopped(1).split(u' ', Qt::SkipEmptyParts);
    if (words.size() >= 2)
        words.removeLast();
    return words.join(u' ');
}

} // namespace

GlossBatches::GlossBatches(Translator& translator, QObject* parent)
    : QObject(parent)
    , m_translator(translator) {
}

QStringList GlossBatches::texts(const DictionaryEntry& entry, const QString& mine, int meanings) {
    const QString own = folded(mine);
    if (own == u"en"_s || folded(entry.from) == own)
        return {};
    QStringList texts;
    const auto add = [&texts](const QString& text) {
        if (!text.isEmpty() && !texts.contains(text))
            texts << text;
    };
    const qsizetype taken = std::clamp<qsizetype>(meanings, 0, entry.meanings.size());
    for (const DictionaryEntry::Meaning& meaning : entry.meanings.first(taken)) {
        add(meaning.gloss);
        const std::optional<QString>& example =
            entry.from == u"en"_s ? meaning.example : meaning.exampleTranslation;
        if (example)
            add(*example);
    }
    return texts;
}

QHash<QString, QString> GlossBatches::cached(const QString& mine, const QStringList& texts) const {
    QHash<QString, QString> known;
    for (const QString& text : texts)
        if (const auto it = m_cache.constFind(cacheKey(mine, text)); it != m_cache.cend())
            known.insert(text, *it);
    return known;
}

void GlossBatches::show(const std::optional<DictionaryEntry>& card, const QString& mine) {
    m_card = card;
    if (!card) {
        Q_EMIT published({});
        return;
    }
    const QStringList all = texts(*card, mine, meanings);
    Q_EMIT published(cached(mine, all));

    QStringList missing;
    for (const QString& text : all)
        if (!m_cache.contains(cacheKey(mine, text)))
            missing << text;
    if (missing.isEmpty())
        return;

    const QStringList first = texts(*card, mine, firstMeanings);
    QStringList early;
    QStringList late;
    for (const QString& text : std::as_const(missing))
        (first.contains(text) ? early : late) << text;
    Task task{{}, mine, *card, all};
    for (const QStringList& batch : {early, late})
        if (!batch.isEmpty())
            task.batches << batch;
    send(std::move(task));
}

void GlossBatches::send(Task task) {
    if (task.batches.isEmpty())
        return;
    const QStringList texts = task.batches.takeFirst();
    QStringList prepared;
    for (const QString& text : texts)
        prepared << request(text);
    whenFinished(
        this, m_translator.translate(prepared, u"en"_s, task.mine, false),
        [this, task, texts, prepared](const QFuture<QStringList>& future) {
            const std::optional<QStringList> answers = resultOf(future);
            if (!answers)
                return;
            const qsizetype answered = std::min(answers->size(), texts.size());
            for (qsizetype i = 0; i < answered; ++i) {
                // An answer equal to its text is no translation: the next showing asks again.
                if (answers->at(i) == prepared[i])
                    continue;
                const QString suffix = texts[i].endsWith(ellipsis) ? QString(ellipsis) : QString();
                m_cache.insert(cacheKey(task.mine, texts[i]), QString(answers->at(i) + suffix));
            }
            if (m_card != task.card)
                return;
            Q_EMIT published(cached(task.mine, task.all));
            send(task);
        });
}

} // namespace tivela
