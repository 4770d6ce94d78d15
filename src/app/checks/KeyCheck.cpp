// The script is one long coroutine, and g++ 12 ends some temporaries of its expressions too
// early there: a string builder must not refer to them. Plain QString arithmetic copies.
#undef QT_USE_QSTRINGBUILDER

#include "app/checks/KeyCheck.h"

#include "app/AppDelegate.h"
#include "app/AppModel.h"
#include "app/checks/CheckModes.h"
#include "app/checks/CheckShell.h"
#include "app/checks/WindowCheck.h"
#include "core/LexiconDownloader.h"
#include "core/Store.h"
#include "menu/MainMenu.h"
#include "platform/x11/PrivateDesktop.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QSaveFile>
#include <QStyleHints>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QUuid>
#include <QWindow>

#include <algorithm>
#include <array>

#include <csignal>
#include <memory>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

// The checks' pair: English is mine, Spanish the other.
const LanguagePair& checkPair() {
    static const LanguagePair pair{u"en"_s, u"es"_s};
    return pair;
}

// Read by the watchdog's thread: what to end with system calls alone.
std::atomic<pid_t> helperProcess{0};

struct KeyRun {
    std::unique_ptr<KeyCheck> run;
    std::unique_ptr<CheckShell> shell;
};

KeyRun& keyRun() {
    static KeyRun state;
    return state;
}

// The main thread may be the stuck one: the helper, the private desktop and the pack locks
// are ended by their process ids and files, and the process leaves without its exit handlers.
KeyCheck::Stop watchdogStop(std::vector<pid_t> desktopProcesses) {
    return {[desktopProcesses = std::move(desktopProcesses)] {
                if (const pid_t helper = helperProcess.load(); helper > 0)
                    ::kill(helper, SIGTERM);
                for (const pid_t pid : desktopProcesses)
                    ::kill(pid, SIGTERM);
                LexiconDownloader::releaseHeldLocks();
            },
            [](int status) { ::_exit(status); }};
}

} // namespace

KeyCheck::KeyCheck(QString reportPath, std::chrono::milliseconds bound, Stop stop)
    : m_reportPath(std::move(reportPath))
    , m_bound(bound)
    , m_stop(std::move(stop))
    , m_watchdog([this] { watch(); }) {
}

KeyCheck::~KeyCheck() {
    {
        const std::lock_guard lock(m_mutex);
        m_disarmed = true;
    }
    m_disarm.notify_all();
    m_watchdog.join();
}

void KeyCheck::check(const QString& name, bool ok, const QString& detail) {
    const std::lock_guard lock(m_mutex);
    m_records.check(name, ok, detail);
}

QList<CheckResult> KeyCheck::results() const {
    const std::lock_guard lock(m_mutex);
    return m_records.results();
}

std::optional<int> KeyCheck::finish(const QJsonObject& extra) {
    if (!claim())
        return std::nullopt;
    int status = 0;
    {
        const std::lock_guard lock(m_mutex);
        status = m_records.write(m_reportPath, extra);
        m_disarmed = true;
    }
    m_disarm.notify_all();
    return status;
}

void KeyCheck::watch() {
    std::unique_lock lock(m_mutex);
    if (m_disarm.wait_for(lock, m_bound, [this] { return m_disarmed; }))
        return;
    if (!claim())
        return;
    CheckReport records = m_records;
    lock.unlock();
    records.check(u"finished in time"_s, false,
                  u"stopped by the watchdog after %1 s"_s.arg(
                      std::chrono::duration_cast<std::chrono::seconds>(m_bound).count()));
    // A run cut short passed nothing.
    QJsonObject report = records.toJson();
    report.insert(u"passed"_s, 0);
    QSaveFile file(m_reportPath);
    if (file.open(QIODevice::WriteOnly))
        file.write(QJsonDocument(report).toJson(QJsonDocument::Indented));
    file.commit();
    if (m_stop.cleanUp)
        m_stop.cleanUp();
    if (m_stop.exit)
        m_stop.exit(stoppedStatus);
}

void KeyCheck::closingCheck(KeyCheck& run, const CheckDesktop& desktop) {
    const QString persons = desktop.personsDisplay.isEmpty() ? u"none"_s : desktop.personsDisplay;
    if (!desktop.error.isEmpty()) {
        run.check(u"the app's clipboard was a private one (the person's untouched)"_s, false,
                  desktop.error);
        return;
    }
    run.check(u"the app's clipboard was a private one (the person's untouched)"_s,
              desktop.isPrivate,
              (desktop.isPrivate ? u"private display "_s : u"the person's display "_s) +
                  desktop.display + u" (the person's: "_s + persons + u')');
}

QList<QWidget*> KeyCheck::views(QWidget* view) {
    if (!view)
        return {};
    QList<QWidget*> all{view};
    for (QObject* child : view->children())
        if (auto* widget = qobject_cast<QWidget*>(child); widget && !widget->isWindow())
            all += views(widget);
    return all;
}

QWidget* KeyCheck::selectableView(const QList<QWidget*>& views, const QWidget* except) {
    for (QWidget* view : views) {
        if (view == except || !view->isVisible() || view->focusPolicy() == Qt::NoFocus ||
            qobject_cast<QLineEdit*>(view) || qobject_cast<QAbstractButton*>(view) ||
            qobject_cast<QAbstractItemView*>(view))
            continue;
        if (const auto* label = qobject_cast<QLabel*>(view);
            label && label->textInteractionFlags() & Qt::TextSelectableByKeyboard)
            return view;
        if (const auto* editor = qobject_cast<QPlainTextEdit*>(view);
            editor && editor->isReadOnly())
            return view;
        if (const auto* editor = qobject_cast<QTextEdit*>(view); editor && editor->isReadOnly())
            return view;
    }
    return nullptr;
}

QWidget* KeyCheck::editableField(const QList<QWidget*>& views) {
    for (QWidget* view : views)
        if (auto* field = qobject_cast<QLineEdit*>(view);
            field && field->isVisible() && !field->isReadOnly() && field->isEnabled())
            return field;
    return nullptr;
}

QWidget* KeyCheck::windowByTitle(const QString& title) {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->windowTitle() == title)
            return window;
    return nullptr;
}

QSet<QString> KeyCheck::menuActions(const QMenu& menu) {
    struct Command {
        QKeySequence::StandardKey key;
        const char* text;
        QString name;
    };
    static const QList<Command> commands{{QKeySequence::Undo, "Undo", u"edit-undo"_s},
                                         {QKeySequence::Redo, "Redo", u"edit-redo"_s},
                                         {QKeySequence::Cut, "Cut", u"edit-cut"_s},
                                         {QKeySequence::Copy, "Copy", u"edit-copy"_s},
                                         {QKeySequence::Paste, "Paste", u"edit-paste"_s},
                                         {QKeySequence::Delete, "Delete", u"edit-delete"_s},
                                         {QKeySequence::SelectAll, "Select All", u"select-all"_s}};
    QSet<QString> found;
    for (const QAction* action : menu.actions()) {
        if (action->isSeparator())
            continue;
        if (!action->objectName().isEmpty()) {
            found.insert(action->objectName());
            continue;
        }
        // The key after the tab; a line edit leaves it out when a window shortcut has it (the
        // main menu's), and then its untranslated title says which command it is.
        const QString text = action->text();
        const qsizetype tab = text.indexOf(u'\t');
        const QKeySequence key(tab < 0 ? QString() : text.mid(tab + 1), QKeySequence::NativeText);
        const QString title = QString(text.left(tab < 0 ? text.size() : tab)).remove(u'&');
        for (const Command& command : commands)
            if ((!key.isEmpty() && QKeySequence::keyBindings(command.key).contains(key)) ||
                title == QLatin1String(command.text))
                found.insert(command.name);
    }
    return found;
}

namespace {

const QString& resignTrace() {
    static const QString prefix = u"app resigned active, front: "_s;
    return prefix;
}

bool isActive() {
    return QGuiApplication::applicationState() == Qt::ApplicationActive;
}

QString flag(bool value) {
    return value ? u"true"_s : u"false"_s;
}

QString typeName(const QObject* object) {
    if (!object)
        return u"none"_s;
    const QString name = QString::fromLatin1(object->metaObject()->className());
    return name.mid(name.lastIndexOf(u':') + 1);
}

QString quoted(const QString& text) {
    return u"«"_s + text + u"»"_s;
}

QString frontName() {
    const auto front = Activation::frontmost();
    return front && !front->name.isEmpty() ? front->name : u"?"_s;
}

// The keys a check names, as the person reads them.
QString keyText(QKeyCombination key) {
    return QKeySequence(key).toString(QKeySequence::NativeText);
}

// The window the keyboard is in, for details.
QString keyName() {
    if (const QWidget* key = QApplication::activeWindow())
        return typeName(key) + u" «"_s + key->windowTitle() + u'»';
    return u"no key window (active: "_s + flag(isActive()) + u", front: "_s + frontName() + u')';
}

QClipboard& clipboard() {
    return *QGuiApplication::clipboard();
}

void setClipboard(const QString& text) {
    clipboard().clear();
    clipboard().setText(text);
}

// Keys reach the window that has the keyboard through Qt's own input path, shortcuts and
// all, as a person's typing would; with no such window, nothing is sent.
QCoro::Task<> press(QKeyCombination key, int settleMilliseconds) {
    if (QWindow* focus = QGuiApplication::focusWindow())
        QTest::keyClick(focus, key.key(), key.keyboardModifiers());
    co_await WindowCheck::wait(settleMilliseconds);
}

QCoro::Task<> cmd(Qt::Key key, Qt::KeyboardModifiers more = {}) {
    co_await press(QKeyCombination(Qt::ControlModifier | more, key), 250);
}

// A left click in the middle of a rectangle of the popover's content.
QCoro::Task<> click(AppDelegate& delegate, const QRectF& frame) {
    QWidget* popover = delegate.popover();
    if (!popover || !popover->windowHandle() || frame.width() <= 0)
        co_return;
    QTest::mouseClick(popover->windowHandle(), Qt::LeftButton, {}, frame.center().toPoint());
    co_await WindowCheck::wait(300);
}

} // namespace

QCoro::Task<> KeyCheck::steps(KeyCheck& run, CheckShell& shell,
                              std::optional<Activation::FrontApplication> previousFront) {
    AppDelegate& delegate = shell.delegate();
    AppModel& model = delegate.model();
    const qint64 ownPid = QCoreApplication::applicationPid();
    QStringList& trace = AppDelegate::trace;
    const auto traceText = [&trace] { return trace.join(u" · "_s); };

    // 1. What kind of application this is.
    {
        QStringList menus;
        for (const QAction* item : delegate.mainMenu()->root()->actions())
            if (item->menu())
                menus << item->menu()->title();
        const QWidget* popover = delegate.popover();
        const bool offTaskbar = popover && popover->windowFlags().testFlag(Qt::Tool);
        run.check(u"an accessory app (no menu bar) with a main menu"_s,
                  offTaskbar && delegate.mainMenu()->root()->actions().size() == 3,
                  menus.join(u", "_s));
    }

    catchQuit = true;
    // Context menus name their keys after a tab, which the generic theme leaves out.
    QGuiApplication::styleHints()->setShowShortcutsInContextMenus(true);
    std::unique_ptr<QProcess> helper =
        co_await WindowCheck::launchHelper(QCoreApplication::applicationFilePath());
    const qint64 helperPid = helper ? helper->processId() : 0;
    helperProcess = pid_t(helperPid);
    QObject::connect(qApp, &QGuiApplication::applicationStateChanged, &delegate,
                     [&trace](Qt::ApplicationState state) {
                         if (state == Qt::ApplicationActive)
                             return;
                         const auto front = Activation::frontmost();
                         trace << resignTrace() + frontName() + u' ' +
                                      QString::number(front ? front->pid : 0);
                     });

    const auto popoverKey = [&delegate] {
        return delegate.isPopoverShown() && QApplication::activeWindow() == delegate.popover();
    };
    const auto shownActiveKey = [&] { return popoverKey() && isActive(); };
    const auto inputReady = [&] {
        auto* input = qobject_cast<QWidget*>(model.inputView());
        return delegate.isPopoverShown() && isActive() && input &&
               QApplication::activeWindow() == input->window();
    };
    // A program whose windows are all hidden cannot be given the front: only a shown window
    // of ours is worth asking for.
    const auto ensureActive = [&]() -> QCoro::Task<> {
        if (isActive() || !helper)
            co_return;
        const auto front = Activation::frontmost();
        if (!front || front->pid != helperPid)
            co_return;
        const auto windows = QApplication::topLevelWidgets();
        if (std::none_of(windows.begin(), windows.end(),
                         [](const QWidget* window) { return window->isVisible(); }))
            co_return;
        WindowCheck::ask(*helper, ownPid);
        co_await WindowCheck::wait(2000, isActive);
    };

    if (helper) {
        co_await WindowCheck::handFront(helperPid);
        co_await WindowCheck::wait(3000, [] { return !isActive(); });
    }
    const bool activeBefore = isActive();
    setClipboard(u"Bonjour tout le monde"_s);
    // The shortcut's own road: the popover takes the keyboard by itself.
    delegate.showPopover();
    co_await WindowCheck::wait(3000, inputReady);

    // 2. The shortcut's road into the input.
    auto* input = qobject_cast<QPlainTextEdit*>(model.inputView());
    QWidget* window = input ? input->window() : nullptr;
    if (!input || !window) {
        run.check(u"the shortcut opens the window with the input"_s, false, u"no input view"_s);
        co_await WindowCheck::endHelper(std::move(helper));
        co_return;
    }
    run.check(u"the shortcut from another app: the window is key, the input has the focus"_s,
              QApplication::activeWindow() == window && window->focusWidget() == input,
              u"another app was in front: "_s + flag(!activeBefore) + u"; active now: "_s +
                  flag(isActive()));

    // 3-9. Editing keys in the input.
    const auto inputIs = [&model](const QString& text) {
        return [&model, text] { return model.input() == text; };
    };
    co_await cmd(Qt::Key_V);
    co_await WindowCheck::wait(1500, inputIs(u"Bonjour tout le monde"_s));
    run.check(u"input: "_s + keyText(Qt::CTRL | Qt::Key_V) + u" right after the shortcut"_s,
              model.input() == u"Bonjour tout le monde"_s, model.input());

    co_await cmd(Qt::Key_A);
    {
        const QTextCursor cursor = input->textCursor();
        const int length = int(input->toPlainText().size());
        run.check(u"input: "_s + keyText(Qt::CTRL | Qt::Key_A) + u" selects all"_s,
                  cursor.selectionStart() == 0 && cursor.selectionEnd() == length,
                  u"{%1, %2} of %3"_s.arg(cursor.selectionStart())
                      .arg(cursor.selectionEnd() - cursor.selectionStart())
                      .arg(length));
    }

    setClipboard(QString());
    co_await cmd(Qt::Key_C);
    run.check(u"input: "_s + keyText(Qt::CTRL | Qt::Key_C) + u" copies the selection"_s,
              clipboard().text() == u"Bonjour tout le monde"_s, clipboard().text());

    input->textCursor().insertText(u"Hello"_s);
    co_await WindowCheck::wait(300);
    co_await cmd(Qt::Key_Z);
    co_await WindowCheck::wait(800, inputIs(u"Bonjour tout le monde"_s));
    run.check(u"input: "_s + keyText(Qt::CTRL | Qt::Key_Z) + u" undoes typing"_s,
              model.input() == u"Bonjour tout le monde"_s, model.input());

    co_await cmd(Qt::Key_Z, Qt::ShiftModifier);
    co_await WindowCheck::wait(800, inputIs(u"Hello"_s));
    run.check(u"input: "_s + keyText(Qt::CTRL | Qt::SHIFT | Qt::Key_Z) + u" redoes it"_s,
              model.input() == u"Hello"_s, model.input());

    co_await cmd(Qt::Key_A);
    setClipboard(QString());
    co_await cmd(Qt::Key_X);
    run.check(u"input: "_s + keyText(Qt::CTRL | Qt::Key_X) + u" cuts"_s,
              model.input().isEmpty() && clipboard().text() == u"Hello"_s,
              u"input "_s + quoted(model.input()) + u", clipboard "_s + quoted(clipboard().text()));

    setClipboard(u"Gracias"_s);
    co_await cmd(Qt::Key_V, Qt::AltModifier | Qt::ShiftModifier);
    co_await WindowCheck::wait(800, inputIs(u"Gracias"_s));
    run.check(u"input: "_s + keyText(Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_V) +
                  u" pastes and matches style"_s,
              model.input() == u"Gracias"_s, model.input());
    trace.clear();

    // 10-14. The paste button.
    const auto snapshot = [&] {
        return u"view "_s + quoted(input->toPlainText()) + u" undo steps "_s +
               QString::number(input->document()->availableUndoSteps());
    };
    const auto translated = [&model](const QString& text) {
        return [&model, text] {
            return model.input() == text && !model.output().isEmpty() && !model.translating();
        };
    };
    const auto arrow = [&model] {
        return quoted(model.input()) + u" → "_s + quoted(model.output());
    };
    const auto frameText = [](const QRectF& frame) {
        return u"(%1, %2, %3 x %4)"_s.arg(frame.x())
            .arg(frame.y())
            .arg(frame.width())
            .arg(frame.height());
    };
    model.show(u"previous text"_s);
    co_await WindowCheck::wait(600);
    const QString afterShow = u"trace ["_s + traceText() + u"] "_s + snapshot();
    trace.clear();
    setClipboard(u"Buenos días"_s);
    model.refreshClipboard();
    co_await WindowCheck::wait(300);
    run.check(u"Paste button: shown under the input"_s, model.pasteButtonFrame().width() > 20,
              frameText(model.pasteButtonFrame()));
    co_await click(delegate, model.pasteButtonFrame());

    co_await WindowCheck::wait(15000, translated(u"Buenos días"_s));
    run.check(u"Paste button: puts the clipboard in and translates it"_s,
              model.input() == u"Buenos días"_s && !model.output().isEmpty(), arrow());
    const QString afterPaste =
        snapshot() + u" first "_s + typeName(window ? window->focusWidget() : nullptr);

    co_await cmd(Qt::Key_Z);
    co_await WindowCheck::wait(1000, inputIs(u"previous text"_s));
    run.check(u"Paste button: "_s + keyText(Qt::CTRL | Qt::Key_Z) + u" brings the old text back"_s,
              model.input() == u"previous text"_s,
              model.input() + u"; after show: "_s + afterShow + u"; after paste: "_s + afterPaste +
                  u"; trace "_s + traceText());
    trace.clear();

    {
        auto* image = new QMimeData;
        image->setData(u"image/png"_s, QByteArray("\x89PNG", 4));
        clipboard().clear();
        clipboard().setMimeData(image);
    }
    co_await WindowCheck::wait(1600, [&model] { return !model.clipboardHasText(); });
    co_await click(delegate, model.pasteButtonFrame());
    co_await WindowCheck::wait(500);
    run.check(u"Paste button: disabled when the clipboard holds no text"_s,
              !model.clipboardHasText() && model.input() == u"previous text"_s,
              u"clipboardHasText "_s + flag(model.clipboardHasText()) + u", input "_s +
                  quoted(model.input()));

    model.show(QString());
    co_await WindowCheck::wait(400);
    setClipboard(u"Hasta luego"_s);
    co_await WindowCheck::wait(1600, [&model] { return model.clipboardHasText(); });
    co_await click(delegate, model.pasteButtonFrame());
    co_await WindowCheck::wait(15000, translated(u"Hasta luego"_s));
    run.check(u"Paste button: the large one in an empty input"_s,
              model.input() == u"Hasta luego"_s && !model.output().isEmpty(),
              arrow() + u" at "_s + frameText(model.pasteButtonFrame()));
    model.show(QString());
    co_await WindowCheck::wait(300);

    // 15-18. Return, the translation, Tab.
    input->setFocus();
    input->textCursor().insertText(u"Good night"_s);
    co_await press(QKeyCombination(Qt::Key_Return), 100);
    co_await WindowCheck::wait(
        15000, [&model] { return !model.output().isEmpty() && !model.translating(); });
    run.check(u"input: Return translates, no new line"_s,
              !model.input().contains(u'\n') && !model.output().isEmpty(), arrow());

    co_await press(QKeyCombination(Qt::SHIFT | Qt::Key_Return), 250);
    {
        QString debug = model.input();
        debug.replace(u"\\"_s, u"\\\\"_s).replace(u"\n"_s, u"\\n"_s).replace(u"\t"_s, u"\\t"_s);
        run.check(u"input: "_s + keyText(Qt::SHIFT | Qt::Key_Return) + u" starts a new line"_s,
                  model.input().endsWith(u'\n'), u'"' + debug + u'"');
    }
    co_await WindowCheck::wait(500);

    if (QWidget* selectable = selectableView(views(window), input)) {
        selectable->setFocus();
        setClipboard(QString());
        co_await cmd(Qt::Key_A);
        co_await cmd(Qt::Key_C);
        run.check(u"translation: "_s + keyText(Qt::CTRL | Qt::Key_A) + u' ' +
                      keyText(Qt::CTRL | Qt::Key_C) + u" copies it"_s,
                  !clipboard().text().isEmpty() && clipboard().text() == model.output(),
                  typeName(selectable) + u": "_s + quoted(clipboard().text()));
    } else {
        run.check(u"translation: "_s + keyText(Qt::CTRL | Qt::Key_A) + u' ' +
                      keyText(Qt::CTRL | Qt::Key_C) + u" copies it"_s,
                  false, u"no selectable view for the translation"_s);
    }

    input->setFocus();
    {
        const QString before = model.input();
        co_await press(QKeyCombination(Qt::Key_Tab), 250);
        run.check(u"input: Tab moves the focus, types no tab"_s,
                  !model.input().contains(u'\t') && model.input() == before,
                  u"focus: "_s + typeName(window->focusWidget()));
    }

    // The input's context menu.
    {
        const std::unique_ptr<QMenu> menu(input->createStandardContextMenu());
        const QSet<QString> actions = menu ? menuActions(*menu) : QSet<QString>();
        run.check(u"input: right-click gives Cut, Copy, Paste"_s,
                  actions.contains(u"edit-cut"_s) && actions.contains(u"edit-copy"_s) &&
                      actions.contains(u"edit-paste"_s),
                  u"%1 items"_s.arg(actions.size()));
    }

    // The search fields of the lists.
    static const std::array<std::pair<Tab, QString>, 2> lists{
        {{Tab::history, u"History"_s}, {Tab::phrasebook, u"Phrasebook"_s}}};
    for (const auto& [tab, label] : lists) {
        const auto search = [&model, tab = tab] {
            return tab == Tab::history ? model.historySearch() : model.phraseSearch();
        };
        const auto searchIs = [search](const QString& text) {
            return [search, text] { return search() == text; };
        };
        model.setTab(tab);
        co_await WindowCheck::wait(700);
        auto* field = qobject_cast<QLineEdit*>(editableField(views(window)));
        if (!field) {
            run.check(label + u" search: found"_s, false, QString());
            continue;
        }
        field->setFocus();
        co_await WindowCheck::wait(200);
        setClipboard(u"mountain"_s);
        co_await cmd(Qt::Key_V);
        co_await WindowCheck::wait(800, searchIs(u"mountain"_s));
        run.check(label + u" search: "_s + keyText(Qt::CTRL | Qt::Key_V), search() == u"mountain"_s,
                  search());
        co_await cmd(Qt::Key_A);
        setClipboard(QString());
        co_await cmd(Qt::Key_C);
        run.check(label + u" search: "_s + keyText(Qt::CTRL | Qt::Key_A) + u' ' +
                      keyText(Qt::CTRL | Qt::Key_C),
                  clipboard().text() == u"mountain"_s, clipboard().text());
        co_await cmd(Qt::Key_X);
        co_await WindowCheck::wait(500, searchIs(QString()));
        run.check(label + u" search: "_s + keyText(Qt::CTRL | Qt::Key_X),
                  search().isEmpty() && clipboard().text() == u"mountain"_s, search());
        co_await cmd(Qt::Key_Z);
        co_await WindowCheck::wait(500, searchIs(u"mountain"_s));
        run.check(label + u" search: "_s + keyText(Qt::CTRL | Qt::Key_Z) + u" (info)"_s, true,
                  search() == u"mountain"_s ? u"undone"_s : u"no undo in a search field"_s);
        {
            const std::unique_ptr<QMenu> menu(field->createStandardContextMenu());
            const QSet<QString> actions = menu ? menuActions(*menu) : QSet<QString>();
            run.check(label + u" search: right-click gives Cut, Copy, Paste"_s,
                      actions.contains(u"edit-cut"_s) && actions.contains(u"edit-copy"_s) &&
                          actions.contains(u"edit-paste"_s),
                      QString());
        }
        if (tab != Tab::history)
            continue;
        model.setHistorySearch(QString());
        co_await WindowCheck::wait(400);
        field->setFocus();
        co_await WindowCheck::wait(200);
        co_await press(QKeyCombination(Qt::Key_Tab), 250);
        const bool moved = window->focusWidget() != field;
        co_await press(QKeyCombination(Qt::SHIFT | Qt::Key_Backtab), 250);
        const bool back = window->focusWidget() == field;
        run.check(u"History: Tab leaves the search field, "_s + keyText(Qt::SHIFT | Qt::Key_Tab) +
                      u" comes back"_s,
                  moved && back,
                  u"after Tab: "_s + (moved ? u"moved"_s : u"stayed"_s) + u", after "_s +
                      keyText(Qt::SHIFT | Qt::Key_Tab) + u": "_s +
                      (back ? u"search"_s : typeName(window->focusWidget())));
    }

    // The cards answer their keys.
    {
        model.setHistorySearch(QString());
        model.setPhraseSearch(QString());
        const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        shell.store().addPhrase(Item{id, u"KeyCheck card"_s, u"проверка"_s, u"en"_s, u"ru"_s,
                                     double(QDateTime::currentSecsSinceEpoch()), 0, 0, u"mac"_s});
        model.reloadPhrases();
        model.setTab(Tab::cards);
        co_await WindowCheck::wait(700);
        const QList<Item> due = model.dueCards();
        const std::optional<QString> first =
            due.isEmpty() ? std::nullopt : std::optional(due.first().id);
        if (QWidget* focus = window->focusWidget())
            focus->clearFocus();
        co_await press(QKeyCombination(Qt::Key_Space), 250);
        co_await press(QKeyCombination(Qt::Key_2), 250);
        co_await WindowCheck::wait(800);
        model.reloadPhrases();
        const QList<Item> after = model.dueCards();
        run.check(u"Cards: Space and 2 still answer a card"_s,
                  first && std::none_of(after.begin(), after.end(),
                                        [&first](const Item& card) { return card.id == *first; }),
                  u"key window: "_s + keyName());
        shell.store().deletePhrase(id);
        model.reloadPhrases();
        model.setTab(Tab::translate);
        co_await WindowCheck::wait(500);
    }

    // Closing the popover by keys.
    trace.clear();
    model.setPinned(true);
    delegate.showPopover();
    co_await WindowCheck::bringForward(delegate.popover());
    co_await WindowCheck::wait(1500, popoverKey);
    co_await cmd(Qt::Key_W);
    co_await WindowCheck::wait(1500, [&delegate] { return !delegate.isPopoverShown(); });
    run.check(keyText(Qt::CTRL | Qt::Key_W) + u" closes the menu bar window, pinned too"_s,
              !delegate.isPopoverShown(), u"trace: "_s + traceText());
    trace.clear();
    model.setPinned(false);
    co_await WindowCheck::wait(1000);

    run.check(u"after the window closes, the app before is in front again (info)"_s, true,
              u"active "_s + flag(isActive()) + u", "_s + keyName());
    co_await ensureActive();

    delegate.showPopover();
    co_await WindowCheck::bringForward(delegate.popover());
    co_await WindowCheck::wait(1500, shownActiveKey);
    model.focusInput();
    {
        const QString before = keyName() + u", active "_s + flag(isActive());
        co_await press(QKeyCombination(Qt::Key_Escape), 250);
        co_await WindowCheck::wait(1500, [&delegate] { return !delegate.isPopoverShown(); });
        run.check(u"Esc closes the menu bar window"_s, !delegate.isPopoverShown(),
                  u"key window: "_s + before + u"; trace: "_s + traceText());
        trace.clear();
    }
    co_await WindowCheck::wait(1000);
    co_await ensureActive();

    // Settings by keys.
    const QString settingsTitle = u"Tivela Settings"_s;
    delegate.showPopover();
    co_await WindowCheck::bringForward(delegate.popover());
    co_await WindowCheck::wait(1500, shownActiveKey);
    {
        const QString before = keyName() + u", active "_s + flag(isActive());
        co_await cmd(Qt::Key_Comma);
        co_await WindowCheck::wait(2500, [&settingsTitle] {
            const QWidget* settings = windowByTitle(settingsTitle);
            return settings && settings->isVisible();
        });
        co_await WindowCheck::wait(800);
        QWidget* settings = windowByTitle(settingsTitle);
        run.check(keyText(Qt::CTRL | Qt::Key_Comma) + u" opens Settings"_s,
                  settings && settings->isVisible() &&
                      Activation::isOnCurrentDesktop(settings->windowHandle()) &&
                      !delegate.isPopoverShown(),
                  u"before: "_s + before + u"; after: "_s + keyName() +
                      u", menu bar window closed "_s + flag(!delegate.isPopoverShown()) +
                      u"; trace: "_s + traceText());
        trace.clear();
    }
    co_await ensureActive();

    {
        QPointer<QWidget> settings = windowByTitle(settingsTitle);
        if (settings) {
            settings->show();
            co_await WindowCheck::bringForward(settings);
        }
        co_await WindowCheck::wait(
            1500, [&settings] { return settings && QApplication::activeWindow() == settings; });
        const bool wasKey = settings && QApplication::activeWindow() == settings;
        co_await cmd(Qt::Key_W);
        co_await WindowCheck::wait(1000,
                                   [&settings] { return !settings || !settings->isVisible(); });
        run.check(keyText(Qt::CTRL | Qt::Key_W) + u" closes Settings"_s,
                  settings && !settings->isVisible(),
                  u"Settings was the key window: "_s + flag(wasKey) + u"; "_s + keyName());
    }
    co_await WindowCheck::wait(800);
    co_await ensureActive();

    // Quit, caught. Keys need a window that has the keyboard: wait for the popover to have it.
    delegate.showPopover();
    co_await WindowCheck::bringForward(delegate.popover());
    co_await WindowCheck::wait(1500, shownActiveKey);
    co_await cmd(Qt::Key_Q);
    co_await WindowCheck::wait(1000, [] { return quitAsked; });
    run.check(keyText(Qt::CTRL | Qt::Key_Q) + u" quits"_s, quitAsked, QString());
    delegate.closePopover();
    model.show(QString());
    co_await WindowCheck::wait(800);
    co_await ensureActive();

    // A save panel's name field.
    {
        QFileDialog panel(nullptr, QString(), QDir::tempPath());
        panel.setOption(QFileDialog::DontUseNativeDialog);
        panel.setAcceptMode(QFileDialog::AcceptSave);
        panel.selectFile(u"Phrasebook.csv"_s);
        panel.show();
        co_await WindowCheck::bringForward(&panel);
        co_await WindowCheck::wait(3000,
                                   [&panel] { return QApplication::activeWindow() == &panel; });
        auto* name = panel.findChild<QLineEdit*>(u"fileNameEdit"_s);
        const auto named = [name] { return name && name->text().startsWith(u"Words"_s); };
        const QString before = keyName();
        setClipboard(u"Words"_s);
        co_await cmd(Qt::Key_A);
        co_await cmd(Qt::Key_V);
        co_await WindowCheck::wait(800, named);
        QString route = u"keys"_s;
        if (!named()) {
            delegate.mainMenu()->action(MenuItem::selectAll)->trigger();
            delegate.mainMenu()->action(MenuItem::paste)->trigger();
            co_await WindowCheck::wait(800, named);
            route = u"Edit menu actions"_s;
        }
        QWidget* focus = panel.focusWidget();
        run.check(u"save panel: "_s + keyText(Qt::CTRL | Qt::Key_A) + u' ' +
                      keyText(Qt::CTRL | Qt::Key_V) + u" in the name field"_s,
                  named(),
                  (name ? name->text() : QString()) + u" by "_s + route + u"; key window: "_s +
                      before + u"; out of process: false; first responder: "_s +
                      (focus ? typeName(focus) : u"-"_s));
        panel.reject();
        panel.hide();
        co_await WindowCheck::wait(500);
    }

    // The front goes back where it was.
    if (helper) {
        if (previousFront && previousFront->pid != ownPid) {
            co_await WindowCheck::handFront(helperPid);
            co_await WindowCheck::wait(800);
            WindowCheck::ask(*helper, previousFront->pid);
            co_await WindowCheck::wait(800);
        }
        helperProcess = 0;
        co_await WindowCheck::endHelper(std::move(helper));
    }
}

void KeyCheck::run(const QString& reportPath,
                   std::optional<Activation::FrontApplication> previousFront,
                   const CheckDesktop& desktop) {
    std::vector<pid_t> desktopProcesses =
        desktop.own ? desktop.own->processes() : std::vector<pid_t>();
    KeyRun& state = keyRun();
    state.run = std::make_unique<KeyCheck>(reportPath, watchdogBound,
                                           watchdogStop(std::move(desktopProcesses)));
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] {
        keyRun().shell.reset();
        keyRun().run.reset();
    });
    if (!desktop.error.isEmpty()) {
        closingCheck(*state.run, desktop);
        const int status = state.run->finish().value_or(stoppedStatus);
        QTimer::singleShot(0, qApp, [status] { QCoreApplication::exit(status); });
        return;
    }
    state.shell = std::make_unique<CheckShell>(checkPair());
    QTimer::singleShot(0, qApp, [previousFront, &desktop] {
        QCoro::connect(
            [](std::optional<Activation::FrontApplication> front,
               const CheckDesktop& ownDesktop) -> QCoro::Task<> {
                KeyRun& current = keyRun();
                QElapsedTimer clock;
                clock.start();
                if (co_await current.shell->launch(800))
                    co_await steps(*current.run, *current.shell, front);
                closingCheck(*current.run, ownDesktop);
                WindowCheck::printTimes("check-keys", clock.elapsed());
                // Lost to the watchdog: it ends the process.
                if (const auto status =
                        current.run->finish({{u"app"_s, AppDelegate::versionString()}}))
                    QCoreApplication::exit(*status);
            }(previousFront, desktop),
            qApp, [] {});
    });
}

} // namespace tivela
