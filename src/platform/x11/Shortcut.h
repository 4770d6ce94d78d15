#pragma once

#include "core/Json.h"

#include <QString>
#include <Qt>

#include <optional>

namespace tivela {

// A global key combination as the settings keep it. The stored numbers are those the settings
// file has always held: a key is named by its position on the keyboard (T is 17, C is 8) and the
// modifiers by their masks. A table maps each position to its X keycode (evdev + 8); a key the
// table lacks is kept as extendedKeys + its X keycode, so every key can be recorded.
struct Shortcut {
    static constexpr quint32 command = 0x100;
    static constexpr quint32 shift = 0x200;
    static constexpr quint32 option = 0x800;
    static constexpr quint32 control = 0x1000;
    static constexpr quint32 extendedKeys = 0x10000;

    quint32 keyCode = 17;
    quint32 modifiers = control | option;

    // Control-Alt-T.
    static Shortcut defaultShortcut() { return {}; }

    // What people read: Qt's native text of the combination, "Ctrl+Alt+T".
    QString display() const;
    // The key's name: the character it types in the first ASCII-capable layout of the keyboard
    // on an X display, else its name on a US keyboard; "?" when it has none.
    static QString keyName(quint32 keyCode);
    // The combination of a key press, or nothing unless Control, Alt or Super is held: Shift
    // alone is not enough. The key comes from the X keycode, or, without one (no X server),
    // from Qt's key on a US keyboard.
    static std::optional<Shortcut> fromKeyPress(quint32 nativeScanCode, int qtKey,
                                                Qt::KeyboardModifiers modifiers);

    // The recorder's rule, which a stored shortcut must keep as well: Control, Alt or Super
    // held (Shift alone is not enough) on a key this keyboard can have. Registered without a
    // modifier, a shortcut would take a plain key from every program.
    bool isRecordable() const;
    // The X keycode of the key; nothing for a key this keyboard cannot have.
    std::optional<quint8> xKeycode() const;
    // The X modifier mask: Control, Mod1 (Alt), Shift, Mod4 (Super).
    quint16 xModifiers() const;
    Qt::KeyboardModifiers qtModifiers() const;

    friend bool operator==(const Shortcut&, const Shortcut&) = default;
};

QJsonObject toJson(const Shortcut& shortcut);
template <>
std::optional<Shortcut> fromJson<Shortcut>(const QJsonObject& object);

} // namespace tivela
