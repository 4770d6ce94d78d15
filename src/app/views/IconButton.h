#pragma once

#include <QAbstractButton>
#include <QString>

namespace tivela {

// A borderless button that is one symbol in a 26 x 26 square, all of which takes clicks. Its
// help text is its tooltip and accessible name. Active buttons are drawn in the accent colour,
// the rest in the secondary text colour.
class IconButton : public QAbstractButton {
    Q_OBJECT

public:
    static constexpr int sidePixels = 26;
    static constexpr double symbolFontPixels = 13;

    IconButton(const QString& symbol, const QString& help, bool active, QWidget* parent = nullptr);

    QString symbol() const { return m_symbol; }
    void setSymbol(const QString& symbol);
    QString help() const { return m_help; }
    void setHelp(const QString& help);
    bool isActive() const { return m_active; }
    void setActive(bool active);
    // The colour the symbol is painted in now.
    QColor symbolColor() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    // The whole square, not only the drawing.
    bool hitButton(const QPoint& pos) const override;

private:
    QString m_symbol;
    QString m_help;
    bool m_active;
};

} // namespace tivela
