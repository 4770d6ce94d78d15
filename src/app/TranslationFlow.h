#pragma once

#include "app/HistoryWriter.h"

#include <QFuture>
#include <QObject>
#include <QString>

namespace tivela {

class AppModel;
struct AppServices;
class StoreWriter;
class WordCardLookup;

// The road from the model's input to a translation on screen and a row in the history: the
// debounce, the detection, the choice of target, the same-language rule, the engine call and
// its errors, and the delayed history write. It reads and writes the model's properties and
// starts the word card's lookup of a single word. A newer schedule replaces the pending run.
// On the main thread.
class TranslationFlow : public QObject {
    Q_OBJECT

public:
    // The model, its services, the store's writer and the lookup outlive the flow.
    TranslationFlow(AppModel& model, const AppServices& services, StoreWriter& writer,
                    WordCardLookup& lookup, QObject* parent = nullptr);

    // Drops the pending translation and schedules one of the model's current input: at once
    // (still after the caller returns) or after the debounce.
    void scheduleTranslate(bool now);
    // The manual target, else the pair's target for this source.
    QString targetFor(const QString& source) const;
    // Hands the translation waiting for its history row to the store's writer now.
    void flushPendingHistory();

Q_SIGNALS:
    // A translation of the input, or the input itself, has just become the output.
    void outputShown();
    // The engine could not translate the input: the output is about to be emptied.
    void outputRefused();

private:
    void translate(const QString& text, quint64 run);
    void finishTranslation(quint64 run, const QString& from, const QString& to,
                           const QFuture<QString>& future);
    void endTranslating(quint64 run);
    void rememberLater();

    AppModel& m_model;
    const AppServices& m_services;
    WordCardLookup& m_lookup;
    HistoryWriter m_historyWriter;
    // A scheduled translation runs only while it is the latest one scheduled.
    quint64 m_translateRun = 0;
    // The run that set `translating`, the only one that clears it; 0 for none.
    quint64 m_translatingRun = 0;
};

} // namespace tivela
