#include "app/views/ListTab.h"

#include "app/AppModel.h"
#include "app/views/Divider.h"
#include "app/views/EmptyState.h"
#include "app/views/ItemRow.h"
#include "app/views/SearchField.h"
#include "app/views/TabHeader.h"

#include <QMenu>
#include <QVBoxLayout>

namespace tivela {

ListTab::ListTab(AppModel& model, const Binding& binding, const QString& title,
                 const QString& prompt, bool speakButtons, const Empty& empty, QWidget* parent)
    : QWidget(parent)
    , m_model(model)
    , m_binding(binding)
    , m_header(new TabHeader(title))
    , m_search(new SearchField(prompt))
    , m_list(new ItemList(speakButtons, [&model] { return model.now(); }))
    , m_empty(new EmptyState(empty.symbol, empty.title, empty.message)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_header);
    auto* searchRow = new QVBoxLayout;
    searchRow->setContentsMargins(12, 0, 12, 8);
    searchRow->addWidget(m_search);
    layout->addLayout(searchRow);
    layout->addWidget(new Divider);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_empty, 1);

    m_search->setText(m_binding.search());
    connect(m_search, &SearchField::edited, this,
            [this](const QString& text) { m_binding.setSearch(text); });
    connect(m_list, &ItemList::opened, this, [this](const Item& item) { m_model.open(item); });
    connect(m_list, &ItemList::menuRequested, this, [this](const Item& item, const QPoint& at) {
        QMenu* menu = rowMenu(item);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(at);
    });
    showList();
}

void ListTab::showSearch() {
    m_search->setText(m_binding.search());
}

void ListTab::showList() {
    const QList<Item> items = m_binding.items();
    m_list->setItems(items);
    m_list->setVisible(!items.isEmpty());
    m_empty->setVisible(items.isEmpty());
    listChanged();
}

} // namespace tivela
