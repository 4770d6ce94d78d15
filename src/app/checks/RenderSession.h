#pragma once

#include "app/checks/CheckWorkspace.h"
#include "app/views/ViewServices.h"
#include "core/LanguagePair.h"

#include <QList>
#include <QSize>
#include <QString>

#include <QCoro/QCoroTask>

#include <chrono>
#include <functional>
#include <memory>

class QAction;
class QWidget;

namespace tivela {

namespace ScreenshotRenderer {

// A seed translation that takes longer fails the run.
inline constexpr std::chrono::milliseconds seedBound = std::chrono::seconds(30);

// One history row, and unless left out one phrasebook card, seeded before the model starts.
struct Seed {
    QString from;
    QString to;
    QString text;
    bool inPhrasebook = true;
};

// One run of a render mode: its output folder, and a model on a private store whose pair lives
// only in memory, so the person's pair, history and phrasebook stay untouched. A picture or a
// seed that failed makes the run fail; every picture that is not drawn is named on stderr.
class Session {
public:
    Session(const QString& folder, const QString& prefix, const LanguagePair& pair);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    AppModel& model() { return m_workspace.model(); }
    // The views' services as the application gives them, the selection help included.
    ViewServices& views() { return m_views; }
    const QString& folder() const { return m_folder; }
    bool failed() const { return m_failed; }
    void fail() { m_failed = true; }
    // A picture the set could not draw: named with the reason, and the run fails.
    void notDrawn(const QString& name, const QString& reason);
    // A picture the set leaves out on purpose: named with the reason.
    static void skipped(const QString& name, const QString& reason);

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
    // The model's dictionary card, read once, 14 points inside its picture. Without a card, a
    // word whose packs are not installed could not be drawn; one that has no card in them is
    // left out.
    QCoro::Task<> dictionaryCard(QSize card, QString name);

private:
    QString m_folder;
    LanguagePair m_pair;
    CheckWorkspace m_workspace;
    std::unique_ptr<QAction> m_selectionHelp;
    ViewServices m_views;
    bool m_failed = false;
};

} // namespace ScreenshotRenderer

} // namespace tivela
