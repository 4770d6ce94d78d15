#include "platform/x11/XConnection.h"

#include <cerrno>
#include <cstring>
#include <poll.h>

namespace tivela {

XConnection::XConnection()
    : XConnection(qgetenv("DISPLAY")) {
}

XConnection::XConnection(const QByteArray& display) {
    if (display.isEmpty())
        return;
    xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return;
    }
    m_connection = connection;
    m_root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}

XConnection::~XConnection() {
    if (m_connection)
        xcb_disconnect(m_connection);
}

xcb_atom_t XConnection::atom(const char* name) {
    if (!m_connection)
        return XCB_ATOM_NONE;
    const XReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, uint16_t(std::strlen(name)), name),
        nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

QByteArray XConnection::atomName(xcb_atom_t atom) {
    if (!m_connection || atom == XCB_ATOM_NONE)
        return {};
    const XReply<xcb_get_atom_name_reply_t> reply(
        xcb_get_atom_name_reply(m_connection, xcb_get_atom_name(m_connection, atom), nullptr));
    if (!reply)
        return {};
    return QByteArray(xcb_get_atom_name_name(reply.get()),
                      xcb_get_atom_name_name_length(reply.get()));
}

xcb_window_t XConnection::window() {
    if (m_window == XCB_WINDOW_NONE && m_connection) {
        m_window = xcb_generate_id(m_connection);
        const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, m_root, -1, -1, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                          &events);
        xcb_flush(m_connection);
    }
    return m_window;
}

XReply<xcb_generic_event_t> XConnection::nextEvent(QDeadlineTimer deadline) {
    if (!m_connection)
        return nullptr;
    xcb_flush(m_connection);
    for (;;) {
        if (xcb_generic_event_t* event = xcb_poll_for_event(m_connection))
            return XReply<xcb_generic_event_t>(event);
        if (xcb_connection_has_error(m_connection) || deadline.hasExpired())
            return nullptr;
        pollfd entry{xcb_get_file_descriptor(m_connection), POLLIN, 0};
        const int ready = ::poll(&entry, 1, int(deadline.remainingTime()));
        if (ready < 0 && errno != EINTR)
            return nullptr;
    }
}

std::optional<xcb_timestamp_t> XConnection::serverTime(QDeadlineTimer deadline) {
    const xcb_window_t own = window();
    if (own == XCB_WINDOW_NONE)
        return std::nullopt;
    // Appending nothing to a property still tells the window, with the server's time.
    const xcb_atom_t property = atom("_TIVELA_TIME");
    xcb_change_property(m_connection, XCB_PROP_MODE_APPEND, own, property, XCB_ATOM_STRING, 8, 0,
                        nullptr);
    while (const auto event = nextEvent(deadline)) {
        if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
            continue;
        const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event.get());
        if (notify->window == own && notify->atom == property)
            return notify->time;
    }
    return std::nullopt;
}

std::optional<quint32> XConnection::cardinalProperty(xcb_window_t window, xcb_atom_t property,
                                                     xcb_atom_t type) {
    if (!m_connection || window == XCB_WINDOW_NONE)
        return std::nullopt;
    const XReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, window, property, type, 0, 1), nullptr));
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) != 4)
        return std::nullopt;
    return *static_cast<const quint32*>(xcb_get_property_value(reply.get()));
}

QByteArray XConnection::byteProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) {
    if (!m_connection || window == XCB_WINDOW_NONE)
        return {};
    const XReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, window, property, type, 0, 4096), nullptr));
    if (!reply || reply->format != 8)
        return {};
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                      xcb_get_property_value_length(reply.get()));
}

QString XConnection::className(xcb_window_t window) {
    const QList<QByteArray> names =
        byteProperty(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING).split('\0');
    return QString::fromLocal8Bit(names.size() > 1 && !names[1].isEmpty() ? names[1]
                                                                          : names.value(0));
}

namespace {

XReply<xcb_get_modifier_mapping_reply_t> modifierMapping(xcb_connection_t* connection) {
    return XReply<xcb_get_modifier_mapping_reply_t>(
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr));
}

} // namespace

QList<xcb_keycode_t> XKeyboard::keycodes(xcb_connection_t* connection, xcb_keysym_t keysym) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const XReply<xcb_get_keyboard_mapping_reply_t> mapping(xcb_get_keyboard_mapping_reply(
        connection,
        xcb_get_keyboard_mapping(connection, setup->min_keycode,
                                 setup->max_keycode - setup->min_keycode + 1),
        nullptr));
    QList<xcb_keycode_t> found;
    if (!mapping || mapping->keysyms_per_keycode == 0)
        return found;
    const xcb_keysym_t* symbols = xcb_get_keyboard_mapping_keysyms(mapping.get());
    const int count = xcb_get_keyboard_mapping_keysyms_length(mapping.get());
    const int perKeycode = mapping->keysyms_per_keycode;
    for (int i = 0; i < count; i += perKeycode)
        if (symbols[i] == keysym)
            found.append(xcb_keycode_t(setup->min_keycode + i / perKeycode));
    return found;
}

QList<xcb_keycode_t> XKeyboard::modifierKeys(xcb_connection_t* connection, quint16 mask) {
    QList<xcb_keycode_t> found;
    const auto mapping = modifierMapping(connection);
    if (!mapping)
        return found;
    const xcb_keycode_t* keys = xcb_get_modifier_mapping_keycodes(mapping.get());
    const int perModifier = mapping->keycodes_per_modifier;
    for (int modifier = 0; modifier < 8; ++modifier)
        if (mask & (1 << modifier))
            for (int i = 0; i < perModifier; ++i)
                if (keys[modifier * perModifier + i] != 0)
                    found.append(keys[modifier * perModifier + i]);
    return found;
}

quint16 XKeyboard::modifierOf(xcb_connection_t* connection, const QList<xcb_keycode_t>& keys) {
    const auto mapping = modifierMapping(connection);
    if (!mapping)
        return 0;
    const xcb_keycode_t* held = xcb_get_modifier_mapping_keycodes(mapping.get());
    const int perModifier = mapping->keycodes_per_modifier;
    for (int modifier = 0; modifier < 8; ++modifier)
        for (int i = 0; i < perModifier; ++i)
            if (held[modifier * perModifier + i] != 0 &&
                keys.contains(held[modifier * perModifier + i]))
                return quint16(1 << modifier);
    return 0;
}

} // namespace tivela
