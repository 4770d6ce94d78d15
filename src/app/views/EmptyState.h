#pragma once

#include <QWidget>

namespace tivela {

class Label;

// What an empty list shows instead: a symbol over a title and a message, centred in all the
// space it is given.
class EmptyState : public QWidget {
    Q_OBJECT

public:
    EmptyState(const QString& symbol, const QString& title, const QString& message,
               QWidget* parent = nullptr);

    QString title() const;
    QString message() const;

private:
    Label* m_title;
    Label* m_message;
};

} // namespace tivela
