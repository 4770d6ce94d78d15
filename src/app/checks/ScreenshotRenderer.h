#pragma once

#include "app/checks/RenderSession.h"
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
