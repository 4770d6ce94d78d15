#include "app/views/DictionaryCard.h"

#include "app/AppModel.h"
#include "app/Wording.h"
#include "app/views/FlowLayout.h"
#include "app/views/IconButton.h"
#include "app/views/Label.h"
#include "app/views/RoundedFill.h"
#include "app/views/TextButton.h"
#include "app/views/Theme.h"
#include "app/views/ViewServices.h"
#include "core/Languages.h"
#include "core/Lexicon.h"
#include "core/Speaker.h"
#include "platform/desktop/Opener.h"

#include <QAbstractButton>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>
#include <QVBoxLayout>

#include <cmath>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

constexpr double cornerRadius = 12;
constexpr double headingTracking = 0.6;

QString dictScheme() {
    return u"dict"_s;
}

QVBoxLayout* column(QWidget* owner, int spacing) {
    auto* layout = new QVBoxLayout(owner);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

Label* wrapped(Label* label) {
    label->setWordWrap(true);
    return label;
}

Label* elided(Label* label) {
    label->setElided(true);
    return label;
}

Label* heading(const QString& text, Theme::Tone tone) {
    auto* label = elided(new Label(text.toUpper(), 10, QFont::DemiBold, tone));
    QFont font = label->font();
    font.setLetterSpacing(QFont::AbsoluteSpacing, headingTracking);
    label->setFont(font);
    return label;
}

// A translation in a capsule: a tap looks it up the other way.
class TermButton : public QAbstractButton {
public:
    static constexpr int horizontalPadding = 8;
    static constexpr int verticalPadding = 3;

    TermButton(const DictionaryEntry::Term& term, QWidget* parent)
        : QAbstractButton(parent) {
        setText(term.text);
        setAccessibleName(term.text);
        setFont(Theme::font(13));
        setFocusPolicy(Qt::TabFocus);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        QString tip;
        if (term.sense && term.roman)
            tip = *term.sense + u" \u00B7 "_s + *term.roman;
        else
            tip = term.sense.value_or(term.roman.value_or(QString()));
        setToolTip(plainToolTip(tip));
    }

    QSize sizeHint() const override {
        const QFontMetricsF metrics(font());
        return {int(std::ceil(metrics.horizontalAdvance(text()))) + 2 * horizontalPadding,
                int(std::ceil(metrics.height())) + 2 * verticalPadding};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QColor fill = palette().color(QPalette::WindowText);
        fill.setAlphaF(isDown() ? 0.12f : 0.06f);
        fillRounded(painter, rect(), height() / 2.0, fill);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.setFont(font());
        painter.drawText(rect(), Qt::AlignCenter, text());
        if (hasFocus()) {
            const QRectF shape = QRectF(rect());
            QColor ring = Theme::accent(palette());
            ring.setAlphaF(0.5f);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(QPen(ring, 1.5));
            painter.setBrush(Qt::NoBrush);
            painter.drawRoundedRect(shape.adjusted(0.75, 0.75, -0.75, -0.75),
                                    shape.height() / 2 - 0.75, shape.height() / 2 - 0.75);
        }
    }
};

// A translation of an English text, selectable by the user. Selectable text takes a text
// document per label, laid out anew at every width a layout asks about: the line takes one only
// when the user first presses on it, which is where a selection starts.
class GlossLine : public Label {
public:
    explicit GlossLine(QWidget* parent)
        : Label(QString(), 11, QFont::Normal, Theme::Tone::secondary, parent) {
        setWordWrap(true);
        setCursor(Qt::IBeamCursor);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (!(textInteractionFlags() & Qt::TextSelectableByMouse))
            setTextInteractionFlags(Qt::TextSelectableByMouse);
        Label::mousePressEvent(event);
    }
};

} // namespace

DictionaryCard::DictionaryCard(const DictionaryEntry& entry, AppModel& model,
                               ViewServices& services, QWidget* parent)
    : QWidget(parent)
    , m_entry(entry)
    , m_model(model)
    , m_services(services)
    , m_stack(new QVBoxLayout(this)) {
    m_stack->setContentsMargins(12, 12, 12, 12);
    m_stack->setSpacing(10);
    m_stack->addWidget(makeHeader());

    if (m_entry.lemma && *m_entry.lemma != m_entry.word.toLower()) {
        m_note = wrapped(new Label(u"\u201C"_s + m_entry.word + u"\u201D is a form of \u201C"_s +
                                       *m_entry.lemma + u"\u201D"_s,
                                   11, QFont::Normal, Theme::Tone::secondary));
        m_stack->addWidget(m_note);
    }
    for (const DictionaryEntry::Group& group : std::as_const(m_entry.groups))
        m_stack->addWidget(makeGroup(group));
    showMeanings();
    m_stack->addWidget(makeFooter());

    connect(&m_model, &AppModel::glossesChanged, this, &DictionaryCard::showGlosses);
    if (m_services.speaker)
        connect(m_services.speaker, &Speaker::voicesChanged, this, &DictionaryCard::updateListen);
    if (m_services.opener)
        connect(m_services.opener, &Opener::handlerKnown, this, [this](const QString& scheme) {
            if (scheme == dictScheme())
                updateDictionary();
        });
    updateListen();
    updateDictionary();
}

QString DictionaryCard::headword() const {
    return m_entry.lemma.value_or(m_entry.word);
}

QString DictionaryCard::meaningsHeading() const {
    return m_meaningsHeading ? m_meaningsHeading->text() : QString();
}

QString DictionaryCard::formNote() const {
    return m_note ? m_note->text() : QString();
}

QAbstractButton* DictionaryCard::showAllButton() const {
    return m_showAllButton;
}

QAbstractButton* DictionaryCard::listenButton() const {
    return m_listen;
}

QAbstractButton* DictionaryCard::dictionaryButton() const {
    return m_dictionary;
}

QStringList DictionaryCard::glossLines() const {
    QStringList lines;
    for (const Gloss& gloss : m_glosses)
        if (gloss.line && !gloss.line->isHidden())
            lines << gloss.line->text();
    return lines;
}

QString DictionaryCard::dictionaryUrl(const QString& headword) {
    return u"dict://"_s + QString::fromLatin1(QUrl::toPercentEncoding(headword));
}

QWidget* DictionaryCard::makeHeader() {
    auto* header = new QWidget;
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(elided(new Label(headword(), 15, QFont::DemiBold)));
    if (m_entry.ipa) {
        row->addSpacing(8);
        row->addWidget(elided(new Label(*m_entry.ipa, 12, QFont::Normal, Theme::Tone::secondary)));
    }
    if (m_entry.roman) {
        auto* roman = elided(new Label(*m_entry.roman, 12, QFont::Normal, Theme::Tone::secondary));
        roman->setFont(Theme::font(12, QFont::Normal, true));
        row->addSpacing(8);
        row->addWidget(roman);
    }
    // The button's square has room around its symbol: it moves in by 4 of the usual 8.
    m_listen =
        new IconButton(u"speaker.wave.2"_s, u"Listen in "_s + Languages::name(m_entry.from), false);
    connect(m_listen, &QAbstractButton::clicked, this, [this] {
        if (m_services.speaker)
            m_services.speaker->speak(headword(), m_entry.from, m_services.hints());
    });
    row->addSpacing(4);
    row->addWidget(m_listen);
    row->addStretch(1);
    return header;
}

QWidget* DictionaryCard::makeGroup(const DictionaryEntry::Group& group) {
    auto* block = new QWidget;
    QVBoxLayout* stack = column(block, 5);
    stack->addWidget(heading(group.pos, Theme::Tone::violet));
    auto* capsules = new QWidget;
    auto* flow = new FlowLayout(6, capsules);
    for (const DictionaryEntry::Term& term : group.terms) {
        auto* button = new TermButton(term, capsules);
        connect(button, &QAbstractButton::clicked, this, [this, term] { lookUpBackwards(term); });
        flow->addWidget(button);
        m_terms << button;
    }
    stack->addWidget(capsules);
    return block;
}

QWidget* DictionaryCard::makeFooter() {
    auto* footer = new QWidget;
    auto* row = new QHBoxLayout(footer);
    row->setContentsMargins(0, 0, 0, 0);
    // The sources of the packs the card came from, as their headers name them.
    QStringList sources;
    for (const QString& lang : {m_entry.from, m_entry.to}) {
        for (const QString& source :
             Lexicon::shared().credit(lang).split(u" \u00B7 "_s, Qt::SkipEmptyParts)) {
            if (!sources.contains(source))
                sources << source;
        }
    }
    row->addWidget(
        new Label(Wording::dictionaryCredit(sources), 9, QFont::Normal, Theme::Tone::tertiary));
    row->addStretch(1);
    m_dictionary = new TextButton(u"Look Up in Dictionary"_s, 10);
    connect(m_dictionary, &QAbstractButton::clicked, this,
            [this] { Opener::open(dictionaryUrl(headword())); });
    row->addWidget(m_dictionary);
    return footer;
}

// The senses block is made again when the user shows all or fewer, from inside the click of
// its own button: the old block goes once that event is over.
void DictionaryCard::showMeanings() {
    int position = m_stack->count() - (m_dictionary ? 1 : 0);
    if (m_meanings) {
        position = m_stack->indexOf(m_meanings);
        m_meanings->hide();
        m_meanings->deleteLater();
    }
    m_glosses.clear();
    m_meaningsHeading = nullptr;
    m_showAllButton = nullptr;
    const QList<DictionaryEntry::Meaning>& all = m_entry.meanings;
    const bool folded = !m_showAll && all.size() > foldedMeanings;
    m_meaningsShown = int(folded ? foldedMeanings : all.size());
    if (m_meaningsShown == 0)
        return;

    auto* block = new QWidget;
    QVBoxLayout* stack = column(block, 6);
    m_meaningsHeading =
        heading(m_entry.from == u"en"_s ? u"Definitions"_s : u"Meanings"_s, Theme::Tone::secondary);
    stack->addWidget(m_meaningsHeading);
    const QFont posFont = Theme::font(11, QFont::Normal, true);
    const QFont glossFont = Theme::font(12);
    // The part of speech stands on the gloss's first baseline.
    const int posDrop =
        int(std::lround(QFontMetricsF(glossFont).ascent() - QFontMetricsF(posFont).ascent()));
    for (const DictionaryEntry::Meaning& meaning : all.first(m_meaningsShown)) {
        auto* sense = new QWidget;
        QVBoxLayout* lines = column(sense, 2);
        auto* first = new QHBoxLayout;
        first->setSpacing(6);
        if (!meaning.pos.isEmpty()) {
            auto* pos = new Label(meaning.pos, 11, QFont::Normal, Theme::Tone::secondary);
            pos->setFont(posFont);
            pos->setContentsMargins(0, std::max(0, posDrop), 0, 0);
            first->addWidget(pos, 0, Qt::AlignTop);
        }
        auto* gloss = new QVBoxLayout;
        gloss->setSpacing(1);
        gloss->addWidget(wrapped(new Label(meaning.gloss, 12)));
        gloss->addWidget(mine(meaning.gloss, sense));
        first->addLayout(gloss, 1);
        lines->addLayout(first);
        if (meaning.example) {
            auto* example =
                wrapped(new Label(*meaning.example, 12, QFont::Normal, Theme::Tone::secondary));
            example->setFont(Theme::font(12, QFont::Normal, true));
            lines->addWidget(example);
            if (m_entry.from == u"en"_s)
                lines->addWidget(mine(*meaning.example, sense));
            if (meaning.exampleTranslation) {
                lines->addWidget(wrapped(new Label(*meaning.exampleTranslation, 11, QFont::Normal,
                                                   Theme::Tone::tertiary)));
                lines->addWidget(mine(*meaning.exampleTranslation, sense));
            }
        }
        stack->addWidget(sense);
    }
    if (all.size() > foldedMeanings) {
        m_showAllButton =
            new TextButton(m_showAll ? u"Show Less"_s : u"Show All %1"_s.arg(all.size()), 11);
        connect(m_showAllButton, &QAbstractButton::clicked, this, [this] {
            // Pressed from the keyboard, the button that replaces it keeps the keyboard.
            const bool focused = m_showAllButton && m_showAllButton->hasFocus();
            m_showAll = !m_showAll;
            showMeanings();
            if (focused && m_showAllButton)
                m_showAllButton->setFocus(Qt::TabFocusReason);
        });
        stack->addWidget(m_showAllButton, 0, Qt::AlignLeft);
    }
    m_meanings = block;
    m_stack->insertWidget(position, block);
    block->show();
    showGlosses();
}

// A line for the translation of an English text, shown while the model has one.
Label* DictionaryCard::mine(const QString& english, QWidget* parent) {
    auto* line = new GlossLine(parent);
    line->hide();
    m_glosses << Gloss{english, line};
    return line;
}

void DictionaryCard::showGlosses() {
    const QHash<QString, QString>& glosses = m_model.glosses();
    for (const Gloss& gloss : std::as_const(m_glosses)) {
        if (!gloss.line)
            continue;
        const auto it = glosses.constFind(gloss.english);
        const bool known = it != glosses.cend();
        if (known)
            gloss.line->setText(*it);
        gloss.line->setVisible(known);
    }
}

// No voice is known before the speaker's first voice list arrives: asked again on each list.
void DictionaryCard::updateListen() {
    const bool speaks = m_services.speaker &&
                        m_services.speaker->resolve(headword(), m_entry.from, m_services.hints());
    m_listen->setVisible(speaks);
}

void DictionaryCard::updateDictionary() {
    const auto handled = m_services.opener ? m_services.opener->hasHandler(dictScheme())
                                           : std::optional<bool>(false);
    m_dictionary->setVisible(handled.value_or(false));
}

// Back the way the card was looked up: the card's own codes, not the shown translation's,
// which may belong to another text by now.
void DictionaryCard::lookUpBackwards(const DictionaryEntry::Term& term) {
    m_model.setSource(m_entry.to);
    m_model.setManualTarget(m_entry.from);
    m_model.setInput(term.text);
}

QSize DictionaryCard::minimumSizeHint() const {
    return {0, QWidget::minimumSizeHint().height()};
}

void DictionaryCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QColor ground = palette().color(QPalette::WindowText);
    ground.setAlphaF(0.035f);
    fillRounded(painter, rect(), cornerRadius, ground);
}

} // namespace tivela
