#include "app/ReplaceService.h"

#include "core/Futures.h"
#include "core/IncomingText.h"
#include "core/Languages.h"
#include "core/StoreWriter.h"
#include "core/Translator.h"
#include "core/Verbatim.h"

#include <QPromise>

#include <memory>

namespace tivela {

ReplaceService::ReplaceService(AppServices services, StoreWriter& writer, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_writer(writer) {
}

QFuture<std::optional<QString>> ReplaceService::translateReplace(const QString& text,
                                                                 QDeadlineTimer deadline) {
    // The caller replaces the whole selection with the answer: the translation of a cut text
    // would throw the rest away, so such a text is refused and stays as it is.
    if (IncomingText::cap(text).cut)
        return QtFuture::makeReadyFuture(std::optional<QString>());
    const QStringList& popular = Languages::popularity();
    const QSet<QString> allowed(popular.cbegin(), popular.cend());
    const LanguagePair pair = m_services.settings->pair().value_or(LanguagePair::defaultPair(
        Languages::systemLanguage(allowed, m_services.preferredLanguages())));
    const QString source =
        m_services.detection->detect(text, {pair.mine, pair.second}).value_or(pair.second);
    const QString target = pair.target(source);

    // Whichever comes first answers: the translation or the deadline.
    auto promise = std::make_shared<QPromise<std::optional<QString>>>();
    promise->start();
    const auto answer = [promise](const std::optional<QString>& translation) {
        if (promise->future().isFinished())
            return false;
        promise->addResult(translation);
        promise->finish();
        return true;
    };
    if (!deadline.isForever())
        m_services.scheduler->singleShot(int(deadline.remainingTime()), this,
                                         [answer] { answer(std::nullopt); });
    whenFinished(this, m_services.translation(text, source, target),
                 [this, answer, text, source, target](const QFuture<QString>& future) {
                     // Every failure answers the one message the caller shows, and so does an
                     // answer that only repeats a text the engine could not read.
                     const std::optional<QString> translation = resultOf(future);
                     // Links, paths and code alone come back as they stand: no translation to
                     // remember.
                     if (!answer(translation) || !translation || Verbatim::nothingToTranslate(text))
                         return;
                     m_writer.addHistory(Item{m_services.newId(), text, *translation, source,
                                              target, m_services.now(), 0, 0, Item::appOrigin});
                 });
    return promise->future();
}

} // namespace tivela
