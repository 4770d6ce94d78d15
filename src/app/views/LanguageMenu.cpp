#include "app/views/LanguageMenu.h"

#include "app/Wording.h"
#include "app/views/Symbols.h"
#include "app/views/Theme.h"
#include "app/views/ViewStyle.h"
#include "core/Languages.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <functional>

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

// A text for comparing first letters: accents off, case folded.
QString folded(const QString& text) {
    QString plain;
    for (const QChar c : text.normalized(QString::NormalizationForm_D))
        if (c.category() != QChar::Mark_NonSpacing)
            plain += c;
    return plain.toCaseFolded();
}

// Letters typed into an open list of languages, as one word while they come quickly.
class TypeSelect : public QObject {
public:
    // Which entry the list shows as current, and makes current.
    std::function<int()> current;
    std::function<void(int)> choose;
    std::function<QStringList()> names;

    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        if (text.size() != 1 || !text[0].isLetter() ||
            (key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)))
            return QObject::eventFilter(watched, event);
        if (!m_typed.isValid() || m_typed.elapsed() > QApplication::keyboardInputInterval())
            m_word.clear();
        m_typed.start();
        m_word += folded(text);
        const int found = LanguageMenu::typeSelect(names(), current(), m_word);
        if (found >= 0)
            choose(found);
        return true;
    }

private:
    QString m_word;
    QElapsedTimer m_typed;
};

} // namespace

LanguageMenu::LanguageMenu(bool includeDetect, QWidget* parent)
    : QAbstractButton(parent)
    , m_includeDetect(includeDetect)
    , m_menu(new QMenu(this)) {
    setFont(Theme::font(titlePixels, QFont::DemiBold));
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    auto* style = new ViewStyle;
    style->setParent(m_menu);
    m_menu->setStyle(style);
    auto* typing = new TypeSelect(m_menu);
    const auto entries = [this] {
        QList<QAction*> languages;
        for (QAction* action : m_menu->actions())
            if (!action->isSeparator())
                languages << action;
        return languages;
    };
    typing->names = [entries] {
        QStringList names;
        for (const QAction* action : entries())
            names << QString(action->text()).replace(u"&&"_s, u"&"_s);
        return names;
    };
    typing->current = [this, entries] { return int(entries().indexOf(m_menu->activeAction())); };
    typing->choose = [this, entries](int index) {
        m_menu->setActiveAction(entries().value(index));
    };
    m_menu->installEventFilter(typing);
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

void LanguageMenu::setLanguages(const QStringList& codes, const QStringList& engine) {
    if (codes == m_languages && engine == m_engine)
        return;
    m_languages = codes;
    m_engine = engine;
    m_built = false;
}

QStringList LanguageMenu::withDictionaries(const QStringList& engine) {
    return Languages::sorted(engine + Languages::lexicon().values());
}

QString LanguageMenu::entryName(const QString& code, const QStringList& engine) {
    const QString name = Languages::name(code);
    return engine.isEmpty() || engine.contains(code) ? name : Wording::dictionaryOnly(name);
}

void LanguageMenu::setSelected(const QString& code) {
    if (code == m_selected)
        return;
    m_selected = code;
    m_built = false;
}

int LanguageMenu::typeSelect(const QStringList& names, int current, const QString& typed) {
    const QString word = folded(typed);
    if (word.isEmpty() || names.isEmpty())
        return -1;
    // One letter pressed again and again goes on through the languages of that letter.
    const bool sameLetter = word.size() > 1 && word.count(word[0]) == word.size();
    const QString start = sameLetter ? word.left(1) : word;
    const int from = sameLetter ? std::max(current, -1) + 1 : 0;
    for (qsizetype step = 0; step < names.size(); ++step) {
        const int index = int((from + step) % names.size());
        if (folded(names[index]).startsWith(start))
            return index;
    }
    return -1;
}

void LanguageMenu::followTyping(QComboBox* picker) {
    auto* typing = new TypeSelect(picker);
    QAbstractItemView* list = picker->view();
    typing->names = [picker] {
        QStringList names;
        for (int i = 0; i < picker->count(); ++i)
            names << picker->itemText(i);
        return names;
    };
    typing->current = [list] { return list->currentIndex().row(); };
    typing->choose = [list](int row) {
        const QModelIndex index = list->model()->index(row, 0, list->rootIndex());
        list->setCurrentIndex(index);
        list->scrollTo(index);
    };
    list->installEventFilter(typing);
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
        // A checkable action unchecks itself when triggered again; the check follows the
        // selection, not the clicks.
        connect(action, &QAction::triggered, this, [this, action, code] {
            action->setChecked(code == m_selected);
            Q_EMIT chosen(code);
        });
    };
    if (m_includeDetect) {
        add(u"Detect Language"_s, detectCode());
        m_menu->addSeparator();
    }
    for (const QString& code : std::as_const(m_languages))
        add(entryName(code, m_engine), code);
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
