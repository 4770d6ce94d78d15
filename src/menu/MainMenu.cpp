#include "menu/MainMenu.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

const char* slotOf(MenuItem item) {
    switch (item) {
    case MenuItem::undo:
        return "undo";
    case MenuItem::redo:
        return "redo";
    case MenuItem::cut:
        return "cut";
    case MenuItem::copy:
        return "copy";
    case MenuItem::paste:
    case MenuItem::pasteAndMatchStyle:
        return "paste";
    case MenuItem::selectAll:
        return "selectAll";
    default:
        return nullptr;
    }
}

bool isEditItem(MenuItem item) {
    return item == MenuItem::undo || item == MenuItem::redo || item == MenuItem::cut ||
           item == MenuItem::copy || item == MenuItem::paste ||
           item == MenuItem::pasteAndMatchStyle || item == MenuItem::deleteSelection ||
           item == MenuItem::selectAll;
}

} // namespace

MainMenu::MainMenu(const QString& appName, MainMenuActions* target, QObject* parent)
    : QObject(parent)
    , m_target(target)
    , m_root(new QMenu) {
    QMenu* application = m_root->addMenu(appName);
    add(application, MenuItem::about, tr("About %1").arg(appName));
    application->addSeparator();
    add(application, MenuItem::settings, tr("Settings…"));
    add(application, MenuItem::checkForUpdates, tr("Check for Updates…"));
    application->addSeparator();
    add(application, MenuItem::quit, tr("Quit %1").arg(appName));

    QMenu* edit = m_root->addMenu(tr("Edit"));
    add(edit, MenuItem::undo, tr("Undo"));
    add(edit, MenuItem::redo, tr("Redo"));
    edit->addSeparator();
    add(edit, MenuItem::cut, tr("Cut"));
    add(edit, MenuItem::copy, tr("Copy"));
    add(edit, MenuItem::paste, tr("Paste"));
    add(edit, MenuItem::pasteAndMatchStyle, tr("Paste and Match Style"));
    add(edit, MenuItem::deleteSelection, tr("Delete"));
    add(edit, MenuItem::selectAll, tr("Select All"));

    QMenu* window = m_root->addMenu(tr("Window"));
    add(window, MenuItem::close, tr("Close"));
    add(window, MenuItem::minimize, tr("Minimize"));
}

MainMenu::~MainMenu() {
    delete m_root;
}

QKeySequence MainMenu::sequence(MenuItem item) {
    switch (item) {
    case MenuItem::settings:
        return QKeySequence(Qt::CTRL | Qt::Key_Comma);
    case MenuItem::quit:
        return QKeySequence(Qt::CTRL | Qt::Key_Q);
    case MenuItem::undo:
        return QKeySequence(Qt::CTRL | Qt::Key_Z);
    case MenuItem::redo:
        return QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z);
    case MenuItem::cut:
        return QKeySequence(Qt::CTRL | Qt::Key_X);
    case MenuItem::copy:
        return QKeySequence(Qt::CTRL | Qt::Key_C);
    case MenuItem::paste:
        return QKeySequence(Qt::CTRL | Qt::Key_V);
    case MenuItem::pasteAndMatchStyle:
        return QKeySequence(Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_V);
    case MenuItem::selectAll:
        return QKeySequence(Qt::CTRL | Qt::Key_A);
    case MenuItem::close:
        return QKeySequence(Qt::CTRL | Qt::Key_W);
    case MenuItem::minimize:
        return QKeySequence(Qt::CTRL | Qt::Key_M);
    default:
        return {};
    }
}

void MainMenu::add(QMenu* menu, MenuItem item, const QString& title) {
    auto* action = menu->addAction(title);
    action->setShortcut(sequence(item));
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, [this, item] { trigger(item); });
    m_actions.insert(item, action);
}

void MainMenu::install(QWidget* window) {
    for (QAction* action : std::as_const(m_actions))
        if (!window->actions().contains(action))
            window->addAction(action);
}

void MainMenu::closeEveryWindow() {
    qApp->installEventFilter(this);
}

bool MainMenu::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto* window = static_cast<QWidget*>(watched);
        QAction* close = m_actions.value(MenuItem::close);
        const Qt::WindowType type = window->windowType();
        if (window->isWindow() && type != Qt::Popup && type != Qt::ToolTip &&
            !window->actions().contains(close))
            window->addAction(close);
    }
    return QObject::eventFilter(watched, event);
}

bool MainMenu::toFocusWidget(MenuItem item) {
    const char* slot = slotOf(item);
    if (!slot)
        return false;
    const QByteArray signature = QByteArray(slot) + "()";
    for (QWidget* widget = QApplication::focusWidget(); widget; widget = widget->parentWidget()) {
        if (widget->metaObject()->indexOfMethod(signature.constData()) >= 0)
            return QMetaObject::invokeMethod(widget, slot);
        if (widget->isWindow())
            break;
    }
    return false;
}

void MainMenu::trigger(MenuItem item) {
    // A focused widget answers its edit items itself; the application's answers ask first.
    if (isEditItem(item)) {
        if (toFocusWidget(item))
            return;
        if (item == MenuItem::paste || item == MenuItem::selectAll) {
            if (!m_target || !m_target->isEnabled(item))
                return;
            return item == MenuItem::paste ? m_target->paste() : m_target->selectAll();
        }
        // A widget without the slot (a selectable label) still knows the key itself: the
        // action took it, so the widget gets it directly, with the action out of the way of
        // the shortcut map that every key press passes.
        QWidget* focus = QApplication::focusWidget();
        const QKeyCombination key =
            item == MenuItem::deleteSelection ? QKeyCombination(Qt::Key_Delete) : sequence(item)[0];
        if (focus) {
            QAction* action = m_actions.value(item);
            action->setEnabled(false);
            QKeyEvent press(QEvent::KeyPress, key.key(), key.keyboardModifiers());
            QKeyEvent release(QEvent::KeyRelease, key.key(), key.keyboardModifiers());
            QCoreApplication::sendEvent(focus, &press);
            QCoreApplication::sendEvent(focus, &release);
            action->setEnabled(true);
        }
        return;
    }
    if (!m_target || !m_target->isEnabled(item)) {
        if (item != MenuItem::minimize)
            return;
    }
    switch (item) {
    case MenuItem::about:
        return m_target->showAbout();
    case MenuItem::settings:
        return m_target->showSettings();
    case MenuItem::checkForUpdates:
        return m_target->checkForUpdates();
    case MenuItem::quit:
        return m_target->quit();
    case MenuItem::close:
        return m_target->closeKeyWindow();
    case MenuItem::minimize:
        if (QWidget* window = QApplication::activeWindow();
            window && (window->windowFlags() & Qt::WindowMinimizeButtonHint))
            window->showMinimized();
        return;
    default:
        return;
    }
}

} // namespace tivela
