#include "app/views/UpdatesSection.h"

#include "app/Updater.h"
#include "app/Wording.h"
#include "app/views/Label.h"
#include "app/views/RelativeDate.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSignalBlocker>

using namespace Qt::StringLiterals;

namespace tivela {

UpdatesSection::UpdatesSection(Updater* updater, const QString& version, QWidget* parent)
    : FormSection(u"Updates"_s, parent)
    , m_updater(updater) {
    addRow(u"Version"_s, new Label(version, bodyPixels, QFont::Normal, Theme::Tone::secondary));
    if (!updater) {
        auto* note = new Label(u"This build doesn\u2019t update itself."_s, bodyPixels,
                               QFont::Normal, Theme::Tone::secondary);
        addRow(note);
        return;
    }
    m_checks = new QCheckBox(u"Automatically check for updates"_s);
    m_downloads = new QCheckBox(Wording::automaticallyDownloadUpdates());
    for (QCheckBox* toggle : {m_checks, m_downloads}) {
        toggle->setFont(Theme::font(bodyPixels));
        addRow(toggle);
    }
    m_check = new QPushButton(u"Check for Updates\u2026"_s);
    m_last = new Label(QString(), bodyPixels);
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_last);
    layout->addStretch(1);
    layout->addWidget(m_check);
    addRow(row);

    connect(m_checks, &QCheckBox::clicked, this, [this](bool checked) {
        m_updater->setAutomaticallyChecks(checked);
        sync();
    });
    connect(m_downloads, &QCheckBox::clicked, this, [this](bool checked) {
        m_updater->setAutomaticallyDownloads(checked);
        sync();
    });
    connect(m_check, &QPushButton::clicked, this, [this] {
        m_updater->checkForUpdates();
        sync();
    });
    connect(updater, &Updater::changed, this, &UpdatesSection::sync);
    sync();
}

void UpdatesSection::sync() {
    if (!m_updater || !m_checks)
        return;
    const QSignalBlocker quietChecks(m_checks);
    const QSignalBlocker quietDownloads(m_downloads);
    m_checks->setChecked(m_updater->automaticallyChecks());
    m_downloads->setChecked(m_updater->automaticallyDownloads());
    // Without automatic checks nothing is fetched by itself; the setting keeps its value.
    m_downloads->setEnabled(m_updater->automaticallyChecks());
    m_check->setEnabled(m_updater->canCheck());
    const std::optional<QDateTime> last = m_updater->lastCheck();
    m_last->setText(last ? u"Last checked "_s + RelativeDate::relative(*last)
                         : u"Not checked yet"_s);
}

// Time has passed since the last showing: "Last checked" reads anew.
void UpdatesSection::showEvent(QShowEvent* event) {
    FormSection::showEvent(event);
    sync();
}

} // namespace tivela
