#include <gtest/gtest.h>

#include "support/recording_dialogs.h"
#include "widgets/gui/kt_spin_edit.h"
#include "widgets/gui/spin_button.h"
#include "widgets/gui/timer_speed_button.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>
#include <limits>

namespace {

constexpr int kMax = std::numeric_limits<std::int32_t>::max();

// Sends a key the way the keyboard does: with the character it types.
void press(QWidget* target, int key, const QString& text = QString(),
           Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent down(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(target, &down);
    QKeyEvent up(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(target, &up);
}

void type(QWidget* target, const QString& text) {
    for (const QChar c : text) {
        press(target, c.toUpper().unicode(), QString(c));
    }
}

void enter(QWidget* target) {
    press(target, Qt::Key_Return, QStringLiteral("\r"));
}

// The main window's frame box: 0 to 2147483647, in a shown window.
struct FrameBox {
    explicit FrameBox(bool kt = true) {
        if (kt) {
            auto* box = new TktSpinEdit(dialogs, &window);
            box->ktOnNewValue = [this](TktSpinEdit&) { ++newValues; };
            edit = box;
        } else {
            edit = new TSpinEdit(dialogs, &window);
        }
        edit->setMinValue(0);
        edit->setMaxValue(kMax);
        edit->setMaxLength(10);
        edit->setGeometry(10, 10, 58, 22);
        other = new QLineEdit(&window);
        other->setGeometry(10, 50, 58, 22);
        window.resize(120, 90);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        edit->setFocus(Qt::OtherFocusReason);
    }
    RecordingDialogs dialogs;
    QWidget window;
    TSpinEdit* edit;
    QLineEdit* other;
    int newValues = 0;
};

}  // namespace

TEST(SpinEditKeys, KtDropsLettersSilentlyPlainBeeps) {
    FrameBox kt;
    kt.edit->clear();
    type(kt.edit, QStringLiteral("1a2 b3"));
    EXPECT_EQ(kt.edit->text(), QStringLiteral("123"));
    EXPECT_TRUE(kt.dialogs.beeps.empty());

    FrameBox plain(false);
    plain.edit->clear();
    type(plain.edit, QStringLiteral("4x5"));
    EXPECT_EQ(plain.edit->text(), QStringLiteral("45"));
    ASSERT_EQ(plain.dialogs.beeps.size(), 1u);
    EXPECT_EQ(plain.dialogs.beeps[0], BeepKind::Default);
    // Enter is no character of a number: the plain box beeps and does nothing else.
    enter(plain.edit);
    EXPECT_EQ(plain.dialogs.beeps.size(), 2u);
    EXPECT_EQ(plain.edit->text(), QStringLiteral("45"));
}

TEST(SpinEditKeys, MinusFiveEnterGivesZeroAndOneNotification) {
    FrameBox box;
    box.edit->clear();
    type(box.edit, QStringLiteral("-5"));
    EXPECT_EQ(box.edit->text(), QStringLiteral("-5"));
    enter(box.edit);
    EXPECT_EQ(box.edit->text(), QStringLiteral("0"));
    EXPECT_EQ(box.newValues, 1);
}

TEST(SpinEditKeys, EnterRewritesLeadingZerosAndNotifiesOnce) {
    FrameBox box;
    box.edit->clear();
    type(box.edit, QStringLiteral("007"));
    enter(box.edit);
    EXPECT_EQ(box.edit->text(), QStringLiteral("7"));
    EXPECT_EQ(box.edit->Value(), 7);
    EXPECT_EQ(box.newValues, 1);
}

TEST(SpinEditKeys, EnterOnTextThatIsNoNumberGivesMinValue) {
    FrameBox box;
    box.edit->setMinValue(3);
    box.edit->setText(QStringLiteral("99999999999"));
    enter(box.edit);
    EXPECT_EQ(box.edit->text(), QStringLiteral("3"));
    EXPECT_EQ(box.newValues, 1);
}

TEST(SpinEditSteps, EmptyBoxReadsMinValueAndUpAddsTheIncrement) {
    FrameBox box;
    box.edit->setMinValue(5);
    box.edit->setIncrement(3);
    box.edit->clear();
    EXPECT_EQ(box.edit->Value(), 5);
    EXPECT_TRUE(box.edit->text().isEmpty());  // reading leaves the text alone
    press(box.edit, Qt::Key_Up);
    EXPECT_EQ(box.edit->text(), QStringLiteral("8"));
    press(box.edit, Qt::Key_Down);
    press(box.edit, Qt::Key_Down);
    EXPECT_EQ(box.edit->text(), QStringLiteral("5"));
    EXPECT_EQ(box.newValues, 3);
}

TEST(SpinEditSteps, EndsOfThe32BitRangeHold) {
    FrameBox box;
    box.edit->setValue(kMax);
    box.edit->UpClick();
    EXPECT_EQ(box.edit->text(), QStringLiteral("2147483647"));
    box.edit->setMinValue(0);
    box.edit->setMaxValue(0);
    box.edit->UpClick();
    EXPECT_EQ(box.edit->text(), QStringLiteral("2147483647"));
    box.edit->setValue(std::numeric_limits<std::int32_t>::min());
    box.edit->DownClick();
    EXPECT_EQ(box.edit->text(), QStringLiteral("-2147483648"));
}

TEST(SpinEditSteps, EqualBoundsMeanNoBounds) {
    FrameBox box;
    box.edit->setMinValue(0);
    box.edit->setMaxValue(0);
    box.edit->setValue(-7);
    EXPECT_EQ(box.edit->text(), QStringLiteral("-7"));
    box.edit->setMinValue(1);
    box.edit->setMaxValue(10);
    box.edit->setValue(-7);
    EXPECT_EQ(box.edit->text(), QStringLiteral("1"));
    box.edit->setValue(70);
    EXPECT_EQ(box.edit->text(), QStringLiteral("10"));
}

TEST(SpinEditSteps, ReadOnlyKtStillStepsPlainBeepsInstead) {
    FrameBox kt;
    kt.edit->setReadOnly(true);
    press(kt.edit, Qt::Key_Up);
    kt.edit->Button()->upButton()->click();
    EXPECT_EQ(kt.edit->text(), QStringLiteral("2"));
    EXPECT_EQ(kt.newValues, 2);
    EXPECT_TRUE(kt.dialogs.beeps.empty());

    FrameBox plain(false);
    plain.edit->setReadOnly(true);
    press(plain.edit, Qt::Key_Up);
    plain.edit->Button()->downButton()->click();
    EXPECT_EQ(plain.edit->text(), QStringLiteral("0"));
    EXPECT_EQ(plain.dialogs.beeps.size(), 2u);
}

TEST(SpinEditSteps, OnChangeRunsOnlyWhenTheTextChanges) {
    FrameBox box;
    int changes = 0;
    box.edit->OnChange = [&](TSpinEdit&) { ++changes; };
    box.edit->setValue(0);
    EXPECT_EQ(changes, 0);
    box.edit->setValue(12);
    type(box.edit, QStringLiteral("3"));
    EXPECT_EQ(changes, 2);
}

TEST(SpinEditFocus, LeavingBoundsANumberButKeepsAnOversizedOne) {
    FrameBox box;
    int exits = 0;
    box.edit->OnExit = [&](TSpinEdit&) { ++exits; };
    box.edit->setText(QStringLiteral("3000000000"));
    box.other->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(exits, 1);
    EXPECT_EQ(box.edit->text(), QStringLiteral("3000000000"));
    EXPECT_EQ(box.edit->Value(), 0);

    box.edit->setFocus(Qt::TabFocusReason);
    box.edit->setMaxValue(100);
    box.edit->setText(QStringLiteral("250"));
    box.other->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(box.edit->text(), QStringLiteral("100"));
    EXPECT_EQ(box.newValues, 0);  // leaving is no commit
}

// Another window taking the activation (a message box, the splash) is no exit: the number the
// operator is typing stays as typed, and the status timer's writes keep out of it.
TEST(SpinEditFocus, LosingTheWindowsActivationIsNoExitOrEntry) {
    FrameBox box;
    int enters = 0;
    int exits = 0;
    box.edit->OnEnter = [&](TSpinEdit&) { ++enters; };
    box.edit->OnExit = [&](TSpinEdit&) { ++exits; };
    box.edit->setText(QStringLiteral("-5"));

    QWidget message;
    message.resize(80, 40);
    message.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&message));
    message.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&message));
    EXPECT_FALSE(box.window.isActiveWindow());
    EXPECT_EQ(exits, 0);
    EXPECT_EQ(box.edit->text(), QStringLiteral("-5"));

    message.hide();
    box.window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&box.window));
    EXPECT_TRUE(QTest::qWaitFor([&] { return box.edit->hasFocus(); }));
    EXPECT_EQ(enters, 0);
    EXPECT_EQ(exits, 0);

    box.other->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(exits, 1);
    EXPECT_EQ(box.edit->text(), QStringLiteral("0"));

    // Focus moved to another control while the window was inactive counts once it is back.
    box.edit->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(enters, 1);
    message.show();
    message.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&message));
    box.other->setFocus(Qt::OtherFocusReason);
    EXPECT_EQ(exits, 1);
    message.hide();
    box.window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&box.window));
    EXPECT_TRUE(QTest::qWaitFor([&] { return box.other->hasFocus(); }));
    EXPECT_EQ(exits, 2);
    EXPECT_EQ(enters, 1);
}

TEST(SpinEditFocus, TabSelectsAllButAButtonPressDoesNot) {
    FrameBox box;
    box.edit->setText(QStringLiteral("1234"));
    box.other->setFocus(Qt::TabFocusReason);
    box.edit->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(box.edit->selectedText(), QStringLiteral("1234"));

    box.other->setFocus(Qt::TabFocusReason);
    TTimerSpeedButton* up = box.edit->Button()->upButton();
    QTest::mousePress(up, Qt::LeftButton, {}, up->rect().center());
    EXPECT_TRUE(box.edit->hasFocus());
    EXPECT_TRUE(box.edit->selectedText().isEmpty());
    QTest::mouseRelease(up, Qt::LeftButton, {}, up->rect().center());
    EXPECT_EQ(box.edit->text(), QStringLiteral("1235"));
}

TEST(SpinEditEditor, DisabledEditorRefusesTypingAndPastingButSteps) {
    FrameBox box;
    box.edit->setEditorEnabled(false);
    box.edit->setText(QStringLiteral("42"));
    box.edit->end(false);
    QApplication::clipboard()->setText(QStringLiteral("99"));
    type(box.edit, QStringLiteral("7"));
    press(box.edit, Qt::Key_Backspace, QStringLiteral("\b"));
    press(box.edit, Qt::Key_Delete);
    press(box.edit, Qt::Key_V, QStringLiteral("\x16"), Qt::ControlModifier);
    box.edit->selectAll();
    press(box.edit, Qt::Key_X, QStringLiteral("\x18"), Qt::ControlModifier);
    EXPECT_EQ(box.edit->text(), QStringLiteral("42"));
    EXPECT_TRUE(box.dialogs.beeps.empty());
    press(box.edit, Qt::Key_Up);
    EXPECT_EQ(box.edit->text(), QStringLiteral("43"));

    box.edit->setEditorEnabled(true);
    box.edit->end(false);
    press(box.edit, Qt::Key_V, QStringLiteral("\x16"), Qt::ControlModifier);
    EXPECT_EQ(box.edit->text(), QStringLiteral("4399"));
}

TEST(SpinEditLayout, HeightIsRaisedAndButtonsSitInsideTheFrame) {
    FrameBox box;
    box.edit->resize(58, 10);
    EXPECT_GE(box.edit->height(), box.edit->minimumEditHeight());
    const QRect buttons = box.edit->Button()->geometry();
    EXPECT_EQ(buttons.width(), 15);
    EXPECT_EQ(buttons.right(), box.edit->width() - 4);
    EXPECT_EQ(buttons.height(), box.edit->height() - 5);
    EXPECT_GE(box.edit->textMargins().right(), 17);
    // The down button starts one pixel above the end of the up button.
    const QRect up = box.edit->Button()->upButton()->geometry();
    const QRect down = box.edit->Button()->downButton()->geometry();
    EXPECT_EQ(up.height(), buttons.height() / 2);
    EXPECT_EQ(down.top(), up.bottom());
    EXPECT_EQ(down.bottom(), buttons.height() - 1);
}

TEST(SpinEditKeys, MaxLengthLimitsTypingButNotTheProgramsOwnText) {
    FrameBox box;
    box.edit->clear();
    type(box.edit, QStringLiteral("12345678901"));
    EXPECT_EQ(box.edit->text(), QStringLiteral("1234567890"));
    box.edit->setMinValue(0);
    box.edit->setMaxValue(0);
    box.edit->setValue(std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(box.edit->text(), QStringLiteral("-2147483648"));
}

TEST(SpinEditProperties, ReachableByTheirNames) {
    FrameBox box;
    EXPECT_TRUE(box.edit->setProperty("Value", 25));
    EXPECT_EQ(box.edit->text(), QStringLiteral("25"));
    EXPECT_EQ(box.edit->property("MaxValue").toInt(), kMax);
    EXPECT_TRUE(box.edit->setProperty("Increment", 5));
    box.edit->UpClick();
    EXPECT_EQ(box.edit->property("Value").toInt(), 30);
}

// A form builds its boxes with only a parent and hands the dialog layer over afterwards.
TEST(SpinEditForm, BuiltWithOnlyAParentRefusesKeysWithOrWithoutADialogLayer) {
    QWidget window;
    auto* plain = new TSpinEdit(&window);
    auto* kt = new TktSpinEdit(&window);
    EXPECT_EQ(plain->parentWidget(), &window);
    EXPECT_EQ(kt->parentWidget(), &window);

    plain->clear();
    type(plain, QStringLiteral("4x5"));
    EXPECT_EQ(plain->text(), QStringLiteral("45"));
    plain->setReadOnly(true);
    plain->UpClick();
    EXPECT_EQ(plain->text(), QStringLiteral("45"));

    RecordingDialogs dialogs;
    plain->setDialogs(&dialogs);
    plain->setReadOnly(false);
    type(plain, QStringLiteral("y"));
    EXPECT_EQ(plain->text(), QStringLiteral("45"));
    EXPECT_EQ(dialogs.beeps.size(), 1U);

    kt->setDialogs(&dialogs);
    type(kt, QStringLiteral("z"));
    kt->UpClick();
    EXPECT_EQ(kt->Value(), 1);
    EXPECT_EQ(dialogs.beeps.size(), 1U);
}

TEST(SpinButtonKeys, SpaceClicksTheFocusedButtonArrowsChooseIt) {
    QWidget window;
    auto* spin = new TSpinButton(&window);
    spin->setTabStop(true);
    int ups = 0;
    int downs = 0;
    spin->OnUpClick = [&](TSpinButton&) { ++ups; };
    spin->OnDownClick = [&](TSpinButton&) { ++downs; };
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    spin->setFocus();
    press(spin, Qt::Key_Space, QStringLiteral(" "));
    EXPECT_EQ(ups, 1);
    press(spin, Qt::Key_Down);
    press(spin, Qt::Key_Space, QStringLiteral(" "));
    EXPECT_EQ(downs, 2);
    EXPECT_EQ(spin->focusedButton(), spin->downButton());
    EXPECT_TRUE(spin->downButton()->focusMark());
    EXPECT_FALSE(spin->upButton()->focusMark());
}

TEST(SpinButtonRepeat, HeldButtonStepsAfter400MsThenEvery100MsAndOnceAtRelease) {
    FrameBox box;
    int steps = 0;
    static_cast<TktSpinEdit*>(box.edit)->ktOnNewValue = [&](TktSpinEdit&) { ++steps; };
    TTimerSpeedButton* up = box.edit->Button()->upButton();
    QTest::mousePress(up, Qt::LeftButton, {}, up->rect().center());
    const QTimer* repeat = up->findChild<QTimer*>();
    ASSERT_NE(repeat, nullptr);
    EXPECT_TRUE(repeat->isActive());
    EXPECT_EQ(repeat->interval(), 400);
    EXPECT_EQ(steps, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return steps >= 3; }, 10000));
    EXPECT_EQ(repeat->interval(), 100);
    const int held = steps;
    QTest::mouseRelease(up, Qt::LeftButton, {}, up->rect().center());
    EXPECT_EQ(steps, held + 1);
    EXPECT_EQ(box.edit->Value(), held + 1);
    EXPECT_FALSE(repeat->isActive());
}

TEST(SpinButtonRepeat, DraggingOffPausesBackResumesReleaseOffGivesNoLastStep) {
    FrameBox box;
    int steps = 0;
    static_cast<TktSpinEdit*>(box.edit)->ktOnNewValue = [&](TktSpinEdit&) { ++steps; };
    TTimerSpeedButton* up = box.edit->Button()->upButton();
    const QPoint on = up->rect().center();
    const QPoint off(up->width() + 40, up->height() + 40);
    QTest::mousePress(up, Qt::LeftButton, {}, on);
    ASSERT_TRUE(QTest::qWaitFor([&] { return steps >= 1; }, 10000));
    QTest::mouseMove(up, off);
    ASSERT_FALSE(up->isDown());
    const int pausedAt = steps;
    QTest::qWait(350);
    EXPECT_EQ(steps, pausedAt);
    QTest::mouseMove(up, on);
    // Resumes at the next 100 ms tick, not after another 400 ms.
    const QTimer* repeat = up->findChild<QTimer*>();
    ASSERT_NE(repeat, nullptr);
    EXPECT_TRUE(repeat->isActive());
    EXPECT_EQ(repeat->interval(), 100);
    ASSERT_TRUE(QTest::qWaitFor([&] { return steps > pausedAt; }, 10000));
    QTest::mouseMove(up, off);
    const int beforeRelease = steps;
    QTest::mouseRelease(up, Qt::LeftButton, {}, off);
    QTest::qWait(250);
    EXPECT_EQ(steps, beforeRelease);
}
