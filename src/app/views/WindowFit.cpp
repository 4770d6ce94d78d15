#include "app/views/WindowFit.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace tivela {
namespace {

QMargins decorationOf(const QWidget& window) {
    const QRect frame = window.frameGeometry();
    const QRect inner = window.geometry();
    if (frame == inner)
        return WindowFit::assumedDecoration;
    return {inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
            frame.bottom() - inner.bottom()};
}

QRect workArea(const QWidget& window) {
    const QScreen* screen = window.screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    // Scaled, Qt rounds the frame to pixels of its own: one to spare on each side.
    return screen ? screen->availableGeometry().marginsRemoved({1, 1, 1, 1}) : QRect();
}

void apply(QWidget& window, QSize design, bool centre) {
    const QMargins decoration = decorationOf(window);
    const QRect area = workArea(window);
    if (area.isEmpty())
        return;
    const QRect frame = WindowFit::frame(design, decoration, area, centre, window.frameGeometry());
    window.setFixedSize(frame.size().shrunkBy(decoration));
    window.move(frame.topLeft());
}

// Waits for the window manager's frame, then fits the window once more and goes.
class FramedFit : public QObject {
public:
    FramedFit(QWidget& window, QSize design)
        : QObject(&window)
        , m_window(&window)
        , m_design(design) {
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_window &&
            (event->type() == QEvent::Move || event->type() == QEvent::Resize) &&
            m_window->frameGeometry() != m_window->geometry()) {
            m_window->removeEventFilter(this);
            apply(*m_window, m_design, false);
            deleteLater();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QPointer<QWidget> m_window;
    QSize m_design;
};

} // namespace

QRect WindowFit::frame(QSize design, const QMargins& decoration, const QRect& area, bool centre,
                       const QRect& current) {
    const QSize outer = design.grownBy(decoration).boundedTo(area.size());
    QRect frame(current.topLeft(), outer);
    if (centre || !area.contains(QRect(current.topLeft(), outer)))
        frame.moveCenter(area.center());
    frame.moveLeft(std::clamp(frame.left(), area.left(), area.right() + 1 - outer.width()));
    frame.moveTop(std::clamp(frame.top(), area.top(), area.bottom() + 1 - outer.height()));
    return frame;
}

void WindowFit::fit(QWidget& window, QSize design, bool centre) {
    const bool framed = window.frameGeometry() != window.geometry();
    apply(window, design, centre);
    if (!framed)
        new FramedFit(window, design);
}

} // namespace tivela
