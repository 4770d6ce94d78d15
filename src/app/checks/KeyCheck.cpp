#include "app/checks/KeyCheck.h"

#include "app/AppDelegate.h"
#include "app/AppModel.h"
#include "app/checks/Await.h"
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

struct KeyRun {
    std::unique_ptr<KeyCheck> run;
    std::unique_ptr<CheckShell> shell;
    KeyCheck::Clipboards clipboards;
};

KeyRun& keyRun() {
    static KeyRun state;
    return state;
}

// What the person's display holds now; nothing when it cannot be read in time.
QCoro::Task<std::optional<PersonsClipboard>> personsClipboard(QString display) {
    QFuture<std::optional<PersonsClipboard>> read = PersonsClipboard::read(display);
    const std::chrono::milliseconds bound(3 * PersonsClipboard::readMilliseconds);
    if (!co_await finishedWithin(read, bound))
        co_return std::nullopt;
    co_return read.result();
}

// The main thread may be the stuck one: the helper, the private desktop and the pack locks
// are ended by their process ids and files, and the process leaves without its exit handlers.
KeyCheck::Stop watchdogStop(std::vector<pid_t> desktopProcesses) {
    return {[desktopProcesses = std::move(desktopProcesses)] {
                if (const pid_t helper = KeyCheck::helperProcess.load(); helper > 0)
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

CheckResult KeyCheck::closingCheck(const CheckDesktop& desktop, const Clipboards& clipboards) {
    const QString name = u"the app's clipboard was a private one (the person's untouched)"_s;
    if (!desktop.error.isEmpty())
        return {name, false, desktop.error};
    const QString persons = desktop.personsDisplay.isEmpty() ? u"none"_s : desktop.personsDisplay;
    QString detail = (desktop.isPrivate ? u"private display "_s : u"the person's display "_s) +
                     desktop.display + u" (the person's: "_s + persons + u')';
    if (!desktop.isPrivate)
        return {name, false, detail};
    // Run on a private display it was started on, or without any: no clipboard of the person's.
    if (desktop.personsDisplay.isEmpty() || desktop.personsDisplay == desktop.display)
        return {name, true, detail};
    if (!clipboards.before || !clipboards.after)
        return {name, false, QString(detail + u"; the person's clipboard could not be read"_s)};
    const std::array<std::tuple<QString, PersonsClipboard::Selection, PersonsClipboard::Selection>,
                     2>
        selections{{{u"CLIPBOARD"_s, clipboards.before->clipboard, clipboards.after->clipboard},
                    {u"PRIMARY"_s, clipboards.before->primary, clipboards.after->primary}}};
    QStringList changed;
    QStringList leaked;
    for (const auto& [selection, before, after] : selections) {
        if (before == after)
            continue;
        if (after.text && clipboards.runTexts.contains(*after.text))
            leaked << selection + u" holds the run's «"_s + *after.text + u'»';
        else
            changed << selection;
    }
    if (!leaked.isEmpty())
        return {name, false, QString(detail + u"; the person's "_s + leaked.join(u", "_s))};
    detail += changed.isEmpty() ? u"; the person's CLIPBOARD and PRIMARY as they were"_s
                                : u"; the person's "_s + changed.join(u" and "_s) +
                                      u" changed (another app copied meanwhile)"_s;
    return {name, true, detail};
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

QCoro::Task<> KeyCheck::steps(KeyCheck& run, CheckShell& shell, int launchBound,
                              std::optional<Activation::FrontApplication> previousFront,
                              QString helperProgram) {
    if (!co_await shell.launch(launchBound)) {
        run.check(u"window opens"_s, false, u"the shell did not start"_s);
        co_return;
    }
    Script script(run, shell, std::move(previousFront), std::move(helperProgram));
    if (!co_await script.start())
        co_return;
    co_await script.editing();
    co_await script.pasteButton();
    co_await script.focus();
    co_await script.search();
    co_await script.cards();
    co_await script.closing();
    co_await script.commands();
    co_await script.savePanel();
    co_await script.handBack();
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
        const CheckResult closing = closingCheck(desktop, {});
        state.run->check(closing.check, closing.ok, closing.detail.toString());
        const int status = state.run->finish().value_or(stoppedStatus);
        QTimer::singleShot(0, qApp, [status] { QCoreApplication::exit(status); });
        return;
    }
    // Every text the run puts into its clipboard or selection, to be looked for in the person's.
    QObject::connect(QGuiApplication::clipboard(), &QClipboard::changed, qApp,
                     [](QClipboard::Mode mode) {
                         const QString text = QGuiApplication::clipboard()->text(mode);
                         if (!text.isEmpty())
                             keyRun().clipboards.runTexts.insert(text);
                     });
    const bool personsOwn = desktop.own && !desktop.personsDisplay.isEmpty();
    state.shell = std::make_unique<CheckShell>(checkPair());
    QTimer::singleShot(0, qApp, [previousFront, &desktop, personsOwn] {
        QCoro::connect(
            [](std::optional<Activation::FrontApplication> front, const CheckDesktop& ownDesktop,
               bool readPersons) -> QCoro::Task<> {
                KeyRun& current = keyRun();
                QElapsedTimer clock;
                clock.start();
                if (readPersons)
                    current.clipboards.before =
                        co_await personsClipboard(ownDesktop.personsDisplay);
                co_await steps(*current.run, *current.shell, launchMilliseconds, front,
                               QCoreApplication::applicationFilePath());
                if (readPersons)
                    current.clipboards.after = co_await personsClipboard(ownDesktop.personsDisplay);
                const CheckResult closing = closingCheck(ownDesktop, current.clipboards);
                current.run->check(closing.check, closing.ok, closing.detail.toString());
                WindowCheck::printTimes("check-keys", clock.elapsed());
                // Lost to the watchdog: it ends the process.
                if (const auto status =
                        current.run->finish({{u"app"_s, AppDelegate::versionString()}}))
                    QCoreApplication::exit(*status);
            }(previousFront, desktop, personsOwn),
            qApp, [] {});
    });
}

} // namespace tivela
