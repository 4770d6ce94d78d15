#include "app/views/ListTab.h"

#include "app/AppModel.h"
#include "app/views/Divider.h"
#include "app/views/EmptyState.h"
#include "app/views/ItemRow.h"
#include "app/views/SearchField.h"
#include "app/views/TabHeader.h"

#include <QKeyEvent>
#include <QLineEdit>
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
    connect(m_list, &ItemList::removeRequested, this, &ListTab::removeRow);
    connect(m_list, &ItemList::leftUpwards, this,
            [this] { m_search->setFocus(Qt::OtherFocusReason); });
    m_search->editor()->installEventFilter(this);
    setFocusProxy(m_search);
    showList();
}

void ListTab::focusAfter(QWidget* headerButton) {
    setTabOrder(headerButton, m_search->editor());
    setTabOrder(m_search->editor(), m_list);
}

bool ListTab::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_search->editor() || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (!plain || (key->key() != Qt::Key_Down && key->key() != Qt::Key_Up) || !m_list->isVisible())
        return QWidget::eventFilter(watched, event);
    m_list->enter(key->key() == Qt::Key_Down);
    return true;
}

void ListTab::showSearch() {
    m_search->setText(m_binding.search());
}

// Rows the keyboard was in that all went (the last one deleted): it goes back to the search
// rather than wherever Qt would send it from a hidden list.
void ListTab::showList() {
    const QList<Item> items = m_binding.items();
    const bool keyboardInRows = m_list->focusedRow() >= 0;
    m_list->setItems(items);
    if (items.isEmpty() && keyboardInRows)
        m_search->setFocus(Qt::OtherFocusReason);
    m_list->setVisible(!items.isEmpty());
    m_empty->setVisible(items.isEmpty());
    listChanged();
}

} // namespace tivela
