#pragma once

#include <QObject>
#include <QString>

// The remote surfaces' settings, kept in the settings file beside the TCP ports: the dashboard's
// and API's HTTP port (0: off), the OSC port (0, the default: off, since UDP carries no token)
// and the token every remote operation must carry. An empty token is made anew at start.
class TRemoteProps : public QObject {
    Q_OBJECT
    Q_CLASSINFO("ZeroPort", "off")
    Q_PROPERTY(quint16 HttpPort READ HttpPort WRITE setHttpPort)
    Q_PROPERTY(quint16 OscPort READ OscPort WRITE setOscPort)
    Q_PROPERTY(QString Token READ Token WRITE setToken)

public:
    using QObject::QObject;

    quint16 HttpPort() const { return httpPort_; }
    void setHttpPort(quint16 value) { httpPort_ = value; }
    quint16 OscPort() const { return oscPort_; }
    void setOscPort(quint16 value) { oscPort_ = value; }
    QString Token() const { return token_; }
    void setToken(const QString& value) { token_ = value; }

private:
    quint16 httpPort_ = 8236;
    quint16 oscPort_ = 0;
    QString token_;
};
