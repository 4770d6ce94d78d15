#include "app/views/TranslateView.h"

#include "app/AppModel.h"
#include "app/Wording.h"
#include "app/views/Divider.h"
#include "app/views/FilledButton.h"
#include "app/views/IconButton.h"
#include "app/views/InputTextView.h"
#include "app/views/Label.h"
#include "app/views/LanguageMenu.h"
#include "app/views/PasteButton.h"
#include "app/views/Spinner.h"
#include "app/views/TabViews.h"
#include "app/views/TextButton.h"
#include "app/views/Theme.h"
#include "app/views/ViewServices.h"
#include "core/Graphemes.h"
#include "core/Languages.h"
#include "core/Speaker.h"
#include "core/TextFit.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTextDocument>
#include <QTextEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

constexpr int headerHeight = 44;
constexpr int editorHeight = 118;
// Longer inputs show how many characters they hold.
constexpr qsizetype quietLength = 200;

QString detectCode() {
    return u"auto"_s;
}

// Whether the keyboard is in a widget or below it, in its window (active or not).
bool holdsFocus(const QWidget* widget) {
    const QWidget* focused = widget ? widget->window()->focusWidget() : nullptr;
    return focused && (focused == widget || widget->isAncestorOf(focused));
}

// A box's contents with no margins and the given spacing.
template <typename Layout>
Layout* bare(QWidget* owner, int spacing = 0) {
    auto* layout = new Layout(owner);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

// A rounded card on the soft accent.
class SoftCard : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), 10, 10);
        painter.fillPath(shape, Theme::accentSoft(palette()));
    }
};

} // namespace

// The translation: plain text that wraps where it must, a word too long for a line included,
// as the font fitting measures it; selectable, and as tall as its lines.
class TranslateView::OutputText : public QTextEdit {
public:
    explicit OutputText(QWidget* parent = nullptr)
        : QTextEdit(parent) {
        setObjectName(u"tivela.output"_s);
        setReadOnly(true);
        setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        setFrameShape(QFrame::NoFrame);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setLineWrapMode(QTextEdit::WidgetWidth);
        setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        setFocusPolicy(Qt::ClickFocus);
        setContextMenuPolicy(Qt::NoContextMenu);
        document()->setDocumentMargin(0);
        m_measured.setDocumentMargin(0);
        QPalette clear = palette();
        clear.setColor(QPalette::Base, Qt::transparent);
        setPalette(clear);
        viewport()->setAutoFillBackground(false);
        QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
    }

    // An empty text keeps the height of one line.
    void show(const QString& text, double pixels) {
        const QString shown = text.isEmpty() ? u" "_s : text;
        const QFont wanted = Theme::font(pixels);
        if (shown == m_text && wanted == font())
            return;
        m_text = shown;
        m_heights.clear();
        setFont(wanted);
        // Before the text, so a long word is never laid out the slow way.
        const QTextOption::WrapMode wrap = TextMeasure::wrapMode(shown);
        setWordWrapMode(wrap);
        setPlainText(shown);
        m_measured.setDefaultFont(wanted);
        QTextOption option = m_measured.defaultTextOption();
        option.setWrapMode(wrap);
        m_measured.setDefaultTextOption(option);
        m_measured.setPlainText(shown);
        updateGeometry();
    }
    QString text() const { return m_text == u" "_s ? QString() : m_text; }

    bool hasHeightForWidth() const override { return true; }
    // The shown document answers for the width it is laid out at; another width is measured
    // on a copy, so asking never lays the shown text out again.
    int heightForWidth(int width) const override {
        if (const auto it = m_heights.constFind(width); it != m_heights.cend())
            return *it;
        QTextDocument* shown = document();
        QTextDocument* measured = shown;
        if (shown->textWidth() != width) {
            measured = &m_measured;
            measured->setTextWidth(width);
        }
        const int height = int(std::ceil(measured->size().height()));
        m_heights.insert(width, height);
        return height;
    }
    QSize sizeHint() const override { return {100, heightForWidth(std::max(1, width()))}; }
    QSize minimumSizeHint() const override { return {0, heightForWidth(std::max(1, width()))}; }

private:
    QString m_text;
    mutable QTextDocument m_measured;
    mutable QHash<int, int> m_heights;
};

TranslateView::TranslateView(AppModel& model, ViewServices& services, QWidget* parent)
    : QWidget(parent)
    , m_model(model)
    , m_services(services) {
    auto* layout = bare<QVBoxLayout>(this);
    // The popover decides the size; a box too narrow for its parts reports no width.
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    layout->addWidget(makeHeader());
    layout->addWidget(new Divider);
    layout->addWidget(makeInputArea());
    layout->addWidget(new Divider);

    m_scroll = new QScrollArea;
    // A click on a button in it leaves the keyboard where it was: the area itself never takes
    // it, as Qt would hand a click's focus to the nearest parent that takes clicks.
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->viewport()->setAutoFillBackground(false);
    auto* content = new QWidget;
    content->setAutoFillBackground(false);
    auto* stack = bare<QVBoxLayout>(content, 14);
    stack->setContentsMargins(14, 14, 14, 14);
    stack->addWidget(makeAccessibilityCard());
    m_cutNote = new Label(Wording::inputCut(), 12, QFont::Normal, Theme::Tone::secondary);
    m_cutNote->setObjectName(u"tivela.cut"_s);
    m_cutNote->setElided(true);
    stack->addWidget(m_cutNote);
    m_problemHolder = new QWidget;
    bare<QVBoxLayout>(m_problemHolder);
    stack->addWidget(m_problemHolder);
    stack->addWidget(makeOutputBlock());
    stack->addWidget(makeEmptyBlock());
    m_cardHolder = new QWidget;
    bare<QVBoxLayout>(m_cardHolder);
    stack->addWidget(m_cardHolder);
    stack->addStretch(1);
    m_scroll->setWidget(content);
    m_scroll->installEventFilter(this);
    layout->addWidget(m_scroll, 1);

    const auto on = [this](auto signal, auto... updates) {
        connect(&m_model, signal, this, [this, updates...] { (..., (this->*updates)()); });
    };
    on(&AppModel::sourceChanged, &TranslateView::updateSource, &TranslateView::updateTarget,
       &TranslateView::updateListen);
    on(&AppModel::detectedChanged, &TranslateView::updateSource, &TranslateView::updateTarget,
       &TranslateView::updateListen);
    on(&AppModel::languagesChanged, &TranslateView::updateSource, &TranslateView::updateTarget);
    on(&AppModel::manualTargetChanged, &TranslateView::updateTarget);
    on(&AppModel::pairChanged, &TranslateView::updateTarget, &TranslateView::updateListen);
    on(&AppModel::inputChanged, &TranslateView::updateInputTools, &TranslateView::updateOutputArea,
       &TranslateView::updateStar, &TranslateView::updateListen);
    on(&AppModel::outputChanged, &TranslateView::updateOutput, &TranslateView::updateStar,
       &TranslateView::updateListen);
    on(&AppModel::outputToChanged, &TranslateView::updateStar, &TranslateView::updateListen);
    on(&AppModel::outputFromChanged, &TranslateView::updateStar);
    on(&AppModel::translatingChanged, &TranslateView::updateOutput, &TranslateView::updateStar);
    on(&AppModel::outputFontSizeChanged, &TranslateView::updateOutput);
    on(&AppModel::problemChanged, &TranslateView::updateProblem);
    on(&AppModel::phrasesChanged, &TranslateView::updateStar);
    on(&AppModel::entryChanged, &TranslateView::updateCard);
    connect(&m_model, &AppModel::needsAccessibilityChanged, this,
            [this] { m_accessibility->setVisible(m_model.needsAccessibility()); });
    if (m_services.watchShortcut)
        m_services.watchShortcut(this, [this] { updateShortcutTexts(); });
    // Voices arrive a moment after the speaker starts.
    if (m_services.speaker)
        connect(m_services.speaker, &Speaker::voicesChanged, this, &TranslateView::updateListen);

    updateSource();
    updateTarget();
    updateInputTools();
    updateOutput();
    updateProblem();
    updateShortcutTexts();
    updateStar();
    updateListen();
    updateCard();
    m_accessibility->setVisible(m_model.needsAccessibility());
    m_cutNote->setVisible(m_model.inputCut());
    connect(&m_model, &AppModel::inputCutChanged, this,
            [this] { m_cutNote->setVisible(m_model.inputCut()); });
}

TranslateView::~TranslateView() = default;

int TranslateView::scrollerWidth(const QWidget* widget) {
    const QStyle* style = widget->style();
    if (style->styleHint(QStyle::SH_ScrollBar_Transient, nullptr, widget))
        return 0;
    return style->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, widget);
}

QWidget* TranslateView::makeHeader() {
    auto* header = new QWidget;
    header->setFixedHeight(headerHeight);
    auto* row = bare<QHBoxLayout>(header, 6);
    row->setContentsMargins(12, 0, 12, 0);

    m_source = new LanguageMenu(true);
    m_source->setObjectName(u"tivela.source"_s);
    connect(m_source, &LanguageMenu::chosen, &m_model, &AppModel::setSource);
    row->addWidget(m_source, 1, Qt::AlignLeft | Qt::AlignVCenter);

    auto* swap = new IconButton(u"arrow.left.arrow.right"_s, u"Swap languages"_s, true);
    swap->setObjectName(u"tivela.swap"_s);
    swap->setFixedSize(30, 26);
    swap->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    connect(swap, &QAbstractButton::clicked, &m_model, &AppModel::swap);
    row->addWidget(swap);

    m_target = new LanguageMenu(false);
    m_target->setObjectName(u"tivela.target"_s);
    connect(m_target, &LanguageMenu::chosen, &m_model, &AppModel::setTarget);
    row->addWidget(m_target, 1, Qt::AlignRight | Qt::AlignVCenter);
    return header;
}

QWidget* TranslateView::makeInputArea() {
    auto* area = new QWidget;
    auto* column = bare<QVBoxLayout>(area);

    m_editorBox = new QWidget;
    m_editorBox->setFixedHeight(editorHeight);
    auto* box = bare<QVBoxLayout>(m_editorBox);
    box->setContentsMargins(9, 8, 9, 0);
    m_editor = new InputTextView(m_model);
    box->addWidget(m_editor);
    m_editorBox->installEventFilter(this);
    column->addWidget(m_editorBox);

    auto* toolbar = new QWidget;
    auto* row = bare<QHBoxLayout>(toolbar, 2);
    row->setContentsMargins(8, 0, 8, 4);
    m_listenInput = new IconButton(u"speaker.wave.2"_s, {}, false);
    m_listenInput->setObjectName(u"tivela.listenInput"_s);
    connect(m_listenInput, &QAbstractButton::clicked, this, [this] {
        m_services.speaker->speak(m_model.input(), m_model.effectiveSource(), m_services.hints());
    });
    row->addWidget(m_listenInput);
    m_paste = new PasteButton(m_model);
    row->addWidget(m_paste, 0, Qt::AlignVCenter);
    row->addStretch(1);
    m_count = new Label({}, 11, QFont::Normal, Theme::Tone::tertiary);
    m_count->setObjectName(u"tivela.count"_s);
    row->addWidget(m_count);
    m_clear = new IconButton(u"xmark.circle.fill"_s, u"Clear"_s, false);
    m_clear->setObjectName(u"tivela.clear"_s);
    connect(m_clear, &QAbstractButton::clicked, this, [this] {
        m_model.clear();
        m_model.focusInput();
    });
    row->addWidget(m_clear);
    // The paste button keeps its place whatever the toolbar holds.
    toolbar->setMinimumHeight(IconButton::sidePixels + 4 + 4);
    column->addWidget(toolbar);
    return area;
}

QWidget* TranslateView::makeOutputBlock() {
    m_outputBlock = new QWidget;
    auto* column = bare<QVBoxLayout>(m_outputBlock, 6);
    m_output = new OutputText;
    m_outputSpinner = new Spinner(Spinner::small, m_output);
    m_outputSpinner->setObjectName(u"tivela.outputSpinner"_s);
    column->addWidget(m_output);

    m_actions = new QWidget;
    auto* row = bare<QHBoxLayout>(m_actions, 2);
    m_listenOutput = new IconButton(u"speaker.wave.2"_s, {}, false);
    m_listenOutput->setObjectName(u"tivela.listenOutput"_s);
    connect(m_listenOutput, &QAbstractButton::clicked, this, [this] {
        m_services.speaker->speak(m_model.output(), m_model.outputTo(), m_services.hints());
    });
    row->addWidget(m_listenOutput);
    auto* copy = new IconButton(u"doc.on.doc"_s, u"Copy"_s, false);
    copy->setObjectName(u"tivela.copy"_s);
    copy->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    connect(copy, &QAbstractButton::clicked, this, [this] {
        if (m_services.copy)
            m_services.copy(m_model.output());
    });
    row->addWidget(copy);
    m_star = new IconButton(u"star"_s, u"Save to Phrasebook"_s, false);
    m_star->setObjectName(u"tivela.star"_s);
    m_star->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    connect(m_star, &QAbstractButton::clicked, &m_model, &AppModel::toggleStar);
    row->addWidget(m_star);
    row->addStretch(1);
    m_rowSpinner = new Spinner(Spinner::mini);
    m_rowSpinner->setObjectName(u"tivela.rowSpinner"_s);
    row->addWidget(m_rowSpinner);
    column->addWidget(m_actions);
    return m_outputBlock;
}

QWidget* TranslateView::makeEmptyBlock() {
    m_emptyBlock = new QWidget;
    m_emptyBlock->setObjectName(u"tivela.empty"_s);
    auto* column = bare<QVBoxLayout>(m_emptyBlock, 6);
    column->setContentsMargins(0, 4, 0, 0);
    column->addWidget(new Label(Wording::translationsStayHere(), 13, QFont::Medium));
    m_shortcutHint = new Label({}, 12, QFont::Normal, Theme::Tone::secondary);
    m_shortcutHint->setWordWrap(true);
    column->addWidget(m_shortcutHint);
    m_shortcutProblem = new Label({}, 12, QFont::Normal, Theme::Tone::secondary);
    m_shortcutProblem->setObjectName(u"tivela.shortcutProblem"_s);
    m_shortcutProblem->setWordWrap(true);
    column->addWidget(m_shortcutProblem);
    return m_emptyBlock;
}

QWidget* TranslateView::makeAccessibilityCard() {
    m_accessibility = new SoftCard;
    m_accessibility->setObjectName(u"tivela.accessibility"_s);
    auto* column = bare<QVBoxLayout>(m_accessibility, 6);
    column->setContentsMargins(10, 10, 10, 10);
    column->addWidget(new Label(u"Allow Tivela to read selected text"_s, 12, QFont::DemiBold));
    m_accessibilityText = new Label({}, 11, QFont::Normal, Theme::Tone::secondary);
    m_accessibilityText->setWordWrap(true);
    column->addWidget(m_accessibilityText);
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    auto* help = new QPushButton(Wording::selectionHelp());
    help->setFont(Theme::font(11));
    help->setEnabled(bool(m_services.selectionHelp));
    connect(help, &QAbstractButton::clicked, this, [this] {
        if (m_services.selectionHelp)
            m_services.selectionHelp->trigger();
    });
    buttons->addWidget(help);
    auto* later = new TextButton(u"Not Now"_s, 11);
    connect(later, &QAbstractButton::clicked, this,
            [this] { m_model.setNeedsAccessibility(false); });
    buttons->addWidget(later);
    buttons->addStretch(1);
    column->addLayout(buttons);
    return m_accessibility;
}

// The panel for the model's problem; nothing without one.
QWidget* TranslateView::makeProblem() {
    const auto& problem = m_model.problem();
    if (!problem)
        return nullptr;
    auto* panel = new QWidget;
    panel->setObjectName(u"tivela.problem"_s);
    const QString from = Languages::name(problem->from);
    const QString to = Languages::name(problem->to);
    switch (problem->kind) {
    case AppModel::Problem::Kind::notInstalled: {
        auto* column = bare<QVBoxLayout>(panel, 8);
        auto* title = new Label(Wording::notInstalled(from, to), 13, QFont::Medium);
        title->setWordWrap(true);
        column->addWidget(title);
        auto* detail = new Label(u"Download them once; after that, translation works offline."_s,
                                 12, QFont::Normal, Theme::Tone::secondary);
        detail->setWordWrap(true);
        column->addWidget(detail);
        auto* download = new FilledButton(u"Download Languages"_s);
        download->setObjectName(u"tivela.download"_s);
        const AppModel::DownloadRequest request{problem->from, problem->to};
        connect(download, &QAbstractButton::clicked, this,
                [this, request] { m_model.setDownloadRequest(request); });
        column->addWidget(download, 0, Qt::AlignLeft);
        break;
    }
    case AppModel::Problem::Kind::unsupported: {
        auto* column = bare<QVBoxLayout>(panel);
        auto* text = new Label(u"On-device translation from "_s + from + u" to "_s + to +
                                   u" isn\u2019t available."_s,
                               13, QFont::Normal, Theme::Tone::secondary);
        text->setWordWrap(true);
        column->addWidget(text);
        break;
    }
    case AppModel::Problem::Kind::failed: {
        auto* row = bare<QHBoxLayout>(panel, 6);
        row->addWidget(new Label(u"Couldn\u2019t translate this text."_s, 13, QFont::Normal,
                                 Theme::Tone::secondary));
        auto* retry = new TextButton(u"Try Again"_s, 13);
        retry->setObjectName(u"tivela.retry"_s);
        connect(retry, &QAbstractButton::clicked, this,
                [this] { m_model.scheduleTranslate(true); });
        row->addWidget(retry);
        row->addStretch(1);
        break;
    }
    }
    return panel;
}

void TranslateView::updateSource() {
    const QString source = m_model.source();
    if (source != detectCode())
        m_source->setTitle(Languages::name(source));
    else if (const auto& detected = m_model.detected())
        m_source->setTitle(u"Auto \u00B7 "_s + Languages::name(*detected));
    else
        m_source->setTitle(u"Detect Language"_s);
    m_source->setLanguages(LanguageMenu::withDictionaries(m_model.languages()),
                           m_model.languages());
    m_source->setSelected(source);
}

void TranslateView::updateTarget() {
    const QString target =
        m_model.manualTarget().value_or(m_model.pair().target(m_model.effectiveSource()));
    m_target->setTitle(Languages::name(target));
    m_target->setLanguages(m_model.languages());
    m_target->setSelected(target);
}

void TranslateView::updateInputTools() {
    const QString& input = m_model.input();
    const bool counted = Graphemes::longerThan(input, quietLength);
    if (counted)
        m_count->setText(QString::number(Graphemes::count(input)));
    m_count->setVisible(counted);
    m_clear->setVisible(!input.isEmpty());
}

// The old panel goes once its events are over: its own Try Again may be what replaced it.
// A panel that had the keyboard hands it to the input, as a tab switch does: typing goes on
// where the text is, not into the tab bar.
void TranslateView::updateProblem() {
    const bool focused = holdsFocus(m_problem);
    if (m_problem) {
        m_problem->hide();
        m_problem->deleteLater();
    }
    m_problem = makeProblem();
    if (m_problem) {
        m_problemHolder->layout()->addWidget(m_problem);
        m_problem->show();
    }
    updateOutputArea();
    if (focused)
        m_model.focusInput();
}

void TranslateView::updateOutputArea() {
    m_problemHolder->setVisible(m_problem);
    const bool hasText = !m_model.input().trimmed().isEmpty();
    m_outputBlock->setVisible(!m_problem && hasText);
    m_emptyBlock->setVisible(!m_problem && !hasText);
}

void TranslateView::updateShortcutTexts() {
    const QString shortcut = m_services.shortcutText ? m_services.shortcutText() : QString();
    m_shortcutHint->setText(u"Press "_s + shortcut +
                            u" in any app to translate the selected text."_s);
    const QString problem = m_services.shortcutProblem ? m_services.shortcutProblem() : QString();
    m_shortcutProblem->setText(shortcut + u": "_s + problem);
    m_shortcutProblem->setVisible(!problem.isEmpty());
    m_accessibilityText->setText(u"So "_s + shortcut +
                                 u" can translate what you select in other apps. Tivela only "
                                 u"reads the selection when you press the shortcut."_s);
}

void TranslateView::updateOutput() {
    const QString& output = m_model.output();
    const bool waiting = m_model.translating() && output.isEmpty();
    m_output->show(output, m_model.outputFontSize());
    m_outputSpinner->move(
        0, std::max(0, (m_output->heightForWidth(std::max(1, m_output->width())) - Spinner::small) /
                           2));
    m_outputSpinner->setVisible(waiting);
    m_actions->setEnabled(!output.isEmpty());
    m_rowSpinner->setVisible(m_model.translating());
}

void TranslateView::updateStar() {
    const bool starred = m_model.isStarred();
    m_star->setSymbol(starred ? u"star.fill"_s : u"star"_s);
    m_star->setHelp(starred ? u"Remove from Phrasebook"_s : u"Save to Phrasebook"_s);
    m_star->setActive(starred);
}

void TranslateView::updateListen() {
    Speaker* speaker = m_services.speaker;
    const QStringList hints = speaker && m_services.hints ? m_services.hints() : QStringList();

    const QString source = m_model.effectiveSource();
    const bool inputSpoken = speaker && !m_model.input().trimmed().isEmpty() &&
                             speaker->resolve(m_model.input(), source, hints);
    m_listenInput->setVisible(inputSpoken);
    if (inputSpoken)
        m_listenInput->setHelp(u"Listen in "_s + Languages::name(source));

    const QString& output = m_model.output();
    const bool outputSpoken =
        speaker && !output.isEmpty() && speaker->resolve(output, m_model.outputTo(), hints);
    m_listenOutput->setVisible(outputSpoken);
    if (outputSpoken)
        m_listenOutput->setHelp(u"Listen in "_s + Languages::name(m_model.outputTo()));
}

// A new card for each entry, so its own state starts afresh; the old one goes once its events
// are over (a tap on it may be what changed the entry). The keyboard it had goes to the input.
void TranslateView::updateCard() {
    const bool focused = holdsFocus(m_card);
    if (m_card) {
        m_card->hide();
        m_card->deleteLater();
    }
    const TabViews::CardFactory factory = TabViews::card();
    const auto& entry = m_model.entry();
    if (entry && factory)
        m_card = factory(*entry, m_model, m_services, m_cardHolder);
    if (m_card) {
        m_cardHolder->layout()->addWidget(m_card);
        m_card->show();
    }
    m_cardHolder->setVisible(m_card);
    if (focused)
        m_model.focusInput();
}

void TranslateView::reportInputBox() {
    const QSize box = m_editorBox->size();
    m_model.setInputBox(QSizeF(std::max(0, box.width() - 18 - 10 - scrollerWidth(m_editor)),
                               std::max(0, box.height() - 12)));
}

void TranslateView::reportOutputBox() {
    const double width = std::max(0, m_scroll->width() - 28 - scrollerWidth(m_scroll));
    m_model.setOutputBox(QSizeF(width, TextMeasure::lineHeight(FontFit::output.base) * 4 + 1));
}

// The shell may have changed the shortcut since.
void TranslateView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    updateShortcutTexts();
}

bool TranslateView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize) {
        if (watched == m_editorBox)
            reportInputBox();
        else if (watched == m_scroll)
            reportOutputBox();
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace tivela
