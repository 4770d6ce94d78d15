#pragma once

#include "app/views/FilledButton.h"

#include <QPointer>

namespace tivela {

class AppModel;

// Pastes the clipboard's text into the input and translates it. While the input is empty it is
// the filled call to action; with input it shrinks to a small borderless label. Disabled while
// the clipboard holds no text. It tells the model where it sits in the popover.
class PasteButton : public FilledButton {
    Q_OBJECT

public:
    explicit PasteButton(AppModel& model, QWidget* parent = nullptr);

    bool isLarge() const { return m_large; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void follow();
    void reportFrame();

    AppModel& m_model;
    bool m_large = true;
    // The widgets between the button and the popover, whose moves move the button too.
    QList<QPointer<QWidget>> m_watched;
};

} // namespace tivela
