#pragma once

#include <QLayout>
#include <QList>

namespace tivela {

// Lays its items out left to right in their natural sizes, like words in a paragraph: an item
// that would pass the right edge starts a new line, except the first of a line, which stays
// even when it is wider than the layout (it overflows; the layout never widens for it). One
// spacing between neighbours and between lines; lines are as tall as their tallest item and
// their items sit at the top.
class FlowLayout : public QLayout {
    Q_OBJECT

public:
    // The width the layout asks for when nothing else decides it.
    static constexpr int idealWidth = 380;

    explicit FlowLayout(int spacing, QWidget* parent = nullptr);
    ~FlowLayout() override;

    void addItem(QLayoutItem* item) override;
    int count() const override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    int spacing() const;
    void setSpacing(int spacing) override;

    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;

private:
    // Places the items in the rectangle when asked to; the height the lines take either way.
    int arrange(const QRect& rect, bool place) const;

    QList<QLayoutItem*> m_items;
    int m_spacing;
};

} // namespace tivela
