#pragma once

#include <QWidget>

class QAction;
class QLineEdit;

namespace tivela {

// The filter field above a list: a magnifying glass, a frameless line edit with a prompt, and
// a clear button while there is text, on a faint rounded ground. It holds no text of its own:
// what the user does reaches edited(), and the owner hands the text back through setText(),
// which leaves the field (and its undo steps) alone when the text is already there.
class SearchField : public QWidget {
    Q_OBJECT

public:
    SearchField(const QString& prompt, QWidget* parent = nullptr);

    QLineEdit* editor() const { return m_editor; }
    QString text() const;
    void setText(const QString& text);
    QAction* clearAction() const { return m_clear; }

Q_SIGNALS:
    // Typing, pasting, cutting, undoing and the clear button.
    void edited(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void recolor();

    QLineEdit* m_editor;
    QAction* m_glass;
    QAction* m_clear;
};

} // namespace tivela
