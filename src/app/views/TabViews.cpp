#include "app/views/TabViews.h"

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
    case Tab::phrasebook:
    case Tab::cards:
        break;
    }
    return [](AppModel&, ViewServices&, QWidget* parent) { return new QWidget(parent); };
}

CardFactory card() {
    return {};
}

} // namespace tivela::TabViews
