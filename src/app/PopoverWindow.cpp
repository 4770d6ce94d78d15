#include "app/PopoverWindow.h"

#include "app/AppModel.h"
#include "app/views/PopoverView.h"
#include "platform/x11/Activation.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tivela {

PopoverWindow::PopoverWindow(AppModel& model, ViewServices& services)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_model(model) {
    setWindowTitle(u"Tivela"_s);
    setFixedSize(width, height);
    // Hidden as the keyboard left and shown again before Qt let go of it (it waits 400 ms for
    // the keyboard to come back), the popover's window is still Qt's focus window, and the
    // keyboard's return changes nothing Qt reports: the widgets would never learn their window
    // is active again (its keys and caret dead), nor the closing rules that it had the
    // keyboard (switching away would leave it open).
    winId();
    Activation::onKeyboardIn(windowHandle(), this, [this] {
        if (!isShown() || QGuiApplication::focusWindow() != windowHandle())
            return;
        Q_EMIT keyboardArrived();
        if (QApplication::activeWindow() == this)
            return;
        QT_WARNING_PUSH
        QT_WARNING_DISABLE_DEPRECATED
        QApplication::setActiveWindow(this);
        QT_WARNING_POP
    });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_view = new PopoverView(m_model, services, this);
    layout->addWidget(m_view);
}

PopoverWindow::~PopoverWindow() = default;

QRect PopoverWindow::frame(const std::optional<QRect>& anchor, const QRect& available) {
    const int wide = std::min(width, available.width());
    if (!anchor) {
        QRect frame(0, 0, wide, std::min(height, available.height()));
        frame.moveCenter(available.center());
        return frame;
    }
    // Never over the icon's panel: the room is what lies beside the icon's row.
    const int belowTop = std::max(available.top(), anchor->bottom() + 1 + anchorGap);
    const int roomBelow = available.bottom() + 1 - belowTop;
    const int aboveBottom = std::min(available.bottom() + 1, anchor->top() - anchorGap);
    const int roomAbove = aboveBottom - available.top();
    QRect frame(0, 0, wide, height);
    if (roomBelow >= height || (roomAbove < height && roomBelow >= roomAbove)) {
        frame.setHeight(std::clamp(roomBelow, std::min(minimumHeight, height), height));
        frame.moveTop(belowTop);
    } else {
        frame.setHeight(std::clamp(roomAbove, std::min(minimumHeight, height), height));
        frame.moveBottom(aboveBottom - 1);
    }
    frame.moveLeft(anchor->center().x() - wide / 2);
    frame.moveLeft(std::clamp(frame.left(), available.left(), available.right() + 1 - wide));
    // An icon at an edge that leaves less than the least room: within the screen, over it.
    frame.moveTop(std::clamp(frame.top(), available.top(),
                             std::max(available.top(), available.bottom() + 1 - frame.height())));
    return frame;
}

void PopoverWindow::present(const std::optional<QRect>& anchor) {
    if (!isShown()) {
        QScreen* screen = anchor ? QGuiApplication::screenAt(anchor->center()) : nullptr;
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        const QRect placed = frame(anchor, screen->availableGeometry());
        setFixedSize(placed.size());
        setGeometry(placed);
        winId();
        Activation::keepOffTaskbar(windowHandle());
        show();
        const quint64 run = ++m_clipboardRun;
        m_model.scheduler().singleShot(clipboardMilliseconds, this,
                                       [this, run] { tickClipboard(run); });
        Q_EMIT shown();
    }
    raise();
    Activation::requestFront(windowHandle());
    m_model.focusInput();
    m_model.refreshClipboard();
}

void PopoverWindow::dismiss() {
    hide();
    ++m_clipboardRun;
}

void PopoverWindow::tickClipboard(quint64 run) {
    if (run != m_clipboardRun || !isShown())
        return;
    m_model.refreshClipboard();
    m_model.scheduler().singleShot(clipboardMilliseconds, this,
                                   [this, run] { tickClipboard(run); });
}

void PopoverWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT closedByWindowManager(); }, Qt::QueuedConnection);
}

} // namespace tivela
