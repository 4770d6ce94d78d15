// The keyboard check's script, one coroutine per group of checks. g++ 12 ends some temporaries
// of a coroutine's expressions too early: a string builder must not refer to them. Plain
// QString arithmetic copies.
#undef QT_USE_QSTRINGBUILDER

#include "app/checks/KeyCheck.h"

#include "app/AppDelegate.h"
#include "app/AppModel.h"
#include "app/checks/CheckShell.h"
#include "app/checks/WindowCheck.h"
#include "core/Store.h"
#include "menu/MainMenu.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QStyleHints>
#include <QTest>
#include <QTimer>
#include <QUuid>
#include <QWindow>

#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

using WindowCheck::frontName;
using WindowCheck::isActive;

const QString& resignTrace() {
    static const QString prefix = u"app resigned active, front: "_s;
    return prefix;
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

bool cutCopyPaste(const QSet<QString>& actions) {
    return actions.contains(u"edit-cut"_s) && actions.contains(u"edit-copy"_s) &&
           actions.contains(u"edit-paste"_s);
}

// Where Tab goes from a widget in Qt's focus chain: the next shown, enabled widget of its
// window that takes the focus by Tab; none when there is none.
QWidget* nextTabStop(QWidget* from) {
    for (QWidget* next = from->nextInFocusChain(); next && next != from;
         next = next->nextInFocusChain())
        if (next->window() == from->window() && (next->focusPolicy() & Qt::TabFocus) &&
            next->isVisibleTo(from->window()) && next->isEnabled() && !next->focusProxy())
            return next;
    return nullptr;
}

} // namespace

KeyCheck::Script::Script(KeyCheck& run, CheckShell& shell,
                         std::optional<Activation::FrontApplication> previousFront,
                         QString helperProgram)
    : m_run(run)
    , m_shell(shell)
    , m_delegate(shell.delegate())
    , m_model(shell.delegate().model())
    , m_previousFront(std::move(previousFront))
    , m_helperProgram(std::move(helperProgram))
    , m_ownPid(QCoreApplication::applicationPid()) {
}

KeyCheck::Script::~Script() {
    helperProcess = 0;
}

QPlainTextEdit* KeyCheck::Script::inputView() const {
    return qobject_cast<QPlainTextEdit*>(m_model.inputView());
}

QString KeyCheck::Script::traceText() const {
    return AppDelegate::trace.join(u" · "_s);
}

bool KeyCheck::Script::popoverKey() const {
    return m_delegate.isPopoverShown() && QApplication::activeWindow() == m_delegate.popover();
}

bool KeyCheck::Script::shownActiveKey() const {
    return popoverKey() && isActive();
}

// A program whose windows are all hidden cannot be given the front: only a shown window of
// ours that the window manager keeps is worth asking for (not the tray's icon, which stays
// shown).
QCoro::Task<> KeyCheck::Script::ensureActive() {
    if (isActive() || !m_helper)
        co_return;
    const auto front = Activation::frontmost();
    if (!front || front->pid != m_helperPid)
        co_return;
    const auto windows = QApplication::topLevelWidgets();
    if (std::none_of(windows.begin(), windows.end(), [](const QWidget* window) {
            return window->isVisible() &&
                   !window->windowFlags().testFlag(Qt::BypassWindowManagerHint);
        }))
        co_return;
    WindowCheck::ask(*m_helper, m_ownPid);
    co_await WindowCheck::wait(2000, isActive);
}

QCoro::Task<std::optional<QSet<QString>>> KeyCheck::Script::rightClick(QWidget* field) {
    QWindow* window = field->window()->windowHandle();
    if (!window)
        co_return std::nullopt;
    const QPoint at = field->mapTo(field->window(), field->rect().center());
    // A menu may run an event loop of its own until it closes: the click is made from a turn
    // of the loop, and the script goes on meanwhile to read the menu and close it.
    QTimer::singleShot(0, window,
                       [window, at] { QTest::mouseClick(window, Qt::RightButton, {}, at); });
    const auto opened = [] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); };
    co_await WindowCheck::wait(1500, opened);
    QMenu* menu = opened();
    if (!menu)
        co_return std::nullopt;
    const QSet<QString> actions = menuActions(*menu);
    menu->close();
    co_await WindowCheck::wait(500, [opened] { return !opened(); });
    co_return actions;
}

QCoro::Task<bool> KeyCheck::Script::start() {
    {
        QStringList menus;
        for (const QAction* item : m_delegate.mainMenu()->root()->actions())
            if (item->menu())
                menus << item->menu()->title();
        const QWidget* popover = m_delegate.popover();
        const bool offTaskbar = popover && popover->windowFlags().testFlag(Qt::Tool);
        m_run.check(u"an accessory app (no menu bar) with a main menu"_s,
                    offTaskbar && m_delegate.mainMenu()->root()->actions().size() == 3,
                    menus.join(u", "_s));
    }

    catchQuit = true;
    // Context menus name their keys after a tab, which the generic theme leaves out.
    QGuiApplication::styleHints()->setShowShortcutsInContextMenus(true);
    if (!m_helperProgram.isEmpty())
        m_helper = co_await WindowCheck::launchHelper(m_helperProgram);
    m_helperPid = m_helper ? m_helper->processId() : 0;
    helperProcess = pid_t(m_helperPid);
    QObject::connect(qApp, &QGuiApplication::applicationStateChanged, &m_delegate,
                     [](Qt::ApplicationState state) {
                         if (state == Qt::ApplicationActive)
                             return;
                         const auto front = Activation::frontmost();
                         AppDelegate::trace << resignTrace() + frontName(front) + u' ' +
                                                   QString::number(front ? front->pid : 0);
                     });
    const auto inputReady = [this] {
        auto* input = qobject_cast<QWidget*>(m_model.inputView());
        return m_delegate.isPopoverShown() && isActive() && input &&
               QApplication::activeWindow() == input->window();
    };

    if (m_helper) {
        co_await WindowCheck::handFront(m_helperPid);
        co_await WindowCheck::wait(3000, [] { return !isActive(); });
    }
    const bool activeBefore = isActive();
    setClipboard(u"Bonjour tout le monde"_s);
    // The shortcut's own road: the popover takes the keyboard by itself.
    m_delegate.showPopover();
    co_await WindowCheck::wait(3000, inputReady);

    QPlainTextEdit* input = inputView();
    m_window = input ? input->window() : nullptr;
    if (!input || !m_window) {
        m_run.check(u"the shortcut opens the window with the input"_s, false, u"no input view"_s);
        helperProcess = 0;
        co_await WindowCheck::endHelper(std::move(m_helper));
        co_return false;
    }
    m_run.check(u"the shortcut from another app: the window is key, the input has the focus"_s,
                QApplication::activeWindow() == m_window && m_window->focusWidget() == input,
                u"another app was in front: "_s + flag(!activeBefore) + u"; active now: "_s +
                    flag(isActive()));
    co_return true;
}

QCoro::Task<> KeyCheck::Script::editing() {
    QPlainTextEdit* input = inputView();
    if (!input) {
        m_run.check(u"the shortcut opens the window with the input"_s, false, u"no input view"_s);
        co_return;
    }
    AppModel& model = m_model;
    const auto inputIs = [&model](const QString& text) {
        return [&model, text] { return model.input() == text; };
    };
    co_await cmd(Qt::Key_V);
    co_await WindowCheck::wait(1500, inputIs(u"Bonjour tout le monde"_s));
    m_run.check(u"input: "_s + keyText(Qt::CTRL | Qt::Key_V) + u" right after the shortcut"_s,
                model.input() == u"Bonjour tout le monde"_s, model.input());

    co_await cmd(Qt::Key_A);
    {
        const QTextCursor cursor = input->textCursor();
        const int length = int(input->toPlainText().size());
        m_run.check(u"input: "_s + keyText(Qt::CTRL | Qt::Key_A) + u" selects all"_s,
                    cursor.selectionStart() == 0 && cursor.selectionEnd() == length,
                    u"{%1, %2} of %3"_s.arg(cursor.selectionStart())
                        .arg(cursor.selectionEnd() - cursor.selectionStart())
                        .arg(length));
    }

    setClipboard(QString());
    co_await cmd(Qt::Key_C);
    m_run.check(u"input: "_s + keyText(Qt::CTRL | Qt::Key_C) + u" copies the selection"_s,
                clipboard().text() == u"Bonjour tout le monde"_s, clipboard().text());

    input->textCursor().insertText(u"Hello"_s);
    co_await WindowCheck::wait(300);
    co_await cmd(Qt::Key_Z);
    co_await WindowCheck::wait(800, inputIs(u"Bonjour tout le monde"_s));
    m_run.check(u"input: "_s + keyText(Qt::CTRL | Qt::Key_Z) + u" undoes typing"_s,
                model.input() == u"Bonjour tout le monde"_s, model.input());

    co_await cmd(Qt::Key_Z, Qt::ShiftModifier);
    co_await WindowCheck::wait(800, inputIs(u"Hello"_s));
    m_run.check(u"input: "_s + keyText(Qt::CTRL | Qt::SHIFT | Qt::Key_Z) + u" redoes it"_s,
                model.input() == u"Hello"_s, model.input());

    co_await cmd(Qt::Key_A);
    setClipboard(QString());
    co_await cmd(Qt::Key_X);
    m_run.check(u"input: "_s + keyText(Qt::CTRL | Qt::Key_X) + u" cuts"_s,
                model.input().isEmpty() && clipboard().text() == u"Hello"_s,
                u"input "_s + quoted(model.input()) + u", clipboard "_s +
                    quoted(clipboard().text()));

    setClipboard(u"Gracias"_s);
    co_await cmd(Qt::Key_V, Qt::AltModifier | Qt::ShiftModifier);
    co_await WindowCheck::wait(800, inputIs(u"Gracias"_s));
    m_run.check(u"input: "_s + keyText(Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_V) +
                    u" pastes and matches style"_s,
                model.input() == u"Gracias"_s, model.input());
    AppDelegate::trace.clear();
}

QCoro::Task<> KeyCheck::Script::pasteButton() {
    AppModel& model = m_model;
    QPlainTextEdit* input = inputView();
    if (!input) {
        m_run.check(u"the shortcut opens the window with the input"_s, false, u"no input view"_s);
        co_return;
    }
    const auto snapshot = [input] {
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
    AppDelegate::trace.clear();
    setClipboard(u"Buenos días"_s);
    model.refreshClipboard();
    co_await WindowCheck::wait(300);
    m_run.check(u"Paste button: shown under the input"_s, model.pasteButtonFrame().width() > 20,
                frameText(model.pasteButtonFrame()));
    co_await click(m_delegate, model.pasteButtonFrame());

    co_await WindowCheck::wait(15000, translated(u"Buenos días"_s));
    m_run.check(u"Paste button: puts the clipboard in and translates it"_s,
                model.input() == u"Buenos días"_s && !model.output().isEmpty(), arrow());
    const QString afterPaste = snapshot() + u" first "_s + typeName(m_window->focusWidget());

    co_await cmd(Qt::Key_Z);
    co_await WindowCheck::wait(1000, [&model] { return model.input() == u"previous text"_s; });
    m_run.check(u"Paste button: "_s + keyText(Qt::CTRL | Qt::Key_Z) +
                    u" brings the old text back"_s,
                model.input() == u"previous text"_s,
                model.input() + u"; after show: "_s + afterShow + u"; after paste: "_s +
                    afterPaste + u"; trace "_s + traceText());
    AppDelegate::trace.clear();

    {
        auto* image = new QMimeData;
        image->setData(u"image/png"_s, QByteArray("\x89PNG", 4));
        clipboard().clear();
        clipboard().setMimeData(image);
    }
    co_await WindowCheck::wait(1600, [&model] { return !model.clipboardHasText(); });
    co_await click(m_delegate, model.pasteButtonFrame());
    co_await WindowCheck::wait(500);
    m_run.check(u"Paste button: disabled when the clipboard holds no text"_s,
                !model.clipboardHasText() && model.input() == u"previous text"_s,
                u"clipboardHasText "_s + flag(model.clipboardHasText()) + u", input "_s +
                    quoted(model.input()));

    model.show(QString());
    co_await WindowCheck::wait(400);
    setClipboard(u"Hasta luego"_s);
    co_await WindowCheck::wait(1600, [&model] { return model.clipboardHasText(); });
    co_await click(m_delegate, model.pasteButtonFrame());
    co_await WindowCheck::wait(15000, translated(u"Hasta luego"_s));
    m_run.check(u"Paste button: the large one in an empty input"_s,
                model.input() == u"Hasta luego"_s && !model.output().isEmpty(),
                arrow() + u" at "_s + frameText(model.pasteButtonFrame()));
    model.show(QString());
    co_await WindowCheck::wait(300);
}

QCoro::Task<> KeyCheck::Script::focus() {
    QPlainTextEdit* input = inputView();
    if (!input) {
        m_run.check(u"the shortcut opens the window with the input"_s, false, u"no input view"_s);
        co_return;
    }
    AppModel& model = m_model;
    const auto arrow = [&model] {
        return quoted(model.input()) + u" → "_s + quoted(model.output());
    };
    input->setFocus();
    input->textCursor().insertText(u"Good night"_s);
    co_await press(QKeyCombination(Qt::Key_Return), 100);
    co_await WindowCheck::wait(
        15000, [&model] { return !model.output().isEmpty() && !model.translating(); });
    m_run.check(u"input: Return translates, no new line"_s,
                !model.input().contains(u'\n') && !model.output().isEmpty(), arrow());

    co_await press(QKeyCombination(Qt::SHIFT | Qt::Key_Return), 250);
    {
        QString debug = model.input();
        debug.replace(u"\\"_s, u"\\\\"_s).replace(u"\n"_s, u"\\n"_s).replace(u"\t"_s, u"\\t"_s);
        m_run.check(u"input: "_s + keyText(Qt::SHIFT | Qt::Key_Return) + u" starts a new line"_s,
                    model.input().endsWith(u'\n'), u'"' + debug + u'"');
    }
    co_await WindowCheck::wait(500);

    const QString copies = u"translation: "_s + keyText(Qt::CTRL | Qt::Key_A) + u' ' +
                           keyText(Qt::CTRL | Qt::Key_C) + u" copies it"_s;
    if (QWidget* selectable = selectableView(views(m_window), input)) {
        selectable->setFocus();
        setClipboard(QString());
        co_await cmd(Qt::Key_A);
        co_await cmd(Qt::Key_C);
        m_run.check(copies, !clipboard().text().isEmpty() && clipboard().text() == model.output(),
                    typeName(selectable) + u": "_s + quoted(clipboard().text()));
    } else {
        m_run.check(copies, false, u"no selectable view for the translation"_s);
    }

    // Tab must arrive and move the focus where Qt's focus chain says: one lost on the way
    // leaves the focus where it was.
    input->setFocus();
    co_await WindowCheck::wait(200, [this, input] { return m_window->focusWidget() == input; });
    {
        const QString before = model.input();
        QWidget* expected = nextTabStop(input);
        co_await press(QKeyCombination(Qt::Key_Tab), 250);
        QWidget* now = m_window->focusWidget();
        m_run.check(u"input: Tab moves the focus, types no tab"_s,
                    !model.input().contains(u'\t') && model.input() == before && expected &&
                        now == expected,
                    u"focus: "_s + typeName(now) +
                        (now == expected ? QString() : u", expected "_s + typeName(expected)));
    }

    const std::optional<QSet<QString>> menu = co_await rightClick(input);
    m_run.check(u"input: right-click gives Cut, Copy, Paste"_s, menu && cutCopyPaste(*menu),
                u"%1 items"_s.arg(menu ? menu->size() : 0));
}

QCoro::Task<> KeyCheck::Script::search() {
    AppModel& model = m_model;
    static const std::array<std::pair<Tab, QString>, 2> lists{
        {{Tab::history, u"History"_s}, {Tab::phrasebook, u"Phrasebook"_s}}};
    for (const auto& [tab, label] : lists) {
        const auto searchText = [&model, tab = tab] {
            return tab == Tab::history ? model.historySearch() : model.phraseSearch();
        };
        const auto searchIs = [searchText](const QString& text) {
            return [searchText, text] { return searchText() == text; };
        };
        model.setTab(tab);
        co_await WindowCheck::wait(700);
        auto* field = qobject_cast<QLineEdit*>(editableField(views(m_window)));
        if (!field) {
            m_run.check(label + u" search: found"_s, false, QString());
            continue;
        }
        field->setFocus();
        co_await WindowCheck::wait(200);
        setClipboard(u"mountain"_s);
        co_await cmd(Qt::Key_V);
        co_await WindowCheck::wait(800, searchIs(u"mountain"_s));
        m_run.check(label + u" search: "_s + keyText(Qt::CTRL | Qt::Key_V),
                    searchText() == u"mountain"_s, searchText());
        co_await cmd(Qt::Key_A);
        setClipboard(QString());
        co_await cmd(Qt::Key_C);
        m_run.check(label + u" search: "_s + keyText(Qt::CTRL | Qt::Key_A) + u' ' +
                        keyText(Qt::CTRL | Qt::Key_C),
                    clipboard().text() == u"mountain"_s, clipboard().text());
        co_await cmd(Qt::Key_X);
        co_await WindowCheck::wait(500, searchIs(QString()));
        m_run.check(label + u" search: "_s + keyText(Qt::CTRL | Qt::Key_X),
                    searchText().isEmpty() && clipboard().text() == u"mountain"_s, searchText());
        co_await cmd(Qt::Key_Z);
        co_await WindowCheck::wait(500, searchIs(u"mountain"_s));
        m_run.check(label + u" search: "_s + keyText(Qt::CTRL | Qt::Key_Z) + u" (info)"_s, true,
                    searchText() == u"mountain"_s ? u"undone"_s : u"no undo in a search field"_s);
        const std::optional<QSet<QString>> menu = co_await rightClick(field);
        m_run.check(label + u" search: right-click gives Cut, Copy, Paste"_s,
                    menu && cutCopyPaste(*menu), QString());
        co_await rows(tab, label, field);
        if (tab != Tab::history)
            continue;
        model.setHistorySearch(QString());
        co_await WindowCheck::wait(400);
        field->setFocus();
        co_await WindowCheck::wait(200);
        co_await press(QKeyCombination(Qt::Key_Tab), 250);
        const bool moved = m_window->focusWidget() != field;
        co_await press(QKeyCombination(Qt::SHIFT | Qt::Key_Backtab), 250);
        const bool back = m_window->focusWidget() == field;
        m_run.check(u"History: Tab leaves the search field, "_s + keyText(Qt::SHIFT | Qt::Key_Tab) +
                        u" comes back"_s,
                    moved && back,
                    u"after Tab: "_s + (moved ? u"moved"_s : u"stayed"_s) + u", after "_s +
                        keyText(Qt::SHIFT | Qt::Key_Tab) + u": "_s +
                        (back ? u"search"_s : typeName(m_window->focusWidget())));
    }
}

QCoro::Task<> KeyCheck::Script::rows(Tab tab, QString label, QWidget* field) {
    AppModel& model = m_model;
    const bool history = tab == Tab::history;
    const Item row{QUuid::createUuid().toString(QUuid::WithoutBraces),
                   u"KeyCheck row"_s,
                   u"fila"_s,
                   u"en"_s,
                   u"es"_s,
                   double(QDateTime::currentSecsSinceEpoch()),
                   0,
                   0,
                   u"mac"_s};
    const auto listed = [&model, history] { return history ? model.history() : model.phrases(); };
    const auto first = [listed, id = row.id] {
        const QList<Item> items = listed();
        return !items.isEmpty() && items.first().id == id;
    };
    if (history) {
        model.setHistorySearch(QString());
        m_shell.store().addHistory(row);
        model.reloadHistory();
    } else {
        model.setPhraseSearch(QString());
        m_shell.store().addPhrase(row);
        model.reloadPhrases();
    }
    // A menu that closed hands the keyboard back to the popover a moment later.
    const auto keyboardIn = [this](QWidget* widget) {
        return [this, widget] {
            return QGuiApplication::focusWindow() == m_window->windowHandle() &&
                   QApplication::focusWidget() == widget;
        };
    };
    co_await WindowCheck::wait(800, first);
    field->setFocus();
    co_await WindowCheck::wait(1500, keyboardIn(field));
    co_await press(QKeyCombination(Qt::Key_Down), 250);
    const bool entered = qobject_cast<QAbstractItemView*>(m_window->focusWidget());
    co_await press(QKeyCombination(Qt::Key_Menu), 250);
    QMenu* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    const bool menuShown = menu;
    const QString entry =
        menu && !menu->actions().isEmpty() ? menu->actions().first()->text() : QString();
    if (menu) {
        QWidget* list = m_window->focusWidget();
        menu->close();
        co_await WindowCheck::wait(1500, keyboardIn(list));
    }
    co_await press(QKeyCombination(Qt::Key_Escape), 250);
    const bool back = m_window->focusWidget() == field && m_delegate.isPopoverShown();
    m_run.check(label + u": Down from the search field reaches the rows, Esc comes back"_s,
                entered && back,
                u"after Down: "_s + (entered ? u"rows"_s : u"stayed"_s) + u", after Esc: "_s +
                    (back ? u"search"_s : typeName(m_window->focusWidget())) +
                    u", window shown "_s + flag(m_delegate.isPopoverShown()));

    co_await press(QKeyCombination(Qt::Key_Down), 250);
    co_await press(QKeyCombination(Qt::Key_Delete), 250);
    const auto gone = [listed, id = row.id] {
        const QList<Item> items = listed();
        return std::none_of(items.begin(), items.end(),
                            [&id](const Item& item) { return item.id == id; });
    };
    co_await WindowCheck::wait(500, gone);
    m_run.check(
        label + u": the menu key and Delete act on the focused row"_s, entry == u"Open"_s && gone(),
        u"menu: "_s + (menuShown ? quoted(entry) : u"none"_s) + u", row deleted "_s + flag(gone()));
}

QCoro::Task<> KeyCheck::Script::cards() {
    AppModel& model = m_model;
    model.setHistorySearch(QString());
    model.setPhraseSearch(QString());
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    m_shell.store().addPhrase(Item{id, u"KeyCheck card"_s, u"проверка"_s, u"en"_s, u"ru"_s,
                                   double(QDateTime::currentSecsSinceEpoch()), 0, 0, u"mac"_s});
    model.reloadPhrases();
    model.setTab(Tab::cards);
    co_await WindowCheck::wait(700);
    const QList<Item> due = model.dueCards();
    const std::optional<QString> first =
        due.isEmpty() ? std::nullopt : std::optional(due.first().id);
    if (QWidget* focused = m_window->focusWidget())
        focused->clearFocus();
    co_await press(QKeyCombination(Qt::Key_Space), 250);
    co_await press(QKeyCombination(Qt::Key_2), 250);
    co_await WindowCheck::wait(800);
    model.reloadPhrases();
    const QList<Item> after = model.dueCards();
    m_run.check(u"Cards: Space and 2 still answer a card"_s,
                first && std::none_of(after.begin(), after.end(),
                                      [&first](const Item& card) { return card.id == *first; }),
                u"key window: "_s + keyName());
    m_shell.store().deletePhrase(id);
    model.reloadPhrases();
    model.setTab(Tab::translate);
    co_await WindowCheck::wait(500);
}

QCoro::Task<> KeyCheck::Script::closing() {
    AppDelegate& delegate = m_delegate;
    const auto hidden = [&delegate] { return !delegate.isPopoverShown(); };
    AppDelegate::trace.clear();
    m_model.setPinned(true);
    delegate.showPopover();
    co_await WindowCheck::bringForward(delegate.popover());
    co_await WindowCheck::wait(1500, [this] { return popoverKey(); });
    co_await cmd(Qt::Key_W);
    co_await WindowCheck::wait(1500, hidden);
    m_run.check(keyText(Qt::CTRL | Qt::Key_W) + u" closes the menu bar window, pinned too"_s,
                hidden(), u"trace: "_s + traceText());
    AppDelegate::trace.clear();
    m_model.setPinned(false);
    co_await WindowCheck::wait(1000);

    m_run.check(u"after the window closes, the app before is in front again (info)"_s, true,
                u"active "_s + flag(isActive()) + u", "_s + keyName());
    co_await ensureActive();

    delegate.showPopover();
    co_await WindowCheck::bringForward(delegate.popover());
    co_await WindowCheck::wait(1500, [this] { return shownActiveKey(); });
    m_model.focusInput();
    const QString before = keyName() + u", active "_s + flag(isActive());
    co_await press(QKeyCombination(Qt::Key_Escape), 250);
    co_await WindowCheck::wait(1500, hidden);
    m_run.check(u"Esc closes the menu bar window"_s, hidden(),
                u"key window: "_s + before + u"; trace: "_s + traceText());
    AppDelegate::trace.clear();
    co_await WindowCheck::wait(1000);
    co_await ensureActive();
}

QCoro::Task<> KeyCheck::Script::commands() {
    AppDelegate& delegate = m_delegate;
    const QString settingsTitle = u"Tivela Settings"_s;
    delegate.showPopover();
    co_await WindowCheck::bringForward(delegate.popover());
    co_await WindowCheck::wait(1500, [this] { return shownActiveKey(); });
    {
        const QString before = keyName() + u", active "_s + flag(isActive());
        co_await cmd(Qt::Key_Comma);
        co_await WindowCheck::wait(2500, [&settingsTitle] {
            const QWidget* settings = windowByTitle(settingsTitle);
            return settings && settings->isVisible();
        });
        co_await WindowCheck::wait(800);
        QWidget* settings = windowByTitle(settingsTitle);
        m_run.check(keyText(Qt::CTRL | Qt::Key_Comma) + u" opens Settings"_s,
                    settings && settings->isVisible() &&
                        Activation::isOnCurrentDesktop(settings->windowHandle()) &&
                        !delegate.isPopoverShown(),
                    u"before: "_s + before + u"; after: "_s + keyName() +
                        u", menu bar window closed "_s + flag(!delegate.isPopoverShown()) +
                        u"; trace: "_s + traceText());
        AppDelegate::trace.clear();
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
        m_run.check(keyText(Qt::CTRL | Qt::Key_W) + u" closes Settings"_s,
                    settings && !settings->isVisible(),
                    u"Settings was the key window: "_s + flag(wasKey) + u"; "_s + keyName());
    }
    co_await WindowCheck::wait(800);
    co_await ensureActive();

    // Quit, caught. Keys need a window that has the keyboard: wait for the popover to have it.
    delegate.showPopover();
    co_await WindowCheck::bringForward(delegate.popover());
    co_await WindowCheck::wait(1500, [this] { return shownActiveKey(); });
    co_await cmd(Qt::Key_Q);
    co_await WindowCheck::wait(1000, [] { return quitAsked; });
    m_run.check(keyText(Qt::CTRL | Qt::Key_Q) + u" quits"_s, quitAsked, QString());
    delegate.closePopover();
    m_model.show(QString());
    co_await WindowCheck::wait(800);
    co_await ensureActive();
}

QCoro::Task<> KeyCheck::Script::savePanel() {
    QFileDialog panel(nullptr, QString(), QDir::tempPath());
    panel.setOption(QFileDialog::DontUseNativeDialog);
    panel.setAcceptMode(QFileDialog::AcceptSave);
    panel.selectFile(u"Phrasebook.csv"_s);
    panel.show();
    co_await WindowCheck::bringForward(&panel);
    co_await WindowCheck::wait(3000, [&panel] { return QApplication::activeWindow() == &panel; });
    auto* name = panel.findChild<QLineEdit*>(u"fileNameEdit"_s);
    const auto named = [name] { return name && name->text().startsWith(u"Words"_s); };
    const QString before = keyName();
    setClipboard(u"Words"_s);
    co_await cmd(Qt::Key_A);
    co_await cmd(Qt::Key_V);
    co_await WindowCheck::wait(800, named);
    QString route = u"keys"_s;
    if (!named()) {
        m_delegate.mainMenu()->action(MenuItem::selectAll)->trigger();
        m_delegate.mainMenu()->action(MenuItem::paste)->trigger();
        co_await WindowCheck::wait(800, named);
        route = u"Edit menu actions"_s;
    }
    QWidget* focused = panel.focusWidget();
    m_run.check(u"save panel: "_s + keyText(Qt::CTRL | Qt::Key_A) + u' ' +
                    keyText(Qt::CTRL | Qt::Key_V) + u" in the name field"_s,
                named(),
                (name ? name->text() : QString()) + u" by "_s + route + u"; key window: "_s +
                    before + u"; out of process: false; first responder: "_s +
                    (focused ? typeName(focused) : u"-"_s));
    panel.reject();
    panel.hide();
    co_await WindowCheck::wait(500);
}

QCoro::Task<> KeyCheck::Script::handBack() {
    if (!m_helper)
        co_return;
    if (m_previousFront && m_previousFront->pid != m_ownPid) {
        co_await WindowCheck::handFront(m_helperPid);
        co_await WindowCheck::wait(800);
        WindowCheck::ask(*m_helper, m_previousFront->pid);
        co_await WindowCheck::wait(800);
    }
    helperProcess = 0;
    co_await WindowCheck::endHelper(std::move(m_helper));
}

} // namespace tivela
