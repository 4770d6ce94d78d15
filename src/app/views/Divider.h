#pragma once

#include <QWidget>

namespace tivela {

// A one-pixel line across (or down) the space it is given, in a faint tone of the text colour.
class Divider : public QWidget {
    Q_OBJECT

public:
    explicit Divider(Qt::Orientation orientation = Qt::Horizontal, QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Qt::Orientation m_orientation;
};

} // namespace tivela
