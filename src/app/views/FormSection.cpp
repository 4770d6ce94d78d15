#include "app/views/FormSection.h"

#include "app/views/Label.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace tivela {
namespace {

constexpr int inset = 12;

// The rounded ground of the rows, with a hairline above every visible row but the top one.
class Box : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QPalette& p = palette();
        const bool dark = Theme::isDark(p);
        const QColor ground =
            dark ? p.color(QPalette::Window).lighter(125) : p.color(QPalette::Base);
        QColor edge = p.color(QPalette::WindowText);
        edge.setAlphaF(dark ? 0.14f : 0.10f);
        painter.setPen(QPen(edge, 1));
        painter.setBrush(ground);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);

        for (QWidget* row : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!row->isVisible() || row->y() <= 1)
                continue;
            const double y = row->y() + 0.5;
            painter.drawLine(QPointF(inset, y), QPointF(width() - inset, y));
        }
    }
};

} // namespace

FormSection::FormSection(const QString& header, QWidget* parent)
    : QWidget(parent)
    , m_box(new Box)
    , m_rows(new QVBoxLayout(m_box)) {
    m_rows->setContentsMargins(0, 0, 0, 0);
    m_rows->setSpacing(0);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    if (!header.isEmpty()) {
        auto* title = new Label(header, bodyPixels, QFont::DemiBold);
        title->setContentsMargins(inset / 2, 0, 0, 0);
        layout->addWidget(title);
    }
    layout->addWidget(m_box);
}

QWidget* FormSection::addRow(QWidget* content, int index) {
    auto* row = new QWidget;
    row->setMinimumHeight(rowHeight);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(inset, 6, inset, 6);
    layout->addWidget(content);
    m_rows->insertWidget(index, row);
    // A row added to a shown box would otherwise appear only a turn of the event loop later.
    row->show();
    return row;
}

QWidget* FormSection::addRow(const QString& label, QWidget* content) {
    auto* row = new QWidget;
    row->setMinimumHeight(rowHeight);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(inset, 6, inset, 6);
    layout->setSpacing(8);
    layout->addWidget(new Label(label, bodyPixels));
    layout->addStretch(1);
    layout->addWidget(content);
    m_rows->addWidget(row);
    return row;
}

Label* FormSection::addNote(const QString& text) {
    auto* note = new Label(text, footnotePixels, QFont::Normal, Theme::Tone::secondary);
    note->setWordWrap(true);
    addRow(note);
    return note;
}

void FormSection::setFooter(const QString& text) {
    if (!m_footer) {
        m_footer = new Label(QString(), footnotePixels, QFont::Normal, Theme::Tone::secondary);
        m_footer->setWordWrap(true);
        m_footer->setContentsMargins(inset / 2, 0, inset / 2, 0);
        static_cast<QVBoxLayout*>(layout())->addWidget(m_footer);
    }
    m_footer->setText(text);
}

} // namespace tivela
