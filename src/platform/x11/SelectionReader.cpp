#include "platform/x11/SelectionReader.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QThread>
#include <QTimer>

#include <xcb/xfixes.h>
#include <xcb/xtest.h>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

constexpr xcb_keysym_t controlSymbol = 0xffe3;
constexpr xcb_keysym_t cSymbol = 0x0063;
constexpr int pollMilliseconds = 10;

// Waits until none of the shortcut's keys is held.
bool keysUp(XConnection& connection, const Shortcut& held, QDeadlineTimer deadline) {
    QList<xcb_keycode_t> keys = XKeyboard::modifierKeys(connection.get(), held.xModifiers());
    if (const auto key = held.xKeycode())
        keys.append(*key);
    for (;;) {
        const XReply<xcb_query_keymap_reply_t> keymap(
            xcb_query_keymap_reply(connection.get(), xcb_query_keymap(connection.get()), nullptr));
        if (!keymap)
            return false;
        const bool down = std::any_of(keys.cbegin(), keys.cend(), [&](xcb_keycode_t key) {
            return keymap->keys[key / 8] & (1 << (key % 8));
        });
        if (!down)
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(pollMilliseconds);
    }
}

// Asks to hear when the selection changes owner; false without the XFixes extension.
bool watchOwner(XConnection& connection, xcb_atom_t selection) {
    const xcb_query_extension_reply_t* fixes =
        xcb_get_extension_data(connection.get(), &xcb_xfixes_id);
    if (!fixes || !fixes->present)
        return false;
    const XReply<xcb_xfixes_query_version_reply_t> version(xcb_xfixes_query_version_reply(
        connection.get(), xcb_xfixes_query_version(connection.get(), 5, 0), nullptr));
    if (!version)
        return false;
    xcb_xfixes_select_selection_input(connection.get(), connection.window(), selection,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER);
    xcb_flush(connection.get());
    return true;
}

bool ownerChanged(XConnection& connection, xcb_atom_t selection, QDeadlineTimer deadline) {
    const uint8_t notifyType =
        xcb_get_extension_data(connection.get(), &xcb_xfixes_id)->first_event +
        XCB_XFIXES_SELECTION_NOTIFY;
    while (const auto event = connection.nextEvent(deadline)) {
        if ((event->response_type & 0x7f) != notifyType)
            continue;
        const auto* notify =
            reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(event.get());
        if (notify->selection == selection)
            return true;
    }
    return false;
}

bool pressCopy(XConnection& connection) {
    const QList<xcb_keycode_t> control = XKeyboard::keycodes(connection.get(), controlSymbol);
    const QList<xcb_keycode_t> c = XKeyboard::keycodes(connection.get(), cSymbol);
    if (control.isEmpty() || c.isEmpty())
        return false;
    const auto send = [&](uint8_t type, xcb_keycode_t key) {
        xcb_test_fake_input(connection.get(), type, key, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0,
                            0);
    };
    send(XCB_KEY_PRESS, control.first());
    send(XCB_KEY_PRESS, c.first());
    send(XCB_KEY_RELEASE, c.first());
    send(XCB_KEY_RELEASE, control.first());
    xcb_flush(connection.get());
    return true;
}

bool isTextTarget(const QByteArray& target) {
    return target == "UTF8_STRING" || target == "STRING" || target == "TEXT" ||
           target == "COMPOUND_TEXT" || target.startsWith("text/plain");
}

QMimeData* mimeData(const XSelection::Contents& saved) {
    auto* data = new QMimeData;
    std::optional<QString> text;
    for (const XSelection::Format& format : saved.formats) {
        if (format.target == "UTF8_STRING")
            text = QString::fromUtf8(format.data);
        else if (format.target == "STRING" && !text)
            text = QString::fromLatin1(format.data);
        else if (!isTextTarget(format.target))
            data->setData(QString::fromLatin1(format.target), format.data);
    }
    // Qt offers a text under every text target, UTF8_STRING and STRING among them.
    if (text)
        data->setText(*text);
    return data;
}

// Whether a window belongs to the client of this connection: its id lies in the client's range.
bool isOurs(xcb_connection_t* connection, xcb_window_t window) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    return window != XCB_WINDOW_NONE &&
           (window & ~setup->resource_id_mask) == setup->resource_id_base;
}

// The window Qt owns selections with, by the name Qt gives it; nothing when Qt names it
// otherwise, and then Qt's own attempt must do.
xcb_window_t qtSelectionWindow(xcb_connection_t* connection) {
    static xcb_window_t found = XCB_WINDOW_NONE;
    if (found != XCB_WINDOW_NONE)
        return found;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const XReply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(connection, xcb_query_tree(connection, root), nullptr));
    if (!tree)
        return XCB_WINDOW_NONE;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const XReply<xcb_intern_atom_reply_t> netName(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, 12, "_NET_WM_NAME"), nullptr));
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        if (!isOurs(connection, children[i]))
            continue;
        for (const xcb_atom_t property :
             {xcb_atom_t(XCB_ATOM_WM_NAME), netName ? netName->atom : xcb_atom_t(XCB_ATOM_NONE)}) {
            const XReply<xcb_get_property_reply_t> name(
                xcb_get_property_reply(connection,
                                       xcb_get_property(connection, 0, children[i], property,
                                                        XCB_GET_PROPERTY_TYPE_ANY, 0, 64),
                                       nullptr));
            // "Qt Selection Owner for <application>" in Qt 6.
            if (name && QByteArray(static_cast<const char*>(xcb_get_property_value(name.get())),
                                   xcb_get_property_value_length(name.get()))
                            .startsWith("Qt Selection "))
                return found = children[i];
        }
    }
    return XCB_WINDOW_NONE;
}

} // namespace

SelectionReader::SelectionReader(QObject* parent)
    : SelectionReader(Timing{}, parent) {
}

SelectionReader::SelectionReader(Timing timing, QObject* parent)
    : QObject(parent)
    , m_timing(timing) {
    m_pool.setMaxThreadCount(1);
}

SelectionReader::~SelectionReader() {
    m_pool.waitForDone();
}

bool SelectionReader::isAvailable() {
    return QGuiApplication::platformName() == u"xcb";
}

bool SelectionReader::isTerminal(const QByteArray& wmClass) {
    static const QList<QByteArray> terminals{"xterm",
                                             "uxterm",
                                             "rxvt",
                                             "urxvt",
                                             "konsole",
                                             "yakuake",
                                             "kitty",
                                             "alacritty",
                                             "wezterm",
                                             "foot",
                                             "st",
                                             "st-256color",
                                             "terminator",
                                             "tilix",
                                             "guake",
                                             "tilda",
                                             "sakura",
                                             "terminology",
                                             "eterm",
                                             "kgx",
                                             "org.gnome.console",
                                             "blackbox",
                                             "cool-retro-term",
                                             "tabby",
                                             "hyper",
                                             "contour",
                                             "ghostty",
                                             "rio"};
    for (const QByteArray& part : wmClass.split('\0')) {
        const QByteArray name = part.toLower();
        if (name.isEmpty())
            continue;
        if (name.contains("terminal") || terminals.contains(name))
            return true;
    }
    return false;
}

QFuture<std::optional<QString>> SelectionReader::selectedText(const Shortcut& held) {
    if (m_promise)
        return m_running;
    if (!isAvailable())
        return QtFuture::makeReadyFuture(std::optional<QString>());
    m_promise.emplace();
    m_promise->start();
    m_running = m_promise->future();
    m_pool.start([this, held] { work(held); });
    return m_running;
}

void SelectionReader::work(const Shortcut& held) {
    const auto answer = [this](std::optional<QString> text) {
        QMetaObject::invokeMethod(
            this, [this, text] { finish(text); }, Qt::QueuedConnection);
    };
    const auto putBack = [this](const XSelection::Contents& saved) {
        QMetaObject::invokeMethod(
            this, [this, saved] { restore(saved); }, Qt::QueuedConnection);
    };

    XConnection connection;
    if (!connection.isValid())
        return answer(std::nullopt);
    const auto primary = XSelection::text(connection, XCB_ATOM_PRIMARY,
                                          QDeadlineTimer(m_timing.primaryMilliseconds));
    if (primary && !primary->trimmed().isEmpty())
        return answer(primary);

    // The copy goes to the window in front, which must be another program's and no terminal.
    const auto front = connection.cardinalProperty(
        connection.root(), connection.atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW);
    if (!front || *front == XCB_WINDOW_NONE)
        return answer(std::nullopt);
    const auto pid =
        connection.cardinalProperty(*front, connection.atom("_NET_WM_PID"), XCB_ATOM_CARDINAL);
    if (pid && qint64(*pid) == qint64(::getpid()))
        return answer(std::nullopt);
    if (isTerminal(connection.byteProperty(*front, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING)))
        return answer(std::nullopt);
    if (!keysUp(connection, held, QDeadlineTimer(m_timing.keysUpMilliseconds)))
        return answer(std::nullopt);

    const xcb_atom_t clipboard = connection.atom("CLIPBOARD");
    const auto saved =
        XSelection::save(connection, clipboard, QDeadlineTimer(m_timing.saveMilliseconds));
    if (!saved || !watchOwner(connection, clipboard) || !pressCopy(connection))
        return answer(std::nullopt);

    if (ownerChanged(connection, clipboard, QDeadlineTimer(m_timing.copyMilliseconds))) {
        const auto copied =
            XSelection::text(connection, clipboard, QDeadlineTimer(m_timing.copyMilliseconds));
        putBack(*saved);
        return answer(copied);
    }
    answer(std::nullopt);
    if (ownerChanged(connection, clipboard, QDeadlineTimer(m_timing.lateCopyMilliseconds)))
        putBack(*saved);
}

void SelectionReader::finish(std::optional<QString> text) {
    if (!m_promise)
        return;
    m_promise->addResult(std::move(text));
    m_promise->finish();
    m_promise.reset();
}

void SelectionReader::restore(const XSelection::Contents& saved) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11)
        return;
    xcb_connection_t* connection = x11->connection();
    const XReply<xcb_intern_atom_reply_t> clipboardAtom(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, 9, "CLIPBOARD"), nullptr));
    if (!clipboardAtom)
        return;
    const xcb_atom_t clipboard = clipboardAtom->atom;
    // Qt takes the clipboard with the time of the last event it saw, older than the copy's
    // until its loop has seen the copy, and the server refuses an older time. So the window Qt
    // serves the clipboard from takes it first, now; Qt then finds itself the owner.
    if (!saved.owned) {
        // The clipboard held nothing: it holds nothing again.
        xcb_set_selection_owner(connection, XCB_WINDOW_NONE, clipboard, XCB_CURRENT_TIME);
    } else if (const xcb_window_t window = qtSelectionWindow(connection)) {
        xcb_set_selection_owner(connection, window, clipboard, XCB_CURRENT_TIME);
    }
    if (saved.owned)
        QGuiApplication::clipboard()->setMimeData(mimeData(saved));
    const XReply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, clipboard), nullptr));
    if (owner && (saved.owned ? isOurs(connection, owner->owner) : owner->owner == XCB_NONE))
        Q_EMIT clipboardRestored();
}

} // namespace tivela
