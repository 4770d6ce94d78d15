#include "app/views/EmptyState.h"

#include "app/views/Label.h"
#include "app/views/Symbols.h"

#include <QVBoxLayout>

namespace tivela {

EmptyState::EmptyState(const QString& symbol, const QString& title, const QString& message,
                       QWidget* parent)
    : QWidget(parent)
    , m_title(new Label(title, 13, QFont::DemiBold, Theme::Tone::primary))
    , m_message(new Label(message, 12, QFont::Normal, Theme::Tone::secondary)) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(8);
    layout->addStretch(1);
    layout->addWidget(new SymbolView(symbol, 28, Theme::Tone::tertiary), 0, Qt::AlignHCenter);
    for (Label* label : {m_title, m_message}) {
        label->setAlignment(Qt::AlignHCenter);
        label->setWordWrap(true);
        layout->addWidget(label);
    }
    layout->addStretch(1);
}

QString EmptyState::title() const {
    return m_title->text();
}

QString EmptyState::message() const {
    return m_message->text();
}

} // namespace tivela
