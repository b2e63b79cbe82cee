#pragma once

#include "storage/profile_document.h"
#include "storage/wording.h"

#include <QMargins>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>
#include <utility>

class DialogService;

// Keeps a window's screen position from one run to the next in an INI file. Placed on the
// window (its parent) it watches the window's events: the first show with Active set loads the
// file (before the window's own showEvent runs), an accepted close with Active set saves it.
// To learn whether the window accepts a close, it hands the close event to the window itself
// and stops it there, so event filters installed on the window before this component never see
// close events.
// The window's destructor calls FormDestroy() first thing, which saves once more unless a save
// already succeeded; Qt has no notification while the children still exist. A window whose frame
// is gone once it is hidden calls SaveAsWindowEnds() from its close handler instead, while the
// window manager still frames it; the destructor's call then saves nothing more.
//
// The Windows placement record maps to Qt thus: NormPos is the frame rectangle of the normal
// (restored) geometry, right and bottom exclusive; ShowCmd is 1 normal, 2 minimised,
// 3 maximised; Flags is 2 when a minimised window restores to maximised; MinMaxPos holds no
// icon position (-1,-1) and the maximised origin, minus the frame's left and top width;
// PixelsPerInch is the primary screen's logical DPI; the suffix names the primary screen's
// size. A restored position that lies on no screen is moved onto the primary screen, as the
// platform does.
//
// The position is restored at the first show, before a window manager has framed the window,
// when Qt does not know the frame yet: the client is placed inside the saved frame by the
// margins the frame had when it was saved (MinMaxPos holds them), and once framed it is checked
// against the real margins and placed again if they differ; a resizable client is sized so that
// the frame, not the client, has the saved size. Otherwise every restart would shift the window
// by its title bar and grow a resizable one by its frame. The frame saved is the client's
// rectangle with the platform's margins, or the last ones known while the platform reports none
// (the window hidden, or placed exactly where asked, which the window manager does not report).
//
// Every file access opens, reads and releases the whole file; writes replace it atomically.
// User-interface thread only.
class TFormPlacement : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool Active READ Active WRITE setActive)
    Q_PROPERTY(QString IniFileName READ IniFileName WRITE setIniFileName)
    Q_PROPERTY(QString IniSection READ IniSection WRITE setIniSection)
    Q_PROPERTY(TPlacementOptions Options READ Options WRITE setOptions)
    Q_PROPERTY(int Version READ Version WRITE setVersion)

public:
    enum TPlacementOption { fpState = 0x1, fpPosition = 0x2, fpActiveControl = 0x4 };
    Q_DECLARE_FLAGS(TPlacementOptions, TPlacementOption)
    Q_FLAG(TPlacementOptions)

    explicit TFormPlacement(QWidget* form, DialogService* dialogs = nullptr);

    bool Active() const { return active_; }
    void setActive(bool active) { active_ = active; }
    QString IniFileName() const { return iniFileName_; }
    void setIniFileName(const QString& name) { iniFileName_ = name; }
    QString IniSection() const { return iniSection_; }
    void setIniSection(const QString& section) { iniSection_ = section; }
    TPlacementOptions Options() const { return options_; }
    void setOptions(TPlacementOptions options) { options_ = options; }
    int Version() const { return version_; }
    void setVersion(int version) { version_ = version; }
    void setDialogs(DialogService* dialogs) { dialogs_ = dialogs; }
    // The language of the boxes it shows; English until set. The log is English throughout.
    void setWording(Wording say) { say_ = std::move(say); }

    bool LoadDone() const { return loadDone_; }
    bool SaveDone() const { return saveDone_; }

    void LoadSettings();
    // Refused before the first load while Active. A write the system refuses shows
    // "Unable to write to <file>" (in the wording set) and leaves the previous file as it was.
    void SaveSettings();
    // The save of a window that is ending ("Visible" is written as 1): runs while Active unless a
    // save already succeeded, and once per load, so a refused write is reported once.
    void SaveAsWindowEnds();
    void FormDestroy();

    std::function<void(TFormPlacement* sender)> OnSavePlacement;
    std::function<void(TFormPlacement* sender)> OnRestorePlacement;

protected:
    QWidget* form() const { return form_; }
    virtual void loadStoredProperties(const ProfileDocument& document);
    virtual void saveStoredProperties(ProfileDocument& document);
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void RestorePosition(const ProfileDocument& document);
    // Puts the window's frame at frame's position (and size, when sized), now or once framed.
    void placeFrame(const QRect& frame, bool sized);
    // The client rectangle that puts the frame at frame, given the frame's margins; the window's
    // own size unless sized.
    QRect clientRect(const QRect& frame, const QMargins& margins, bool sized) const;
    // The frame rectangle as the window manager draws it, or drew it before the window was hidden.
    QRect currentFrame();
    void settlePendingFrame();
    void WritePosition(ProfileDocument& document);
    void writeValue(ProfileDocument& document, const QByteArray& key, const QByteArray& value);
    QByteArray section() const;

    QPointer<QWidget> form_;
    DialogService* dialogs_;
    Wording say_;
    bool active_ = true;
    QString iniFileName_;
    QString iniSection_;
    TPlacementOptions options_ = TPlacementOptions(fpState | fpPosition);
    int version_ = 0;
    bool loadDone_ = false;
    bool saveDone_ = false;
    bool savingOnDestroy_ = false;
    bool endingSaveTried_ = false;
    // The frame rectangle asked for until the window manager's frame has been seen there for a
    // moment without a report to the contrary.
    std::optional<QRect> pendingFrame_;
    bool pendingSized_ = false;
    int settleTries_ = 0;
    int unframedChecks_ = 0;
    int settleEpoch_ = 0;  // voids a confirmation timer started before the latest judgement
    // The frame's margins as last saved, for placing the window before it is framed.
    QMargins expectedMargins_;
    // The margins of the frame the window last had while shown.
    QMargins shownMargins_;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TFormPlacement::TPlacementOptions)
