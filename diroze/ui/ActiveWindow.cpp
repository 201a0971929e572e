#include "ActiveWindow.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace diroze {

namespace {

struct TConnection {
    xcb_connection_t* Handle = nullptr;
    xcb_window_t Root = 0;

    TConnection()
    {
        if (!std::getenv("DISPLAY"))
            return;
        int screenNumber = 0;
        Handle = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(Handle)) {
            xcb_disconnect(Handle);
            Handle = nullptr;
            return;
        }
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(Handle));
        for (int i = 0; i < screenNumber && it.rem; ++i)
            xcb_screen_next(&it);
        Root = it.rem ? it.data->root : 0;
    }
    ~TConnection()
    {
        if (Handle)
            xcb_disconnect(Handle);
    }
    TConnection(const TConnection&) = delete;
    TConnection& operator=(const TConnection&) = delete;

    xcb_atom_t Atom(const char* aName) const
    {
        const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(Handle, 0, uint16_t(std::strlen(aName)), aName);
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
            xcb_intern_atom_reply(Handle, cookie, nullptr), &std::free);
        return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    }

    void SendToRoot(xcb_window_t aWindow, xcb_atom_t aType, const uint32_t (&aData)[5]) const
    {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = aWindow;
        event.type = aType;
        std::memcpy(event.data.data32, aData, sizeof aData);
        xcb_send_event(Handle, 0, Root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
    }
};

} // namespace

TActiveWindow TActiveWindow::Remember()
{
    TActiveWindow result;
    TConnection x;
    if (!x.Handle || !x.Root)
        return result;
    const xcb_atom_t active = x.Atom("_NET_ACTIVE_WINDOW");
    const xcb_get_property_cookie_t cookie = xcb_get_property(x.Handle, 0, x.Root, active, XCB_ATOM_WINDOW, 0, 1);
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(x.Handle, cookie, nullptr), &std::free);
    if (reply && xcb_get_property_value_length(reply.get()) >= int(sizeof(uint32_t)))
        std::memcpy(&result.FWindow, xcb_get_property_value(reply.get()), sizeof(uint32_t));
    return result;
}

void TActiveWindow::Restore() const
{
    if (!FWindow)
        return;
    TConnection x;
    if (!x.Handle || !x.Root)
        return;
    // Back to its normal size: not minimised, not maximised.
    xcb_map_window(x.Handle, FWindow);
    const uint32_t unmaximise[5] = {0 /* remove */, x.Atom("_NET_WM_STATE_MAXIMIZED_VERT"),
                                    x.Atom("_NET_WM_STATE_MAXIMIZED_HORZ"), 2, 0};
    x.SendToRoot(FWindow, x.Atom("_NET_WM_STATE"), unmaximise);
    const uint32_t activate[5] = {2 /* from a pager-like tool */, XCB_CURRENT_TIME, 0, 0, 0};
    x.SendToRoot(FWindow, x.Atom("_NET_ACTIVE_WINDOW"), activate);
    xcb_flush(x.Handle);
}

} // namespace diroze
