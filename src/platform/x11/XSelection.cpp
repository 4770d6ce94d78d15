#include "platform/x11/XSelection.h"

#include <algorithm>
#include <cstring>

namespace tivela {
namespace {

// Waits for the next change of our transfer property that holds a new piece.
bool waitForPiece(XConnection& connection, xcb_atom_t property, QDeadlineTimer deadline) {
    while (const auto event = connection.nextEvent(deadline)) {
        if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
            continue;
        const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event.get());
        if (notify->window == connection.window() && notify->atom == property &&
            notify->state == XCB_PROPERTY_NEW_VALUE)
            return true;
    }
    return false;
}

XReply<xcb_get_property_reply_t> takeProperty(XConnection& connection, xcb_atom_t property) {
    return XReply<xcb_get_property_reply_t>(xcb_get_property_reply(
        connection.get(),
        xcb_get_property(connection.get(), 1, connection.window(), property,
                         XCB_GET_PROPERTY_TYPE_ANY, 0, XSelection::maxBytes / 4),
        nullptr));
}

QByteArray bytes(const xcb_get_property_reply_t* reply) {
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                      xcb_get_property_value_length(reply));
}

} // namespace

xcb_window_t XSelection::owner(XConnection& connection, xcb_atom_t selection) {
    if (!connection.isValid())
        return XCB_WINDOW_NONE;
    const XReply<xcb_get_selection_owner_reply_t> reply(xcb_get_selection_owner_reply(
        connection.get(), xcb_get_selection_owner(connection.get(), selection), nullptr));
    return reply ? reply->owner : xcb_window_t(XCB_WINDOW_NONE);
}

std::optional<QByteArray> XSelection::read(XConnection& connection, xcb_atom_t selection,
                                           xcb_atom_t target, QDeadlineTimer deadline) {
    if (!connection.isValid() || owner(connection, selection) == XCB_WINDOW_NONE)
        return std::nullopt;
    xcb_connection_t* x = connection.get();
    const xcb_window_t own = connection.window();
    const xcb_atom_t property = connection.atom("_TIVELA_TRANSFER");
    xcb_delete_property(x, own, property);
    xcb_convert_selection(x, own, selection, target, property, XCB_CURRENT_TIME);

    bool answered = false;
    while (!answered) {
        const auto event = connection.nextEvent(deadline);
        if (!event)
            return std::nullopt;
        if ((event->response_type & 0x7f) != XCB_SELECTION_NOTIFY)
            continue;
        const auto* notify = reinterpret_cast<const xcb_selection_notify_event_t*>(event.get());
        // An answer to an earlier request that ran out of time is not this one's.
        if (notify->requestor != own || notify->selection != selection || notify->target != target)
            continue;
        if (notify->property == XCB_ATOM_NONE)
            return std::nullopt;
        answered = true;
    }

    const auto reply = takeProperty(connection, property);
    if (!reply)
        return std::nullopt;
    if (reply->type != connection.atom("INCR"))
        return reply->bytes_after == 0 ? std::optional(bytes(reply.get())) : std::nullopt;
    // Deleting the announcement asked for the first piece; each piece taken asks for the next,
    // and an empty one ends the transfer.
    QByteArray data;
    for (;;) {
        if (!waitForPiece(connection, property, deadline))
            return std::nullopt;
        const auto piece = takeProperty(connection, property);
        if (!piece)
            return std::nullopt;
        if (xcb_get_property_value_length(piece.get()) == 0)
            return data;
        data += bytes(piece.get());
        if (data.size() > maxBytes)
            return std::nullopt;
    }
}

std::optional<QList<xcb_atom_t>> XSelection::targets(XConnection& connection, xcb_atom_t selection,
                                                     QDeadlineTimer deadline) {
    const auto data = read(connection, selection, connection.atom("TARGETS"), deadline);
    if (!data)
        return std::nullopt;
    QList<xcb_atom_t> atoms(data->size() / qsizetype(sizeof(xcb_atom_t)));
    std::memcpy(atoms.data(), data->constData(), atoms.size() * sizeof(xcb_atom_t));
    return atoms;
}

std::optional<QString> XSelection::text(XConnection& connection, xcb_atom_t selection,
                                        QDeadlineTimer deadline) {
    if (const auto utf8 = read(connection, selection, connection.atom("UTF8_STRING"), deadline))
        return QString::fromUtf8(*utf8);
    if (deadline.hasExpired())
        return std::nullopt;
    if (const auto latin1 = read(connection, selection, XCB_ATOM_STRING, deadline))
        return QString::fromLatin1(*latin1);
    return std::nullopt;
}

std::optional<bool> XSelection::hasText(XConnection& connection, xcb_atom_t selection,
                                        QDeadlineTimer deadline) {
    if (owner(connection, selection) == XCB_WINDOW_NONE)
        return false;
    const auto offered = targets(connection, selection, deadline);
    if (!offered)
        return std::nullopt;
    for (const xcb_atom_t target : *offered) {
        const QByteArray name = connection.atomName(target);
        if (name == "UTF8_STRING" || name == "STRING" || name == "TEXT" ||
            name.startsWith("text/plain"))
            return true;
    }
    return false;
}

std::optional<XSelection::Contents> XSelection::save(XConnection& connection, xcb_atom_t selection,
                                                     QDeadlineTimer deadline) {
    Contents contents;
    if (owner(connection, selection) == XCB_WINDOW_NONE)
        return contents;
    contents.owned = true;
    const auto offered = targets(connection, selection, deadline);
    if (!offered)
        return std::nullopt;
    static const QList<QByteArray> requests{"TARGETS",        "MULTIPLE", "TIMESTAMP",
                                            "SAVE_TARGETS",   "DELETE",   "INSERT_SELECTION",
                                            "INSERT_PROPERTY"};
    for (const xcb_atom_t target : *offered) {
        const QByteArray name = connection.atomName(target);
        const bool seen = std::any_of(contents.formats.cbegin(), contents.formats.cend(),
                                      [&](const Format& format) { return format.target == name; });
        if (name.isEmpty() || requests.contains(name) || seen)
            continue;
        if (const auto data = read(connection, selection, target, deadline))
            contents.formats.append({name, *data});
        else if (deadline.hasExpired())
            return std::nullopt;
    }
    return contents;
}

} // namespace tivela
