#pragma once

namespace tivela {

// The keyboard check's hold on the Quit command: while it tests Quit, the application notes the
// request instead of ending.
struct KeyCheck {
    static inline bool catchQuit = false;
    static inline bool quitAsked = false;
};

} // namespace tivela
