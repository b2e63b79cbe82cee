#pragma once

#include <QMargins>
#include <QPoint>

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

struct xcb_connection_t;

// A window manager that frames a window in steps, the way a busy one may be seen between its
// requests: on the map it puts the window, where it stands, into a frame window (of a single
// pixel, or already of the frame's size), and only a while later puts the frame around it and
// the window into its place inside. Frames keep
// the window's place on the screen (static gravity), and no frame extents are announced, so a
// client learns its margins from the window tree alone. It runs on its own connection and thread,
// from construction to destruction.
class SlowWindowManager {
public:
    enum class FirstFrame { SinglePixel, FullSize };
    SlowWindowManager(QMargins frame, FirstFrame first, std::chrono::milliseconds framingTime);
    ~SlowWindowManager();
    SlowWindowManager(const SlowWindowManager&) = delete;
    SlowWindowManager& operator=(const SlowWindowManager&) = delete;

    // False when another window manager holds the screen or the server is out of reach.
    bool running() const { return connection_ != nullptr; }
    // Whether the last window mapped has been framed whole.
    bool framed() const;
    // Every place on the screen that the framed window asked for, in order.
    std::vector<QPoint> placesAsked() const;
    // Where the framed window's frame stands on the screen, as the server has it.
    std::optional<QPoint> framePosition() const;
    // Moves the framed window's frame, as a user dragging it does.
    void dragFrameTo(QPoint place);

private:
    struct Client;
    void run();
    void handleMapRequest(std::uint32_t window);
    void handleConfigureRequest(const void* event);
    void completeFrame();
    void layOut(const Client& client);  // with mutex_ held

    QMargins frame_;
    FirstFrame first_;
    std::chrono::milliseconds framingTime_;
    xcb_connection_t* connection_ = nullptr;
    int stopPipe_[2] = {-1, -1};
    mutable std::mutex mutex_;
    std::unique_ptr<Client> client_;
    std::thread thread_;
};
