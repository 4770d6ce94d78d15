#include "app/TrayIcon.h"

#include "app/AppServices.h"
#include "app/BrandArt.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QSystemTrayIcon>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tivela {

TrayIcon::TrayIcon(std::shared_ptr<Scheduler> scheduler, std::function<double()> now,
                   QObject* parent)
    : QObject(parent)
    , m_scheduler(std::move(scheduler))
    , m_now(std::move(now))
    , m_item(new QSystemTrayIcon(BrandArt::menuBarImage(), this))
    , m_madeAt(m_now()) {
    m_item->setToolTip(u"Tivela"_s);
    connect(m_item, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    Q_EMIT clicked();
            });
    if (QSystemTrayIcon::isSystemTrayAvailable() || QGuiApplication::platformName() == u"xcb")
        m_item->show();
}

TrayIcon::~TrayIcon() = default;

void TrayIcon::setMenu(QAction* settings, QAction* checkForUpdates, QAction* quit) {
    m_menu = std::make_unique<QMenu>();
    m_menu->addAction(settings);
    if (checkForUpdates)
        m_menu->addAction(checkForUpdates);
    m_menu->addSeparator();
    m_menu->addAction(quit);
    m_item->setContextMenu(m_menu.get());
}

bool TrayIcon::waitForDock(std::function<void()> ready) {
    if (!m_item->isVisible() || !QSystemTrayIcon::isSystemTrayAvailable() ||
        m_item->geometry().isEmpty() || m_item->geometry().topLeft() != QPoint(0, 0))
        return false;
    if (m_now() - m_madeAt >= dockSeconds)
        return false;
    if (!m_waiting) {
        m_waiting = true;
        m_scheduler->singleShot(pollMilliseconds, this, [this, ready = std::move(ready)] {
            m_waiting = false;
            ready();
        });
    }
    return true;
}

void TrayIcon::lookForTray() {
    const int left = std::max(0, int((m_madeAt + dockSeconds - m_now()) * 1000));
    m_scheduler->singleShot(left, this, [this] {
        if (!QSystemTrayIcon::isSystemTrayAvailable())
            Q_EMIT missing();
    });
}

std::optional<QRect> TrayIcon::anchor() const {
    // Wayland tells neither the icon's place nor the pointer's.
    if (QGuiApplication::platformName().startsWith(u"wayland") || !m_item->isVisible() ||
        !QSystemTrayIcon::isSystemTrayAvailable())
        return std::nullopt;
    // A StatusNotifierItem host tells no geometry; the click was where the pointer is.
    const QRect icon = m_item->geometry();
    if (icon.isEmpty())
        return QRect(QCursor::pos(), QSize(1, 1));
    // Right after the wait, an icon still at the corner has no place: the popover is centred.
    // Long after, the corner is where the tray put it.
    if (icon.topLeft() != QPoint(0, 0) || m_now() - m_madeAt >= 2 * dockSeconds)
        return icon;
    return std::nullopt;
}

} // namespace tivela
