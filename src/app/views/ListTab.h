#pragma once

#include "core/Store.h"

#include <QList>
#include <QWidget>

#include <functional>

class QMenu;

namespace tivela {

class AppModel;
class EmptyState;
class ItemList;
class SearchField;
class TabHeader;

// What the history and the phrasebook tabs share: a header, a search field bound to one of the
// model's searches, a divider, and the model's list, or an empty state while it is empty. A
// click on a row opens it in the translate tab; a right click shows the tab's menu for it.
// From the search field Down takes the keyboard to the first row and Up to the last; Escape, or
// Up on the first row, brings it back. The focus given to the tab goes to its search field, and
// Tab runs from the header's button to the search field and on into the rows.
class ListTab : public QWidget {
    Q_OBJECT

public:
    // Which of the model's searches and lists the tab shows; the tab follows their change
    // signals through showSearch() and showList().
    struct Binding {
        std::function<QString()> search;
        std::function<void(const QString&)> setSearch;
        std::function<QList<Item>()> items;
    };

    struct Empty {
        QString symbol;
        QString title;
        QString message;
    };

    SearchField* search() const { return m_search; }
    ItemList* list() const { return m_list; }
    EmptyState* emptyState() const { return m_empty; }
    // A row's menu, not yet shown; it goes when it closes.
    virtual QMenu* rowMenu(const Item& item) = 0;
    // What the menu's last entry does, and Delete on the row.
    virtual void removeRow(const Item& item) = 0;

protected:
    ListTab(AppModel& model, const Binding& binding, const QString& title, const QString& prompt,
            bool speakButtons, const Empty& empty, QWidget* parent);

    TabHeader* header() const { return m_header; }
    // The header's button that Tab reaches before the search field.
    void focusAfter(QWidget* headerButton);
    void showSearch();
    void showList();
    // Called whenever the list was shown anew.
    virtual void listChanged() {}

    bool eventFilter(QObject* watched, QEvent* event) override;

    AppModel& m_model;

private:
    Binding m_binding;
    TabHeader* m_header;
    SearchField* m_search;
    ItemList* m_list;
    EmptyState* m_empty;
};

} // namespace tivela
