#pragma once

#include "app/Tab.h"

#include <functional>

class QWidget;

namespace tivela {

class AppModel;
struct DictionaryEntry;
struct ViewServices;

// The views the popover and the translate tab make, by table. The popover makes the selected
// tab's view anew with the model whenever that tab is selected (so a tab's own state starts
// afresh) and drops the old one once its events are over; the translate tab makes a word card
// whenever the model's card changes. A tab's view is added by giving its row a factory in
// TabViews.cpp, the one file that knows every tab.
namespace TabViews {

using Factory = std::function<QWidget*(AppModel& model, ViewServices& services, QWidget* parent)>;
using CardFactory = std::function<QWidget*(const DictionaryEntry& entry, AppModel& model,
                                           ViewServices& services, QWidget* parent)>;

// Never empty: a tab without a view of its own yet gets a blank one.
Factory factory(Tab tab);
// Empty while there is no word card.
CardFactory card();

} // namespace TabViews

} // namespace tivela
