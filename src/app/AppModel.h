#pragma once

#include "app/AppServices.h"
#include "app/Tab.h"
#include "app/TranslationFlow.h"
#include "app/WordCardLookup.h"
#include "core/DictionaryEntry.h"
#include "core/LanguagePair.h"
#include "core/Store.h"
#include "core/StoreWriter.h"

#include <QFuture>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <optional>

namespace tivela {

class InputEditor;
class TranslateError;
struct FontFit;

// The one model behind every view of the popover, on the main thread. Every observed property
// is a Q_PROPERTY whose change signal fires only when a write changes the value (downloadRequest
// fires on every write). The reactions of the properties run inside their
// setters, whoever writes.
class AppModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString input READ input WRITE setInput NOTIFY inputChanged)
    Q_PROPERTY(QString source READ source WRITE setSource NOTIFY sourceChanged)
    Q_PROPERTY(std::optional<QString> manualTarget READ manualTarget WRITE setManualTarget NOTIFY
                   manualTargetChanged)
    Q_PROPERTY(
        std::optional<QString> detected READ detected WRITE setDetected NOTIFY detectedChanged)
    Q_PROPERTY(QString output READ output WRITE setOutput NOTIFY outputChanged)
    Q_PROPERTY(QString outputFrom READ outputFrom WRITE setOutputFrom NOTIFY outputFromChanged)
    Q_PROPERTY(QString outputTo READ outputTo WRITE setOutputTo NOTIFY outputToChanged)
    Q_PROPERTY(bool translating READ translating WRITE setTranslating NOTIFY translatingChanged)
    Q_PROPERTY(std::optional<tivela::AppModel::Problem> problem READ problem WRITE setProblem NOTIFY
                   problemChanged)
    Q_PROPERTY(
        std::optional<tivela::DictionaryEntry> entry READ entry WRITE setEntry NOTIFY entryChanged)
    Q_PROPERTY(bool dictionaryLoading READ dictionaryLoading WRITE setDictionaryLoading NOTIFY
                   dictionaryLoadingChanged)
    Q_PROPERTY(QHash<QString, QString> glosses READ glosses WRITE setGlosses NOTIFY glossesChanged)
    Q_PROPERTY(
        double inputFontSize READ inputFontSize WRITE setInputFontSize NOTIFY inputFontSizeChanged)
    Q_PROPERTY(double outputFontSize READ outputFontSize WRITE setOutputFontSize NOTIFY
                   outputFontSizeChanged)
    Q_PROPERTY(QSizeF inputBox READ inputBox WRITE setInputBox NOTIFY inputBoxChanged)
    Q_PROPERTY(QSizeF outputBox READ outputBox WRITE setOutputBox NOTIFY outputBoxChanged)
    Q_PROPERTY(tivela::Tab tab READ tab WRITE setTab NOTIFY tabChanged)
    Q_PROPERTY(QList<tivela::Item> history READ history WRITE setHistory NOTIFY historyChanged)
    Q_PROPERTY(QList<tivela::Item> phrases READ phrases WRITE setPhrases NOTIFY phrasesChanged)
    Q_PROPERTY(
        QString historySearch READ historySearch WRITE setHistorySearch NOTIFY historySearchChanged)
    Q_PROPERTY(
        QString phraseSearch READ phraseSearch WRITE setPhraseSearch NOTIFY phraseSearchChanged)
    Q_PROPERTY(tivela::LanguagePair pair READ pair WRITE setPair NOTIFY pairChanged)
    Q_PROPERTY(QStringList languages READ languages WRITE setLanguages NOTIFY languagesChanged)
    Q_PROPERTY(bool pinned READ pinned WRITE setPinned NOTIFY pinnedChanged)
    Q_PROPERTY(bool needsAccessibility READ needsAccessibility WRITE setNeedsAccessibility NOTIFY
                   needsAccessibilityChanged)
    Q_PROPERTY(std::optional<tivela::AppModel::DownloadRequest> downloadRequest READ downloadRequest
                   WRITE setDownloadRequest NOTIFY downloadRequestChanged)
    Q_PROPERTY(bool clipboardHasText READ clipboardHasText WRITE setClipboardHasText NOTIFY
                   clipboardHasTextChanged)
    Q_PROPERTY(std::optional<QString> storeNotice READ storeNotice WRITE setStoreNotice NOTIFY
                   storeNoticeChanged)
    Q_PROPERTY(bool inputCut READ inputCut NOTIFY inputCutChanged)

public:
    // The source that asks for the text's language to be detected.
    static QString autoSource();
    static constexpr int debounceMilliseconds = 220;
    static constexpr int historyDelayMilliseconds = 1500;
    static constexpr int historyRows = 200;
    // Longer inputs take the smallest size without being measured.
    static constexpr int maxMeasuredLength = 3000;
    // At quit, how long the writes still on their way may take to land.
    static constexpr int quitFlushMilliseconds = 5000;

    // Why the last translation failed.
    struct Problem {
        enum class Kind { notInstalled, unsupported, failed };

        Kind kind = Kind::failed;
        QString from;
        QString to;
        QString message;

        // The engine's languages for the pair are not installed.
        static Problem notInstalled(const QString& from, const QString& to);
        // The engine cannot translate the pair.
        static Problem unsupported(const QString& from, const QString& to);
        static Problem failed(const QString& message);
        // What the translate tab shows for an error of the translator; nothing for a blank text.
        static std::optional<Problem> of(const TranslateError& error);

        friend bool operator==(const Problem&, const Problem&) = default;
    };

    // A pair whose engine languages the user is to be asked to install.
    struct DownloadRequest {
        QString from;
        QString to;
    };

    // On the application's own services, with this store and lexicon.
    AppModel(Store& store, Lexicon& lexicon, QObject* parent = nullptr);
    explicit AppModel(AppServices services, QObject* parent = nullptr);
    ~AppModel() override;

    // The store's reads; every change goes through writer().
    Store& store() const { return *m_services.store; }
    // The one writer of the store, off the main thread. The lists show a change handed to it at
    // once (reload them after handing one over) and take it back when it fails.
    StoreWriter& writer() { return m_writer; }
    // The model's clock (seconds since 1970) and timers, for views that wait on them.
    double now() const { return m_services.now(); }
    // A new identifier for a row or a card the views make.
    QString newId() const { return m_services.newId(); }
    Scheduler& scheduler() const { return *m_services.scheduler; }

    const QString& input() const { return m_input; }
    void setInput(const QString& input);
    // A language code, or "auto" for detection.
    const QString& source() const { return m_source; }
    void setSource(const QString& source);
    // A target the user chose; nothing lets the pair decide.
    const std::optional<QString>& manualTarget() const { return m_manualTarget; }
    void setManualTarget(const std::optional<QString>& target);
    const std::optional<QString>& detected() const { return m_detected; }
    void setDetected(const std::optional<QString>& detected);
    const QString& output() const { return m_output; }
    void setOutput(const QString& output);
    const QString& outputFrom() const { return m_outputFrom; }
    void setOutputFrom(const QString& code);
    const QString& outputTo() const { return m_outputTo; }
    void setOutputTo(const QString& code);
    bool translating() const { return m_translating; }
    void setTranslating(bool translating);
    const std::optional<Problem>& problem() const { return m_problem; }
    void setProblem(const std::optional<Problem>& problem);
    const std::optional<DictionaryEntry>& entry() const { return m_entry; }
    void setEntry(const std::optional<DictionaryEntry>& entry);
    bool dictionaryLoading() const { return m_dictionaryLoading; }
    void setDictionaryLoading(bool loading);
    // English texts of the card to their translations into the user's language.
    const QHash<QString, QString>& glosses() const { return m_glosses; }
    void setGlosses(const QHash<QString, QString>& glosses);
    double inputFontSize() const { return m_inputFontSize; }
    void setInputFontSize(double size);
    double outputFontSize() const { return m_outputFontSize; }
    void setOutputFontSize(double size);
    QSizeF inputBox() const { return m_inputBox; }
    void setInputBox(QSizeF box);
    QSizeF outputBox() const { return m_outputBox; }
    void setOutputBox(QSizeF box);
    Tab tab() const { return m_tab; }
    void setTab(Tab tab);
    const QList<Item>& history() const { return m_history; }
    void setHistory(const QList<Item>& history);
    const QList<Item>& phrases() const { return m_phrases; }
    void setPhrases(const QList<Item>& phrases);
    const QString& historySearch() const { return m_historySearch; }
    void setHistorySearch(const QString& search);
    const QString& phraseSearch() const { return m_phraseSearch; }
    void setPhraseSearch(const QString& search);
    const LanguagePair& pair() const { return m_pair; }
    void setPair(const LanguagePair& pair);
    const QStringList& languages() const { return m_languages; }
    void setLanguages(const QStringList& languages);
    bool pinned() const { return m_pinned; }
    void setPinned(bool pinned);
    bool needsAccessibility() const { return m_needsAccessibility; }
    void setNeedsAccessibility(bool needs);
    const std::optional<DownloadRequest>& downloadRequest() const { return m_downloadRequest; }
    void setDownloadRequest(const std::optional<DownloadRequest>& request);
    bool clipboardHasText() const { return m_clipboardHasText; }
    void setClipboardHasText(bool hasText);
    // The one line on a change the store let down, until the person has seen it.
    const std::optional<QString>& storeNotice() const { return m_storeNotice; }
    void setStoreNotice(const std::optional<QString>& notice);
    // The input is the beginning of a longer text handed over, cut by show(); any other change
    // of the input clears it.
    bool inputCut() const { return m_inputCut; }

    // Not observed.
    // The input editor, held weakly: an object that implements InputEditor.
    QObject* inputView() const { return m_inputView; }
    void setInputView(QObject* view);
    QRectF pasteButtonFrame() const { return m_pasteButtonFrame; }
    void setPasteButtonFrame(const QRectF& frame) { m_pasteButtonFrame = frame; }

    // Translation.
    // Drops the pending translation and schedules one of the current input: at once (still
    // after the caller returns) or after the debounce.
    void scheduleTranslate(bool now);
    // Shows a text handed over by another program in the translate tab and translates it at
    // once; a text beyond the incoming cap is cut to it. `cutBySender`: the sender cut it already.
    void show(const QString& text, bool cutBySender = false);
    // The chosen source, else the detected one, else the pair's second language.
    QString effectiveSource() const;
    // Hands the translation waiting for its history row to the writer now, and gives every
    // write on its way quitFlushMilliseconds to land; the application calls it when it is about
    // to quit. What could not be written is named on the standard error.
    void flushPendingHistory();

    // Actions.
    void refitInput(bool fresh);
    void refitOutput();
    // Reads the clipboard only when it changed since the last look.
    void refreshClipboard();
    void pasteFromClipboard();
    void focusInput();
    void swap();
    void setTarget(const QString& code);
    void clear();
    void open(const Item& item);
    void toggleStar();
    bool isStarred() const;
    QList<Item> dueCards() const;
    // The lists again from the store with the current searches, the history at most 200 rows.
    void reloadHistory();
    void reloadPhrases();
    // The whole phrasebook as comma-separated text, whatever the search.
    QString exportCSV() const;
    // Finishes once the languages are in, the pair is set and the pack downloads are asked for.
    QFuture<void> loadLanguages();

Q_SIGNALS:
    void inputChanged();
    void sourceChanged();
    void manualTargetChanged();
    void detectedChanged();
    void outputChanged();
    void outputFromChanged();
    void outputToChanged();
    void translatingChanged();
    void problemChanged();
    void entryChanged();
    void dictionaryLoadingChanged();
    void glossesChanged();
    void inputFontSizeChanged();
    void outputFontSizeChanged();
    void inputBoxChanged();
    void outputBoxChanged();
    void tabChanged();
    void historyChanged();
    void phrasesChanged();
    void historySearchChanged();
    void phraseSearchChanged();
    void pairChanged();
    void languagesChanged();
    void pinnedChanged();
    void needsAccessibilityChanged();
    void downloadRequestChanged();
    void clipboardHasTextChanged();
    void storeNoticeChanged();
    void inputCutChanged();

private:
    template <typename T>
    bool assign(T& field, const T& value, void (AppModel::*changed)());

    std::optional<double> fittedSize(const FontFit& fit, const QString& text, QSizeF box,
                                     std::optional<double> current) const;
    InputEditor* editor() const;
    // Whether the output is the translation of the input as it stands.
    bool outputShowsInput() const;
    std::optional<Item> starredPhrase() const;
    void starIfWanted();
    void writeFinished(const StoreWrite& write, const WriteResult& result);

    AppServices m_services;

    QString m_input;
    QString m_source;
    std::optional<QString> m_manualTarget;
    std::optional<QString> m_detected;
    QString m_output;
    QString m_outputFrom;
    QString m_outputTo;
    bool m_translating = false;
    std::optional<Problem> m_problem;
    std::optional<DictionaryEntry> m_entry;
    bool m_dictionaryLoading = false;
    QHash<QString, QString> m_glosses;
    double m_inputFontSize;
    double m_outputFontSize;
    QSizeF m_inputBox{0, 0};
    QSizeF m_outputBox{0, 0};
    Tab m_tab = Tab::translate;
    QList<Item> m_history;
    QList<Item> m_phrases;
    QString m_historySearch;
    QString m_phraseSearch;
    LanguagePair m_pair;
    QStringList m_languages;
    bool m_pinned = false;
    bool m_needsAccessibility = false;
    std::optional<DownloadRequest> m_downloadRequest;
    bool m_clipboardHasText = true;
    std::optional<QString> m_storeNotice;
    bool m_inputCut = false;

    QPointer<QObject> m_inputView;
    qint64 m_clipboardChange = -1;
    QRectF m_pasteButtonFrame;

    // The trimmed input the output was written for.
    QString m_outputFor;
    // An input starred before its translation came.
    std::optional<QString> m_starWanted;
    StoreWriter m_writer;
    // The word card of a single-word input and its glosses, told back through signals.
    WordCardLookup m_lookup;
    // The translations of the input, written into the properties above; it starts the lookups.
    TranslationFlow m_flow;
};

} // namespace tivela
