#pragma once

#include "app/views/ListTab.h"

#include <QPointer>

#include <QFileDialog>

namespace tivela {

class IconButton;
class Label;
struct ViewServices;

// The phrasebook tab: the saved cards, newest first, with a search and the count of every card
// whatever the search. A row opens in the translate tab, speaks, or leaves the phrasebook from
// its menu; the header's menu switches to the cards or exports the whole phrasebook as CSV.
class PhrasebookView : public ListTab {
    Q_OBJECT

public:
    PhrasebookView(AppModel& model, ViewServices& services, QWidget* parent = nullptr);

    // The number of live cards, as the header shows it.
    QString countText() const;
    QMenu* headerMenu() const { return m_menu; }
    QMenu* rowMenu(const Item& item) override;
    void removeRow(const Item& item) override;
    // Asks where to save the export; the dialog while it is open.
    void exportCSV();
    QFileDialog* exportDialog() const { return m_dialog; }

    // Writes the model's export to a file; a failure is shown in a message over the window.
    static bool writeExport(AppModel& model, const QString& path, QWidget* window);

protected:
    void listChanged() override;

private:
    ViewServices& m_services;
    Label* m_count;
    IconButton* m_more;
    QMenu* m_menu;
    QPointer<QFileDialog> m_dialog;
};

} // namespace tivela
