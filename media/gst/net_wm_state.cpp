#include "media/gst/net_wm_state.h"

#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, FreeDeleter>;

}  // namespace

NetWmState::NetWmState(WId window) : window_(static_cast<std::uint32_t>(window)) {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    if (x11 == nullptr || x11->connection() == nullptr) {
        return;
    }
    connection_ = x11->connection();
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    root_ = xcb_setup_roots_iterator(setup).data->root;
    stateAtom_ = atom("_NET_WM_STATE");
    fullScreenAtom_ = atom("_NET_WM_STATE_FULLSCREEN");
    frameExtentsAtom_ = atom("_NET_FRAME_EXTENTS");
    QCoreApplication::instance()->installNativeEventFilter(this);
}

NetWmState::~NetWmState() {
    if (connection_ != nullptr && QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
}

std::uint32_t NetWmState::atom(const char* name) const {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection_, cookie, nullptr));
    return reply != nullptr ? reply->atom : 0;
}

bool NetWmState::windowManagerRunning() const {
    if (connection_ == nullptr) {
        return false;
    }
    // EWMH: the root names a check window, and that window names itself; a stale property
    // left by a window manager that has gone names a window that no longer exists.
    const std::uint32_t check = atom("_NET_SUPPORTING_WM_CHECK");
    auto readCheck = [&](std::uint32_t on) -> std::uint32_t {
        const xcb_get_property_cookie_t cookie =
            xcb_get_property(connection_, 0, on, check, XCB_ATOM_WINDOW, 0, 1);
        XcbReply<xcb_get_property_reply_t> reply(
            xcb_get_property_reply(connection_, cookie, nullptr));
        if (reply == nullptr || xcb_get_property_value_length(reply.get()) < 4) {
            return 0;
        }
        return *static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    };
    const std::uint32_t child = readCheck(root_);
    return child != 0 && readCheck(child) == child;
}

std::optional<bool> NetWmState::fullScreen() const {
    if (connection_ == nullptr) {
        return std::nullopt;
    }
    const xcb_get_property_cookie_t cookie =
        xcb_get_property(connection_, 0, window_, stateAtom_, XCB_ATOM_ATOM, 0, 64);
    XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(connection_, cookie, nullptr));
    if (reply == nullptr) {
        return std::nullopt;
    }
    const auto* atoms = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    for (int i = 0; i < count; ++i) {
        if (atoms[i] == fullScreenAtom_) {
            return true;
        }
    }
    return false;
}

void NetWmState::requestFullScreen(bool on) const {
    if (connection_ == nullptr) {
        return;
    }
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window_;
    message.type = stateAtom_;
    message.data.data32[0] = on ? 1 : 0;  // _NET_WM_STATE_ADD or _NET_WM_STATE_REMOVE
    message.data.data32[1] = fullScreenAtom_;
    message.data.data32[3] = 1;  // from a normal application
    xcb_send_event(connection_, 0, root_,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(connection_);
}

bool NetWmState::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY) {
        return false;
    }
    const auto* notify = static_cast<const xcb_property_notify_event_t*>(message);
    if (notify->window != window_) {
        return false;
    }
    if (notify->atom == stateAtom_ && onChanged) {
        onChanged();
    } else if (notify->atom == frameExtentsAtom_ && onFrameChanged) {
        onFrameChanged();
    }
    return false;
}
