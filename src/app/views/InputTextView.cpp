#include "app/views/InputTextView.h"

#include "app/AppModel.h"
#include "app/views/Theme.h"
#include "core/TextFit.h"

#include <QAbstractSpinBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QTextLayout>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

// Qt keeps lines as paragraphs: any line end counts as one.
QString withLineFeeds(const QString& text) {
    QString result = text;
    result.replace(u"\r\n"_s, u"\n"_s);
    for (const QChar end : {QChar(u'\r'), QChar(QChar::ParagraphSeparator)})
        result.replace(end, u'\n');
    return result;
}

constexpr int placeholderGap = 2;

QString placeholder() {
    return u"Type or paste text"_s;
}

bool isTextInput(const QWidget* widget) {
    return qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QTextEdit*>(widget) ||
           qobject_cast<const QPlainTextEdit*>(widget) ||
           qobject_cast<const QAbstractSpinBox*>(widget);
}

} // namespace

InputTextView::InputTextView(AppModel& model, QWidget* parent)
    : QPlainTextEdit(parent)
    , m_model(model) {
    setObjectName(u"tivela.input"_s);
    setAccessibleName(placeholder());
    setFrameShape(QFrame::NoFrame);
    setTabChangesFocus(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document()->setDocumentMargin(0);
    // The text sits 5 pixels in from either side of the box, as a line's padding.
    setViewportMargins(5, 0, 5, 0);
    QPalette clear = palette();
    clear.setColor(QPalette::Base, Qt::transparent);
    setPalette(clear);
    viewport()->setAutoFillBackground(false);
    setFont(Theme::font(m_model.inputFontSize()));
    // Lines wrap at the box's width, yet the caret after a line's last space may reach past
    // it; Qt would then scroll the box sideways and cut the first letter off every line.
    connect(horizontalScrollBar(), &QScrollBar::rangeChanged, this, [this](int, int maximum) {
        if (maximum != 0)
            horizontalScrollBar()->setRange(0, 0);
    });
    // Told before the document lays an edit out, so a long word is never laid out the slow
    // way first. The model's own writes choose the wrap before they change the text.
    connect(document(), &QTextDocument::contentsChange, this, [this] {
        if (!m_updating)
            followWrap(document()->toRawText());
    });

    replace(m_model.input());
    document()->clearUndoRedoStacks();
    connect(&m_model, &AppModel::inputChanged, this, &InputTextView::modelChanged);
    connect(&m_model, &AppModel::inputFontSizeChanged, this, &InputTextView::followFontSize);
    connect(this, &QPlainTextEdit::textChanged, this, &InputTextView::textEdited);
    m_model.setInputView(this);
}

QString InputTextView::text() const {
    QString raw = document()->toRawText();
    raw.replace(QChar::ParagraphSeparator, u'\n');
    return raw;
}

bool InputTextView::isInWindow() const {
    return window() != this;
}

bool InputTextView::isFocused() const {
    return window()->focusWidget() == this;
}

bool InputTextView::isComposing() const {
    const QTextLayout* layout = textCursor().block().layout();
    return layout && !layout->preeditAreaText().isEmpty();
}

void InputTextView::takeFocus() {
    setFocus(Qt::OtherFocusReason);
}

// The model reads its input right after this returns, so the new text goes back at once.
void InputTextView::replaceAllText(const QString& text) {
    replace(text);
    m_model.setInput(this->text());
}

void InputTextView::modelChanged() {
    const QString wanted = m_model.input();
    if (withLineFeeds(wanted) == text()) {
        m_pending.reset();
        return;
    }
    if (isComposing()) {
        m_pending = wanted;
        return;
    }
    replace(wanted);
}

void InputTextView::textEdited() {
    // While the model's own text waits for a composition to end, what the composition commits
    // must not overwrite it.
    if (m_updating || m_pending)
        return;
    m_model.setInput(text());
}

// One step of undo, apart from the typing before and after it: the document merges a new
// change into the last one only while it is marked modified.
void InputTextView::replace(const QString& text) {
    m_updating = true;
    document()->setModified(false);
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    cursor.removeSelectedText();
    // The model's size and the wrap for the new text, taken while the box is empty: a long text
    // is laid out once, as it will be shown.
    followFontSize();
    followWrap(text);
    cursor.insertText(text);
    cursor.endEditBlock();
    document()->setModified(false);
    cursor.movePosition(QTextCursor::End);
    setTextCursor(cursor);
    m_updating = false;
}

void InputTextView::applyPending() {
    if (!m_pending || isComposing())
        return;
    const QString wanted = *std::exchange(m_pending, std::nullopt);
    if (withLineFeeds(wanted) != text())
        replace(wanted);
    m_model.setInput(wanted);
}

void InputTextView::followFontSize() {
    const QFont wanted = Theme::font(m_model.inputFontSize());
    if (wanted != font())
        setFont(wanted);
}

void InputTextView::followWrap(const QString& text) {
    const QTextOption::WrapMode wanted = TextMeasure::wrapMode(text);
    if (wanted != wordWrapMode())
        setWordWrapMode(wanted);
}

// The placeholder starts just after the caret, which would otherwise stand on its first letter.
void InputTextView::paintEvent(QPaintEvent* event) {
    QPlainTextEdit::paintEvent(event);
    if (!document()->isEmpty() || isComposing())
        return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.setFont(font());
    const QRectF first =
        blockBoundingGeometry(document()->firstBlock()).translated(contentOffset());
    painter.drawText(first.adjusted(cursorWidth() + placeholderGap, 0, 0, 0),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, placeholder());
}

void InputTextView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Qt breaks the line itself only for Shift (with a line separator); these three
        // break it with a new line.
        if (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier))
            insertPlainText(u"\n"_s);
        else
            m_model.scheduleTranslate(true);
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void InputTextView::inputMethodEvent(QInputMethodEvent* event) {
    QPlainTextEdit::inputMethodEvent(event);
    applyPending();
}

void InputTextView::focusOutEvent(QFocusEvent* event) {
    QPlainTextEdit::focusOutEvent(event);
    applyPending();
}

// Placed in a window, the editor takes the focus once the window settles, unless some other
// text already has it.
void InputTextView::showEvent(QShowEvent* event) {
    QPlainTextEdit::showEvent(event);
    if (m_shownBefore)
        return;
    m_shownBefore = true;
    QTimer::singleShot(0, this, [this] {
        const QWidget* focused = window()->focusWidget();
        if (isVisible() && (!focused || !isTextInput(focused)))
            setFocus(Qt::OtherFocusReason);
    });
}

bool InputTextView::canInsertFromMimeData(const QMimeData* source) const {
    return source->hasText() || source->hasHtml();
}

// Pasted text arrives plain; markup without a plain form is turned into text.
void InputTextView::insertFromMimeData(const QMimeData* source) {
    if (source->hasText()) {
        insertPlainText(source->text());
        return;
    }
    if (source->hasHtml())
        insertPlainText(QTextDocumentFragment::fromHtml(source->html()).toPlainText());
}

} // namespace tivela
