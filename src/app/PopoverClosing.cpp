#include "app/PopoverClosing.h"

#include "app/AppModel.h"
#include "app/InputEditor.h"
#include "app/PopoverWindow.h"
#include "app/views/EnginePrompt.h"
#include "app/views/PopoverView.h"
#include "platform/x11/Activation.h"
#include "platform/x11/OutsideWatcher.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QFileDialog>
#include <QKeyEvent>
#include <QToolTip>
#include <QWindow>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

QString describe(const TransientPolicy::Context& context) {
    const auto flag = [](bool value) { return value ? u"true"_s : u"false"_s; };
    return u"Context(shown: "_s + flag(context.shown) + u", pinned: "_s + flag(context.pinned) +
           u", sheetUp: "_s + flag(context.sheetUp) + u')';
}

} // namespace

PopoverClosing::PopoverClosing(PopoverWindow& window, AppModel& model, std::function<bool()> close,
                               std::function<void(const QString&)> note)
    : m_window(window)
    , m_model(model)
    , m_close(std::move(close))
    , m_note(std::move(note))
    , m_watcher(std::make_unique<OutsideWatcher>()) {
    connect(m_watcher.get(), &OutsideWatcher::buttonPressed, this, [this] { outsideMouse(true); });
    connect(m_watcher.get(), &OutsideWatcher::buttonReleased, this,
            [this] { outsideMouse(false); });
    // Leaving the front needs having had it. The focus an earlier close lost is told late (Qt
    // waits before it tells a focus out; the window manager hands the front on after the
    // close), and a popover shown again meanwhile must not take that for its own.
    connect(m_watcher.get(), &OutsideWatcher::activeWindowChanged, this,
            [this](quint32 active, qint64 pid, const QString& name) {
                if (active == quint32(m_window.winId()))
                    m_activeWhileShown = true;
                else if (m_activeWhileShown)
                    appActivated(pid, name);
            });
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* focused) {
        if (m_watching && focused && focused == m_window.windowHandle())
            m_activeWhileShown = true;
    });
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (m_watching && m_activeWhileShown && state != Qt::ApplicationActive) {
                    m_activeWhileShown = false;
                    resignedActive();
                }
            });
    // The keyboard on the shown popover is the front it must have had before leaving it
    // closes it, also when Qt never noticed it had gone.
    connect(&m_window, &PopoverWindow::keyboardArrived, this,
            [this] { m_activeWhileShown = m_watching; });
}

PopoverClosing::~PopoverClosing() {
    stop();
}

void PopoverClosing::start() {
    stop();
    m_watcher->start();
    qApp->installEventFilter(this);
    m_watching = true;
    m_activeWhileShown = false;
}

void PopoverClosing::stop() {
    m_policy = TransientPolicy{};
    if (!m_watching)
        return;
    m_watcher->stop();
    qApp->removeEventFilter(this);
    m_watching = false;
}

bool PopoverClosing::mayClose(bool byCommand) const {
    if (!byCommand && m_model.pinned())
        return false;
    return !context().sheetUp;
}

TransientPolicy::Context PopoverClosing::context() const {
    bool sheetUp = QApplication::activeModalWidget() != nullptr;
    const QList<QWidget*> windows = QApplication::topLevelWidgets();
    sheetUp = sheetUp || std::any_of(windows.cbegin(), windows.cend(), [](QWidget* window) {
                  return window->isVisible() && qobject_cast<QFileDialog*>(window);
              });
    sheetUp =
        sheetUp || m_window.view()->prompt().isRunning() || m_model.downloadRequest().has_value();
    return {m_window.isShown(), m_model.pinned(), sheetUp};
}

bool PopoverClosing::closedJustNow() const {
    return m_outsideClosedAt && m_model.now() - *m_outsideClosedAt < trayRaceSeconds;
}

bool PopoverClosing::eventFilter(QObject* watched, QEvent* event) {
    // One of the popover's own dialogs closed: the window manager may hand the keyboard to
    // some other window for a moment; the popover takes it back and stays.
    if (event->type() == QEvent::Hide) {
        const auto* dialog = qobject_cast<QDialog*>(watched);
        if (dialog && dialog->isWindow() && dialog->parentWidget() &&
            dialog->parentWidget()->window() == &m_window) {
            m_dialogClosedAt = m_model.now();
            m_model.scheduler().singleShot(0, this, [this] {
                if (!m_window.isShown())
                    return;
                m_window.raise();
                Activation::requestFront(m_window.windowHandle());
            });
        }
    }
    // A key reaches the window first, then its focus widget: the window's turn is the one.
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        if (auto* window = qobject_cast<QWindow*>(watched))
            return escape(window);
    }
    return QObject::eventFilter(watched, event);
}

bool PopoverClosing::pointerInPopover() const {
    if (QApplication::activePopupWidget() || QApplication::activeModalWidget() ||
        QToolTip::isVisible())
        return true;
    return m_window.isShown() && m_window.frameGeometry().contains(QCursor::pos());
}

void PopoverClosing::outsideMouse(bool down) {
    const TransientPolicy::Context now = context();
    const bool inside = pointerInPopover();
    if (down) {
        // Raw presses come from everywhere; only those outside count.
        if (!inside)
            m_policy.pressedOutside(now);
        return;
    }
    if (m_policy.released(inside, now) == TransientPolicy::Action::close)
        closeFromOutside();
}

bool PopoverClosing::escape(QWindow* window) {
    const QWindow* ours = m_window.windowHandle();
    const TransientPolicy::Context now = context();
    m_note(u"esc: "_s +
           (window ? QString::fromLatin1(window->metaObject()->className()) : u"no window"_s) +
           u", ours "_s + (window == ours ? u"true"_s : u"false"_s) + u", "_s + describe(now));
    if (!ours || window != ours)
        return false;
    auto* editor = qobject_cast<InputEditor*>(m_model.inputView());
    const bool composing = editor && editor->isComposing();
    if (m_policy.escape(composing, now) != TransientPolicy::Action::close)
        return false;
    m_close();
    return true;
}

bool PopoverClosing::dialogJustClosed() const {
    return m_dialogClosedAt && m_model.now() - *m_dialogClosedAt < dialogReturnSeconds;
}

void PopoverClosing::resignedActive() {
    m_note(u"resigned active"_s);
    if (dialogJustClosed())
        return;
    const bool held = m_watcher->isWatching() ? m_watcher->buttonHeld()
                                              : QGuiApplication::mouseButtons() != Qt::NoButton;
    if (m_policy.otherAppActivated(held, context()) == TransientPolicy::Action::close)
        closeFromOutside();
}

void PopoverClosing::appActivated(qint64 pid, const QString& name) {
    if (pid == QCoreApplication::applicationPid())
        return;
    m_note(u"activated: "_s + (name.isEmpty() ? u"?"_s : name) + u' ' + QString::number(pid));
    if (dialogJustClosed())
        return;
    const bool held = m_watcher->isWatching() && m_watcher->buttonHeld();
    if (m_policy.otherAppActivated(held, context()) == TransientPolicy::Action::close)
        closeFromOutside();
}

void PopoverClosing::closeFromOutside() {
    if (m_close())
        m_outsideClosedAt = m_model.now();
}

} // namespace tivela
