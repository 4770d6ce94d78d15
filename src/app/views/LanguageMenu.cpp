#include "app/views/LanguageMenu.h"

#include "app/views/Symbols.h"
#include "app/views/Theme.h"
#include "core/Languages.h"

#include <QFontMetricsF>
#include <QMenu>
#include <QPainter>
#include <QProxyStyle>

#include <cmath>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

constexpr double titlePixels = 13;
constexpr double detectedPixels = 11;
constexpr double chevronPixels = 9;
constexpr double spacing = 4;

QString detectCode() {
    return u"auto"_s;
}

// A menu entry shows its text as written: an ampersand is no mnemonic.
QString literal(const QString& text) {
    return QString(text).replace(u'&', u"&&"_s);
}

// The list of languages is longer than many screens are high, and Fusion lays an overlong menu
// out in columns that run off the screen's side: this menu scrolls instead.
class ScrollingMenuStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_Menu_Scrollable)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

LanguageMenu::LanguageMenu(bool includeDetect, QWidget* parent)
    : QAbstractButton(parent)
    , m_includeDetect(includeDetect)
    , m_menu(new QMenu(this)) {
    setFont(Theme::font(titlePixels, QFont::DemiBold));
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    auto* style = new ScrollingMenuStyle;
    style->setParent(m_menu);
    m_menu->setStyle(style);
    connect(m_menu, &QMenu::aboutToShow, this, [this] { menu(); });
    // Opened without a nested event loop: the popover may change under an open menu. It opens
    // on the selected entry, scrolled into view, where the arrow keys go on from.
    connect(this, &QAbstractButton::clicked, this, [this] {
        QMenu* shown = menu();
        shown->popup(mapToGlobal(QPoint(0, height())));
        for (QAction* action : shown->actions())
            if (action->isChecked())
                shown->setActiveAction(action);
    });
}

void LanguageMenu::setTitle(const QString& title) {
    if (title == text())
        return;
    setText(title);
    setAccessibleName(title);
    updateGeometry();
    update();
}

void LanguageMenu::setDetectedName(const std::optional<QString>& name) {
    if (name == m_detectedName)
        return;
    m_detectedName = name;
    updateGeometry();
    update();
}

void LanguageMenu::setLanguages(const QStringList& codes) {
    if (codes == m_languages)
        return;
    m_languages = codes;
    m_built = false;
}

void LanguageMenu::setSelected(const QString& code) {
    if (code == m_selected)
        return;
    m_selected = code;
    m_built = false;
}

QMenu* LanguageMenu::menu() {
    if (!m_built)
        build();
    return m_menu;
}

void LanguageMenu::build() {
    m_built = true;
    m_menu->clear();
    const auto add = [this](const QString& text, const QString& code) {
        QAction* action = m_menu->addAction(literal(text));
        action->setCheckable(true);
        action->setChecked(code == m_selected);
        connect(action, &QAction::triggered, this, [this, code] { Q_EMIT chosen(code); });
    };
    if (m_includeDetect) {
        add(u"Detect Language"_s, detectCode());
        m_menu->addSeparator();
    }
    for (const QString& code : std::as_const(m_languages))
        add(Languages::name(code), code);
}

QSize LanguageMenu::sizeHint() const {
    const QFontMetricsF metrics(font());
    double width = metrics.horizontalAdvance(text());
    if (m_detectedName)
        width +=
            spacing + QFontMetricsF(Theme::font(detectedPixels)).horizontalAdvance(*m_detectedName);
    width += spacing + Symbols::side(chevronPixels);
    return {int(std::ceil(width)) + 2, int(std::ceil(metrics.height())) + 6};
}

void LanguageMenu::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const double chevron = Symbols::side(chevronPixels);
    double room = width() - spacing - chevron - 1;
    QColor primary = palette().color(QPalette::WindowText);
    QColor secondary = Theme::secondaryText(palette());
    if (isDown()) {
        primary.setAlphaF(0.6f);
        secondary.setAlphaF(secondary.alphaF() * 0.6f);
    }

    const QFontMetricsF metrics(font());
    const QString title = metrics.elidedText(text(), Qt::ElideRight, std::max(0.0, room));
    const double titleWidth = metrics.horizontalAdvance(title);
    painter.setPen(primary);
    painter.setFont(font());
    painter.drawText(QRectF(0, 0, titleWidth + 1, height()), Qt::AlignLeft | Qt::AlignVCenter,
                     title);
    double x = titleWidth;
    room -= titleWidth;
    if (m_detectedName && room > spacing) {
        const QFont small = Theme::font(detectedPixels);
        const QFontMetricsF smallMetrics(small);
        const QString name =
            smallMetrics.elidedText(*m_detectedName, Qt::ElideRight, room - spacing);
        painter.setPen(secondary);
        painter.setFont(small);
        painter.drawText(QRectF(x + spacing, 0, room, height()), Qt::AlignLeft | Qt::AlignVCenter,
                         name);
        x += spacing + smallMetrics.horizontalAdvance(name);
    }
    Symbols::paint(painter, QRectF(x + spacing, (height() - chevron) / 2 + 1, chevron, chevron),
                   u"chevron.down"_s, secondary);
    if (hasFocus())
        Theme::paintFocusRing(painter, rect(), 4, palette());
}

} // namespace tivela
