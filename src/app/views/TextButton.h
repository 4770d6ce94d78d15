#pragma once

#include "app/views/Theme.h"

#include <QAbstractButton>

namespace tivela {

// A borderless button that is its text, in the accent unless told otherwise.
class TextButton : public QAbstractButton {
    Q_OBJECT

public:
    TextButton(const QString& text, double pixels, QWidget* parent = nullptr);

    void setTone(Theme::Tone tone);
    void setPixelSize(double pixels);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Theme::Tone m_tone = Theme::Tone::accent;
};

} // namespace tivela
