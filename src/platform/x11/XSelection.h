#pragma once

#include "platform/x11/XConnection.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QString>

#include <optional>

namespace tivela {

// Reading another client's selection (PRIMARY, CLIPBOARD) over a connection of our own. The
// owner answers when it likes, or never: every read has a deadline.
namespace XSelection {

// A largest answer, against an owner that streams without end.
constexpr qsizetype maxBytes = 64 * 1024 * 1024;

struct Format {
    // The target's name: "UTF8_STRING", "text/html", "image/png".
    QByteArray target;
    QByteArray data;

    friend bool operator==(const Format&, const Format&) = default;
};

// All the selection holds, to be put back later.
struct Contents {
    bool owned = false;
    QList<Format> formats;
};

xcb_window_t owner(XConnection& connection, xcb_atom_t selection);
// The selection converted to a target; nothing when it has no owner, the owner refuses, or the
// deadline passes. Large answers arrive in pieces (INCR) and are put together.
std::optional<QByteArray> read(XConnection& connection, xcb_atom_t selection, xcb_atom_t target,
                               QDeadlineTimer deadline);
// The targets the owner offers.
std::optional<QList<xcb_atom_t>> targets(XConnection& connection, xcb_atom_t selection,
                                         QDeadlineTimer deadline);
// The selection as text (UTF-8, else Latin-1); nothing when it holds none or the deadline passes.
std::optional<QString> text(XConnection& connection, xcb_atom_t selection, QDeadlineTimer deadline);
// Whether the owner offers text, without asking for the text itself.
std::optional<bool> hasText(XConnection& connection, xcb_atom_t selection, QDeadlineTimer deadline);
// Every format of the selection but the ones that are requests rather than data (TARGETS,
// MULTIPLE, TIMESTAMP, SAVE_TARGETS, and DELETE and the INSERT ones, which change the owner's
// document); nothing when the deadline passes first. Formats the owner refuses are left out.
std::optional<Contents> save(XConnection& connection, xcb_atom_t selection,
                             QDeadlineTimer deadline);

} // namespace XSelection

} // namespace tivela
