#pragma once

#include <QWidget>

class QHBoxLayout;

namespace tivela {

class Label;

// The top row of a list tab, 44 high: its title on the left, and what the tab adds after it
// (a count, a button), before or after the free space.
class TabHeader : public QWidget {
    Q_OBJECT

public:
    static constexpr int heightPixels = 44;

    explicit TabHeader(const QString& title, QWidget* parent = nullptr);

    // Beside the title, before the free space.
    void addLeading(QWidget* widget);
    // At the right edge.
    void addTrailing(QWidget* widget);

private:
    QHBoxLayout* m_row;
    int m_leading = 1;
};

} // namespace tivela
