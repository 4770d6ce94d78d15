#include "core/TransientPolicy.h"

namespace tivela {

TransientPolicy::Action TransientPolicy::pressedOutside(const Context& context) {
    if (context.closable())
        closeOnRelease = true;
    return Action::keep;
}

TransientPolicy::Action TransientPolicy::released(bool insideWindow, const Context& context) {
    const bool close = closeOnRelease && context.closable() && !insideWindow;
    closeOnRelease = false;
    return close ? Action::close : Action::keep;
}

TransientPolicy::Action TransientPolicy::otherAppActivated(bool buttonHeld,
                                                           const Context& context) {
    if (!context.closable())
        return Action::keep;
    if (buttonHeld) {
        closeOnRelease = true;
        return Action::keep;
    }
    return Action::close;
}

TransientPolicy::Action TransientPolicy::escape(bool composing, const Context& context) const {
    return context.closable() && !composing ? Action::close : Action::keep;
}

void TransientPolicy::closed() {
    closeOnRelease = false;
}

} // namespace tivela
