#include "serial/com_error.h"

#include <array>

namespace {

std::string Message(int errorCode, int systemCode) {
    std::string message = EComPort::Text(errorCode);
    if (systemCode != EComPort::NoSystemCode) {
        message += " (win error code: " + std::to_string(systemCode) + ")";
    }
    return message;
}

}  // namespace

EComPort::EComPort(int errorCode, int systemCode)
    : std::runtime_error(Message(errorCode, systemCode)),
      errorCode_(errorCode),
      systemCode_(systemCode) {}

std::string EComPort::Text(int errorCode) {
    static const std::array<const char*, 14> kTexts = {
        "Unable to open com port",
        "WriteFile function failed",
        "ReadFile function failed",
        "Invalid Async parameter",
        "PurgeComm function failed",
        "Unable to get async status",
        "SetCommState function failed",
        "SetCommTimeouts failed",
        "SetupComm function failed",
        "ClearCommError function failed",
        "GetCommModemStatus function failed",
        "EscapeCommFunction function failed",
        "TransmitCommChar function failed",
        "Cannot set SyncMethod while connected",
    };
    if (errorCode < 1 || errorCode > static_cast<int>(kTexts.size())) {
        return {};
    }
    return kTexts[static_cast<std::size_t>(errorCode - 1)];
}
