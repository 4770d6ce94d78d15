#pragma once

#include <QFuture>
#include <QString>

#include <optional>

namespace tivela {

// What the person's display holds in CLIPBOARD and PRIMARY, read from a connection of our own,
// so that a keyboard check on a display of its own can show it never reached them.
struct PersonsClipboard {
    // A selection's owner window and its text; no text when it holds none or did not answer.
    struct Selection {
        quint32 owner = 0;
        std::optional<QString> text;
        friend bool operator==(const Selection&, const Selection&) = default;
    };

    Selection clipboard;
    Selection primary;
    friend bool operator==(const PersonsClipboard&, const PersonsClipboard&) = default;

    // How long an owner may take to answer.
    static constexpr int readMilliseconds = 2000;

    // Read on a thread of its own, which a display that never answers may keep: the caller
    // waits for the future within a bound. Nothing without a display, or when it cannot be
    // reached.
    static QFuture<std::optional<PersonsClipboard>> read(const QString& display);
};

} // namespace tivela
