#pragma once

#include "app/views/ListTab.h"

#include <QPointer>

#include <QMessageBox>

class QAbstractButton;

namespace tivela {

// The history tab: the translations the model remembered, newest first, with a search. A row
// opens again in the translate tab, goes into the phrasebook or is deleted from its menu;
// "Clear" empties the whole history, hidden rows too, once the user confirms.
class HistoryView : public ListTab {
    Q_OBJECT

public:
    explicit HistoryView(AppModel& model, QWidget* parent = nullptr);

    // Shown while there is something to clear.
    QAbstractButton* clearButton() const { return m_clear; }
    // The confirmation while it is open.
    QMessageBox* confirmation() const { return m_confirmation; }
    QMenu* rowMenu(const Item& item) override;
    void removeRow(const Item& item) override;

protected:
    void listChanged() override;

private:
    void confirmClear();

    QAbstractButton* m_clear;
    QPointer<QMessageBox> m_confirmation;
};

} // namespace tivela
