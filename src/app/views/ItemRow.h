#pragma once

#include "core/Store.h"

#include <QFont>
#include <QHash>
#include <QList>
#include <QListView>
#include <QStringList>
#include <QStyledItemDelegate>

#include <functional>

namespace tivela {

class ItemList;

// How a list draws one stored item, a history row or a card: its text and its translation, two
// lines each at most, over a meta line with the pair, the age and, for an item saved in the
// browser, a globe; in the phrasebook a speak button at the top right. Painted, not built of
// widgets: a list of 200 rows is laid out again at every keystroke of a search.
class ItemRow : public QStyledItemDelegate {
    Q_OBJECT

public:
    static constexpr int maxLines = 2;
    static constexpr double textPixels = 13;
    static constexpr double metaPixels = 10;
    static constexpr int sidePadding = 14;
    static constexpr int verticalPadding = 8;
    static constexpr int lineGap = 3;
    static constexpr int speakSide = 26;

    explicit ItemRow(ItemList& list);

    // The lines a text fills in a width, at most two; a second line that does not hold the
    // rest of the text ends in an ellipsis. Only the beginning of a long text is laid out.
    static QStringList clamp(const QString& text, const QFont& font, double width);
    // The meta line's text before the globe: "English → Spanish · 5 min. ago".
    static QString meta(const Item& item, double now);

    // Where a row's parts are, in the rectangle of the row.
    QRect speakRect(const QRect& row) const;
    // Empty unless the item was saved in the browser.
    QRect globeRect(const QRect& row, const Item& item) const;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    struct Lines {
        QStringList text;
        QStringList translation;
        // What they were made of.
        QString forText;
        QString forTranslation;
    };

    int textWidth(int rowWidth) const;
    const Lines& lines(const Item& item, int rowWidth) const;

    ItemList& m_list;
    QFont m_textFont;
    QFont m_translationFont;
    QFont m_metaFont;
    // Line breaks by item for the width they were made for.
    mutable QHash<QString, Lines> m_lines;
    mutable int m_linesWidth = -1;
};

// A list of stored items in the order given, drawn by ItemRow. A click on a row opens it, a
// click on its speak button only speaks, a right click asks for its menu; each hands over a
// copy of the item, so a handler may replace the list or end the view. By keyboard the rows
// are reached by Tab or from the search above them (enter()); the focused row, scrolled to and
// ringed, opens with Return, asks to go with Delete and for its menu with the menu key or
// Shift+F10; Escape, or Up on the first row, leaves the rows upwards.
class ItemList : public QListView {
    Q_OBJECT

public:
    ItemList(bool speakButtons, std::function<double()> now, QWidget* parent = nullptr);

    const QList<Item>& items() const { return m_items; }
    // The rows again; the scroll position stays while the list still starts with the same item,
    // and the keyboard's row stays on its item or, when that went, on the one in its place.
    void setItems(const QList<Item>& items);
    // Takes the keyboard at the first row, or at the last.
    void enter(bool atFirst);
    // The row the keyboard is on; -1 while the list does not have the keyboard.
    int focusedRow() const;
    bool hasSpeakButtons() const { return m_speakButtons; }
    // Seconds since 1970, for the ages of the rows.
    double now() const { return m_now(); }

    QRect rowRect(int row) const;
    QRect speakRect(int row) const;
    QRect globeRect(int row) const;

Q_SIGNALS:
    void opened(const Item& item);
    void speakRequested(const Item& item);
    void menuRequested(const Item& item, const QPoint& globalPos);
    void removeRequested(const Item& item);
    void leftUpwards();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    class Model;

    bool onSpeak(int row, const QPoint& pos) const;
    // Where a menu the keyboard asked for opens: under the row's text.
    QPoint menuPoint(int row) const;

    bool m_speakButtons;
    std::function<double()> m_now;
    QList<Item> m_items;
    Model* m_model;
    ItemRow* m_row;
    int m_pressed = -1;
    bool m_pressedSpeak = false;
};

} // namespace tivela
