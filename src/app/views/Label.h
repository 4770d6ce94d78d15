#pragma once

#include "app/views/Theme.h"

#include <QLabel>

namespace tivela {

// Plain text (never markup: user, engine and pack text is shown as it is) in the interface
// font at a pixel size, in a tone that follows the palette.
class Label : public QLabel {
    Q_OBJECT

public:
    Label(const QString& text, double pixels, QFont::Weight weight = QFont::Normal,
          Theme::Tone tone = Theme::Tone::primary, QWidget* parent = nullptr);

    Theme::Tone tone() const { return m_tone; }
    void setTone(Theme::Tone tone);
    void setPixelSize(double pixels);

protected:
    void changeEvent(QEvent* event) override;

private:
    void recolor();

    Theme::Tone m_tone;
    bool m_recoloring = false;
};

// A tooltip that shows a text as it is: Qt takes a tooltip that looks like markup for markup.
QString plainToolTip(const QString& text);

} // namespace tivela
