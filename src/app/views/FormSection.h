#pragma once

#include "app/views/Theme.h"

#include <QString>
#include <QWidget>

class QVBoxLayout;

namespace tivela {

class Label;

// One group of a settings form: a header, a rounded box whose rows are parted by hairlines,
// and an optional footnote under the box.
class FormSection : public QWidget {
    Q_OBJECT

public:
    static constexpr double bodyPixels = 13;
    static constexpr double footnotePixels = 11;
    static constexpr int rowHeight = 38;

    explicit FormSection(const QString& header, QWidget* parent = nullptr);

    // A row that is its content, across the box; inserted before the row at an index, or last.
    QWidget* addRow(QWidget* content, int index = -1);
    // A row with a label on the leading side and its content on the trailing side.
    QWidget* addRow(const QString& label, QWidget* content);
    // A text in the footnote font and the secondary tone, as a row of the box.
    Label* addNote(const QString& text);
    // The text under the box; made on first use.
    void setFooter(const QString& text);
    Label* footer() const { return m_footer; }
    // The box that holds the rows, for rows that come and go.
    QWidget* box() const { return m_box; }
    QVBoxLayout* rows() const { return m_rows; }

private:
    QWidget* m_box;
    QVBoxLayout* m_rows;
    Label* m_footer = nullptr;
};

} // namespace tivela
