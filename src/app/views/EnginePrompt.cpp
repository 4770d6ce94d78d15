#include "app/views/EnginePrompt.h"

#include "app/AppModel.h"
#include "app/Wording.h"
#include "app/views/ViewServices.h"
#include "core/Futures.h"
#include "core/Languages.h"
#include "platform/desktop/PackageInstaller.h"

#include <QFutureWatcher>
#include <QGuiApplication>
#include <QMessageBox>
#include <QWidget>
#include <QWindow>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

std::optional<std::pair<QString, QString>> pairOf(const AppModel& model) {
    if (const auto& request = model.downloadRequest())
        return std::pair(request->from, request->to);
    return std::nullopt;
}

} // namespace

EnginePrompt::EnginePrompt(AppModel& model, ViewServices& services, QWidget* window)
    : QObject(window)
    , m_model(model)
    , m_services(services)
    , m_window(window) {
    connect(&m_model, &AppModel::downloadRequestChanged, this, &EnginePrompt::requestChanged);
}

void EnginePrompt::begin() {
    if (m_following)
        return;
    m_following = true;
    m_seen = pairOf(m_model);
    if (m_seen)
        prompt(*m_seen);
}

void EnginePrompt::requestChanged() {
    if (!m_following)
        return;
    const auto pair = pairOf(m_model);
    if (pair == m_seen)
        return;
    m_seen = pair;
    if (pair)
        prompt(*pair);
}

void EnginePrompt::install(const QString& from, const QString& to) {
    prompt({from, to}, false);
}

void EnginePrompt::prompt(const Pair& pair, bool forModel) {
    const quint64 run = ++m_run;
    m_running = true;
    m_forModel = forModel;
    if (m_message)
        m_message->deleteLater();
    if (!m_services.pairStatus) {
        offer(pair, run);
        return;
    }
    // An installed pair needs nothing: said so, and the translation goes on at once.
    whenFinished(this, m_services.pairStatus(pair.first, pair.second),
                 [this, pair, run](const QFuture<PairStatus>& status) {
                     if (run != m_run)
                         return;
                     if (status.resultCount() > 0 && status.result() == PairStatus::installed) {
                         tell(Wording::installedText(Languages::name(pair.first),
                                                     Languages::name(pair.second)));
                         end(run);
                         return;
                     }
                     offer(pair, run);
                 });
}

void EnginePrompt::offer(const Pair& pair, quint64 run) {
    const QString package =
        m_services.enginePackage ? m_services.enginePackage(pair.first, pair.second) : QString();
    if (package.isEmpty()) {
        tell(Wording::noPackageText(Languages::name(pair.first), Languages::name(pair.second)));
        end(run);
        return;
    }
    if (!m_services.installer) {
        end(run);
        return;
    }
    // The installer's dialogs belong to the popover's window, when X11 has one for it.
    quint32 xid = 0;
    if (QGuiApplication::platformName() == u"xcb"_s && m_window &&
        m_window->window()->windowHandle())
        xid = quint32(m_window->window()->winId());
    auto* watcher = new QFutureWatcher<PackageInstaller::Outcome>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [=, this] {
        watcher->deleteLater();
        if (run != m_run)
            return;
        const QFuture<PackageInstaller::Outcome> future = watcher->future();
        if (future.resultCount() > 0 && future.result() == PackageInstaller::Outcome::unavailable)
            showCommand(pair, package, run);
        else
            end(run);
    });
    watcher->setFuture(m_services.installer->install(package, xid));
}

void EnginePrompt::showCommand(const Pair& pair, const QString& package, quint64 run) {
    auto* box = new QMessageBox(m_window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Information);
    box->setWindowTitle(Wording::installTitle());
    box->setTextFormat(Qt::PlainText);
    box->setText(Wording::installText(Languages::name(pair.first), Languages::name(pair.second)));
    box->setInformativeText(Wording::installCommand(package));
    box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box->setStandardButtons(QMessageBox::Close);
    connect(box, &QDialog::finished, this, [this, run] { end(run); });
    m_message = box;
    box->open();
}

// A note that asks nothing of the user, so nothing waits for it to close.
void EnginePrompt::tell(const QString& text) {
    auto* box = new QMessageBox(m_window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->setIcon(QMessageBox::Information);
    box->setWindowTitle(Wording::installTitle());
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    box->setStandardButtons(QMessageBox::Close);
    m_message = box;
    box->show();
}

// Queued, so a prompt that ends at once still ends after the write that started it.
void EnginePrompt::end(quint64 run) {
    QMetaObject::invokeMethod(
        this,
        [this, run] {
            if (run != m_run || !m_running)
                return;
            m_running = false;
            if (m_forModel) {
                m_model.setDownloadRequest(std::nullopt);
                m_model.scheduleTranslate(true);
            }
            Q_EMIT ended();
        },
        Qt::QueuedConnection);
}

} // namespace tivela
