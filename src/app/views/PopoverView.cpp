#include "app/views/PopoverView.h"

#include "app/AppModel.h"
#include "app/views/CardsView.h"
#include "app/views/Divider.h"
#include "app/views/EnginePrompt.h"
#include "app/views/Label.h"
#include "app/views/PopoverTips.h"
#include "app/views/Symbols.h"
#include "app/views/TabViews.h"
#include "app/views/Theme.h"
#include "app/views/ViewServices.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

struct TabLook {
    Tab tab;
    const char* title;
    const char* symbol;
    const char* selectedSymbol;
};

constexpr std::array<TabLook, 4> tabLooks{{
    {Tab::translate, "Translate", "character.bubble", "character.bubble"},
    {Tab::history, "History", "clock.arrow.circlepath", "clock.arrow.circlepath"},
    {Tab::phrasebook, "Phrasebook", "star", "star.fill"},
    {Tab::cards, "Cards", "rectangle.on.rectangle.angled", "rectangle.on.rectangle.angled"},
}};

constexpr double tabSymbolPixels = 15;
constexpr double tabTitlePixels = 10;
constexpr double badgePixels = 9;
// A day: a card due later is looked at again then.
constexpr double longestWaitSeconds = 24 * 60 * 60;

// A borderless button that opens its menu without a nested event loop.
class MenuButton : public QAbstractButton {
public:
    MenuButton(QMenu* menu, QWidget* parent)
        : QAbstractButton(parent) {
        setFixedWidth(44);
        setToolTip(u"More"_s);
        setAccessibleName(u"More"_s);
        setFocusPolicy(Qt::TabFocus);
        connect(this, &QAbstractButton::clicked, this, [this, menu] {
            menu->popup(mapToGlobal(QPoint(0, 0)) - QPoint(0, menu->sizeHint().height()));
        });
    }

    QSize sizeHint() const override { return {44, int(Symbols::side(tabSymbolPixels)) + 12}; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QColor color = Theme::secondaryText(palette());
        if (isDown())
            color = color.darker(140);
        const double side = Symbols::side(tabSymbolPixels);
        Symbols::paint(painter, QRectF((width() - side) / 2, (height() - side) / 2, side, side),
                       u"ellipsis.circle"_s, color);
        if (hasFocus())
            Theme::paintFocusRing(painter, rect(), 6, palette());
    }
};

// Where the tab's view scrolls in a popover smaller than its design. Its keys are the tab's:
// arrows and pages that no widget took go on to the popover, which hands them to the tab.
class TabArea : public QScrollArea {
public:
    TabArea() {
        setFrameShape(QFrame::NoFrame);
        setWidgetResizable(true);
        setFocusPolicy(Qt::NoFocus);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override { event->ignore(); }
};

} // namespace

// One tab of the bar: its symbol over its title, in the accent while selected; the cards
// tab carries the count of due cards.
class PopoverView::TabButton : public QAbstractButton {
public:
    TabButton(const TabLook& look, QWidget* parent)
        : QAbstractButton(parent)
        , m_look(look) {
        setText(QString::fromLatin1(look.title));
        setAccessibleName(text());
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        setFocusPolicy(Qt::TabFocus);
        setFont(Theme::font(tabTitlePixels));
    }

    void setSelected(bool selected) {
        if (selected == m_selected)
            return;
        m_selected = selected;
        update();
    }
    bool isSelected() const { return m_selected; }
    QString symbol() const {
        return QString::fromLatin1(m_selected ? m_look.selectedSymbol : m_look.symbol);
    }
    void setBadge(int count) {
        if (count == m_badge)
            return;
        m_badge = count;
        update();
    }

    QSize sizeHint() const override {
        const QFontMetricsF metrics(font());
        return {int(std::ceil(metrics.horizontalAdvance(text()))) + 8,
                int(std::ceil(6 + Symbols::side(tabSymbolPixels) + 2 + metrics.height() + 6))};
    }
    QSize minimumSizeHint() const override { return {20, sizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor color = m_selected ? Theme::accent(palette()) : Theme::secondaryText(palette());
        if (isDown())
            color = color.darker(130);
        const QFontMetricsF metrics(font());
        const double side = Symbols::side(tabSymbolPixels);
        const double contentHeight = side + 2 + metrics.height();
        const double top = (height() - contentHeight) / 2;
        const QRectF icon((width() - side) / 2, top, side, side);
        Symbols::paint(painter, icon, symbol(), color);
        painter.setPen(color);
        painter.setFont(font());
        painter.drawText(QRectF(0, icon.bottom() + 2, width(), metrics.height()),
                         Qt::AlignHCenter | Qt::AlignTop,
                         metrics.elidedText(text(), Qt::ElideRight, width()));
        if (m_badge > 0)
            paintBadge(painter, icon);
        if (hasFocus())
            Theme::paintFocusRing(painter, rect(), 6, palette());
    }

private:
    // A capsule at the icon's top-right corner, moved right and up without taking room.
    void paintBadge(QPainter& painter, const QRectF& icon) {
        const QFont badgeFont = Theme::font(badgePixels, QFont::Bold);
        const QFontMetricsF metrics(badgeFont);
        const QString count = QString::number(m_badge);
        const double height = metrics.height() + 2;
        const double width = std::max(height, metrics.horizontalAdvance(count) + 8);
        const QRectF capsule(icon.right() - width + 10, icon.top() - 5, width, height);
        QPainterPath shape;
        shape.addRoundedRect(capsule, height / 2, height / 2);
        painter.fillPath(shape, Theme::accentFill(palette()));
        painter.setPen(Qt::white);
        painter.setFont(badgeFont);
        painter.drawText(capsule, Qt::AlignCenter, count);
    }

    TabLook m_look;
    bool m_selected = false;
    int m_badge = 0;
};

QString PopoverView::space() {
    return u"tivela.popover"_s;
}

PopoverView::PopoverView(AppModel& model, ViewServices& services, QWidget* parent)
    : QWidget(parent)
    , m_model(model)
    , m_services(services) {
    setObjectName(space());
    resize(widthPixels, heightPixels);
    setAutoFillBackground(true);
    m_prompt = new EnginePrompt(m_model, m_services, this);
    new PopoverTips(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* area = new TabArea;
    auto* holder = new QWidget;
    m_tabLayout = new QVBoxLayout(holder);
    m_tabLayout->setContentsMargins(0, 0, 0, 0);
    area->setWidget(holder);
    layout->addWidget(area, 1);
    m_notice = new Label(QString(), 12, QFont::Normal, Theme::Tone::secondary);
    m_notice->setObjectName(u"tivela.storeNotice"_s);
    m_notice->setWordWrap(true);
    m_notice->setContentsMargins(14, 6, 14, 6);
    layout->addWidget(m_notice);
    layout->addWidget(new Divider);
    layout->addWidget(makeBar());

    connect(&m_model, &AppModel::tabChanged, this, &PopoverView::showTab);
    connect(&m_model, &AppModel::pinnedChanged, this, [this] {
        m_pin->setText(m_model.pinned() ? u"Unpin Window"_s : u"Keep Window Open"_s);
    });
    connect(&m_model, &AppModel::phrasesChanged, this, &PopoverView::updateBadge);
    connect(&m_model, &AppModel::storeNoticeChanged, this, &PopoverView::updateNotice);
    showTab();
    updateBadge();
    updateNotice();
}

PopoverView::~PopoverView() = default;

QWidget* PopoverView::makeBar() {
    auto* bar = new QWidget;
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(8, 2, 8, 2);
    row->setSpacing(2);
    for (size_t i = 0; i < tabLooks.size(); ++i) {
        auto* button = new TabButton(tabLooks[i], bar);
        const Tab tab = tabLooks[i].tab;
        connect(button, &QAbstractButton::clicked, this, [this, tab] { m_model.setTab(tab); });
        row->addWidget(button, 1);
        m_buttons[i] = button;
    }
    buildMenu();
    row->addWidget(new MenuButton(m_more, bar));
    return bar;
}

void PopoverView::buildMenu() {
    m_more = new QMenu(this);
    QAction* settings = m_services.openSettings;
    QAction* quit = m_services.quit;
    // Without the shell's own, the popover's: their keys work inside the popover.
    if (!settings) {
        settings = new QAction(u"Settings\u2026"_s, this);
        settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
        addAction(settings);
    }
    if (!quit) {
        quit = new QAction(u"Quit Tivela"_s, this);
        quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
        addAction(quit);
    }
    m_more->addAction(settings);
    if (m_services.checkForUpdates)
        m_more->addAction(m_services.checkForUpdates);
    m_more->addSeparator();
    m_pin = m_more->addAction(m_model.pinned() ? u"Unpin Window"_s : u"Keep Window Open"_s);
    connect(m_pin, &QAction::triggered, this, [this] { m_model.setPinned(!m_model.pinned()); });
    m_more->addSeparator();
    m_more->addAction(quit);
}

void PopoverView::showTab() {
    const QWidget* focused = QApplication::focusWidget();
    const bool viewHadFocus = m_tabView && focused && m_tabView->isAncestorOf(focused);
    // The old view may be handling the event that switched tabs: hide it now (so its
    // shortcuts stop) and delete it once that event is over.
    if (m_tabView) {
        m_tabView->hide();
        m_tabView->deleteLater();
    }
    const Tab tab = m_model.tab();
    m_tabView = TabViews::factory(tab)(m_model, m_services, this);
    m_tabView->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_tabLayout->addWidget(m_tabView);
    m_tabView->show();
    // Hiding the old view handed its focus down the chain to a tab button, which would wear
    // the keyboard's focus ring after a click: the focus goes on into the new view.
    if (viewHadFocus && !m_tabView->isAncestorOf(QApplication::focusWidget()))
        m_tabView->setFocus(Qt::OtherFocusReason);
    for (TabButton* button : m_buttons)
        button->setSelected(button->text() == QString::fromLatin1(tabLooks[size_t(tab)].title));
}

QString PopoverView::tabSymbol(Tab tab) const {
    return m_buttons[size_t(tab)]->symbol();
}

void PopoverView::updateBadge() {
    m_badge = int(m_model.dueCards().size());
    m_buttons[size_t(Tab::cards)]->setBadge(m_badge);

    // The count grows by itself when the next card falls due.
    const double now = m_model.now();
    double next = std::numeric_limits<double>::infinity();
    for (const Item& item : m_model.phrases())
        if (item.due > now)
            next = std::min(next, item.due);
    const quint64 timer = ++m_dueTimer;
    if (!std::isfinite(next))
        return;
    const double wait = std::min(next - now, longestWaitSeconds);
    m_model.scheduler().singleShot(int(std::ceil(wait * 1000)), this, [this, timer] {
        if (timer != m_dueTimer)
            return;
        const int before = m_badge;
        updateBadge();
        // The tab under a badge that changed says the same as the badge.
        if (m_badge != before && isVisible())
            if (auto* cards = qobject_cast<CardsView*>(m_tabView.data()))
                cards->showDue();
    });
}

QString PopoverView::notice() const {
    return m_notice->isHidden() ? QString() : m_notice->text();
}

void PopoverView::updateNotice() {
    const auto& notice = m_model.storeNotice();
    m_notice->setText(notice.value_or(QString()));
    m_notice->setToolTip(plainToolTip(notice.value_or(QString())));
    m_notice->setHidden(!notice);
    m_noticeSeen = notice && isVisible();
}

void PopoverView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (std::exchange(m_noticeSeen, false))
        m_model.setStoreNotice(std::nullopt);
}

void PopoverView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_noticeSeen = m_model.storeNotice().has_value();
    updateBadge();
    if (!m_shown) {
        m_shown = true;
        m_prompt->begin();
    }
}

void PopoverView::keyPressEvent(QKeyEvent* event) {
    forward(event);
}

void PopoverView::keyReleaseEvent(QKeyEvent* event) {
    forward(event);
}

// A key reaches the popover itself only when no widget has the focus. One the tab's view
// ignores comes back here on its way up; that one goes no further.
void PopoverView::forward(QKeyEvent* event) {
    if (m_forwarding || !m_tabView) {
        event->ignore();
        return;
    }
    m_forwarding = true;
    QCoreApplication::sendEvent(m_tabView, event);
    m_forwarding = false;
}

} // namespace tivela
