#include "serial/com_failure_text.h"

#include "serial/com_error.h"

#include <grp.h>
#include <sys/stat.h>
#include <cerrno>
#include <cstring>

namespace {

// The group that may use the device: the device file's own group, or Debian's usual one when it
// cannot be read.
QString deviceGroup(const QString& devicePath) {
    struct stat status {};
    if (::stat(devicePath.toLocal8Bit().constData(), &status) == 0) {
        if (const group* owner = ::getgrgid(status.st_gid);
            owner != nullptr && owner->gr_gid != 0) {
            return QString::fromLocal8Bit(owner->gr_name);
        }
    }
    return QStringLiteral("dialout");
}

QString reason(int systemCode, const QString& devicePath, const Wording& say) {
    switch (systemCode) {
        case ENOENT:
            return say("TxT_ComNoDevice",
                       "no such device: is the adapter plugged in, and does the section \"Ports\" "
                       "of frameLock.ini name it?");
        case EACCES:
        case EPERM:
            return say("TxT_ComDenied", "permission denied: add the user to the group %1")
                .arg(deviceGroup(devicePath));
        case EBUSY:
        case EWOULDBLOCK:
            return say("TxT_ComBusy", "in use by another program");
        case ENXIO:
        case ENODEV:
            return say("TxT_ComNoAnswer", "the device does not answer: unplugged or switched off?");
        case ENOTTY:
        case EINVAL:
            return say("TxT_ComNotSerial", "not a serial device");
        case EIO:
            return say("TxT_ComIoError",
                       "input/output error: the adapter or its cable may be failing");
        default:
            return QString::fromLocal8Bit(std::strerror(systemCode));
    }
}

}  // namespace

QString ComFailureText(const EComPort& failure, const QString& devicePath, const Wording& say) {
    if (failure.SystemCode() == EComPort::NoSystemCode) {
        return devicePath + QStringLiteral(": ") + QString::fromUtf8(failure.what());
    }
    return devicePath + QStringLiteral(": ") + reason(failure.SystemCode(), devicePath, say);
}
