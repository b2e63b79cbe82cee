#include "storage/gui/form_placement.h"
#include "storage/storage_log.h"

#include "storage/placement_text.h"
#include "storage/profile_file.h"
#include "storage/stored_props.h"
#include "storage/windows1252.h"
#include "widgets/dialog_service.h"

#include <QApplication>
#include <QFileInfo>
#include <QLayout>
#include <QLoggingCategory>
#include <QMoveEvent>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace {

constexpr int kRestoreToMaximized = 2;  // the placement record's WPF_RESTORETOMAXIMIZED
constexpr int kShowNormal = 1;
constexpr int kShowMinimized = 2;
constexpr int kShowMaximized = 3;
// How often and how long a window not yet framed is looked at again.
constexpr int kUnframedChecks = 40;
constexpr int kUnframedCheckMs = 50;
// How long a window manager's reports must have been quiet before a frame counts as settled.
constexpr int kQuietMs = 1000;

QScreen* primaryScreen() {
    return QGuiApplication::primaryScreen();
}

QByteArray screenSuffix() {
    QScreen* screen = primaryScreen();
    return resolutionSuffix(screen ? screen->size() : QSize());
}

int pixelsPerInch() {
    QScreen* screen = primaryScreen();
    return screen ? qRound(screen->logicalDotsPerInch()) : 96;
}

int readInteger(const ProfileDocument& document, const QByteArray& section, const char* key,
                int defaultValue) {
    bool ok = false;
    const int value = document.readString(section, key, {}).trimmed().toInt(&ok);
    return ok ? value : defaultValue;
}

// The key with the current screen's suffix, else the plain key.
QByteArray readPosition(const ProfileDocument& document, const QByteArray& section,
                        const QByteArray& key) {
    const QByteArray sized = document.readString(section, key + screenSuffix(), {});
    return sized.isEmpty() ? document.readString(section, key, {}) : sized;
}

bool fixedSize(const QWidget* form) {
    const QLayout* layout = form->layout();
    return form->minimumSize() == form->maximumSize() ||
           (layout && layout->sizeConstraint() == QLayout::SetFixedSize) ||
           form->windowFlags().testFlag(Qt::MSWindowsFixedSizeDialogHint);
}

// The frame's margins as the platform reads them, none while they are not a frame's. A window
// manager framing a window in steps can be seen with the window in a frame not yet sized around
// it, whose margins come out negative; taken for real they would place the window off its frame.
QMargins frameMarginsOf(const QWindow* window) {
    const QMargins margins = window ? window->frameMargins() : QMargins();
    const bool framing =
        margins.left() < 0 || margins.top() < 0 || margins.right() < 0 || margins.bottom() < 0;
    return framing ? QMargins() : margins;
}

// A rectangle that lies on no screen is moved into the primary screen's free area.
QRect ontoScreen(QRect rect) {
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen->availableGeometry().intersects(rect)) {
            return rect;
        }
    }
    if (QScreen* screen = primaryScreen()) {
        const QRect area = screen->availableGeometry();
        rect.moveLeft(std::clamp(rect.left(), area.left(),
                                 std::max(area.left(), area.right() + 1 - rect.width())));
        rect.moveTop(std::clamp(rect.top(), area.top(),
                                std::max(area.top(), area.bottom() + 1 - rect.height())));
    }
    return rect;
}

}  // namespace

TFormPlacement::TFormPlacement(QWidget* form, DialogService* dialogs)
    : QObject(form), form_(form), dialogs_(dialogs) {
    setObjectName(QStringLiteral("FormStorage"));
    if (form) {
        form->installEventFilter(this);
    }
}

QByteArray TFormPlacement::section() const {
    return encodeWindows1252(iniSection_);
}

void TFormPlacement::writeValue(ProfileDocument& document, const QByteArray& key,
                                const QByteArray& value) {
    document.writeString(section(), key, protectQuotes(value));
}

bool TFormPlacement::eventFilter(QObject* watched, QEvent* event) {
    if (watched != form_) {
        return false;
    }
    // Only what the window system reports counts: a resize of our own changes the widget at
    // once, while the window manager may still apply an older request after it.
    if ((event->type() == QEvent::Move || event->type() == QEvent::Resize) &&
        event->spontaneous() && pendingFrame_) {
        // Judged once the window system's report has been taken in whole (frame margins
        // included), and outside its delivery, where a new request would be lost.
        QMetaObject::invokeMethod(
            this, [this] { settlePendingFrame(); }, Qt::QueuedConnection);
    } else if (event->type() == QEvent::Show && !event->spontaneous() && active_) {
        LoadSettings();
    } else if (event->type() == QEvent::Close) {
        // The close query: the window decides first whether it closes, and only an accepted
        // close saves. Active counts as it was before the window's close handler ran, which
        // may switch it on for the save at destruction.
        const bool wasActive = active_;
        static_cast<QObject*>(form_.data())->event(event);
        if (event->isAccepted() && wasActive && form_->windowHandle()) {
            SaveSettings();
        }
        return true;
    }
    return false;
}

void TFormPlacement::LoadSettings() {
    saveDone_ = false;
    endingSaveTried_ = false;
    if (iniFileName_.isEmpty() || !form_) {
        loadDone_ = true;
        return;
    }
    const ProfileDocument document = readProfileFile(iniFileName_);
    if (readInteger(document, section(), "FormVersion", 0) >= version_) {
        RestorePosition(document);
        loadDone_ = true;
        loadStoredProperties(document);
    }
    loadDone_ = true;
}

void TFormPlacement::RestorePosition(const ProfileDocument& document) {
    QWidget* form = form_;
    const QByteArray sec = section();
    const QRect frame = form->frameGeometry();

    const bool wasMaximized = form->windowState().testFlag(Qt::WindowMaximized);
    const int flags = readInteger(document, sec, "Flags", wasMaximized ? kRestoreToMaximized : 0);

    bool found = false;
    expectedMargins_ = QMargins();
    const QByteArray minMaxPos = readPosition(document, sec, "MinMaxPos");
    if (!minMaxPos.isEmpty()) {
        found = true;
        // The maximised origin was saved as minus the frame's left and top widths: the frame the
        // window manager drew last time, and most likely again.
        const auto words = positionWords(minMaxPos);
        constexpr int kWidestFrame = 256;
        const int left = -words[2].value_or(1);
        const int top = -words[3].value_or(1);
        if (left >= 0 && top >= 0 && left <= kWidestFrame && top <= kWidestFrame) {
            expectedMargins_ = QMargins(left, top, left, left);
        }
    }
    QRect normal = frame;
    const QByteArray normPos = readPosition(document, sec, "NormPos");
    if (!normPos.isEmpty()) {
        found = true;
        const auto words = positionWords(normPos);
        const int left = words[0].value_or(frame.left());
        const int top = words[1].value_or(frame.top());
        const int right = words[2].value_or(frame.left() + frame.width());
        const int bottom = words[3].value_or(frame.top() + frame.height());
        normal = QRect(left, top, right - left, bottom - top);
    }
    if (readInteger(document, sec, "PixelsPerInch", pixelsPerInch()) != pixelsPerInch()) {
        found = false;
    }
    if (found && options_.testFlag(fpPosition)) {
        if (fixedSize(form)) {
            normal.setSize(frame.size());
        }
        if (normal.width() > 0) {
            placeFrame(ontoScreen(normal), !fixedSize(form));
        }
    }
    if (options_.testFlag(fpState)) {
        const int showCmd = readInteger(document, sec, "ShowCmd", kShowNormal);
        Qt::WindowStates state = form->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
        if (showCmd == kShowMaximized) {
            state |= Qt::WindowMaximized;
        } else if (showCmd == kShowMinimized) {
            state |= Qt::WindowMinimized;
            if (flags & kRestoreToMaximized) {
                state |= Qt::WindowMaximized;
            }
        }
        form->setWindowState(state);
    }
    if (options_.testFlag(fpActiveControl)) {
        const QString name = decodeWindows1252(document.readString(sec, "ActiveControl", {}));
        if (QWidget* control = name.isEmpty() ? nullptr : form->findChild<QWidget*>(name)) {
            control->setFocus();
        }
    }
    if (OnRestorePlacement) {
        OnRestorePlacement(this);
    }
}

void TFormPlacement::placeFrame(const QRect& frame, bool sized) {
    QWidget* form = form_;
    QWindow* window = form->windowHandle();
    const QMargins framed = window && window->isVisible() ? frameMarginsOf(window) : QMargins();
    const QMargins margins = framed.isNull() ? expectedMargins_ : framed;
    // Placed by its client area: the platform then asks the window manager for exactly that place
    // (static gravity), as it does for every later move, resize and size limit of the window. A
    // frame position asked for before the window is mapped (north-west gravity) is taken by the
    // window manager only if no such change comes in between, and a correction made afterwards
    // under the other gravity lands the client where the frame should be.
    form->setGeometry(clientRect(frame, margins, sized));
    if (!framed.isNull()) {
        return;  // a framed window's frame is known, and this places it
    }
    pendingFrame_ = frame;
    pendingSized_ = sized;
    settleTries_ = 0;
    unframedChecks_ = 0;
    ++settleEpoch_;
    // A window manager that puts the window exactly where it was asked to reports no move, so
    // the frame is looked for from the show on as well.
    QTimer::singleShot(kUnframedCheckMs, this, [this] { settlePendingFrame(); });
}

QRect TFormPlacement::clientRect(const QRect& frame, const QMargins& margins, bool sized) const {
    const QSize size = sized ? (frame.size() - QSize(margins.left() + margins.right(),
                                                     margins.top() + margins.bottom()))
                                   .expandedTo(QSize(1, 1))
                             : form_->size();
    return QRect(frame.topLeft() + QPoint(margins.left(), margins.top()), size);
}

void TFormPlacement::settlePendingFrame() {
    QWidget* form = form_;
    if (!pendingFrame_ || !form) {
        return;
    }
    // The platform's own margins: the widget's cached frame can lag behind a resize.
    const QMargins margins = frameMarginsOf(form->windowHandle());
    if (margins.isNull()) {
        // Not framed yet, or never without a window manager. The frame's size may become known
        // after the last event the framing sends, so it is looked at again for a while; after
        // that the place asked for stands, and a later move is the user's own.
        if (++unframedChecks_ < kUnframedChecks) {
            QTimer::singleShot(kUnframedCheckMs, this, [this] { settlePendingFrame(); });
        } else {
            pendingFrame_.reset();
        }
        return;
    }
    const QRect wanted = clientRect(*pendingFrame_, margins, pendingSized_);
    const int epoch = ++settleEpoch_;
    if (form->geometry() == wanted) {
        if (form->frameGeometry() != wanted.marginsAdded(margins)) {
            // The widget takes in the platform's margins only with a move report, and there was
            // none: a report of the unchanged place makes it take them in, so that
            // frameGeometry() is right for those who read it.
            QMoveEvent unchanged(wanted.topLeft(), wanted.topLeft());
            QCoreApplication::sendEvent(form->windowHandle(), &unchanged);
        }
        // Right as far as Qt knows. A window manager may report its frame in pieces (the frame's
        // size before the client's place in it), so this may be judged on margins that are not
        // yet the real ones: its later reports are looked at until it has been quiet a moment,
        // and margins that changed meanwhile without a report are judged anew.
        QTimer::singleShot(kQuietMs, this, [this, epoch, margins] {
            if (epoch != settleEpoch_) {
                return;
            }
            if (form_ && frameMarginsOf(form_->windowHandle()) != margins) {
                settlePendingFrame();
            } else {
                pendingFrame_.reset();
            }
        });
        return;
    }
    // A window manager that insists on another place or size wins after a few tries.
    constexpr int kMaxTries = 5;
    if (++settleTries_ > kMaxTries) {
        pendingFrame_.reset();
        return;
    }
    // Asking again for a place already asked for is harmless: a report that came in pieces only
    // makes the window manager confirm it.
    form->setGeometry(wanted);
    // A window manager that puts the window exactly where asked reports nothing, and this may
    // have been judged on margins of a frame still being built: judged again once quiet.
    QTimer::singleShot(kQuietMs, this, [this, epoch] {
        if (epoch == settleEpoch_) {
            settlePendingFrame();
        }
    });
}

QRect TFormPlacement::currentFrame() {
    QWidget* form = form_;
    const QWindow* window = form->windowHandle();
    // The platform's margins, not the widget's, which it takes in only with a move or resize
    // report. Neither is known when the window manager put the window exactly where it was asked
    // to and so reported nothing, nor while the window is hidden (full-screen playback): the
    // margins last seen, else those the window was placed with, stand in for them.
    QMargins margins = window && window->isVisible() ? frameMarginsOf(window) : QMargins();
    if (!margins.isNull()) {
        shownMargins_ = margins;
    } else {
        margins = shownMargins_.isNull() ? expectedMargins_ : shownMargins_;
    }
    return form->geometry().marginsAdded(margins);
}

void TFormPlacement::WritePosition(ProfileDocument& document) {
    QWidget* form = form_;
    const QRect client = form->geometry();
    const QRect frame = currentFrame();
    const int marginLeft = client.left() - frame.left();
    const int marginTop = client.top() - frame.top();

    const bool minimized = form->isMinimized();
    const bool maximized = form->windowState().testFlag(Qt::WindowMaximized);
    QRect normal = frame;
    if ((minimized || maximized) && form->normalGeometry().isValid()) {
        normal =
            form->normalGeometry().adjusted(-marginLeft, -marginTop, frame.right() - client.right(),
                                            frame.bottom() - client.bottom());
    }
    if (pendingFrame_ && !minimized && !maximized) {
        // The window manager has not yet confirmed the restored place: the place asked for is
        // the one to keep, not wherever an unframed window happens to stand.
        normal.moveTopLeft(pendingFrame_->topLeft());
    }
    const int showCmd = minimized ? kShowMinimized : maximized ? kShowMaximized : kShowNormal;

    writeValue(document, "Flags",
               QByteArray::number(minimized && maximized ? kRestoreToMaximized : 0));
    writeValue(document, "ShowCmd", QByteArray::number(showCmd));
    writeValue(document, "PixelsPerInch", QByteArray::number(pixelsPerInch()));
    const QByteArray minMax = positionText(-1, -1, -marginLeft, -marginTop);
    writeValue(document, "MinMaxPos" + screenSuffix(), minMax);
    writeValue(document, "MinMaxPos", minMax);
    const QByteArray normPos =
        positionText(normal.left(), normal.top(), normal.left() + normal.width(),
                     normal.top() + normal.height());
    writeValue(document, "NormPos" + screenSuffix(), normPos);
    writeValue(document, "NormPos", normPos);
    writeValue(document, "Visible", savingOnDestroy_ ? "1" : "0");
    if (options_.testFlag(fpActiveControl)) {
        QWidget* focus = QApplication::focusWidget();
        const bool inForm = focus && form->isAncestorOf(focus);
        writeValue(document, "ActiveControl",
                   inForm ? encodeWindows1252(focus->objectName()) : QByteArray());
    }
    if (OnSavePlacement) {
        OnSavePlacement(this);
    }
}

void TFormPlacement::SaveSettings() {
    if ((!loadDone_ && active_) || iniFileName_.isEmpty() || !form_) {
        return;
    }
    ProfileDocument document = readProfileFile(iniFileName_);
    writeValue(document, "FormVersion", QByteArray::number(version_));
    WritePosition(document);
    saveStoredProperties(document);
    QString reason;
    if (!writeProfileFile(iniFileName_, document, &reason)) {
        const QString path = QFileInfo(iniFileName_).absoluteFilePath();
        qCWarning(lcStorage) << QStringLiteral("Unable to write to %1").arg(path) << reason;
        if (dialogs_) {
            dialogs_->messageBox(say_("TxT_UnableToWrite", "Unable to write to %1").arg(path),
                                 QCoreApplication::applicationName(), MessageBoxFlags::IconError);
        }
        return;
    }
    saveDone_ = true;
}

void TFormPlacement::SaveAsWindowEnds() {
    if (!active_ || saveDone_ || endingSaveTried_) {
        return;
    }
    endingSaveTried_ = true;
    savingOnDestroy_ = true;
    SaveSettings();
    savingOnDestroy_ = false;
}

void TFormPlacement::FormDestroy() {
    SaveAsWindowEnds();
}

void TFormPlacement::loadStoredProperties(const ProfileDocument&) {}

void TFormPlacement::saveStoredProperties(ProfileDocument&) {}
