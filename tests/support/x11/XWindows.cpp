#include "support/x11/XWindows.h"

namespace tivela::test {
namespace {

bool isTivela(XConnection& x, xcb_window_t window) {
    return x.byteProperty(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING).toLower().contains("tivela");
}

bool viewable(XConnection& x, xcb_window_t window) {
    const XReply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
        x.get(), xcb_get_window_attributes(x.get(), window), nullptr));
    return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

} // namespace

QRect XWindows::frameOf(XConnection& x, xcb_window_t window) {
    const XReply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(x.get(), xcb_get_geometry(x.get(), window), nullptr));
    const XReply<xcb_translate_coordinates_reply_t> origin(xcb_translate_coordinates_reply(
        x.get(), xcb_translate_coordinates(x.get(), window, x.root(), 0, 0), nullptr));
    if (!geometry || !origin)
        return {};
    return QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
}

xcb_window_t XWindows::trayIcon(XConnection& x, xcb_window_t parent) {
    const XReply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(x.get(), xcb_query_tree(x.get(), parent), nullptr));
    if (!tree)
        return XCB_WINDOW_NONE;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        const XReply<xcb_get_property_reply_t> embedded(
            xcb_get_property_reply(x.get(),
                                   xcb_get_property(x.get(), 0, children[i], x.atom("_XEMBED_INFO"),
                                                    XCB_GET_PROPERTY_TYPE_ANY, 0, 2),
                                   nullptr));
        if (isTivela(x, children[i]) && embedded && embedded->value_len > 0)
            return children[i];
        if (const xcb_window_t found = trayIcon(x, children[i]))
            return found;
    }
    return XCB_WINDOW_NONE;
}

QList<xcb_window_t> XWindows::shownWindows(XConnection& x) {
    QList<xcb_window_t> shown;
    const XReply<xcb_get_property_reply_t> clients(
        xcb_get_property_reply(x.get(),
                               xcb_get_property(x.get(), 0, x.root(), x.atom("_NET_CLIENT_LIST"),
                                                XCB_ATOM_WINDOW, 0, 1024),
                               nullptr));
    if (!clients)
        return shown;
    const auto* windows = static_cast<const xcb_window_t*>(xcb_get_property_value(clients.get()));
    for (int i = 0; i < xcb_get_property_value_length(clients.get()) / 4; ++i)
        if (isTivela(x, windows[i]) && viewable(x, windows[i]))
            shown << windows[i];
    return shown;
}

QMap<QString, xcb_window_t> XWindows::titledWindows(XConnection& x) {
    QMap<QString, xcb_window_t> titled;
    for (const xcb_window_t window : shownWindows(x))
        titled.insert(QString::fromUtf8(
                          x.byteProperty(window, x.atom("_NET_WM_NAME"), x.atom("UTF8_STRING"))),
                      window);
    return titled;
}

QMargins XWindows::frameExtents(XConnection& x, xcb_window_t window) {
    const XReply<xcb_get_property_reply_t> extents(xcb_get_property_reply(
        x.get(),
        xcb_get_property(x.get(), 0, window, x.atom("_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL, 0, 4),
        nullptr));
    if (!extents || xcb_get_property_value_length(extents.get()) != 16)
        return {};
    const auto* sides = static_cast<const quint32*>(xcb_get_property_value(extents.get()));
    return QMargins(int(sides[0]), int(sides[2]), int(sides[1]), int(sides[3]));
}

QRect XWindows::workArea(XConnection& x) {
    const XReply<xcb_get_property_reply_t> area(xcb_get_property_reply(
        x.get(),
        xcb_get_property(x.get(), 0, x.root(), x.atom("_NET_WORKAREA"), XCB_ATOM_CARDINAL, 0, 4),
        nullptr));
    if (!area || xcb_get_property_value_length(area.get()) < 16)
        return {};
    const auto* values = static_cast<const quint32*>(xcb_get_property_value(area.get()));
    return QRect(int(values[0]), int(values[1]), int(values[2]), int(values[3]));
}

} // namespace tivela::test
