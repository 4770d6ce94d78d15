#pragma once

#include "app/checks/CheckWorkspace.h"
#include "app/views/ViewServices.h"
#include "core/LanguagePair.h"

#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

#include <QCoro/QCoroTask>

#include <chrono>
#include <functional>

class QWidget;

namespace tivela {

// The --render-screenshots mode, and what the other render modes share with it: one run in a
// private workspace, the wait until the model has settled, and the light and dark pictures of
// freshly built views. Everything runs on the main thread; every pause is awaited, so the
// model's own work goes on meanwhile.
namespace ScreenshotRenderer {

using namespace std::chrono_literals;

// How long a wait looks for a settled model: polls of the model, then polls for the card's
// translated glosses, then a last pause for the views to catch up.
struct WaitBounds {
    int polls = 150;
    int glossPolls = 250;
    std::chrono::milliseconds poll = 100ms;
    std::chrono::milliseconds pause = 300ms;
};

// How many polls a wait took in each phase.
struct Waited {
    int polls = 0;
    int glossPolls = 0;
};

// What a shown view is given before it is drawn: the work it starts when shown finishes.
inline constexpr std::chrono::milliseconds settle = 500ms;
// A seed translation that takes longer fails the run.
inline constexpr std::chrono::milliseconds seedBound = 30s;

// One history row, and unless left out one phrasebook card, seeded before the model starts.
struct Seed {
    QString from;
    QString to;
    QString text;
    bool inPhrasebook = true;
};

// One run of a render mode: its output folder, and a model on a private store whose pair lives
// only in memory, so the person's pair, history and phrasebook stay untouched. A picture or a
// seed that failed makes the run fail.
class Session {
public:
    Session(const QString& folder, const QString& prefix, const LanguagePair& pair);

    AppModel& model() { return m_workspace.model(); }
    ViewServices& views() { return m_views; }
    const QString& folder() const { return m_folder; }
    bool failed() const { return m_failed; }
    void fail() { m_failed = true; }

    // Each seed's engine translation (its own text when the engine fails) into history and,
    // for most, the phrasebook: row i is i × 3700 s older in history, i × 86000 s in the
    // phrasebook, and every card is due.
    QCoro::Task<> seed(QList<Seed> seeds);
    // The engine's languages, the mode's pair, and the lists from the store.
    QCoro::Task<> prepare();
    // A light and then a dark picture of a view made for each, as "<name>" and "<name>-dark".
    QCoro::Task<> shoot(std::function<QWidget*()> make, QSize card, QString name);
    // The popover at 420 × 600.
    QCoro::Task<> popover(QString name);
    // The dictionary card of an entry, read once, 14 points inside its picture.
    QCoro::Task<> dictionaryCard(DictionaryEntry entry, QSize card, QString name);

private:
    QString m_folder;
    LanguagePair m_pair;
    CheckWorkspace m_workspace;
    ViewServices m_views;
    bool m_failed = false;
};

// Makes the output folder and queues the mode; it ends the process with 0, or 1 when the
// folder cannot be made or anything failed.
void start(const QString& folder, const QString& prefix, const LanguagePair& pair,
           std::function<QCoro::Task<>(Session&)> render);
void run(const QString& folder);
// The screenshot set, in order.
QCoro::Task<> render(Session& session);

// Waits for the translation shown in the model, and with `word` for its dictionary card and
// the card's translated glosses, each phase within its bounds; then pauses.
QCoro::Task<Waited> wait(AppModel& model, bool word, WaitBounds bounds = {});
// Builds a view for one picture in that appearance, shows it offscreen at the card's size,
// lets it settle, draws it and writes "<name>.png". False when it was not written.
QCoro::Task<bool> save(std::function<QWidget*()> make, QSize card, QString name, bool dark,
                       QString folder);

// The seeds and every text the set shows.
const QList<Seed>& seeds();
QStringList samples();

} // namespace ScreenshotRenderer

} // namespace tivela
