#include "app/views/HistoryView.h"

#include "app/AppModel.h"
#include "app/Wording.h"
#include "app/views/TabHeader.h"
#include "app/views/TextButton.h"

#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

// The row's handlers hold the model and the item, not the view: the tab may be gone by the
// time a menu or a dialog answers.
void saveToPhrasebook(AppModel& model, const Item& item) {
    model.writer().addPhrase(Item{model.newId(), item.text, item.translation, item.from, item.to,
                                  model.now(), 0, 0, Item::appOrigin});
    model.reloadPhrases();
}

void deleteRow(AppModel& model, const Item& item) {
    model.writer().deleteHistory(item);
    model.reloadHistory();
}

} // namespace

HistoryView::HistoryView(AppModel& model, QWidget* parent)
    : ListTab(model,
              {[&model] { return model.historySearch(); },
               [&model](const QString& text) { model.setHistorySearch(text); },
               [&model] { return model.history(); }},
              u"History"_s, u"Search history"_s, false,
              {u"clock"_s, u"No history yet"_s, Wording::historyStaysHere()}, parent)
    , m_clear(new TextButton(u"Clear"_s, 13)) {
    header()->addTrailing(m_clear);
    focusAfter(m_clear);
    connect(&model, &AppModel::historySearchChanged, this, &HistoryView::showSearch);
    connect(&model, &AppModel::historyChanged, this, &HistoryView::showList);
    connect(m_clear, &QAbstractButton::clicked, this, &HistoryView::confirmClear);
    listChanged();
}

void HistoryView::listChanged() {
    m_clear->setVisible(!m_model.history().isEmpty());
}

void HistoryView::removeRow(const Item& item) {
    deleteRow(m_model, item);
}

QMenu* HistoryView::rowMenu(const Item& item) {
    auto* menu = new QMenu(this);
    AppModel* model = &m_model;
    menu->addAction(u"Open"_s, menu, [model, item] { model->open(item); });
    menu->addAction(u"Save to Phrasebook"_s, menu,
                    [model, item] { saveToPhrasebook(*model, item); });
    menu->addSeparator();
    menu->addAction(u"Delete"_s, menu, [model, item] { deleteRow(*model, item); });
    return menu;
}

// A dialog of the popover's window, not of the tab, and open() rather than exec(): the tab may
// be replaced while it is up.
void HistoryView::confirmClear() {
    if (m_confirmation)
        return;
    auto* box = new QMessageBox(window());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(u"Clear all history?"_s);
    box->setTextFormat(Qt::PlainText);
    box->setText(u"Clear all history?"_s);
    box->setInformativeText(u"The phrasebook stays."_s);
    QPushButton* clear = box->addButton(u"Clear History"_s, QMessageBox::DestructiveRole);
    box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(QMessageBox::Cancel);
    box->setEscapeButton(QMessageBox::Cancel);
    AppModel* model = &m_model;
    connect(box, &QMessageBox::buttonClicked, box, [model, clear](QAbstractButton* button) {
        if (button != clear)
            return;
        model->writer().clearHistory();
        model->reloadHistory();
    });
    m_confirmation = box;
    box->open();
}

} // namespace tivela
