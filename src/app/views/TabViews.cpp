#include "app/views/TabViews.h"

#include "app/views/CardsView.h"
#include "app/views/DictionaryCard.h"
#include "app/views/HistoryView.h"
#include "app/views/PhrasebookView.h"
#include "app/views/TranslateView.h"

#include <QWidget>

namespace tivela::TabViews {

Factory factory(Tab tab) {
    switch (tab) {
    case Tab::translate:
        return [](AppModel& model, ViewServices& services, QWidget* parent) -> QWidget* {
            return new TranslateView(model, services, parent);
        };
    case Tab::history:
        return [](AppModel& model, ViewServices&, QWidget* parent) -> QWidget* {
            return new HistoryView(model, parent);
        };
    case Tab::phrasebook:
        return [](AppModel& model, ViewServices& services, QWidget* parent) -> QWidget* {
            return new PhrasebookView(model, services, parent);
        };
    case Tab::cards:
        return [](AppModel& model, ViewServices& services, QWidget* parent) -> QWidget* {
            return new CardsView(model, services, parent);
        };
    }
    return [](AppModel&, ViewServices&, QWidget* parent) { return new QWidget(parent); };
}

CardFactory card() {
    return [](const DictionaryEntry& entry, AppModel& model, ViewServices& services,
              QWidget* parent) -> QWidget* {
        return new DictionaryCard(entry, model, services, parent);
    };
}

} // namespace tivela::TabViews
