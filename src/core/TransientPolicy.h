#pragma once

namespace tivela {

// When the tray popover closes in reaction to what the user does outside it. A press outside
// only arms closing; the release outside closes, so a drag that starts outside is not cut off.
struct TransientPolicy {
    struct Context {
        bool shown = false;
        bool pinned = false;
        // A sheet, modal window, save dialog or the engine's install prompt is up.
        bool sheetUp = false;

        bool closable() const { return shown && !pinned && !sheetUp; }

        friend bool operator==(const Context&, const Context&) = default;
    };

    enum class Action { keep, close };

    bool closeOnRelease = false;

    Action pressedOutside(const Context& context);
    Action released(bool insideWindow, const Context& context);
    Action otherAppActivated(bool buttonHeld, const Context& context);
    Action escape(bool composing, const Context& context) const;
    void closed();

    friend bool operator==(const TransientPolicy&, const TransientPolicy&) = default;
};

} // namespace tivela
