#pragma once

#include <QObject>

// The shared clock's settings, kept in the settings file beside the TCP ports: the UDP port on
// which a LAN Master publishes its clock and its Slaves follow it (0: no shared clock, every
// instance plays on its own as in a show of older versions), and a diagnostic that makes this
// machine's clock run DriftPpm parts per million fast, to show what the shared clock corrects.
//
// The port is stored as the other ports are: a value that is no port number keeps the one held.
// Unlike theirs, 0 is a port setting of its own here, which the class information says.
class TSharedClockProps : public QObject {
    Q_OBJECT
    Q_CLASSINFO("ZeroPort", "off")
    Q_PROPERTY(quint16 Port READ Port WRITE setPort)
    Q_PROPERTY(int DriftPpm READ DriftPpm WRITE setDriftPpm)

public:
    using QObject::QObject;

    quint16 Port() const { return port_; }
    void setPort(quint16 value) { port_ = value; }
    int DriftPpm() const { return driftPpm_; }
    void setDriftPpm(int value) { driftPpm_ = value; }

private:
    quint16 port_ = 8235;
    int driftPpm_ = 0;
};
