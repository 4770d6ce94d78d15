#pragma once

#include <QPointer>
#include <QWidget>

class QScrollArea;
class QTextEdit;

namespace tivela {

class AppModel;
class FilledButton;
class IconButton;
class InputTextView;
class Label;
class LanguageMenu;
class PasteButton;
class Spinner;
struct ViewServices;

// The translate tab: the language menus and the swap button, the input box with its toolbar,
// and below them, scrolling, the prompt about reading the selection, the translation with its
// actions (or a problem, or what to do first) and the word card. It keeps no state: it shows
// the model and writes to it.
class TranslateView : public QWidget {
    Q_OBJECT

public:
    TranslateView(AppModel& model, ViewServices& services, QWidget* parent = nullptr);
    ~TranslateView() override;

    // The width of the scroll bar a box loses, unless the style's scroll bars float over the
    // content.
    static int scrollerWidth(const QWidget* widget);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class OutputText;

    QWidget* makeHeader();
    QWidget* makeInputArea();
    QWidget* makeOutputBlock();
    QWidget* makeEmptyBlock();
    QWidget* makeAccessibilityCard();
    QWidget* makeProblem();

    void updateSource();
    void updateTarget();
    void updateInputTools();
    void updateProblem();
    void updateOutputArea();
    void updateShortcutTexts();
    void updateOutput();
    void updateStar();
    void updateListen();
    void updateCard();
    void reportInputBox();
    void reportOutputBox();

    AppModel& m_model;
    ViewServices& m_services;

    LanguageMenu* m_source = nullptr;
    LanguageMenu* m_target = nullptr;
    QWidget* m_editorBox = nullptr;
    InputTextView* m_editor = nullptr;
    IconButton* m_listenInput = nullptr;
    PasteButton* m_paste = nullptr;
    Label* m_count = nullptr;
    IconButton* m_clear = nullptr;

    QScrollArea* m_scroll = nullptr;
    QWidget* m_accessibility = nullptr;
    Label* m_accessibilityText = nullptr;
    Label* m_cutNote = nullptr;
    QWidget* m_problemHolder = nullptr;
    QPointer<QWidget> m_problem;
    QWidget* m_outputBlock = nullptr;
    OutputText* m_output = nullptr;
    Spinner* m_outputSpinner = nullptr;
    QWidget* m_actions = nullptr;
    IconButton* m_listenOutput = nullptr;
    IconButton* m_star = nullptr;
    Spinner* m_rowSpinner = nullptr;
    QWidget* m_emptyBlock = nullptr;
    Label* m_shortcutHint = nullptr;
    Label* m_shortcutProblem = nullptr;
    QWidget* m_cardHolder = nullptr;
    QPointer<QWidget> m_card;
};

} // namespace tivela
