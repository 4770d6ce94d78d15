#include "app/views/ShortcutRecorder.h"

#include "app/views/SettingsModel.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QTimer>

namespace tivela {
namespace {

bool isModifierKey(int key) {
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
        return true;
    default:
        return false;
    }
}

} // namespace

ShortcutRecorder::ShortcutRecorder(SettingsModel& settings, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_waitForKey(new QTimer(this)) {
    m_waitForKey->setSingleShot(true);
    m_waitForKey->setInterval(heldMilliseconds);
    connect(m_waitForKey, &QTimer::timeout, this, [this] { setHeldElsewhere(m_listening); });
    connect(&m_settings, &SettingsModel::recordingChanged, this,
            [this] { update(m_settings.recording()); });
    update(m_settings.recording());
}

ShortcutRecorder::~ShortcutRecorder() {
    if (m_listening)
        QCoreApplication::instance()->removeEventFilter(this);
}

void ShortcutRecorder::update(bool active) {
    if (active == m_listening)
        return;
    if (active) {
        m_settings.suspendShortcut();
        QCoreApplication::instance()->installEventFilter(this);
        m_listening = true;
        return;
    }
    // Turned off from outside (the button again, the window closed): without this the
    // application would be left with no global shortcut at all.
    stopListening();
    m_settings.restoreShortcut();
}

void ShortcutRecorder::stopListening() {
    QCoreApplication::instance()->removeEventFilter(this);
    m_listening = false;
    m_waitForKey->stop();
    setHeldElsewhere(false);
}

void ShortcutRecorder::setHeldElsewhere(bool held) {
    if (held == m_heldElsewhere)
        return;
    m_heldElsewhere = held;
    Q_EMIT keysHeldElsewhereChanged();
}

bool ShortcutRecorder::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        // Accepted, the press comes to us as a key press; only refused, an action with these
        // keys (Ctrl+W closes the window) would still fire.
        event->accept();
        return true;
    }
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto* press = static_cast<QKeyEvent*>(event);
    if (press->key() == Qt::Key_Escape) {
        finish(std::nullopt);
    } else if (isModifierKey(press->key())) {
        if (press->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
            m_waitForKey->start();
    } else {
        const std::optional<Shortcut> shortcut =
            Shortcut::fromKeyPress(press->nativeScanCode(), press->key(), press->modifiers());
        if (shortcut)
            finish(shortcut);
    }
    return true;
}

void ShortcutRecorder::finish(const std::optional<Shortcut>& shortcut) {
    stopListening();
    if (shortcut)
        m_settings.saveShortcut(*shortcut);
    else
        m_settings.restoreShortcut();
    QMetaObject::invokeMethod(
        this,
        [settings = QPointer(&m_settings)] {
            if (settings)
                settings->setRecording(false);
        },
        Qt::QueuedConnection);
}

} // namespace tivela
