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
    // One line that ends in an ellipsis when it gets less room than its text needs, and asks
    // for no more than the ellipsis as its least width: a long word never widens its row.
    void setElided(bool elided);

    QSize minimumSizeHint() const override;

protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void recolor();

    Theme::Tone m_tone;
    bool m_recoloring = false;
    bool m_elided = false;
};

// A tooltip that shows a text as it is: Qt takes a tooltip that looks like markup for markup.
QString plainToolTip(const QString& text);

} // namespace tivela
