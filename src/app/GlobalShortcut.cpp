#include "app/GlobalShortcut.h"

#include "app/Wording.h"
#include "core/Paths.h"
#include "platform/x11/HotKeyCenter.h"

#include <QJsonDocument>
#include <QSettings>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

HotKeyCenter& center() {
    return HotKeyCenter::shared();
}

void publish() {
    SharedSettings::setString(u"shortcutDisplay"_s, GlobalShortcut::saved().display());
}

} // namespace

GlobalShortcut& GlobalShortcut::shared() {
    static GlobalShortcut* shortcut = new GlobalShortcut;
    return *shortcut;
}

GlobalShortcut::GlobalShortcut() {
    connect(&center(), &HotKeyCenter::outcomeChanged, this, &GlobalShortcut::changed);
}

Shortcut GlobalShortcut::saved() {
    const QVariant stored = Paths::standardDefaults()->value(u"shortcut"_s);
    const QByteArray json = stored.typeId() == QMetaType::QByteArray ? stored.toByteArray()
                                                                     : stored.toString().toUtf8();
    // One written by hand, or carried over from the earlier name, may break the recorder's
    // rule: without a modifier it would take a plain letter from every program.
    const std::optional<Shortcut> read = fromJson<Shortcut>(QJsonDocument::fromJson(json).object());
    return read && read->isRecordable() ? *read : Shortcut::defaultShortcut();
}

QString GlobalShortcut::encode(const Shortcut& shortcut) {
    return QString::fromUtf8(QJsonDocument(toJson(shortcut)).toJson(QJsonDocument::Compact));
}

void GlobalShortcut::registerSaved() {
    m_registered = true;
    m_suspended = false;
    center().registerShortcut(saved());
    publish();
    Q_EMIT changed();
}

bool GlobalShortcut::choose(const Shortcut& shortcut) {
    m_registered = true;
    m_suspended = false;
    center().registerShortcut(shortcut);
    // Without an X server no shortcut can be had: the choice waits for a session that has one.
    const bool taken = center().held() == shortcut || center().lastError() == HotKeyCenter::noX11;
    if (taken) {
        Paths::standardDefaults()->setValue(u"shortcut"_s, encode(shortcut));
        m_refused.reset();
    } else {
        // Released for the recording, or never had: the saved one is held again.
        if (center().held() != saved())
            center().registerShortcut(saved());
        if (shortcut != saved())
            m_refused = shortcut;
    }
    publish();
    Q_EMIT changed();
    return taken;
}

void GlobalShortcut::retry() {
    if (m_registered && !m_suspended &&
        (center().held() != saved() || center().refusedLocks() != 0))
        center().registerShortcut(saved());
}

void GlobalShortcut::suspend() {
    m_suspended = true;
    center().unregister();
    Q_EMIT changed();
}

QString GlobalShortcut::heldJson() const {
    const std::optional<Shortcut> held = center().held();
    return held ? encode(*held) : QString();
}

QString GlobalShortcut::problem() const {
    const int error = center().lastError();
    if (error == HotKeyCenter::noX11)
        return Wording::shortcutNeedsX11();
    if (!center().held())
        return error == 0 ? QString() : Wording::shortcutInUse();
    const quint8 refused = center().refusedLocks();
    QStringList states;
    for (const quint8 state : {HotKeyCenter::noLock, HotKeyCenter::capsLock, HotKeyCenter::numLock,
                               HotKeyCenter::capsAndNumLock})
        if (refused & state)
            states << Wording::withLocks(
                state & (HotKeyCenter::capsLock | HotKeyCenter::capsAndNumLock),
                state & (HotKeyCenter::numLock | HotKeyCenter::capsAndNumLock));
    return states.isEmpty() ? QString() : Wording::shortcutPartlyInUse(states);
}

QString GlobalShortcut::popoverProblem() const {
    const QString why = problem();
    if (why.isEmpty() || center().lastError() == HotKeyCenter::noX11)
        return why;
    return why + u' ' + Wording::chooseShortcutInSettings();
}

QString GlobalShortcut::settingsProblem() const {
    const QString why = problem();
    if (!why.isEmpty() || !m_refused)
        return why;
    return Wording::shortcutRefused(m_refused->display());
}

void GlobalShortcut::watch(QObject* context, std::function<void()> changed) {
    connect(&shared(), &GlobalShortcut::changed, context, std::move(changed));
}

void GlobalShortcut::setAction(std::function<void()> action) {
    center().setAction(std::move(action));
}

} // namespace tivela
