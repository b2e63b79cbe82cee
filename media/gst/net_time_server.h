#pragma once

#include <gst/gst.h>

#include <QString>
#include <memory>

class UdpPollThread;

// Serves a clock's time on a UDP port, answering each 16-byte question as GStreamer's network
// time provider does. The port is bound exclusively: GStreamer's provider binds with address
// reuse, which let another process on the same port answer the Slaves in the Master's place.
class NetTimeServer {
public:
    // The server on `port`, or none with the reason in `error`.
    static std::unique_ptr<NetTimeServer> bind(GstClock* clock, quint16 port, QString& error);
    ~NetTimeServer();
    NetTimeServer(const NetTimeServer&) = delete;
    NetTimeServer& operator=(const NetTimeServer&) = delete;

private:
    NetTimeServer(GstClock* clock, std::unique_ptr<UdpPollThread> thread);
    void serve(const UdpPollThread& udp);

    GstClock* clock_;  // a reference of its own
    std::unique_ptr<UdpPollThread> thread_;
};
