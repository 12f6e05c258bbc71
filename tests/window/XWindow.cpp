// A test's hands on the X server: whether a process shows a window, closing its windows as
// a window manager's close button does (WM_DELETE_WINDOW), and what its window shows.
// Usage: xwindow shown|close PID, or xwindow pixel PID X Y (prints "R G B" of the window's
// pixel at X, Y). Status 0: shown / asked to close / read; 1: no window shown.

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
    const bool pixel = argc == 5 && std::strcmp(argv[1], "pixel") == 0;
    if (!pixel && (argc != 3 || (std::strcmp(argv[1], "shown") != 0 && std::strcmp(argv[1], "close") != 0))) {
        std::fprintf(stderr, "usage: xwindow shown|close PID, or xwindow pixel PID X Y\n");
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
        // A round trip: the server has handled the messages before this client hangs up, which
        // otherwise may drop them.
        std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    }
    if (pixel && !shown.empty()) {
        const auto x = std::int16_t(std::atoi(argv[3]));
        const auto y = std::int16_t(std::atoi(argv[4]));
        Reply<xcb_get_image_reply_t> image(
            xcb_get_image_reply(connection,
                xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, shown.front(), x, y, 1, 1, ~std::uint32_t(0)),
                nullptr),
            &std::free);
        // A 24-bit visual: blue, green, red, then one unused byte.
        if (!image || xcb_get_image_data_length(image.get()) < 3) {
            std::fprintf(stderr, "xwindow: cannot read the pixel\n");
            xcb_disconnect(connection);
            return 2;
        }
        const std::uint8_t* bgr = xcb_get_image_data(image.get());
        std::printf("%d %d %d\n", bgr[2], bgr[1], bgr[0]);
    }
    xcb_disconnect(connection);
    return shown.empty() ? 1 : 0;
}
