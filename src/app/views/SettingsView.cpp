#include "app/views/SettingsView.h"

#include "app/AppModel.h"
#include "app/Wording.h"
#include "app/views/EnginePrompt.h"
#include "app/views/FormSection.h"
#include "app/views/IconButton.h"
#include "app/views/Label.h"
#include "app/views/LanguageMenu.h"
#include "app/views/SettingsModel.h"
#include "app/views/ShortcutRecorder.h"
#include "app/views/Spinner.h"
#include "app/views/Symbols.h"
#include "app/views/TextButton.h"
#include "app/views/UpdatesSection.h"
#include "app/views/ViewServices.h"
#include "core/Languages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLocale>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

// A symbol before a text, as one label.
QWidget* symbolLabel(const QString& text, Theme::Tone tone) {
    auto* label = new QWidget;
    auto* layout = new QHBoxLayout(label);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(new SymbolView(u"checkmark.circle.fill"_s, FormSection::bodyPixels, tone));
    layout->addWidget(new Label(text, FormSection::bodyPixels));
    return label;
}

// Fills a picker with languages, keeping the user's choice; its signals stay quiet, since
// a rebuild is no choice of the user's.
void fill(QComboBox& picker, const QStringList& codes, const QStringList& engine,
          const QString& current) {
    const QSignalBlocker quiet(&picker);
    QStringList shown;
    QStringList names;
    for (int i = 0; i < picker.count(); ++i) {
        shown << picker.itemData(i).toString();
        names << picker.itemText(i);
    }
    QStringList wanted;
    for (const QString& code : codes)
        wanted << LanguageMenu::entryName(code, engine);
    if (shown != codes || names != wanted) {
        picker.clear();
        for (qsizetype i = 0; i < codes.size(); ++i)
            picker.addItem(wanted[i], codes[i]);
    }
    picker.setCurrentIndex(picker.findData(current));
}

} // namespace

struct SettingsView::PackRow {
    Label* size = nullptr;
    IconButton* remove = nullptr;
    Spinner* spinner = nullptr;
    // "Not available", or why the last "Get" failed.
    Label* note = nullptr;
    TextButton* get = nullptr;
};

SettingsView::SettingsView(AppModel& model, SettingsModel& settings, Updater* updater,
                           ViewServices& services, const QString& version, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint)
    , m_model(model)
    , m_settings(settings)
    , m_services(services)
    , m_scroll(new QScrollArea)
    , m_recorder(new ShortcutRecorder(settings, this))
    , m_prompt(new EnginePrompt(model, services, this)) {
    setWindowTitle(u"Tivela Settings"_s);
    setFixedSize(width, height);

    auto* content = new QWidget;
    auto* form = new QVBoxLayout(content);
    form->setContentsMargins(20, 16, 20, 20);
    form->setSpacing(18);
    form->addWidget(languagesSection());
    form->addWidget(shortcutSection());
    form->addWidget(generalSection());
    form->addWidget(dictionarySection());
    form->addWidget(browserSection());
    form->addWidget(privacySection());
    m_updates = new UpdatesSection(updater, version);
    form->addWidget(m_updates);
    form->addStretch(1);

    m_scroll->setWidget(content);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_scroll);

    connect(m_prompt, &EnginePrompt::ended, this,
            [this] { m_settings.refreshFast(m_model.pair()); });
}

SettingsView::~SettingsView() = default;

FormSection* SettingsView::languagesSection() {
    m_languages = new FormSection(u"Languages"_s);
    m_mine = new QComboBox;
    m_second = new QComboBox;
    for (QComboBox* picker : {m_mine, m_second}) {
        picker->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        picker->setMinimumWidth(150);
        picker->setMaxVisibleItems(16);
        LanguageMenu::followTyping(picker);
    }
    m_languages->addRow(u"My language"_s, m_mine);
    m_languages->addRow(u"Translate my language into"_s, m_second);
    // Only a choice of the user's writes the pair; rebuilding the lists is none.
    connect(m_mine, &QComboBox::activated, this, [this](int index) {
        m_model.setPair(
            SettingsModel::withMine(m_model.pair(), m_mine->itemData(index).toString()));
        syncPickers();
    });
    connect(m_second, &QComboBox::activated, this, [this](int index) {
        m_model.setPair({m_model.pair().mine, m_second->itemData(index).toString()});
        syncPickers();
    });
    connect(&m_model, &AppModel::pairChanged, this, &SettingsView::syncPickers);
    connect(&m_model, &AppModel::languagesChanged, this, &SettingsView::syncPickers);
    syncPickers();
    return m_languages;
}

void SettingsView::syncPickers() {
    const LanguagePair& pair = m_model.pair();
    const QStringList& engine = m_model.languages();
    const QStringList all = LanguageMenu::withDictionaries(engine);
    QStringList others = all;
    others.removeAll(pair.mine);
    fill(*m_mine, all, engine, pair.mine);
    fill(*m_second, others, engine, pair.second);
    const QString mine = Languages::name(pair.mine);
    m_languages->setFooter(u"Text in "_s + mine + u" is translated into "_s +
                           Languages::name(pair.second) + u"; everything else into "_s + mine +
                           u". The browser extension uses the same pair."_s);
}

FormSection* SettingsView::shortcutSection() {
    auto* section = new FormSection(u"Shortcut"_s);
    m_shortcut = new QPushButton;
    m_shortcut->setMinimumWidth(120);
    m_shortcutProblem =
        new Label(QString(), FormSection::footnotePixels, QFont::Normal, Theme::Tone::secondary);
    m_shortcutProblem->setAlignment(Qt::AlignRight);
    m_shortcutProblem->setWordWrap(true);
    auto* shortcut = new QWidget;
    auto* column = new QVBoxLayout(shortcut);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    column->addWidget(m_shortcut, 0, Qt::AlignRight);
    column->addWidget(m_shortcutProblem);
    section->addRow(u"Translate selection"_s, shortcut);
    connect(m_shortcut, &QPushButton::clicked, this,
            [this] { m_settings.setRecording(!m_settings.recording()); });
    connect(&m_settings, &SettingsModel::shortcutChanged, this, &SettingsView::syncShortcut);
    connect(&m_settings, &SettingsModel::recordingChanged, this, &SettingsView::syncShortcut);
    connect(&m_settings, &SettingsModel::shortcutProblemChanged, this, &SettingsView::syncShortcut);
    connect(m_recorder, &ShortcutRecorder::keysHeldElsewhereChanged, this,
            &SettingsView::syncShortcut);

    auto* trust = new QWidget;
    auto* trustLayout = new QHBoxLayout(trust);
    trustLayout->setContentsMargins(0, 0, 0, 0);
    trustLayout->addStretch(1);
    m_allowed = symbolLabel(u"Allowed"_s, Theme::Tone::positive);
    m_allow = new QPushButton(u"Allow\u2026"_s);
    trustLayout->addWidget(m_allowed);
    trustLayout->addWidget(m_allow);
    section->addRow(u"Read selected text"_s, trust);
    // Nothing asks for trust here: the help says what reading the selection takes.
    connect(m_allow, &QPushButton::clicked, this, [this] {
        if (m_services.selectionHelp)
            m_services.selectionHelp->trigger();
    });
    connect(&m_settings, &SettingsModel::trustedChanged, this, &SettingsView::syncTrust);

    section->addNote(Wording::shortcutFootnote());
    syncShortcut();
    syncTrust();
    return section;
}

void SettingsView::syncShortcut() {
    m_shortcut->setText(m_settings.recording() ? u"Press keys\u2026"_s
                                               : m_settings.shortcut().display());
    const QString problem = !m_settings.recording()           ? m_settings.shortcutProblem()
                            : m_recorder->keysHeldElsewhere() ? Wording::shortcutKeysHeld()
                                                              : QString();
    m_shortcutProblem->setText(problem);
    m_shortcutProblem->setVisible(!problem.isEmpty());
}

void SettingsView::syncTrust() {
    m_allowed->setVisible(m_settings.trusted());
    m_allow->setVisible(!m_settings.trusted());
}

FormSection* SettingsView::generalSection() {
    auto* section = new FormSection(u"General"_s);
    m_login = new QCheckBox(u"Open at login"_s);
    m_login->setFont(Theme::font(FormSection::bodyPixels));
    section->addRow(m_login);
    connect(m_login, &QCheckBox::clicked, this, [this](bool checked) {
        m_settings.setLaunchAtLogin(checked);
        const QSignalBlocker quiet(m_login);
        m_login->setChecked(m_settings.launchAtLogin());
    });
    connect(&m_settings, &SettingsModel::launchAtLoginChanged, this, [this] {
        const QSignalBlocker quiet(m_login);
        m_login->setChecked(m_settings.launchAtLogin());
    });
    m_login->setChecked(m_settings.launchAtLogin());

    auto* install = new QPushButton(Wording::installLanguages());
    section->addRow(u"Translation languages"_s, install);
    connect(install, &QPushButton::clicked, this, &SettingsView::installEngine);
    return section;
}

void SettingsView::installEngine() {
    m_prompt->install(m_model.pair().mine, m_model.pair().second);
}

FormSection* SettingsView::dictionarySection() {
    auto* section = new FormSection(u"Dictionary"_s);
    const QSet<QString>& lexicon = Languages::lexicon();
    for (const QString& code : Languages::sorted({lexicon.begin(), lexicon.end()})) {
        auto row = std::make_unique<PackRow>();
        row->size = new Label(QString(), 12, QFont::Normal, Theme::Tone::secondary);
        row->remove = new IconButton(u"trash"_s, u"Remove"_s, false);
        row->spinner = new Spinner(Spinner::small);
        row->note = new Label(QString(), 12, QFont::Normal, Theme::Tone::secondary);
        row->get = new TextButton(u"Get"_s, FormSection::bodyPixels);
        auto* end = new QWidget;
        auto* layout = new QHBoxLayout(end);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(4);
        for (QWidget* part : std::initializer_list<QWidget*>{row->size, row->remove, row->spinner,
                                                             row->note, row->get})
            layout->addWidget(part);
        section->addRow(Languages::name(code), end);
        connect(row->remove, &QAbstractButton::clicked, this,
                [this, code] { m_settings.removePack(code); });
        connect(row->get, &QAbstractButton::clicked, this,
                [this, code] { m_settings.download(code); });
        m_packs.emplace(code, std::move(row));
    }
    section->setFooter(Wording::dictionaryFootnote());
    connect(&m_settings, &SettingsModel::installedPacksChanged, this, &SettingsView::syncPacks);
    connect(&m_settings, &SettingsModel::downloadingChanged, this, &SettingsView::syncPacks);
    connect(&m_settings, &SettingsModel::availablePacksChanged, this, &SettingsView::syncPacks);
    connect(&m_settings, &SettingsModel::packProblemsChanged, this, &SettingsView::syncPacks);
    syncPacks();
    return section;
}

void SettingsView::syncPacks() {
    const QStringList installed = m_settings.installedPacks();
    const QSet<QString> downloading = m_settings.downloading();
    const bool canDownload = m_settings.canDownload();
    const std::optional<QSet<QString>> available = m_settings.availablePacks();
    for (const auto& [code, row] : m_packs) {
        const bool isInstalled = installed.contains(code);
        const bool isDownloading = !isInstalled && downloading.contains(code);
        const bool offered = !available || available->contains(code);
        if (isInstalled)
            row->size->setText(QLocale().formattedDataSize(m_settings.packSize(code), 1,
                                                           QLocale::DataSizeSIFormat));
        row->size->setVisible(isInstalled);
        row->remove->setVisible(isInstalled);
        row->spinner->setVisible(isDownloading);
        const bool idle = !isInstalled && !isDownloading && canDownload;
        row->note->setText(offered ? m_settings.packProblem(code) : Wording::packNotAvailable());
        row->note->setVisible(idle && !row->note->text().isEmpty());
        row->get->setVisible(idle && offered);
    }
}

QString SettingsView::packRowState(const QString& code) const {
    const auto found = m_packs.find(code);
    if (found == m_packs.end())
        return {};
    const PackRow& row = *found->second;
    if (!row.size->isHidden())
        return row.size->text();
    if (!row.spinner->isHidden())
        return u"spinner"_s;
    QStringList shown;
    if (!row.note->isHidden())
        shown << row.note->text();
    if (!row.get->isHidden())
        shown << row.get->text();
    return shown.join(u' ');
}

FormSection* SettingsView::browserSection() {
    m_browsers = new FormSection(u"Browser Extension"_s);
    auto* none = new Label(u"No Chromium browser found."_s, FormSection::bodyPixels, QFont::Normal,
                           Theme::Tone::secondary);
    m_noBrowser = m_browsers->addRow(none);

    auto* fast = new QWidget;
    auto* fastLayout = new QHBoxLayout(fast);
    fastLayout->setContentsMargins(0, 0, 0, 0);
    fastLayout->addStretch(1);
    m_fastReady = symbolLabel(u"Ready"_s, Theme::Tone::positive);
    m_fastDownload = new QPushButton(u"Download"_s);
    m_fastUnavailable = new Label(u"Not available"_s, FormSection::bodyPixels, QFont::Normal,
                                  Theme::Tone::secondary);
    fastLayout->addWidget(m_fastReady);
    fastLayout->addWidget(m_fastDownload);
    fastLayout->addWidget(m_fastUnavailable);
    m_browsers->addRow(u"Fast engine for web pages"_s, fast);
    connect(m_fastDownload, &QPushButton::clicked, this, &SettingsView::installEngine);

    auto* reconnect = new QPushButton(u"Reconnect Browsers"_s);
    auto* reconnectRow = new QWidget;
    auto* reconnectLayout = new QHBoxLayout(reconnectRow);
    reconnectLayout->setContentsMargins(0, 0, 0, 0);
    reconnectLayout->addWidget(reconnect);
    reconnectLayout->addStretch(1);
    m_browsers->addRow(reconnectRow);
    connect(reconnect, &QPushButton::clicked, this, [this] { m_settings.reconnectBrowsers(); });
    m_browsers->setFooter(Wording::browserFootnote());

    connect(&m_settings, &SettingsModel::connectedBrowsersChanged, this,
            &SettingsView::syncBrowsers);
    connect(&m_settings, &SettingsModel::fastStatusChanged, this, &SettingsView::syncFast);
    syncBrowsers();
    syncFast();
    return m_browsers;
}

void SettingsView::syncBrowsers() {
    for (QWidget* row : m_browserRows)
        delete row;
    m_browserRows.clear();
    const QStringList names = m_settings.connectedBrowsers();
    for (int i = 0; i < names.size(); ++i)
        m_browserRows.push_back(
            m_browsers->addRow(symbolLabel(names[i], Theme::Tone::accent), int(i)));
    m_noBrowser->setVisible(names.isEmpty());
}

QStringList SettingsView::browserRows() const {
    QStringList texts;
    QList<QWidget*> rows;
    for (int i = 0; i < m_browsers->rows()->count(); ++i)
        if (QWidget* row = m_browsers->rows()->itemAt(i)->widget(); row && row->isVisibleTo(this))
            rows << row;
    for (QWidget* row : rows) {
        QStringList parts;
        for (const QWidget* widget : row->findChildren<QWidget*>()) {
            if (!widget->isVisibleTo(row))
                continue;
            if (const auto* label = qobject_cast<const QLabel*>(widget))
                parts << label->text();
            else if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
                parts << button->text();
        }
        texts << parts.join(u" | "_s);
    }
    return texts;
}

void SettingsView::syncFast() {
    const PairStatus status = m_settings.fastStatus();
    m_fastReady->setVisible(status == PairStatus::installed);
    m_fastDownload->setVisible(status == PairStatus::downloadable);
    m_fastUnavailable->setVisible(status == PairStatus::unsupported);
}

FormSection* SettingsView::privacySection() {
    auto* section = new FormSection(u"Privacy"_s);
    auto* text = new Label(Wording::privacyText(), 12);
    text->setWordWrap(true);
    section->addRow(text);
    return section;
}

void SettingsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_settings.refresh();
    m_settings.refreshFast(m_model.pair());
}

// A recording must not outlive the window that shows it.
void SettingsView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    m_settings.setRecording(false);
}

} // namespace tivela
