#include <gtest/gtest.h>

#include "storage/property_lookup.h"
#include "support/recording_dialogs.h"
#include "widgets/gui/combo_box.h"
#include "widgets/gui/kt_spin_edit.h"
#include "widgets/gui/list_box.h"

#include <QKeyEvent>
#include <QSignalSpy>

namespace {

const QStringList kEnglishPorts{"No Device", "COM1", "COM2", "COM3", "COM4"};
const QStringList kGermanPorts{"Kein Gerät", "COM1", "COM2", "COM3", "COM4"};

// Writes Items by name, as the language files and the settings file do.
bool writeItems(QObject& box, const QStringList& items) {
    const std::optional<PropertyRef> ref = findProperty(&box, u"Items");
    return ref && ref->keyName == u"Items" && ref->property.write(&box, items);
}

}  // namespace

// A new language gives the port lists new texts; the chosen port must stay chosen, and nothing
// may look like the operator picking a port (that would store "No Device" and reopen the link).
TEST(ComboBoxItems, TranslatedListKeepsTheChoiceWithoutChangeSignals) {
    TComboBox box;
    ASSERT_TRUE(writeItems(box, kEnglishPorts));
    box.setCurrentIndex(3);
    QSignalSpy indexChanges(&box, &QComboBox::currentIndexChanged);
    QSignalSpy itemChanges(&box, &TComboBox::ItemsChanged);

    ASSERT_TRUE(writeItems(box, kGermanPorts));

    EXPECT_EQ(box.Items(), kGermanPorts);
    EXPECT_EQ(box.currentIndex(), 3);
    EXPECT_EQ(indexChanges.count(), 0);
    EXPECT_EQ(itemChanges.count(), 1);

    ASSERT_TRUE(writeItems(box, kGermanPorts));
    EXPECT_EQ(itemChanges.count(), 1) << "the same list changes nothing";
}

TEST(ComboBoxItems, ShorterListDropsAChoiceItNoLongerHasAndSaysSoOnce) {
    TComboBox box;
    box.setItems(kEnglishPorts);
    box.setCurrentIndex(4);
    QSignalSpy indexChanges(&box, &QComboBox::currentIndexChanged);

    box.setItems({"No Device", "COM1"});

    EXPECT_EQ(box.currentIndex(), -1);
    ASSERT_EQ(indexChanges.count(), 1);
    EXPECT_EQ(indexChanges.front().front().toInt(), -1);

    box.setItems({});
    EXPECT_EQ(box.count(), 0);
    EXPECT_EQ(indexChanges.count(), 1);
}

TEST(ListBoxItems, ItemsByNameReplaceTheWholeList) {
    TListBox list;
    ASSERT_TRUE(writeItems(list, {"250", "1200", "4875"}));
    list.setCurrentRow(2);
    QSignalSpy itemChanges(&list, &TListBox::ItemsChanged);

    ASSERT_TRUE(writeItems(list, {"100"}));
    EXPECT_EQ(list.Items(), QStringList{"100"});
    EXPECT_EQ(list.currentRow(), -1) << "the selection belonged to the old items";
    EXPECT_EQ(itemChanges.count(), 1);

    list.setItems({"100"});
    EXPECT_EQ(itemChanges.count(), 1) << "the same list changes nothing";
    list.setItems({});
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(findProperty(&list, u"Items")->property.read(&list).toStringList(), QStringList{});
}

// A designer form builds its spin edits before the window has a dialog layer to give them.
TEST(SpinEditDialogs, BoxBuiltByAFormBeepsThroughTheLayerGivenLater) {
    RecordingDialogs dialogs;
    TSpinEdit plain;
    TktSpinEdit kt;
    plain.setDialogs(&dialogs);
    kt.setDialogs(&dialogs);

    QKeyEvent letter(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QCoreApplication::sendEvent(&plain, &letter);
    plain.setReadOnly(true);
    plain.UpClick();
    QCoreApplication::sendEvent(&kt, &letter);

    EXPECT_EQ(plain.text(), QStringLiteral("0"));
    EXPECT_EQ(dialogs.beeps.size(), 2u) << "a refused key and a refused step; kt drops silently";
}
