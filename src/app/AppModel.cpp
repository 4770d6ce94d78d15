#include "app/AppModel.h"

#include "app/InputEditor.h"
#include "app/StoreNotices.h"
#include "core/Futures.h"
#include "core/IncomingText.h"
#include "core/Languages.h"
#include "core/TextFit.h"
#include "core/Translator.h"

#include <QCoreApplication>
#include <QDir>
#include <QPromise>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

QString quoted(const QString& field) {
    return QString(u'"' + QString(field).replace(u'"', u"\"\""_s) + u'"');
}

} // namespace

QString AppModel::autoSource() {
    return u"auto"_s;
}

AppModel::Problem AppModel::Problem::notInstalled(const QString& from, const QString& to) {
    return {Kind::notInstalled, from, to, {}};
}

AppModel::Problem AppModel::Problem::unsupported(const QString& from, const QString& to) {
    return {Kind::unsupported, from, to, {}};
}

AppModel::Problem AppModel::Problem::failed(const QString& message) {
    return {Kind::failed, {}, {}, message};
}

std::optional<AppModel::Problem> AppModel::Problem::of(const TranslateError& error) {
    switch (error.kind()) {
    case TranslateError::Kind::notInstalled:
        return AppModel::Problem::notInstalled(error.from(), error.to());
    case TranslateError::Kind::unsupported:
        return AppModel::Problem::unsupported(error.from(), error.to());
    case TranslateError::Kind::failed:
        return AppModel::Problem::failed(error.message());
    case TranslateError::Kind::empty:
        break;
    }
    return std::nullopt;
}

AppModel::AppModel(Store& store, Lexicon& lexicon, QObject* parent)
    : AppModel(AppServices::production(store, lexicon), parent) {
}

AppModel::AppModel(AppServices services, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_source(autoSource())
    , m_outputFrom(u"en"_s)
    , m_outputTo(u"en"_s)
    , m_inputFontSize(FontFit::input.base)
    , m_outputFontSize(FontFit::output.base)
    , m_writer(*m_services.store)
    , m_lookup(m_services.dictionary, m_services.downloads, *m_services.translator)
    , m_flow(*this, m_services, m_writer, m_lookup) {
    connect(&m_lookup, &WordCardLookup::found, this,
            [this](const QString& word, const std::optional<DictionaryEntry>& entry) {
                if (m_input.trimmed() == word)
                    setEntry(entry);
            });
    connect(&m_lookup, &WordCardLookup::loadingChanged, this, &AppModel::setDictionaryLoading);
    connect(&m_lookup, &WordCardLookup::glossesPublished, this, &AppModel::setGlosses);
    connect(&m_flow, &TranslationFlow::outputShown, this, &AppModel::starIfWanted);
    connect(&m_flow, &TranslationFlow::outputRefused, this, [this] { m_starWanted.reset(); });
    connect(&m_writer, &StoreWriter::finished, this, &AppModel::writeFinished);
    if (const auto& kept = m_writer.setAside()) {
        m_storeNotice = StoreNotices::setAside(*kept);
        StoreNotices::print(*m_storeNotice, QDir::toNativeSeparators(*kept));
    }
    const QStringList& popular = Languages::popularity();
    m_pair =
        m_services.settings->pair().value_or(LanguagePair::defaultPair(Languages::systemLanguage(
            QSet<QString>(popular.begin(), popular.end()), m_services.preferredLanguages())));
    if (const QCoreApplication* application = QCoreApplication::instance())
        connect(application, &QCoreApplication::aboutToQuit, this, &AppModel::flushPendingHistory);
    loadLanguages();
    m_history = m_writer.history(m_historySearch, historyRows);
    m_phrases = m_writer.phrases(m_phraseSearch);
}

AppModel::~AppModel() = default;

template <typename T>
bool AppModel::assign(T& field, const T& value, void (AppModel::*changed)()) {
    if (field == value)
        return false;
    field = value;
    Q_EMIT(this->*changed)();
    return true;
}

void AppModel::setInput(const QString& input) {
    if (input == m_input)
        return;
    m_input = input;
    // The size for the new text is chosen before anyone hears of the text, so the editor lays
    // a long text out once, at its size, not at the old size first.
    const double size = m_inputFontSize;
    if (const auto fitted = fittedSize(FontFit::input, m_input, m_inputBox, size))
        m_inputFontSize = *fitted;
    Q_EMIT inputChanged();
    if (m_inputFontSize != size)
        Q_EMIT inputFontSizeChanged();
    assign(m_inputCut, false, &AppModel::inputCutChanged);
    if (m_starWanted && *m_starWanted != m_input.trimmed())
        m_starWanted.reset();
    scheduleTranslate(false);
}

void AppModel::setSource(const QString& source) {
    if (assign(m_source, source, &AppModel::sourceChanged))
        scheduleTranslate(true);
}

void AppModel::setManualTarget(const std::optional<QString>& target) {
    if (assign(m_manualTarget, target, &AppModel::manualTargetChanged))
        scheduleTranslate(true);
}

void AppModel::setDetected(const std::optional<QString>& detected) {
    assign(m_detected, detected, &AppModel::detectedChanged);
}

void AppModel::setOutput(const QString& output) {
    // Whoever writes the output writes it for the input of the moment, even when unchanged.
    m_outputFor = m_input.trimmed();
    if (assign(m_output, output, &AppModel::outputChanged))
        refitOutput();
}

void AppModel::setOutputFrom(const QString& code) {
    assign(m_outputFrom, code, &AppModel::outputFromChanged);
}

void AppModel::setOutputTo(const QString& code) {
    assign(m_outputTo, code, &AppModel::outputToChanged);
}

void AppModel::setTranslating(bool translating) {
    assign(m_translating, translating, &AppModel::translatingChanged);
}

void AppModel::setProblem(const std::optional<Problem>& problem) {
    assign(m_problem, problem, &AppModel::problemChanged);
}

void AppModel::setEntry(const std::optional<DictionaryEntry>& entry) {
    if (assign(m_entry, entry, &AppModel::entryChanged))
        m_lookup.showGlosses(m_entry, m_pair.mine);
}

void AppModel::setDictionaryLoading(bool loading) {
    assign(m_dictionaryLoading, loading, &AppModel::dictionaryLoadingChanged);
}

void AppModel::setGlosses(const QHash<QString, QString>& glosses) {
    assign(m_glosses, glosses, &AppModel::glossesChanged);
}

void AppModel::setInputFontSize(double size) {
    assign(m_inputFontSize, size, &AppModel::inputFontSizeChanged);
}

void AppModel::setOutputFontSize(double size) {
    assign(m_outputFontSize, size, &AppModel::outputFontSizeChanged);
}

void AppModel::setInputBox(QSizeF box) {
    if (assign(m_inputBox, box, &AppModel::inputBoxChanged))
        refitInput(true);
}

void AppModel::setOutputBox(QSizeF box) {
    if (assign(m_outputBox, box, &AppModel::outputBoxChanged))
        refitOutput();
}

void AppModel::setTab(Tab tab) {
    assign(m_tab, tab, &AppModel::tabChanged);
}

void AppModel::setHistory(const QList<Item>& history) {
    assign(m_history, history, &AppModel::historyChanged);
}

void AppModel::setPhrases(const QList<Item>& phrases) {
    assign(m_phrases, phrases, &AppModel::phrasesChanged);
}

// Reloads even when the text is the same, so rows written meanwhile show up.
void AppModel::setHistorySearch(const QString& search) {
    assign(m_historySearch, search, &AppModel::historySearchChanged);
    reloadHistory();
}

void AppModel::setPhraseSearch(const QString& search) {
    assign(m_phraseSearch, search, &AppModel::phraseSearchChanged);
    reloadPhrases();
}

// Saved and translated again on every write, so the other program sees the pair the user just
// confirmed; packs only for a pair that changed.
void AppModel::setPair(const LanguagePair& pair) {
    const bool changed = assign(m_pair, pair, &AppModel::pairChanged);
    m_services.settings->setPair(m_pair);
    scheduleTranslate(true);
    if (changed)
        m_services.downloads->ensure({u"en"_s, m_pair.mine, m_pair.second});
}

void AppModel::setLanguages(const QStringList& languages) {
    assign(m_languages, languages, &AppModel::languagesChanged);
}

void AppModel::setPinned(bool pinned) {
    assign(m_pinned, pinned, &AppModel::pinnedChanged);
}

void AppModel::setNeedsAccessibility(bool needs) {
    assign(m_needsAccessibility, needs, &AppModel::needsAccessibilityChanged);
}

void AppModel::setDownloadRequest(const std::optional<DownloadRequest>& request) {
    m_downloadRequest = request;
    Q_EMIT downloadRequestChanged();
}

void AppModel::setClipboardHasText(bool hasText) {
    assign(m_clipboardHasText, hasText, &AppModel::clipboardHasTextChanged);
}

void AppModel::setStoreNotice(const std::optional<QString>& notice) {
    assign(m_storeNotice, notice, &AppModel::storeNoticeChanged);
}

void AppModel::setInputView(QObject* view) {
    m_inputView = view;
}

InputEditor* AppModel::editor() const {
    return qobject_cast<InputEditor*>(m_inputView.data());
}

void AppModel::reloadHistory() {
    setHistory(m_writer.history(m_historySearch, historyRows));
}

void AppModel::reloadPhrases() {
    setPhrases(m_writer.phrases(m_phraseSearch));
}

// A change that failed leaves the lists, which read the store as it is; the line says why.
void AppModel::writeFinished(const StoreWrite& write, const WriteResult& result) {
    if (!result.ok()) {
        const QString line = StoreNotices::failed(write, result);
        StoreNotices::print(line, result.detail);
        setStoreNotice(line);
    }
    if (write.changesHistory())
        reloadHistory();
    else
        reloadPhrases();
}

// Translation.

void AppModel::scheduleTranslate(bool now) {
    m_flow.scheduleTranslate(now);
}

void AppModel::show(const QString& text, bool cutBySender) {
    const IncomingText::Capped capped = IncomingText::cap(text);
    setTab(Tab::translate);
    setSource(autoSource());
    setManualTarget(std::nullopt);
    setInput(capped.text);
    assign(m_inputCut, capped.cut || cutBySender, &AppModel::inputCutChanged);
    scheduleTranslate(true);
}

QString AppModel::effectiveSource() const {
    if (m_source != autoSource())
        return m_source;
    return m_detected.value_or(m_pair.second);
}

void AppModel::flushPendingHistory() {
    m_flow.flushPendingHistory();
    m_writer.flush(quitFlushMilliseconds);
}

// Actions.

std::optional<double> AppModel::fittedSize(const FontFit& fit, const QString& text, QSizeF box,
                                           std::optional<double> current) const {
    // A box this small has not been laid out yet.
    if (!(box.width() > 10) || !(box.height() > 10))
        return std::nullopt;
    if (text.isEmpty())
        return fit.base;
    if (text.size() > maxMeasuredLength)
        return fit.floor;
    return fit.choose(current, [&](double size, double widthFactor) {
        return m_services.fits(text, size, box.width() * widthFactor, box.height());
    });
}

void AppModel::refitInput(bool fresh) {
    const auto current = fresh ? std::nullopt : std::optional<double>(m_inputFontSize);
    if (const auto size = fittedSize(FontFit::input, m_input, m_inputBox, current))
        setInputFontSize(*size);
}

void AppModel::refitOutput() {
    if (const auto size = fittedSize(FontFit::output, m_output, m_outputBox, std::nullopt))
        setOutputFontSize(*size);
}

void AppModel::refreshClipboard() {
    const qint64 change = m_services.pasteboard->changeCount();
    if (change == m_clipboardChange)
        return;
    m_clipboardChange = change;
    setClipboardHasText(m_services.pasteboard->hasText());
}

void AppModel::pasteFromClipboard() {
    setTab(Tab::translate);
    setSource(autoSource());
    setManualTarget(std::nullopt);
    if (InputEditor* view = editor(); view && view->isInWindow()) {
        view->takeFocus();
        // The editor hands its new text to the input itself.
        if (const auto text = m_services.pasteboard->text())
            view->replaceAllText(*text);
    } else if (const auto text = m_services.pasteboard->text()) {
        setInput(*text);
    }
    scheduleTranslate(true);
}

void AppModel::focusInput() {
    if (m_tab != Tab::translate)
        return;
    InputEditor* view = editor();
    if (view && view->isInWindow() && !view->isFocused())
        view->takeFocus();
}

void AppModel::swap() {
    const QString from = effectiveSource();
    const QString to = m_flow.targetFor(from);
    const QString shown = m_output;
    setSource(to);
    setManualTarget(from);
    if (!shown.isEmpty())
        setInput(shown);
}

void AppModel::setTarget(const QString& code) {
    if (code == m_pair.target(effectiveSource()))
        setManualTarget(std::nullopt);
    else
        setManualTarget(code);
}

void AppModel::clear() {
    setInput({});
    setOutput({});
    setEntry(std::nullopt);
    setProblem(std::nullopt);
    setSource(autoSource());
    setManualTarget(std::nullopt);
}

void AppModel::open(const Item& item) {
    setTab(Tab::translate);
    setSource(item.from);
    setManualTarget(item.to);
    setInput(item.text);
    scheduleTranslate(true);
}

bool AppModel::outputShowsInput() const {
    return !m_output.isEmpty() && m_outputFor == m_input.trimmed();
}

// Looked for in the loaded list only, so a phrase the search hides shows as not starred.
std::optional<Item> AppModel::starredPhrase() const {
    if (!outputShowsInput())
        return std::nullopt;
    const QString text = m_input.trimmed();
    for (const Item& item : m_phrases)
        if (item.text == text && item.from == m_outputFrom && item.to == m_outputTo)
            return item;
    return std::nullopt;
}

bool AppModel::isStarred() const {
    return starredPhrase().has_value();
}

void AppModel::toggleStar() {
    const QString text = m_input.trimmed();
    if (text.isEmpty())
        return;
    // The output still belongs to an earlier input: the star waits for this one's translation,
    // and a second press takes the wish back.
    if (!outputShowsInput()) {
        m_starWanted = m_starWanted == text ? std::nullopt : std::optional(text);
        return;
    }
    if (const auto starred = starredPhrase())
        m_writer.deletePhrase(*starred);
    else
        m_writer.addPhrase(Item{m_services.newId(), text, m_output, m_outputFrom, m_outputTo,
                                m_services.now(), 0, 0, Item::appOrigin});
    reloadPhrases();
}

// The star shows off while it waits, so the wish is to add, never to remove.
void AppModel::starIfWanted() {
    if (!m_starWanted || *m_starWanted != m_outputFor)
        return;
    m_starWanted.reset();
    if (!isStarred())
        toggleStar();
}

QList<Item> AppModel::dueCards() const {
    QList<Item> due;
    for (const Item& item : m_phrases)
        if (item.due <= m_services.now())
            due << item;
    return due;
}

QString AppModel::exportCSV() const {
    QString csv = u"text,translation,from,to\n"_s;
    for (const Item& item : m_writer.phrases(QString()))
        csv += quoted(item.text) + u',' + quoted(item.translation) + u',' + item.from + u',' +
               item.to + u'\n';
    return csv;
}

QFuture<void> AppModel::loadLanguages() {
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    whenFinished(this, m_services.translator->supportedLanguages(),
                 [this, promise](QFuture<QSet<QString>> future) {
                     const QSet<QString> codes = resultOf(future).value_or(QSet<QString>());
                     setLanguages(Languages::sorted(codes.values()));
                     if (!m_services.settings->pair())
                         setPair(LanguagePair::defaultPair(
                             Languages::systemLanguage(codes, m_services.preferredLanguages())));
                     m_services.downloads->ensure({u"en"_s, m_pair.mine, m_pair.second});
                     promise->finish();
                 });
    return promise->future();
}

} // namespace tivela
