#pragma once

#include <stdexcept>
#include <string>

// Failure of a serial port operation. ErrorCode is 1 to 14 (the fixed texts below);
// SystemCode is the errno of the failed system call, or -1 where none failed. The message is
// the code's text, followed by " (win error code: <errno>)" when SystemCode is set: the
// suffix keeps the wording that operators and existing logs know.
class EComPort : public std::runtime_error {
public:
    static constexpr int NoSystemCode = -1;

    explicit EComPort(int errorCode, int systemCode = NoSystemCode);

    int ErrorCode() const { return errorCode_; }
    int SystemCode() const { return systemCode_; }

    // The fixed text of an error code, empty for codes outside 1 to 14.
    static std::string Text(int errorCode);

private:
    int errorCode_;
    int systemCode_;
};

// Error codes, in the order of their texts.
namespace ComErrorCode {
inline constexpr int OpenFailed = 1;
inline constexpr int WriteFailed = 2;
inline constexpr int ReadFailed = 3;
inline constexpr int InvalidAsync = 4;
inline constexpr int PurgeFailed = 5;
inline constexpr int AsyncStatusFailed = 6;
inline constexpr int SetStateFailed = 7;
inline constexpr int SetTimeoutsFailed = 8;
inline constexpr int SetupFailed = 9;
inline constexpr int ClearErrorFailed = 10;
inline constexpr int ModemStatusFailed = 11;
inline constexpr int EscapeFailed = 12;
inline constexpr int TransmitCharFailed = 13;
inline constexpr int SyncMethodWhileConnected = 14;
}  // namespace ComErrorCode
