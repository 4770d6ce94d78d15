#pragma once

#include "app/views/FormSection.h"

#include <QPointer>

class QCheckBox;
class QPushButton;

namespace tivela {

class Label;
class Updater;

// The last section of the settings form: the running version, and with an updater its two
// automatic settings, when it last looked for a release, and a check at once. Every control
// is set from the updater after each write and each time the section is shown.
class UpdatesSection : public FormSection {
    Q_OBJECT

public:
    UpdatesSection(Updater* updater, const QString& version, QWidget* parent = nullptr);

    QCheckBox* checksToggle() const { return m_checks; }
    QCheckBox* downloadsToggle() const { return m_downloads; }
    QPushButton* checkButton() const { return m_check; }
    Label* lastCheckLabel() const { return m_last; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void sync();

    QPointer<Updater> m_updater;
    QCheckBox* m_checks = nullptr;
    QCheckBox* m_downloads = nullptr;
    QPushButton* m_check = nullptr;
    Label* m_last = nullptr;
};

} // namespace tivela
