#pragma once

#include <QObject>
#include <QString>

namespace tivela {

// The input editor as the model drives it. The editor widget implements it and names it with
// Q_INTERFACES, so the model can hold the widget weakly and find this interface on it.
class InputEditor {
public:
    virtual ~InputEditor() = default;

    // Whether the editor sits in a window, so that it can take the keyboard focus.
    virtual bool isInWindow() const = 0;
    virtual bool isFocused() const = 0;
    // Whether an input method is composing text in it (marked text not yet committed).
    virtual bool isComposing() const = 0;
    virtual void takeFocus() = 0;
    // Replaces the whole text as a paste of plain text would, as one step of undo.
    virtual void replaceAllText(const QString& text) = 0;
};

} // namespace tivela

Q_DECLARE_INTERFACE(tivela::InputEditor, "dev.quorvanta.Tivela.InputEditor")
