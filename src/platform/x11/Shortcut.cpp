#include "platform/x11/Shortcut.h"

#include <QGuiApplication>
#include <QJsonValue>
#include <QKeySequence>

#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <cmath>
#include <memory>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

struct Key {
    quint32 code;
    // Linux input event code: the X keycode less 8.
    quint8 evdev;
    int qtKey;
};

// The keys by position, as a US keyboard names them.
constexpr Key keys[] = {
    {0, 30, Qt::Key_A},         {1, 31, Qt::Key_S},          {2, 32, Qt::Key_D},
    {3, 33, Qt::Key_F},         {4, 35, Qt::Key_H},          {5, 34, Qt::Key_G},
    {6, 44, Qt::Key_Z},         {7, 45, Qt::Key_X},          {8, 46, Qt::Key_C},
    {9, 47, Qt::Key_V},         {11, 48, Qt::Key_B},         {12, 16, Qt::Key_Q},
    {13, 17, Qt::Key_W},        {14, 18, Qt::Key_E},         {15, 19, Qt::Key_R},
    {16, 21, Qt::Key_Y},        {17, 20, Qt::Key_T},         {18, 2, Qt::Key_1},
    {19, 3, Qt::Key_2},         {20, 4, Qt::Key_3},          {21, 5, Qt::Key_4},
    {22, 7, Qt::Key_6},         {23, 6, Qt::Key_5},          {24, 13, Qt::Key_Equal},
    {25, 10, Qt::Key_9},        {26, 8, Qt::Key_7},          {27, 12, Qt::Key_Minus},
    {28, 9, Qt::Key_8},         {29, 11, Qt::Key_0},         {30, 27, Qt::Key_BracketRight},
    {31, 24, Qt::Key_O},        {32, 22, Qt::Key_U},         {33, 26, Qt::Key_BracketLeft},
    {34, 23, Qt::Key_I},        {35, 25, Qt::Key_P},         {36, 28, Qt::Key_Return},
    {37, 38, Qt::Key_L},        {38, 36, Qt::Key_J},         {39, 40, Qt::Key_Apostrophe},
    {40, 37, Qt::Key_K},        {41, 39, Qt::Key_Semicolon}, {42, 43, Qt::Key_Backslash},
    {43, 51, Qt::Key_Comma},    {44, 53, Qt::Key_Slash},     {45, 49, Qt::Key_N},
    {46, 50, Qt::Key_M},        {47, 52, Qt::Key_Period},    {48, 15, Qt::Key_Tab},
    {49, 57, Qt::Key_Space},    {50, 41, Qt::Key_QuoteLeft}, {51, 14, Qt::Key_Backspace},
    {53, 1, Qt::Key_Escape},    {96, 63, Qt::Key_F5},        {97, 64, Qt::Key_F6},
    {98, 65, Qt::Key_F7},       {99, 61, Qt::Key_F3},        {100, 66, Qt::Key_F8},
    {101, 67, Qt::Key_F9},      {103, 87, Qt::Key_F11},      {109, 68, Qt::Key_F10},
    {111, 88, Qt::Key_F12},     {114, 110, Qt::Key_Insert},  {115, 102, Qt::Key_Home},
    {116, 104, Qt::Key_PageUp}, {117, 111, Qt::Key_Delete},  {118, 62, Qt::Key_F4},
    {119, 107, Qt::Key_End},    {120, 60, Qt::Key_F2},       {121, 109, Qt::Key_PageDown},
    {122, 59, Qt::Key_F1},      {123, 105, Qt::Key_Left},    {124, 106, Qt::Key_Right},
    {125, 108, Qt::Key_Down},   {126, 103, Qt::Key_Up},
};

constexpr quint8 firstXKeycode = 8;

const Key* byCode(quint32 code) {
    for (const Key& key : keys)
        if (key.code == code)
            return &key;
    return nullptr;
}

const Key* byXKeycode(quint32 xKeycode) {
    for (const Key& key : keys)
        if (quint32(key.evdev + firstXKeycode) == xKeycode)
            return &key;
    return nullptr;
}

// What the key types in the first layout of the X keyboard that types ASCII with it, the
// current layout tried first; nothing off X11.
std::optional<QChar> layoutCharacter(quint8 xKeycode) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || QGuiApplication::platformName() != u"xcb")
        return std::nullopt;
    xcb_connection_t* connection = x11->connection();
    const std::unique_ptr<xkb_context, decltype(&xkb_context_unref)> context(
        xkb_context_new(XKB_CONTEXT_NO_FLAGS), xkb_context_unref);
    const int32_t device = context ? xkb_x11_get_core_keyboard_device_id(connection) : -1;
    if (device < 0)
        return std::nullopt;
    const std::unique_ptr<xkb_keymap, decltype(&xkb_keymap_unref)> keymap(
        xkb_x11_keymap_new_from_device(context.get(), connection, device,
                                       XKB_KEYMAP_COMPILE_NO_FLAGS),
        xkb_keymap_unref);
    if (!keymap)
        return std::nullopt;
    const std::unique_ptr<xkb_state, decltype(&xkb_state_unref)> state(
        xkb_x11_state_new_from_device(keymap.get(), connection, device), xkb_state_unref);
    const xkb_layout_index_t current =
        state ? xkb_state_serialize_layout(state.get(), XKB_STATE_LAYOUT_EFFECTIVE) : 0;
    const xkb_layout_index_t layouts = xkb_keymap_num_layouts(keymap.get());
    for (xkb_layout_index_t step = 0; step < layouts; ++step) {
        const xkb_layout_index_t layout = (current + step) % layouts;
        const xkb_keysym_t* symbols = nullptr;
        const int count =
            xkb_keymap_key_get_syms_by_level(keymap.get(), xKeycode, layout, 0, &symbols);
        if (count < 1)
            continue;
        const uint32_t character = xkb_keysym_to_utf32(symbols[0]);
        if (character > 0x20 && character < 0x7f)
            return QChar(char16_t(character)).toUpper();
    }
    return std::nullopt;
}

std::optional<quint32> integer(const QJsonValue& value) {
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (number < 0 || number > 4294967295.0 || std::floor(number) != number)
        return std::nullopt;
    return quint32(number);
}

} // namespace

QString Shortcut::display() const {
    const QKeySequence modifierKeys(QKeyCombination(qtModifiers(), Qt::Key(0)));
    return modifierKeys.toString(QKeySequence::NativeText) + keyName(keyCode);
}

QString Shortcut::keyName(quint32 keyCode) {
    const Key* key = byCode(keyCode);
    // Keys that type no character keep their names whatever the layout.
    if (key && key->qtKey >= Qt::Key_Escape)
        return QKeySequence(key->qtKey).toString(QKeySequence::NativeText);
    const std::optional<quint8> xKeycode = Shortcut{keyCode, 0}.xKeycode();
    if (xKeycode) {
        if (const auto character = layoutCharacter(*xKeycode))
            return QString(*character);
    }
    if (key)
        return QKeySequence(key->qtKey).toString(QKeySequence::NativeText);
    return u"?"_s;
}

std::optional<Shortcut> Shortcut::fromKeyPress(quint32 nativeScanCode, int qtKey,
                                               Qt::KeyboardModifiers held) {
    Shortcut shortcut;
    shortcut.modifiers = 0;
    if (held & Qt::ControlModifier)
        shortcut.modifiers |= control;
    if (held & Qt::AltModifier)
        shortcut.modifiers |= option;
    if (held & Qt::ShiftModifier)
        shortcut.modifiers |= shift;
    if (held & Qt::MetaModifier)
        shortcut.modifiers |= command;
    if (nativeScanCode >= firstXKeycode && nativeScanCode <= 255) {
        const Key* key = byXKeycode(nativeScanCode);
        shortcut.keyCode = key ? key->code : extendedKeys + nativeScanCode;
        return shortcut.isRecordable() ? std::optional(shortcut) : std::nullopt;
    }
    for (const Key& key : keys) {
        if (key.qtKey == qtKey) {
            shortcut.keyCode = key.code;
            return shortcut.isRecordable() ? std::optional(shortcut) : std::nullopt;
        }
    }
    return std::nullopt;
}

bool Shortcut::isRecordable() const {
    return (modifiers & (control | option | command)) != 0 && xKeycode().has_value();
}

std::optional<quint8> Shortcut::xKeycode() const {
    if (const Key* key = byCode(keyCode))
        return quint8(key->evdev + firstXKeycode);
    if (keyCode >= extendedKeys + firstXKeycode && keyCode <= extendedKeys + 255)
        return quint8(keyCode - extendedKeys);
    return std::nullopt;
}

quint16 Shortcut::xModifiers() const {
    quint16 mask = 0;
    if (modifiers & shift)
        mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & control)
        mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & option)
        mask |= XCB_MOD_MASK_1;
    if (modifiers & command)
        mask |= XCB_MOD_MASK_4;
    return mask;
}

Qt::KeyboardModifiers Shortcut::qtModifiers() const {
    Qt::KeyboardModifiers held;
    if (modifiers & control)
        held |= Qt::ControlModifier;
    if (modifiers & option)
        held |= Qt::AltModifier;
    if (modifiers & shift)
        held |= Qt::ShiftModifier;
    if (modifiers & command)
        held |= Qt::MetaModifier;
    return held;
}

QJsonObject toJson(const Shortcut& shortcut) {
    return {{u"keyCode"_s, qint64(shortcut.keyCode)}, {u"modifiers"_s, qint64(shortcut.modifiers)}};
}

template <>
std::optional<Shortcut> fromJson<Shortcut>(const QJsonObject& object) {
    const auto keyCode = integer(object.value(u"keyCode"_s));
    const auto modifiers = integer(object.value(u"modifiers"_s));
    if (!keyCode || !modifiers)
        return std::nullopt;
    return Shortcut{*keyCode, *modifiers};
}

} // namespace tivela
