// A test's hands on the X server: whether a process shows a window, and closing its windows
// as a window manager's close button does (WM_DELETE_WINDOW).
// Usage: xwindow shown|close PID. Status 0: shown / asked to close; 1: no window shown.

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 || (std::strcmp(argv[1], "shown") != 0 && std::strcmp(argv[1], "close") != 0)) {
        std::fprintf(stderr, "usage: xwindow shown|close PID\n");
        return 2;
    }
    const auto pid = std::uint32_t(std::strtoul(argv[2], nullptr, 10));
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "xwindow: no X server\n");
        return 2;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const xcb_atom_t pidAtom = atom(connection, "_NET_WM_PID");
    Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(connection, xcb_query_tree(connection, root), nullptr), &std::free);
    std::vector<xcb_window_t> shown;
    if (tree) {
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            Reply<xcb_get_property_reply_t> owner(
                xcb_get_property_reply(connection,
                    xcb_get_property(connection, 0, children[i], pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr),
                &std::free);
            if (!owner || xcb_get_property_value_length(owner.get()) != 4
                || *static_cast<const std::uint32_t*>(xcb_get_property_value(owner.get())) != pid)
                continue;
            Reply<xcb_get_window_attributes_reply_t> attributes(
                xcb_get_window_attributes_reply(
                    connection, xcb_get_window_attributes(connection, children[i]), nullptr),
                &std::free);
            if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE)
                shown.push_back(children[i]);
        }
    }
    if (std::strcmp(argv[1], "close") == 0) {
        const xcb_atom_t protocols = atom(connection, "WM_PROTOCOLS");
        const xcb_atom_t deleteWindow = atom(connection, "WM_DELETE_WINDOW");
        for (xcb_window_t window : shown) {
            xcb_client_message_event_t event {};
            event.response_type = XCB_CLIENT_MESSAGE;
            event.format = 32;
            event.window = window;
            event.type = protocols;
            event.data.data32[0] = deleteWindow;
            event.data.data32[1] = XCB_CURRENT_TIME;
            xcb_send_event(connection, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
        }
        xcb_flush(connection);
    }
    xcb_disconnect(connection);
    return shown.empty() ? 1 : 0;
}
