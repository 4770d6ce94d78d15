#include "app/views/CardsView.h"

#include "app/AppModel.h"
#include "app/views/Divider.h"
#include "app/views/EmptyState.h"
#include "app/views/FilledButton.h"
#include "app/views/IconButton.h"
#include "app/views/Label.h"
#include "app/views/TabHeader.h"
#include "app/views/ViewServices.h"
#include "core/Languages.h"
#include "core/Speaker.h"
#include "core/TextFit.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

constexpr int largeButtonPixels = 32;

// Wide, large, and never the focus: Space must not press a button that happens to have it.
template <typename Button>
Button* answerButton(Button* button, const QKeySequence& key) {
    button->setFocusPolicy(Qt::NoFocus);
    button->setShortcut(key);
    button->setFixedHeight(largeButtonPixels);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return button;
}

QLayout* padded(QWidget* widget, int horizontal, Qt::Alignment alignment = {}) {
    auto* row = new QHBoxLayout;
    row->setContentsMargins(horizontal, 0, horizontal, 0);
    row->addWidget(widget, 0, alignment);
    return row;
}

Label* centred(Label* label) {
    label->setAlignment(Qt::AlignHCenter);
    label->setWordWrap(true);
    return label;
}

// A phrase of the card in centred lines, at most a few: a longer one ends its last line in an
// ellipsis and shows the whole of it as its tooltip, so the buttons below keep their room.
class PhraseText : public Label {
public:
    static constexpr int maxLines = 4;

    PhraseText(const QString& text, double pixels, QFont::Weight weight, Theme::Tone tone)
        : Label(text, pixels, weight, tone)
        , m_full(text) {
        setAccessibleName(text);
        setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        QSizePolicy policy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
    }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override {
        return int(std::ceil(QFontMetricsF(font()).height())) * int(lines(width).shown.size());
    }
    QSize sizeHint() const override { return {0, heightForWidth(std::max(1, width()))}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void resizeEvent(QResizeEvent* event) override {
        Label::resizeEvent(event);
        const Lines laid = lines(width());
        setText(laid.shown.join(u'\n'));
        setToolTip(laid.cut ? plainToolTip(m_full) : QString());
    }

private:
    struct Lines {
        QStringList shown;
        bool cut = false;
    };

    Lines lines(int width) const {
        const double room = std::max(1, width);
        const QList<qsizetype> ends = TextMeasure::lineEnds(m_full, font(), room, maxLines + 1);
        Lines laid{{}, ends.size() > maxLines};
        qsizetype start = 0;
        for (qsizetype i = 0; i < std::min<qsizetype>(ends.size(), maxLines); ++i) {
            if (laid.cut && i == maxLines - 1) {
                const QString rest = m_full.mid(start).replace(u'\n', u' ').trimmed();
                laid.shown << QFontMetricsF(font()).elidedText(rest, Qt::ElideRight, room);
                break;
            }
            laid.shown << m_full.mid(start, ends[i] - start).trimmed();
            start = ends[i];
        }
        if (laid.shown.isEmpty())
            laid.shown << QString();
        return laid;
    }

    QString m_full;
};

} // namespace

CardsView::CardsView(AppModel& model, ViewServices& services, QWidget* parent)
    : QWidget(parent)
    , m_model(model)
    , m_services(services)
    , m_status(new Label(QString(), 12, QFont::Normal, Theme::Tone::secondary)) {
    auto* header = new TabHeader(u"Cards"_s);
    header->addTrailing(m_status);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(header);
    layout->addWidget(new Divider);
    connect(&m_model, &AppModel::phrasesChanged, this, &CardsView::showDue);
    // A focused button takes its own Space before the window's keys.
    qApp->installEventFilter(this);
    showDue();
}

// The due list is newest first: a card answered "Again" a minute ago, here or in the browser,
// comes back ahead of the one being studied, and must not take its place.
void CardsView::showDue() {
    const QList<Item> due = m_model.dueCards();
    m_status->setText(due.isEmpty() ? u"Nothing due"_s
                                    : u"%1 due"_s.arg(QLocale().toString(qsizetype(due.size()))));
    std::optional<Item> card;
    if (m_card) {
        const auto kept = std::find_if(due.begin(), due.end(),
                                       [this](const Item& item) { return item.id == m_card->id; });
        if (kept != due.end())
            card = *kept;
    }
    if (!card && !due.isEmpty())
        card = due.first();
    const Shown shown = card                          ? Shown::card
                        : m_model.phrases().isEmpty() ? Shown::nothingSaved
                                                      : Shown::allDone;
    if (m_content && shown == m_shown && card == m_card)
        return;
    m_shown = shown;
    m_card = card;
    rebuild();
}

// Shown again (the popover opened, the tab chosen): the cards due now, which time may have
// changed. The widget that had the focus in the tab this one replaced hands it on to the next
// in the chain, a tab button that Space would press.
void CardsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    showDue();
    setFocus(Qt::OtherFocusReason);
}

bool CardsView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ShortcutOverride || !isVisible())
        return QWidget::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    auto* button = qobject_cast<QAbstractButton*>(watched);
    if (button && button == QApplication::focusWidget() && button->window() == window() &&
        key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
        event->accept();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

QString CardsView::statusLine() const {
    return m_status->text();
}

bool CardsView::revealed() const {
    return m_card && m_revealed == m_card->id;
}

QString CardsView::boxLine() const {
    return m_box ? m_box->text() : QString();
}

// The content is made anew for every change of what it shows: the old one may be handling the
// click that changed it, so it is hidden now and deleted once that event is over.
void CardsView::rebuild() {
    if (m_content) {
        m_content->hide();
        m_content->deleteLater();
    }
    m_empty = nullptr;
    m_showAnswer = m_again = m_gotIt = nullptr;
    m_box = nullptr;
    if (m_card) {
        m_content = makeCard(*m_card);
    } else if (m_shown == Shown::nothingSaved) {
        m_content = m_empty = new EmptyState(
            u"rectangle.on.rectangle.angled"_s, u"Save words to practice"_s,
            u"Cards come from your phrasebook. Press \u2605 under a translation, here or in "
            "the browser."_s);
    } else {
        m_content = m_empty = new EmptyState(
            u"checkmark.seal"_s, u"All done for today"_s,
            u"Cards come back when it\u2019s time to repeat them: after a day, three days, a "
            "week."_s);
    }
    static_cast<QVBoxLayout*>(layout())->addWidget(m_content, 1);
    m_content->show();
}

QWidget* CardsView::makeCard(const Item& card) {
    auto* content = new QWidget;
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(0, 0, 0, 12);
    stack->setSpacing(16);
    // The free space is shared with the one above the buttons.
    stack->addSpacerItem(new QSpacerItem(0, 8, QSizePolicy::Minimum, QSizePolicy::Expanding));
    stack->setStretch(0, 1);
    stack->addWidget(
        centred(new Label(Languages::name(card.from) + u" \u2192 "_s + Languages::name(card.to), 11,
                          QFont::Normal, Theme::Tone::tertiary)));
    auto* text = new PhraseText(card.text, 24, QFont::DemiBold, Theme::Tone::primary);
    text->setObjectName(u"tivela.cardText"_s);
    stack->addLayout(padded(text, 20));

    auto* speak =
        new IconButton(u"speaker.wave.2"_s, u"Listen in "_s + Languages::name(card.from), false);
    speak->setFocusPolicy(Qt::NoFocus);
    connect(speak, &QAbstractButton::clicked, this, [this, card] {
        if (m_services.speaker)
            m_services.speaker->speak(card.text, card.from, m_services.hints());
    });
    stack->addWidget(speak, 0, Qt::AlignHCenter);

    if (m_revealed != card.id) {
        m_revealed.reset();
        stack->addStretch(1);
        auto* show = answerButton(new FilledButton(u"Show Answer"_s), Qt::Key_Space);
        connect(show, &QAbstractButton::clicked, this, [this, card] {
            m_revealed = card.id;
            rebuild();
        });
        stack->addLayout(padded(show, 24));
        m_showAnswer = show;
    } else {
        stack->addLayout(padded(new Divider, 40));
        auto* translation =
            new PhraseText(card.translation, 20, QFont::Normal, Theme::Tone::violet);
        translation->setObjectName(u"tivela.cardTranslation"_s);
        stack->addLayout(padded(translation, 20));
        stack->addStretch(1);
        auto* again = answerButton(new QPushButton(u"Again"_s), Qt::Key_1);
        again->setAutoDefault(false);
        again->setFont(Theme::font(13));
        auto* gotIt = answerButton(new FilledButton(u"Got It"_s), Qt::Key_2);
        connect(again, &QAbstractButton::clicked, this, [this, card] { next(card, false); });
        connect(gotIt, &QAbstractButton::clicked, this, [this, card] { next(card, true); });
        auto* buttons = new QHBoxLayout;
        buttons->setContentsMargins(24, 0, 24, 0);
        buttons->setSpacing(12);
        buttons->addWidget(again);
        buttons->addWidget(gotIt);
        stack->addLayout(buttons);
        m_again = again;
        m_gotIt = gotIt;
    }
    m_box = centred(new Label(u"Box %1 of 5"_s.arg(std::max(card.box, 1)), 10, QFont::Normal,
                              Theme::Tone::tertiary));
    stack->addWidget(m_box);
    return content;
}

// On the model's clock, so the due cards it lists agree with the answer. The answered card
// lets go of the screen: the first due card follows, with its answer hidden.
void CardsView::next(const Item& card, bool knew) {
    m_model.writer().answer(card, knew, m_model.now());
    m_revealed.reset();
    m_card.reset();
    m_model.reloadPhrases();
    showDue();
}

} // namespace tivela
