#include "app/views/ItemRow.h"

#include "app/views/RelativeDate.h"
#include "app/views/Symbols.h"
#include "app/views/Theme.h"
#include "core/Languages.h"
#include "core/TextFit.h"

#include <QAbstractListModel>
#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QShortcut>
#include <QTextOption>
#include <QToolTip>

#include <cmath>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

constexpr int metaGap = 6;
constexpr int focusInset = 4;
constexpr double focusRadius = 8;
// Line breaks kept for at most this many texts.
constexpr qsizetype maxCachedLines = 4000;

QString browserOrigin() {
    return u"browser"_s;
}

int lineHeight(const QFont& font) {
    return int(std::ceil(QFontMetricsF(font).height()));
}

} // namespace

class ItemList::Model : public QAbstractListModel {
public:
    Model(ItemList& list)
        : QAbstractListModel(&list)
        , m_list(list) {}

    void reset(const std::function<void()>& change) {
        beginResetModel();
        change();
        endResetModel();
    }

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : int(m_list.items().size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= m_list.items().size())
            return {};
        const Item& item = m_list.items()[index.row()];
        if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
            return item.text;
        if (role == Qt::AccessibleDescriptionRole)
            return item.translation;
        return {};
    }

private:
    ItemList& m_list;
};

ItemRow::ItemRow(ItemList& list)
    : QStyledItemDelegate(&list)
    , m_list(list)
    , m_textFont(Theme::font(textPixels, QFont::Medium))
    , m_translationFont(Theme::font(textPixels))
    , m_metaFont(Theme::font(metaPixels)) {
}

QStringList ItemRow::clamp(const QString& text, const QFont& font, double width) {
    // Only the first lines are laid out: the text in growing chunks, until a chunk holds the
    // shown lines and two more, the last two of a chunk being those its cut may still move.
    QString laid;
    QList<qsizetype> ends;
    for (qsizetype chunk = 256;; chunk *= 4) {
        const bool whole = chunk >= text.size();
        laid = whole ? text : text.left(chunk - (text[chunk - 1].isHighSurrogate() ? 1 : 0));
        ends = TextMeasure::lineEnds(laid, font, width, maxLines + 2);
        if (whole || ends.size() >= maxLines + 2)
            break;
    }
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < std::min<qsizetype>(ends.size(), maxLines); ++i) {
        if (i == maxLines - 1 && ends.size() > maxLines) {
            // The rest of the text on one line, cut.
            const QString rest = laid.mid(start).replace(u'\n', u' ').trimmed();
            lines << QFontMetricsF(font).elidedText(rest, Qt::ElideRight, width);
            break;
        }
        lines << laid.mid(start, ends[i] - start).trimmed();
        start = ends[i];
    }
    return lines;
}

QString ItemRow::meta(const Item& item, double now) {
    const auto date = [](double seconds) {
        return QDateTime::fromMSecsSinceEpoch(qint64(std::llround(seconds * 1000)));
    };
    return Languages::name(item.from) + u" \u2192 "_s + Languages::name(item.to) + u"  \u00B7  "_s +
           RelativeDate::relative(date(item.created), date(now));
}

int ItemRow::textWidth(int rowWidth) const {
    const int trailing = m_list.hasSpeakButtons() ? sidePadding + speakSide + 4 : sidePadding;
    return std::max(1, rowWidth - sidePadding - trailing);
}

const ItemRow::Lines& ItemRow::lines(const Item& item, int rowWidth) const {
    const int width = textWidth(rowWidth);
    if (width != m_linesWidth || m_lines.size() > maxCachedLines) {
        m_lines.clear();
        m_linesWidth = width;
    }
    // By the item's id: a key made of its texts would copy and hash them all at every paint.
    if (const auto it = m_lines.constFind(item.id);
        it != m_lines.cend() && it->forText == item.text && it->forTranslation == item.translation)
        return *it;
    return *m_lines.insert(item.id, Lines{clamp(item.text, m_textFont, width),
                                          clamp(item.translation, m_translationFont, width),
                                          item.text, item.translation});
}

QRect ItemRow::speakRect(const QRect& row) const {
    if (!m_list.hasSpeakButtons())
        return {};
    // As far in as the header's button, so their symbols line up.
    return {row.right() + 1 - sidePadding - speakSide, row.top() + verticalPadding - 5, speakSide,
            speakSide};
}

QRect ItemRow::globeRect(const QRect& row, const Item& item) const {
    if (item.origin != browserOrigin())
        return {};
    const Lines& shown = lines(item, row.width());
    const int metaTop = row.top() + verticalPadding +
                        int(shown.text.size()) * lineHeight(m_textFont) + lineGap +
                        int(shown.translation.size()) * lineHeight(m_translationFont) + lineGap;
    const QFontMetricsF metrics(m_metaFont);
    const QString before = meta(item, m_list.now()) + u"  \u00B7  "_s;
    const int side = int(Symbols::side(metaPixels));
    const int x = row.left() + sidePadding + int(std::ceil(metrics.horizontalAdvance(before)));
    return {x, metaTop + (lineHeight(m_metaFont) - side) / 2, side, side};
}

QSize ItemRow::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const int width = m_list.viewport()->width();
    if (index.row() >= m_list.items().size())
        return {width, 0};
    const Lines& shown = lines(m_list.items()[index.row()], width);
    Q_UNUSED(option);
    return {width, verticalPadding * 2 + int(shown.text.size()) * lineHeight(m_textFont) + lineGap +
                       int(shown.translation.size()) * lineHeight(m_translationFont) + lineGap +
                       lineHeight(m_metaFont)};
}

void ItemRow::paint(QPainter* painter, const QStyleOptionViewItem& option,
                    const QModelIndex& index) const {
    if (index.row() >= m_list.items().size())
        return;
    const Item& item = m_list.items()[index.row()];
    const QRect row = option.rect;
    const QPalette& palette = m_list.palette();
    const Lines& shown = lines(item, row.width());
    const int width = textWidth(row.width());
    const int left = row.left() + sidePadding;
    int y = row.top() + verticalPadding;

    painter->save();
    // The keyboard's row: a tinted ground inside a ring, clear of the hairlines between rows.
    if (option.state & QStyle::State_HasFocus) {
        const QRectF ground = QRectF(row).adjusted(focusInset, 2, -focusInset, -2);
        QPainterPath shape;
        shape.addRoundedRect(ground, focusRadius, focusRadius);
        painter->setRenderHint(QPainter::Antialiasing);
        painter->fillPath(shape, Theme::accentSoft(palette));
        Theme::paintFocusRing(*painter, ground, focusRadius, palette);
    }
    // Each text runs in its own direction: Arabic or Hebrew from the right edge, with its
    // punctuation where that script puts it.
    const auto drawLines = [&](const QStringList& lines, const QFont& font, const QColor& color) {
        painter->setFont(font);
        painter->setPen(color);
        const int height = lineHeight(font);
        QTextOption direction(Qt::AlignLeading | Qt::AlignVCenter);
        direction.setTextDirection(lines.join(u'\n').isRightToLeft() ? Qt::RightToLeft
                                                                     : Qt::LeftToRight);
        direction.setWrapMode(QTextOption::NoWrap);
        for (const QString& line : lines) {
            painter->drawText(QRectF(left, y, width, height), line, direction);
            y += height;
        }
    };
    drawLines(shown.text, m_textFont, palette.color(QPalette::WindowText));
    y += lineGap;
    drawLines(shown.translation, m_translationFont, Theme::secondaryText(palette));
    y += lineGap;

    const QColor faint = Theme::tertiaryText(palette);
    painter->setFont(m_metaFont);
    painter->setPen(faint);
    const int metaHeight = lineHeight(m_metaFont);
    QString line = meta(item, m_list.now());
    if (item.origin == browserOrigin())
        line += u"  \u00B7"_s;
    painter->drawText(QRect(left, y, row.right() - left, metaHeight),
                      Qt::AlignLeft | Qt::AlignVCenter, line);
    if (const QRect globe = globeRect(row, item); !globe.isEmpty())
        Symbols::paint(*painter, globe, u"globe"_s, faint);

    if (const QRect speak = speakRect(row); !speak.isEmpty()) {
        const double side = Symbols::side(textPixels);
        Symbols::paint(*painter,
                       QRectF(speak.center().x() + 0.5 - side / 2,
                              speak.center().y() + 0.5 - side / 2, side, side),
                       u"speaker.wave.2"_s, Theme::secondaryText(palette));
    }

    // A hairline between rows, as far in as the text.
    if (index.row() + 1 < m_list.items().size()) {
        QColor rule = palette.color(QPalette::WindowText);
        rule.setAlphaF(Theme::isDark(palette) ? 0.12f : 0.08f);
        painter->fillRect(QRect(left, row.bottom(), row.right() - left + 1, 1), rule);
    }
    painter->restore();
}

ItemList::ItemList(bool speakButtons, std::function<double()> now, QWidget* parent)
    : QListView(parent)
    , m_speakButtons(speakButtons)
    , m_now(std::move(now))
    , m_model(new Model(*this))
    , m_row(new ItemRow(*this)) {
    setModel(m_model);
    setItemDelegate(m_row);
    setFrameShape(QFrame::NoFrame);
    setSelectionMode(QAbstractItemView::NoSelection);
    // Reached by Tab and from the search, not by a click: a click opens its row at once.
    setFocusPolicy(Qt::TabFocus);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setResizeMode(QListView::Adjust);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    viewport()->setBackgroundRole(QPalette::Window);
    // A shortcut, not a key press: the popover closes on an Escape that reaches its window,
    // and a shortcut's key never gets there.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetShortcut);
    connect(escape, &QShortcut::activated, this, &ItemList::leftUpwards);
}

void ItemList::setItems(const QList<Item>& items) {
    const bool sameStart =
        !items.isEmpty() && !m_items.isEmpty() && items.first().id == m_items.first().id;
    const int position = verticalScrollBar()->value();
    const int focused = focusedRow();
    const QString focusedId = focused >= 0 ? m_items[focused].id : QString();
    m_model->reset([&] { m_items = items; });
    if (sameStart) {
        doItemsLayout();
        verticalScrollBar()->setValue(position);
    }
    if (focused < 0 || items.isEmpty())
        return;
    const auto same = std::find_if(items.begin(), items.end(),
                                   [&focusedId](const Item& item) { return item.id == focusedId; });
    const int row =
        same != items.end() ? int(same - items.begin()) : std::min(focused, int(items.size()) - 1);
    setCurrentIndex(m_model->index(row, 0));
}

void ItemList::enter(bool atFirst) {
    if (m_items.isEmpty())
        return;
    setFocus(Qt::OtherFocusReason);
    setCurrentIndex(m_model->index(atFirst ? 0 : int(m_items.size()) - 1, 0));
}

int ItemList::focusedRow() const {
    const int row = currentIndex().row();
    return hasFocus() && row < m_items.size() ? row : -1;
}

QRect ItemList::rowRect(int row) const {
    return visualRect(m_model->index(row, 0));
}

QRect ItemList::speakRect(int row) const {
    return row < m_items.size() ? m_row->speakRect(rowRect(row)) : QRect();
}

QRect ItemList::globeRect(int row) const {
    return row < m_items.size() ? m_row->globeRect(rowRect(row), m_items[row]) : QRect();
}

bool ItemList::onSpeak(int row, const QPoint& pos) const {
    return speakRect(row).contains(pos);
}

void ItemList::mousePressEvent(QMouseEvent* event) {
    m_pressed = -1;
    if (event->button() == Qt::LeftButton) {
        m_pressed = indexAt(event->position().toPoint()).row();
        m_pressedSpeak = m_pressed >= 0 && onSpeak(m_pressed, event->position().toPoint());
    }
    event->accept();
}

// A release on the row (or button) that took the press; QListView's own clicked() would fire
// on the row under a speak button too.
void ItemList::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    const int pressed = std::exchange(m_pressed, -1);
    const QPoint pos = event->position().toPoint();
    if (event->button() != Qt::LeftButton || pressed < 0 || indexAt(pos).row() != pressed)
        return;
    const Item item = m_items[pressed];
    if (!m_pressedSpeak)
        Q_EMIT opened(item);
    else if (onSpeak(pressed, pos))
        Q_EMIT speakRequested(item);
}

// The second click of a double click does nothing more than the first did.
void ItemList::mouseDoubleClickEvent(QMouseEvent* event) {
    m_pressed = -1;
    event->accept();
}

void ItemList::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
}

QPoint ItemList::menuPoint(int row) const {
    const QRect rect = rowRect(row);
    return viewport()->mapToGlobal(
        QPoint(rect.left() + ItemRow::sidePadding, std::min(rect.bottom(), viewport()->height())));
}

void ItemList::keyPressEvent(QKeyEvent* event) {
    const int row = focusedRow();
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const bool plain = modifiers == Qt::NoModifier;
    const int key = event->key();
    if (row < 0)
        return QListView::keyPressEvent(event);
    const Item item = m_items[row];
    if (plain && (key == Qt::Key_Return || key == Qt::Key_Enter))
        Q_EMIT opened(item);
    else if (plain && key == Qt::Key_Delete)
        Q_EMIT removeRequested(item);
    else if ((plain && key == Qt::Key_Menu) ||
             (modifiers == Qt::ShiftModifier && key == Qt::Key_F10))
        Q_EMIT menuRequested(item, menuPoint(row));
    else if (plain && key == Qt::Key_Up && row == 0)
        Q_EMIT leftUpwards();
    else
        return QListView::keyPressEvent(event);
    event->accept();
}

// The desktop may send the menu key as a context menu event as well (X11 does, ahead of the
// key, which then goes to the menu): the keyboard's menu is the focused row's.
void ItemList::contextMenuEvent(QContextMenuEvent* event) {
    const bool byKeyboard = event->reason() == QContextMenuEvent::Keyboard;
    const int row = byKeyboard ? focusedRow() : indexAt(event->pos()).row();
    if (row < 0 || row >= m_items.size())
        return;
    event->accept();
    Q_EMIT menuRequested(m_items[row], byKeyboard ? menuPoint(row) : event->globalPos());
}

bool ItemList::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip)
        return QListView::viewportEvent(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const int row = indexAt(help->pos()).row();
    const QRect globe = row >= 0 ? globeRect(row) : QRect();
    if (globe.contains(help->pos()))
        QToolTip::showText(help->globalPos(), u"Saved in the browser"_s, viewport(), globe);
    else
        QToolTip::hideText();
    return true;
}

} // namespace tivela
