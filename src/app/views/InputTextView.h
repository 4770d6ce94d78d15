#pragma once

#include "app/InputEditor.h"

#include <QPlainTextEdit>

#include <optional>

namespace tivela {

class AppModel;

// The input box of the translate tab: a plain-text editor bound to the model's input, with its
// own undo stack. The model's writes replace the whole text as one step of undo; Return
// translates at once, while Shift, Control or Alt with Return break the line. Its font follows
// the model's input size without touching undo. The model reaches it as its input editor.
class InputTextView : public QPlainTextEdit, public InputEditor {
    Q_OBJECT
    Q_INTERFACES(tivela::InputEditor)

public:
    explicit InputTextView(AppModel& model, QWidget* parent = nullptr);

    // The whole text as the model holds it: line feeds between lines, every other character
    // (a no-break space too) as typed.
    QString text() const;

    bool isInWindow() const override;
    bool isFocused() const override;
    bool isComposing() const override;
    void takeFocus() override;
    void replaceAllText(const QString& text) override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    void modelChanged();
    void textEdited();
    void replace(const QString& text);
    void applyPending();
    void followFontSize();
    // The wrap a text needs (TextMeasure::wrapMode).
    void followWrap(const QString& text);

    AppModel& m_model;
    bool m_updating = false;
    // The model's text, held back while an input method composes.
    std::optional<QString> m_pending;
    bool m_shownBefore = false;
};

} // namespace tivela
