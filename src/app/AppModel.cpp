#include "app/AppModel.h"

#include "app/InputEditor.h"
#include "core/Futures.h"
#include "core/Languages.h"
#include "core/TextFit.h"
#include "core/Translator.h"

#include <QCoreApplication>
#include <QPromise>
#include <QtConcurrent/QtConcurrentRun>

#include <stdexcept>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

QString autoSource() {
    return u"auto"_s;
}

// Chinese in any script counts as one language.
QString folded(const QString& code) {
    return code.startsWith(u"zh"_s) ? u"zh"_s : code;
}

QString quoted(const QString& field) {
    return QString(u'"' + QString(field).replace(u'"', u"\"\""_s) + u'"');
}

// The value of a finished future; nothing when it failed or was cancelled.
template <typename T>
std::optional<T> resultOf(QFuture<T> future) {
    try {
        future.waitForFinished();
        if (future.resultCount() > 0)
            return future.result();
    } catch (...) {
    }
    return std::nullopt;
}

struct LookupResult {
    std::optional<DictionaryEntry> entry;
    // Packs the pair needs that are not installed; asked only when there is no card.
    QStringList missing;
};

} // namespace

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
    , services_(std::move(services))
    , source_(autoSource())
    , outputFrom_(u"en"_s)
    , outputTo_(u"en"_s)
    , inputFontSize_(FontFit::input.base)
    , outputFontSize_(FontFit::output.base)
    , m_historyWriter(services_.scheduler, *services_.store, historyDelayMilliseconds)
    , m_glosses(*services_.translator) {
    lookupPool_.setMaxThreadCount(2);
    connect(&m_historyWriter, &HistoryWriter::written, this, &AppModel::reloadHistory);
    connect(&m_glosses, &GlossBatches::published, this, &AppModel::setGlosses);
    const QStringList& popular = Languages::popularity();
    pair_ = services_.settings->pair().value_or(LanguagePair::defaultPair(Languages::systemLanguage(
        QSet<QString>(popular.begin(), popular.end()), services_.preferredLanguages())));
    if (const QCoreApplication* application = QCoreApplication::instance())
        connect(application, &QCoreApplication::aboutToQuit, this, &AppModel::flushPendingHistory);
    loadLanguages();
    history_ = store().history(historySearch_, historyRows);
    phrases_ = store().phrases(phraseSearch_);
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
    if (!assign(input_, input, &AppModel::inputChanged))
        return;
    if (m_starWanted && *m_starWanted != input_.trimmed())
        m_starWanted.reset();
    refitInput(false);
    scheduleTranslate(false);
}

void AppModel::setSource(const QString& source) {
    if (assign(source_, source, &AppModel::sourceChanged))
        scheduleTranslate(true);
}

void AppModel::setManualTarget(const std::optional<QString>& target) {
    if (assign(manualTarget_, target, &AppModel::manualTargetChanged))
        scheduleTranslate(true);
}

void AppModel::setDetected(const std::optional<QString>& detected) {
    assign(detected_, detected, &AppModel::detectedChanged);
}

void AppModel::setOutput(const QString& output) {
    // Whoever writes the output writes it for the input of the moment, even when unchanged.
    m_outputFor = input_.trimmed();
    if (assign(output_, output, &AppModel::outputChanged))
        refitOutput();
}

void AppModel::setOutputFrom(const QString& code) {
    assign(outputFrom_, code, &AppModel::outputFromChanged);
}

void AppModel::setOutputTo(const QString& code) {
    assign(outputTo_, code, &AppModel::outputToChanged);
}

void AppModel::setTranslating(bool translating) {
    assign(translating_, translating, &AppModel::translatingChanged);
}

void AppModel::setProblem(const std::optional<Problem>& problem) {
    assign(problem_, problem, &AppModel::problemChanged);
}

void AppModel::setEntry(const std::optional<DictionaryEntry>& entry) {
    if (assign(entry_, entry, &AppModel::entryChanged))
        m_glosses.show(entry_, pair_.mine);
}

void AppModel::setDictionaryLoading(bool loading) {
    assign(dictionaryLoading_, loading, &AppModel::dictionaryLoadingChanged);
}

void AppModel::setGlosses(const QHash<QString, QString>& glosses) {
    assign(glosses_, glosses, &AppModel::glossesChanged);
}

void AppModel::setInputFontSize(double size) {
    assign(inputFontSize_, size, &AppModel::inputFontSizeChanged);
}

void AppModel::setOutputFontSize(double size) {
    assign(outputFontSize_, size, &AppModel::outputFontSizeChanged);
}

void AppModel::setInputBox(QSizeF box) {
    if (assign(inputBox_, box, &AppModel::inputBoxChanged))
        refitInput(true);
}

void AppModel::setOutputBox(QSizeF box) {
    if (assign(outputBox_, box, &AppModel::outputBoxChanged))
        refitOutput();
}

void AppModel::setTab(Tab tab) {
    assign(tab_, tab, &AppModel::tabChanged);
}

void AppModel::setHistory(const QList<Item>& history) {
    assign(history_, history, &AppModel::historyChanged);
}

void AppModel::setPhrases(const QList<Item>& phrases) {
    assign(phrases_, phrases, &AppModel::phrasesChanged);
}

// Reloads even when the text is the same, so rows written meanwhile show up.
void AppModel::setHistorySearch(const QString& search) {
    assign(historySearch_, search, &AppModel::historySearchChanged);
    reloadHistory();
}

void AppModel::setPhraseSearch(const QString& search) {
    assign(phraseSearch_, search, &AppModel::phraseSearchChanged);
    reloadPhrases();
}

// Saved and translated again on every write, so the other program sees the pair the user just
// confirmed; packs only for a pair that changed.
void AppModel::setPair(const LanguagePair& pair) {
    const bool changed = assign(pair_, pair, &AppModel::pairChanged);
    services_.settings->setPair(pair_);
    scheduleTranslate(true);
    if (changed)
        services_.downloads->ensure({u"en"_s, pair_.mine, pair_.second});
}

void AppModel::setLanguages(const QStringList& languages) {
    assign(languages_, languages, &AppModel::languagesChanged);
}

void AppModel::setPinned(bool pinned) {
    assign(pinned_, pinned, &AppModel::pinnedChanged);
}

void AppModel::setNeedsAccessibility(bool needs) {
    assign(needsAccessibility_, needs, &AppModel::needsAccessibilityChanged);
}

void AppModel::setDownloadRequest(const std::optional<DownloadRequest>& request) {
    downloadRequest_ = request;
    Q_EMIT downloadRequestChanged();
}

void AppModel::setClipboardHasText(bool hasText) {
    assign(clipboardHasText_, hasText, &AppModel::clipboardHasTextChanged);
}

void AppModel::setInputView(QObject* view) {
    inputView_ = view;
}

InputEditor* AppModel::editor() const {
    return qobject_cast<InputEditor*>(inputView_.data());
}

void AppModel::reloadHistory() {
    setHistory(store().history(historySearch_, historyRows));
}

void AppModel::reloadPhrases() {
    setPhrases(store().phrases(phraseSearch_));
}

// Translation.

void AppModel::scheduleTranslate(bool now) {
    const quint64 run = ++translateRun_;
    const QString text = input_;
    services_.scheduler->singleShot(now ? 0 : debounceMilliseconds, this, [this, run, text] {
        if (run == translateRun_)
            translate(text, run);
    });
}

void AppModel::show(const QString& text) {
    setTab(Tab::translate);
    setSource(autoSource());
    setManualTarget(std::nullopt);
    setInput(text);
    scheduleTranslate(true);
}

QString AppModel::effectiveSource() const {
    if (source_ != autoSource())
        return source_;
    return detected_.value_or(pair_.second);
}

QString AppModel::targetFor(const QString& source) const {
    return manualTarget_.value_or(pair_.target(source));
}

void AppModel::translate(const QString& text, quint64 run) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        setOutput({});
        setEntry(std::nullopt);
        setProblem(std::nullopt);
        setDetected(std::nullopt);
        translatingRun_ = 0;
        setTranslating(false);
        return;
    }

    const QStringList& candidates = languages_.isEmpty() ? Languages::popularity() : languages_;
    const QSet<QString> allowed(candidates.begin(), candidates.end());
    if (source_ == autoSource())
        setDetected(services_.detection->detect(trimmed, allowed, {pair_.mine, pair_.second}));
    else
        setDetected(std::nullopt);

    const QString from = effectiveSource();
    const QString to = targetFor(from);
    if (services_.detection->isSingleWord(trimmed))
        lookUp(trimmed, from, to);
    else
        setEntry(std::nullopt);

    if (folded(from) == folded(to)) {
        setOutput(trimmed);
        setOutputFrom(from);
        setOutputTo(to);
        starIfWanted();
        setProblem(std::nullopt);
        return;
    }

    translatingRun_ = run;
    setTranslating(true);
    whenFinished(this, services_.translator->translate(trimmed, from, to, false),
                 [this, run, from, to](const QFuture<QString>& future) {
                     finishTranslation(run, from, to, future);
                 });
}

void AppModel::finishTranslation(quint64 run, const QString& from, const QString& to,
                                 const QFuture<QString>& future) {
    // A newer schedule replaced this run: it only lets go of the flag it set.
    if (run != translateRun_) {
        endTranslating(run);
        return;
    }
    QFuture<QString> finished = future;
    try {
        finished.waitForFinished();
        if (finished.resultCount() < 1)
            throw std::runtime_error("the translation was cancelled");
        const QString result = finished.result();
        setOutput(result);
        setOutputFrom(from);
        setOutputTo(to);
        starIfWanted();
        setProblem(std::nullopt);
        rememberLater();
    } catch (const TranslateError& error) {
        m_starWanted.reset();
        setOutput({});
        setProblem(Problem::of(error));
    } catch (const std::exception& error) {
        setProblem(Problem::failed(QString::fromLocal8Bit(error.what())));
    }
    endTranslating(run);
}

void AppModel::endTranslating(quint64 run) {
    if (translatingRun_ != run)
        return;
    translatingRun_ = 0;
    setTranslating(false);
}

void AppModel::rememberLater() {
    m_historyWriter.remember(Item{services_.newId(), input_.trimmed(), output_, outputFrom_,
                                  outputTo_, services_.now(), 0, 0, Item::appOrigin});
}

void AppModel::flushPendingHistory() {
    m_historyWriter.flush();
}

// Dictionary lookups.

void AppModel::lookUp(const QString& word, const QString& from, const QString& to) {
    ++lookupsRunning_;
    setDictionaryLoading(true);
    const auto dictionary = services_.dictionary;
    const auto downloads = services_.downloads;
    const auto first = [dictionary, downloads, word, from, to] {
        LookupResult result{dictionary->lookup(word, from, to), {}};
        if (!result.entry)
            for (const QString& code : downloads->packs(from, to))
                if (!dictionary->isInstalled(code))
                    result.missing << code;
        return result;
    };
    whenFinished(
        this, QtConcurrent::run(&lookupPool_, first), [=, this](QFuture<LookupResult> future) {
            const LookupResult result = resultOf(future).value_or(LookupResult{});
            if (result.entry || result.missing.isEmpty()) {
                finishLookUp(word, result.entry);
                return;
            }
            // Whether the download worked or not, the second lookup tells.
            whenFinished(this, downloads->ensure(result.missing), [=, this](const QFuture<bool>&) {
                const auto again = [dictionary, word, from, to] {
                    return dictionary->lookup(word, from, to);
                };
                whenFinished(this, QtConcurrent::run(&lookupPool_, again),
                             [this, word](QFuture<std::optional<DictionaryEntry>> retried) {
                                 finishLookUp(word, resultOf(retried).value_or(std::nullopt));
                             });
            });
        });
}

void AppModel::finishLookUp(const QString& word, const std::optional<DictionaryEntry>& entry) {
    if (input_.trimmed() == word)
        setEntry(entry);
    if (--lookupsRunning_ == 0)
        setDictionaryLoading(false);
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
        return services_.fits(text, size, box.width() * widthFactor, box.height());
    });
}

void AppModel::refitInput(bool fresh) {
    const auto current = fresh ? std::nullopt : std::optional<double>(inputFontSize_);
    if (const auto size = fittedSize(FontFit::input, input_, inputBox_, current))
        setInputFontSize(*size);
}

void AppModel::refitOutput() {
    if (const auto size = fittedSize(FontFit::output, output_, outputBox_, std::nullopt))
        setOutputFontSize(*size);
}

void AppModel::refreshClipboard() {
    const qint64 change = services_.pasteboard->changeCount();
    if (change == clipboardChange_)
        return;
    clipboardChange_ = change;
    setClipboardHasText(services_.pasteboard->hasText());
}

void AppModel::pasteFromClipboard() {
    setTab(Tab::translate);
    setSource(autoSource());
    setManualTarget(std::nullopt);
    if (InputEditor* view = editor(); view && view->isInWindow()) {
        view->takeFocus();
        // The editor hands its new text to the input itself.
        if (const auto text = services_.pasteboard->text())
            view->replaceAllText(*text);
    } else if (const auto text = services_.pasteboard->text()) {
        setInput(*text);
    }
    scheduleTranslate(true);
}

void AppModel::focusInput() {
    if (tab_ != Tab::translate)
        return;
    InputEditor* view = editor();
    if (view && view->isInWindow() && !view->isFocused())
        view->takeFocus();
}

void AppModel::swap() {
    const QString from = effectiveSource();
    const QString to = targetFor(from);
    const QString shown = output_;
    setSource(to);
    setManualTarget(from);
    if (!shown.isEmpty())
        setInput(shown);
}

void AppModel::setTarget(const QString& code) {
    if (code == pair_.target(effectiveSource()))
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
    return !output_.isEmpty() && m_outputFor == input_.trimmed();
}

// Looked for in the loaded list only, so a phrase the search hides shows as not starred.
std::optional<Item> AppModel::starredPhrase() const {
    if (!outputShowsInput())
        return std::nullopt;
    const QString text = input_.trimmed();
    for (const Item& item : phrases_)
        if (item.text == text && item.from == outputFrom_ && item.to == outputTo_)
            return item;
    return std::nullopt;
}

bool AppModel::isStarred() const {
    return starredPhrase().has_value();
}

void AppModel::toggleStar() {
    const QString text = input_.trimmed();
    if (text.isEmpty())
        return;
    // The output still belongs to an earlier input: the star waits for this one's translation,
    // and a second press takes the wish back.
    if (!outputShowsInput()) {
        m_starWanted = m_starWanted == text ? std::nullopt : std::optional(text);
        return;
    }
    if (const auto starred = starredPhrase())
        store().deletePhrase(starred->id);
    else
        store().addPhrase(Item{services_.newId(), text, output_, outputFrom_, outputTo_,
                               services_.now(), 0, 0, Item::appOrigin});
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
    for (const Item& item : phrases_)
        if (item.due <= services_.now())
            due << item;
    return due;
}

QString AppModel::exportCSV() const {
    QString csv = u"text,translation,from,to\n"_s;
    for (const Item& item : store().phrases(QString()))
        csv += quoted(item.text) + u',' + quoted(item.translation) + u',' + item.from + u',' +
               item.to + u'\n';
    return csv;
}

QFuture<void> AppModel::loadLanguages() {
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    whenFinished(this, services_.translator->supportedLanguages(),
                 [this, promise](QFuture<QSet<QString>> future) {
                     const QSet<QString> codes = resultOf(future).value_or(QSet<QString>());
                     setLanguages(Languages::sorted(codes.values()));
                     if (!services_.settings->pair())
                         setPair(LanguagePair::defaultPair(
                             Languages::systemLanguage(codes, services_.preferredLanguages())));
                     services_.downloads->ensure({u"en"_s, pair_.mine, pair_.second});
                     promise->finish();
                 });
    return promise->future();
}

} // namespace tivela
