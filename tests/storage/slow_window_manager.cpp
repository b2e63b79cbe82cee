#include "slow_window_manager.h"

#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <array>
#include <cstdlib>

namespace {

using Clock = std::chrono::steady_clock;

template <typename Reply>
struct FreeReply {
    void operator()(Reply* reply) const { std::free(reply); }
};
template <typename Reply>
using ReplyPtr = std::unique_ptr<Reply, FreeReply<Reply>>;

}  // namespace

struct SlowWindowManager::Client {
    xcb_window_t window = XCB_NONE;
    xcb_window_t frameWindow = XCB_NONE;
    QPoint place;  // the window's place on the screen
    int width = 0;
    int height = 0;
    bool complete = false;
    Clock::time_point completeAt;
    std::vector<QPoint> placesAsked;
};

SlowWindowManager::SlowWindowManager(QMargins frame, FirstFrame first,
                                     std::chrono::milliseconds framingTime)
    : frame_(frame), first_(first), framingTime_(framingTime) {
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const std::uint32_t mask =
        XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    // Only one client may redirect the root's children: the request fails under another manager.
    xcb_generic_error_t* error = xcb_request_check(
        connection,
        xcb_change_window_attributes_checked(connection, root, XCB_CW_EVENT_MASK, &mask));
    if (error || pipe(stopPipe_) != 0) {
        std::free(error);
        xcb_disconnect(connection);
        return;
    }
    connection_ = connection;
    thread_ = std::thread([this] { run(); });
}

SlowWindowManager::~SlowWindowManager() {
    if (!connection_) {
        return;
    }
    const char stop = 1;
    [[maybe_unused]] const ssize_t written = write(stopPipe_[1], &stop, 1);
    thread_.join();
    xcb_disconnect(connection_);
    close(stopPipe_[0]);
    close(stopPipe_[1]);
}

bool SlowWindowManager::framed() const {
    const std::lock_guard lock(mutex_);
    return client_ && client_->complete;
}

std::vector<QPoint> SlowWindowManager::placesAsked() const {
    const std::lock_guard lock(mutex_);
    return client_ ? client_->placesAsked : std::vector<QPoint>();
}

std::optional<QPoint> SlowWindowManager::framePosition() const {
    xcb_window_t frameWindow = XCB_NONE;
    {
        const std::lock_guard lock(mutex_);
        if (!client_) {
            return std::nullopt;
        }
        frameWindow = client_->frameWindow;
    }
    const ReplyPtr<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, frameWindow), nullptr));
    if (!geometry) {
        return std::nullopt;
    }
    return QPoint(geometry->x, geometry->y);
}

void SlowWindowManager::run() {
    std::array<pollfd, 2> watched{
        {{xcb_get_file_descriptor(connection_), POLLIN, 0}, {stopPipe_[0], POLLIN, 0}}};
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
            switch (event->response_type & 0x7f) {
                case XCB_MAP_REQUEST:
                    handleMapRequest(reinterpret_cast<xcb_map_request_event_t*>(event)->window);
                    break;
                case XCB_CONFIGURE_REQUEST:
                    handleConfigureRequest(event);
                    break;
                default:
                    break;
            }
            std::free(event);
        }
        if (xcb_connection_has_error(connection_)) {
            return;
        }
        int timeoutMs = -1;
        {
            const std::lock_guard lock(mutex_);
            if (client_ && !client_->complete) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(client_->completeAt -
                                                                               Clock::now());
                timeoutMs = static_cast<int>(std::max<std::int64_t>(0, left.count()));
            }
        }
        if (timeoutMs == 0) {
            completeFrame();
            continue;
        }
        if (poll(watched.data(), watched.size(), timeoutMs) > 0 && watched[1].revents != 0) {
            return;
        }
    }
}

void SlowWindowManager::handleMapRequest(std::uint32_t window) {
    const ReplyPtr<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr));
    if (!geometry) {
        return;
    }
    auto client = std::make_unique<Client>();
    client->window = window;
    client->place = QPoint(geometry->x, geometry->y);
    client->width = geometry->width;
    client->height = geometry->height;
    client->completeAt = Clock::now() + framingTime_;
    client->frameWindow = xcb_generate_id(connection_);
    const bool fullSize = first_ == FirstFrame::FullSize;
    const auto width =
        static_cast<std::uint16_t>(fullSize ? client->width + frame_.left() + frame_.right() : 1);
    const auto height =
        static_cast<std::uint16_t>(fullSize ? client->height + frame_.top() + frame_.bottom() : 1);
    const std::array<std::uint32_t, 2> frameAttributes{
        1, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY};
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, client->frameWindow, geometry->root,
                      static_cast<std::int16_t>(client->place.x()),
                      static_cast<std::int16_t>(client->place.y()), width, height, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                      XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, frameAttributes.data());
    xcb_change_save_set(connection_, XCB_SET_MODE_INSERT, window);
    xcb_reparent_window(connection_, window, client->frameWindow, 0, 0);
    xcb_map_window(connection_, window);
    xcb_map_window(connection_, client->frameWindow);
    xcb_flush(connection_);
    const std::lock_guard lock(mutex_);
    client_ = std::move(client);
}

void SlowWindowManager::handleConfigureRequest(const void* data) {
    const auto* event = static_cast<const xcb_configure_request_event_t*>(data);
    {
        const std::lock_guard lock(mutex_);
        if (client_ && event->window == client_->window) {
            const QPoint asked(
                event->value_mask & XCB_CONFIG_WINDOW_X ? event->x : client_->place.x(),
                event->value_mask & XCB_CONFIG_WINDOW_Y ? event->y : client_->place.y());
            if (event->value_mask & (XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y)) {
                client_->placesAsked.push_back(asked);
            }
            client_->place = asked;
            if (event->value_mask & XCB_CONFIG_WINDOW_WIDTH) {
                client_->width = event->width;
            }
            if (event->value_mask & XCB_CONFIG_WINDOW_HEIGHT) {
                client_->height = event->height;
            }
            if (!client_->complete) {
                return;  // laid out when the frame is complete
            }
        } else {
            // Not framed yet: the window gets what it asks for.
            std::array<std::uint32_t, 7> values{};
            std::size_t count = 0;
            const std::array<std::pair<std::uint16_t, std::uint32_t>, 7> fields{{
                {XCB_CONFIG_WINDOW_X, static_cast<std::uint32_t>(event->x)},
                {XCB_CONFIG_WINDOW_Y, static_cast<std::uint32_t>(event->y)},
                {XCB_CONFIG_WINDOW_WIDTH, event->width},
                {XCB_CONFIG_WINDOW_HEIGHT, event->height},
                {XCB_CONFIG_WINDOW_BORDER_WIDTH, event->border_width},
                {XCB_CONFIG_WINDOW_SIBLING, event->sibling},
                {XCB_CONFIG_WINDOW_STACK_MODE, event->stack_mode},
            }};
            for (const auto& [bit, value] : fields) {
                if (event->value_mask & bit) {
                    values[count++] = value;
                }
            }
            xcb_configure_window(connection_, event->window, event->value_mask, values.data());
            xcb_flush(connection_);
            return;
        }
    }
    completeFrame();
}

void SlowWindowManager::dragFrameTo(QPoint place) {
    const std::lock_guard lock(mutex_);
    client_->place = place + QPoint(frame_.left(), frame_.top());
    layOut(*client_);
}

void SlowWindowManager::completeFrame() {
    const std::lock_guard lock(mutex_);
    client_->complete = true;
    layOut(*client_);
}

void SlowWindowManager::layOut(const Client& client) {
    const std::array<std::uint32_t, 4> frameGeometry{
        static_cast<std::uint32_t>(client.place.x() - frame_.left()),
        static_cast<std::uint32_t>(client.place.y() - frame_.top()),
        static_cast<std::uint32_t>(client.width + frame_.left() + frame_.right()),
        static_cast<std::uint32_t>(client.height + frame_.top() + frame_.bottom())};
    const std::uint16_t all = XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                              XCB_CONFIG_WINDOW_HEIGHT;
    xcb_configure_window(connection_, client.frameWindow, all, frameGeometry.data());
    const std::array<std::uint32_t, 4> inFrame{
        static_cast<std::uint32_t>(frame_.left()), static_cast<std::uint32_t>(frame_.top()),
        static_cast<std::uint32_t>(client.width), static_cast<std::uint32_t>(client.height)};
    xcb_configure_window(connection_, client.window, all, inFrame.data());
    // The client's place on the screen, which the event from its own move (within the frame)
    // does not tell it.
    xcb_configure_notify_event_t notice{};
    notice.response_type = XCB_CONFIGURE_NOTIFY;
    notice.event = client.window;
    notice.window = client.window;
    notice.above_sibling = XCB_NONE;
    notice.x = static_cast<std::int16_t>(client.place.x());
    notice.y = static_cast<std::int16_t>(client.place.y());
    notice.width = static_cast<std::uint16_t>(client.width);
    notice.height = static_cast<std::uint16_t>(client.height);
    xcb_send_event(connection_, 0, client.window, XCB_EVENT_MASK_STRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&notice));
    xcb_flush(connection_);
}
