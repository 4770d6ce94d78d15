#include "app/views/SearchField.h"

#include "app/views/RoundedFill.h"
#include "app/views/Symbols.h"
#include "app/views/Theme.h"

#include <QAction>
#include <QEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

constexpr double fontPixels = 13;
constexpr double cornerRadius = 8;

} // namespace

SearchField::SearchField(const QString& prompt, QWidget* parent)
    : QWidget(parent)
    , m_editor(new QLineEdit(this)) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_editor->setFrame(false);
    m_editor->setFont(Theme::font(fontPixels));
    m_editor->setPlaceholderText(prompt);
    m_editor->setAccessibleName(prompt);
    m_editor->setAttribute(Qt::WA_MacShowFocusRect, false);
    m_glass = m_editor->addAction(QIcon(), QLineEdit::LeadingPosition);
    m_clear = m_editor->addAction(QIcon(), QLineEdit::TrailingPosition);
    m_clear->setText(u"Clear"_s);
    m_clear->setVisible(false);

    // The clear button empties the field as an undoable edit, which QLineEdit does not report
    // as one: the owner hears of it here.
    connect(m_clear, &QAction::triggered, this, [this] {
        m_editor->clear();
        Q_EMIT edited(QString());
    });
    connect(m_editor, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_clear->setVisible(!text.isEmpty()); });
    connect(m_editor, &QLineEdit::textEdited, this, &SearchField::edited);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 3, 6, 3);
    layout->addWidget(m_editor);
    setFocusProxy(m_editor);
    recolor();
}

QString SearchField::text() const {
    return m_editor->text();
}

// setText() empties the undo stack: only a text that differs replaces the field's.
void SearchField::setText(const QString& text) {
    if (text != m_editor->text())
        m_editor->setText(text);
}

void SearchField::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QColor ground = palette().color(QPalette::WindowText);
    ground.setAlphaF(0.05f);
    fillRounded(painter, rect(), cornerRadius, ground);
}

void SearchField::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        recolor();
}

// The field is see-through on the rounded ground; its symbols take the palette's faint tone.
void SearchField::recolor() {
    QPalette editorPalette = palette();
    editorPalette.setColor(QPalette::Base, Qt::transparent);
    m_editor->setPalette(editorPalette);
    const QColor tone = Theme::tertiaryText(palette());
    m_glass->setIcon(Symbols::icon(u"magnifyingglass"_s, tone));
    m_clear->setIcon(Symbols::icon(u"xmark.circle.fill"_s, tone));
}

} // namespace tivela
