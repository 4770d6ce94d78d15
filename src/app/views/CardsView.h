#pragma once

#include "core/Store.h"

#include "app/views/EmptyState.h"
#include "app/views/Label.h"

#include <QAbstractButton>
#include <QPointer>
#include <QWidget>

#include <optional>

namespace tivela {

class AppModel;
struct ViewServices;

// The cards tab: practice of the phrasebook by spaced repetition, one due card at a time (the
// first of the model's due cards, so the phrasebook's search narrows them too). "Show Answer"
// (Space) shows its translation; "Again" (1) and "Got It" (2) answer it, and the next due card
// follows. The card on screen stays there, its answer shown or not, until it is answered or
// leaves the due cards: a card that falls due meanwhile waits its turn. The keys work with no
// widget focused and only while their button is shown; a button the user focused (a tab, More)
// takes its own Space. No button of the card takes the focus, and the tab takes it from whatever
// had it when the tab came up, so Space never presses a button the user did not mean. Long phrases
// end in an ellipsis, whole in their tooltips.
class CardsView : public QWidget {
    Q_OBJECT

public:
    CardsView(AppModel& model, ViewServices& services, QWidget* parent = nullptr);

    // "Nothing due" or "3 due".
    QString statusLine() const;
    // The card on screen; nothing while an empty state shows.
    std::optional<Item> card() const { return m_card; }
    bool revealed() const;
    // The empty state on screen, if any.
    EmptyState* emptyState() const { return m_empty; }
    // The buttons on screen; null when not shown.
    QAbstractButton* showAnswerButton() const { return m_showAnswer; }
    QAbstractButton* againButton() const { return m_again; }
    QAbstractButton* gotItButton() const { return m_gotIt; }
    // "Box 1 of 5".
    QString boxLine() const;
    // Follows the cards due now, which time may have changed since the tab was drawn: an empty
    // state gives way to the first of them, a card on screen stays while it is due. Nothing
    // calls it on a timer of the tab's own.
    void showDue();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What the content shows.
    enum class Shown { nothingSaved, allDone, card };

    void rebuild();
    QWidget* makeCard(const Item& card);
    void next(const Item& card, bool knew);

    AppModel& m_model;
    ViewServices& m_services;
    Label* m_status;
    QPointer<QWidget> m_content;
    Shown m_shown = Shown::allDone;
    std::optional<Item> m_card;
    // The id of the card whose answer is shown: another card starts hidden again.
    std::optional<QString> m_revealed;
    QPointer<EmptyState> m_empty;
    QPointer<QAbstractButton> m_showAnswer;
    QPointer<QAbstractButton> m_again;
    QPointer<QAbstractButton> m_gotIt;
    QPointer<Label> m_box;
};

} // namespace tivela
