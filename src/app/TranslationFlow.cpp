#include "app/TranslationFlow.h"

#include "app/AppModel.h"
#include "app/AppServices.h"
#include "app/WordCardLookup.h"
#include "core/Futures.h"
#include "core/Translator.h"
#include "core/Verbatim.h"

#include <stdexcept>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

// Chinese in any script counts as one language.
QString folded(const QString& code) {
    return code.startsWith(u"zh"_s) ? u"zh"_s : code;
}

} // namespace

TranslationFlow::TranslationFlow(AppModel& model, const AppServices& services, StoreWriter& writer,
                                 WordCardLookup& lookup, QObject* parent)
    : QObject(parent)
    , m_model(model)
    , m_services(services)
    , m_lookup(lookup)
    , m_historyWriter(services.scheduler, writer, AppModel::historyDelayMilliseconds) {
    connect(&m_historyWriter, &HistoryWriter::written, &model, &AppModel::reloadHistory);
}

void TranslationFlow::scheduleTranslate(bool now) {
    const quint64 run = ++m_translateRun;
    const QString text = m_model.input();
    m_services.scheduler->singleShot(now ? 0 : AppModel::debounceMilliseconds, this,
                                     [this, run, text] {
                                         if (run == m_translateRun)
                                             translate(text, run);
                                     });
}

QString TranslationFlow::targetFor(const QString& source) const {
    return m_model.manualTarget().value_or(m_model.pair().target(source));
}

void TranslationFlow::translate(const QString& text, quint64 run) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        m_model.setOutput({});
        m_model.setEntry(std::nullopt);
        m_model.setProblem(std::nullopt);
        m_model.setDetected(std::nullopt);
        m_translatingRun = 0;
        m_model.setTranslating(false);
        return;
    }

    if (m_model.source() == AppModel::autoSource())
        m_model.setDetected(
            m_services.detection->detect(trimmed, {m_model.pair().mine, m_model.pair().second}));
    else
        m_model.setDetected(std::nullopt);

    const QString from = m_model.effectiveSource();
    const QString to = targetFor(from);
    if (m_services.detection->isSingleWord(trimmed))
        m_lookup.lookUp(trimmed, from, to);
    else
        m_model.setEntry(std::nullopt);

    // The same language on both sides, or nothing but numbers, symbols, links, paths and code:
    // the text is its own answer, and no translation to remember.
    if (folded(from) == folded(to) || Verbatim::nothingToTranslate(trimmed)) {
        m_model.setOutput(trimmed);
        m_model.setOutputFrom(from);
        m_model.setOutputTo(to);
        Q_EMIT outputShown();
        m_model.setProblem(std::nullopt);
        return;
    }

    m_translatingRun = run;
    m_model.setTranslating(true);
    whenFinished(this, m_services.translation(trimmed, from, to),
                 [this, run, from, to](const QFuture<QString>& future) {
                     finishTranslation(run, from, to, future);
                 });
}

void TranslationFlow::finishTranslation(quint64 run, const QString& from, const QString& to,
                                        const QFuture<QString>& future) {
    // A newer schedule replaced this run: it only lets go of the flag it set.
    if (run != m_translateRun) {
        endTranslating(run);
        return;
    }
    QFuture<QString> finished = future;
    try {
        finished.waitForFinished();
        if (finished.resultCount() < 1)
            throw std::runtime_error("the translation was cancelled");
        const QString result = finished.result();
        m_model.setOutput(result);
        m_model.setOutputFrom(from);
        m_model.setOutputTo(to);
        Q_EMIT outputShown();
        m_model.setProblem(std::nullopt);
        rememberLater();
    } catch (const TranslateError& error) {
        Q_EMIT outputRefused();
        m_model.setOutput({});
        m_model.setProblem(AppModel::Problem::of(error));
    } catch (const std::exception& error) {
        m_model.setProblem(AppModel::Problem::failed(QString::fromLocal8Bit(error.what())));
    }
    endTranslating(run);
}

void TranslationFlow::endTranslating(quint64 run) {
    if (m_translatingRun != run)
        return;
    m_translatingRun = 0;
    m_model.setTranslating(false);
}

void TranslationFlow::rememberLater() {
    m_historyWriter.remember(Item{m_services.newId(), m_model.input().trimmed(), m_model.output(),
                                  m_model.outputFrom(), m_model.outputTo(), m_services.now(), 0, 0,
                                  Item::appOrigin});
}

void TranslationFlow::flushPendingHistory() {
    m_historyWriter.flush();
}

} // namespace tivela
