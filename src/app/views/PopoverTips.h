#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

class QFont;
class QWidget;

namespace tivela {

// The tooltips of a window's widgets, kept within the window's width on the screen: a long one
// wraps to the window's width rather than running past its side, and a tip is shown afresh,
// at its place and size, rather than an old one resized and moved while on screen.
class PopoverTips : public QObject {
    Q_OBJECT

public:
    // Between a tip and the window's sides.
    static constexpr int margin = 6;

    // For the widgets of the view's window.
    explicit PopoverTips(QWidget* view);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Where a tip of a size goes for a pointer at `cursor`: below it (above when the screen
    // ends first), within the window's width and the screen.
    static QPoint place(QSize tip, QPoint cursor, const QRect& window, const QRect& screen);
    // A text in lines no wider than `width` in the font: line feeds kept, words wrapped.
    static QString wrap(const QString& text, const QFont& font, int width);
    // Qt's own tip, while there is one.
    static QWidget* tipLabel();

    QWidget* m_view;
    QPoint m_offset;
};

} // namespace tivela
