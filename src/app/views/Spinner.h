#pragma once

#include <QWidget>

namespace tivela {

// The indeterminate progress wheel, turning only while it is visible.
class Spinner : public QWidget {
    Q_OBJECT

public:
    // Small beside body text, mini at the end of a row of buttons.
    static constexpr int small = 16;
    static constexpr int mini = 10;

    explicit Spinner(int diameter, QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    int m_diameter;
    int m_step = 0;
    int m_timer = 0;
};

} // namespace tivela
