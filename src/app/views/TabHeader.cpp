#include "app/views/TabHeader.h"

#include "app/views/Label.h"

#include <QHBoxLayout>

namespace tivela {

TabHeader::TabHeader(const QString& title, QWidget* parent)
    : QWidget(parent)
    , m_row(new QHBoxLayout(this)) {
    setFixedHeight(heightPixels);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_row->setContentsMargins(14, 0, 14, 0);
    m_row->setSpacing(8);
    m_row->addWidget(new Label(title, 15, QFont::DemiBold));
    m_row->addStretch(1);
}

void TabHeader::addLeading(QWidget* widget) {
    m_row->insertWidget(m_leading++, widget);
}

void TabHeader::addTrailing(QWidget* widget) {
    m_row->addWidget(widget);
}

} // namespace tivela
