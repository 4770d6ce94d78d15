#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <map>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QPushButton;
class QScrollArea;

namespace tivela {

class AppModel;
class EnginePrompt;
class FormSection;
class Label;
class SettingsModel;
class ShortcutRecorder;
class Updater;
class UpdatesSection;
struct ViewServices;

// The settings window: one scrolling form of seven sections (the languages of the pair, the
// global shortcut, the login item and the engine's languages, the dictionary packs, the
// browser extension, privacy, and updates) at a fixed 480 x 640. Controls show the models'
// values and write through the models' setters; after each write a control is set from the
// model again, so a value the model refused springs back.
class SettingsView : public QWidget {
    Q_OBJECT

public:
    static constexpr int width = 480;
    static constexpr int height = 640;

    // The updater is absent when the bundle names no feed. The version is the running copy's,
    // as the updates section shows it.
    SettingsView(AppModel& model, SettingsModel& settings, Updater* updater, ViewServices& services,
                 const QString& version, QWidget* parent = nullptr);
    ~SettingsView() override;

    // The controls, for the application's checks and the tests.
    QComboBox* minePicker() const { return m_mine; }
    QComboBox* secondPicker() const { return m_second; }
    QPushButton* shortcutButton() const { return m_shortcut; }
    Label* shortcutProblem() const { return m_shortcutProblem; }
    QCheckBox* loginToggle() const { return m_login; }
    QScrollArea* scrollArea() const { return m_scroll; }
    EnginePrompt* enginePrompt() const { return m_prompt; }
    UpdatesSection* updatesSection() const { return m_updates; }
    // What the row of a pack language shows on its trailing side: its size, "spinner", "Get"
    // or nothing.
    QString packRowState(const QString& code) const;
    // The texts of the Browser Extension section's rows, top to bottom.
    QStringList browserRows() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct PackRow;

    FormSection* languagesSection();
    FormSection* shortcutSection();
    FormSection* generalSection();
    FormSection* dictionarySection();
    FormSection* browserSection();
    FormSection* privacySection();

    void syncPickers();
    void syncShortcut();
    void syncTrust();
    void syncPacks();
    void syncBrowsers();
    void syncFast();
    void installEngine();

    AppModel& m_model;
    SettingsModel& m_settings;
    ViewServices& m_services;
    QScrollArea* m_scroll;
    ShortcutRecorder* m_recorder;
    EnginePrompt* m_prompt;

    QComboBox* m_mine = nullptr;
    QComboBox* m_second = nullptr;
    FormSection* m_languages = nullptr;
    QPushButton* m_shortcut = nullptr;
    Label* m_shortcutProblem = nullptr;
    QWidget* m_allowed = nullptr;
    QPushButton* m_allow = nullptr;
    QCheckBox* m_login = nullptr;
    std::map<QString, std::unique_ptr<PackRow>> m_packs;
    FormSection* m_browsers = nullptr;
    std::vector<QWidget*> m_browserRows;
    QWidget* m_noBrowser = nullptr;
    QWidget* m_fastReady = nullptr;
    QPushButton* m_fastDownload = nullptr;
    Label* m_fastUnavailable = nullptr;
    UpdatesSection* m_updates = nullptr;
};

} // namespace tivela
