#pragma once

#include <QString>
#include <functional>
#include <optional>

// Message-box style bits and answers, numbered as the language files and callers use them.
namespace MessageBoxFlags {
inline constexpr int Ok = 0x00;
inline constexpr int OkCancel = 0x01;
inline constexpr int YesNoCancel = 0x03;
inline constexpr int YesNo = 0x04;
inline constexpr int ButtonMask = 0x0F;
inline constexpr int IconError = 0x10;
inline constexpr int IconQuestion = 0x20;
inline constexpr int IconExclamation = 0x30;
inline constexpr int IconInformation = 0x40;
inline constexpr int IconMask = 0xF0;
}  // namespace MessageBoxFlags

namespace MessageBoxResult {
inline constexpr int Ok = 1;
inline constexpr int Cancel = 2;
inline constexpr int Yes = 6;
inline constexpr int No = 7;
}  // namespace MessageBoxResult

enum class BeepKind { Default, Exclamation };

struct OpenFileRequest {
    QString title;
    // Alternating description and pattern, separated by "|":
    // "AVI Files (*.avi)|*.avi|All Files (*.*)|*.*".
    QString filter;
    // Extension added to a typed name that has none, without the dot.
    QString defaultExtension;
    QString initialDirectory;
    QString fileName;
    bool mustExist = true;
};

// Everything that would block on a modal window or leave the program. The program uses one
// Qt implementation; tests use a recording double that answers as told, so no test waits on a
// window. All calls happen on the user-interface thread.
class DialogService {
public:
    virtual ~DialogService() = default;

    // Shows a modal message box; returns the code of the button pressed (MessageBoxResult).
    virtual int messageBox(const QString& text, const QString& caption, int flags) = 0;
    // Returns the chosen path, or nothing when the operator cancels.
    virtual std::optional<QString> openFile(const OpenFileRequest& request) = 0;
    // A message box that waits for nobody: it is up when the call returns and stays until the
    // operator closes it or closeNotice is called with the number returned. For a state the
    // program may leave by itself (a file that opens after all).
    virtual int showNotice(const QString& text, const QString& caption, int flags) = 0;
    // Closes the notice if it is still up.
    virtual void closeNotice(int notice) = 0;
    // Opens a document, a web address or a "mailto:" address with the desktop's default handler.
    // False when it cannot be handed over; when the handler gives up later (no program for the
    // kind, a browser that refuses to run for this user), failed is called then.
    virtual bool shellOpen(const QString& target, const std::function<void()>& failed) = 0;
    virtual void beep(BeepKind kind) = 0;
};

// Converts a "|"-separated filter into Qt's ";;"-separated form, taking each pair's description
// and adding its patterns where the description does not already show them.
QString qtFileFilter(const QString& filter);
