#pragma once

#include <QProxyStyle>

namespace tivela {

// Fusion with the few parts drawn our own way, in light and dark alike: thin scroll bars
// without arrow buttons whose handle stands out from its track; a check mark alone, no box,
// on the chosen entry of a menu or a picker's list (a box on every row reads as a list to
// tick several in); and menus that scroll rather than break into columns when they are taller
// than the screen.
class ViewStyle : public QProxyStyle {
    Q_OBJECT

public:
    static constexpr int scrollBarExtent = 10;
    static constexpr int scrollBarInset = 2;
    static constexpr int handleLeast = 28;
    // The column before a picker's entries where the chosen one's check mark goes.
    static constexpr int checkColumn = 20;

    ViewStyle();

    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
    int styleHint(StyleHint hint, const QStyleOption* option = nullptr,
                  const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                         SubControl subControl, const QWidget* widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget = nullptr) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget = nullptr) const override;
};

} // namespace tivela
