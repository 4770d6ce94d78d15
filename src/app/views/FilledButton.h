#pragma once

#include <QAbstractButton>
#include <QString>

namespace tivela {

// The prominent button: white text, with an optional symbol before it, on a rounded fill of the
// accent, darker while pressed and faded while disabled.
class FilledButton : public QAbstractButton {
    Q_OBJECT

public:
    static constexpr int cornerRadius = 7;
    static constexpr int horizontalPadding = 12;
    static constexpr int verticalPadding = 5;
    static constexpr double disabledOpacity = 0.45;

    explicit FilledButton(const QString& text, const QString& symbol = {}, double fontPixels = 13,
                          QWidget* parent = nullptr);

    QString symbol() const { return m_symbol; }
    // The colour of the fill now.
    QColor fillColor() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_symbol;
};

} // namespace tivela
