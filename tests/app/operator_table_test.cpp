#include "app/operator_table.h"
#include "app/show_status.h"

#include <gtest/gtest.h>

namespace {

struct Recorded {
    QStringList runs;
};

OperatorTable tableWith(Recorded& recorded, bool& unlocked) {
    OperatorTable table;
    table.add({"start", OperatorArgument::None, nullptr,
               [&](std::int64_t) { recorded.runs << "start"; }});
    table.add({"cue", OperatorArgument::Segment, [&] { return unlocked; },
               [&](std::int64_t n) { recorded.runs << QStringLiteral("cue %1").arg(n); }});
    table.add({"loop", OperatorArgument::OnOff, nullptr,
               [&](std::int64_t on) { recorded.runs << QStringLiteral("loop %1").arg(on); }});
    return table;
}

TEST(OperatorTable, RunsAnAllowedOperationWithItsArgumentAndRefusesEverythingElseUnrun) {
    Recorded recorded;
    bool unlocked = true;
    const OperatorTable table = tableWith(recorded, unlocked);

    EXPECT_TRUE(table.run("start").done());
    EXPECT_TRUE(table.run("cue", 3).done());
    EXPECT_EQ(table.run("cue").outcome, OperatorTable::Outcome::MissingArgument);
    EXPECT_EQ(table.run("cue", 0).outcome, OperatorTable::Outcome::BadArgument);
    EXPECT_EQ(table.run("loop", 2).outcome, OperatorTable::Outcome::BadArgument);
    EXPECT_EQ(table.run("jump").outcome, OperatorTable::Outcome::Unknown);
    unlocked = false;
    const OperatorTable::Result locked = table.run("cue", 2);
    EXPECT_EQ(locked.outcome, OperatorTable::Outcome::NotAllowed);
    EXPECT_FALSE(locked.reason.isEmpty());
    EXPECT_FALSE(table.allowed("cue"));
    EXPECT_TRUE(table.allowed("start"));

    EXPECT_EQ(recorded.runs, QStringList({"start", "cue 3"}));
}

TEST(OperatorTable, AnEntryAddedAgainUnderItsNameReplacesTheFirst) {
    Recorded recorded;
    bool unlocked = true;
    OperatorTable table = tableWith(recorded, unlocked);
    table.add({"start", OperatorArgument::None, nullptr,
               [&](std::int64_t) { recorded.runs << "remote start"; }});

    table.run("start");

    EXPECT_EQ(table.names(), QStringList({"start", "cue", "loop"}));
    EXPECT_EQ(recorded.runs, QStringList({"remote start"}));
}

TEST(ShowStatusModel, SaysChangedOnlyWhenTheSnapshotChanged) {
    ShowStatusModel model;
    int changed = 0;
    QObject::connect(&model, &ShowStatusModel::changed, [&] { ++changed; });
    ShowSnapshot snapshot;
    ScreenStatus master;
    master.id = "master";
    snapshot.screens.push_back(master);

    model.setSnapshot(snapshot);
    model.setSnapshot(snapshot);
    snapshot.screens.front().health = ScreenHealth::Frozen;
    model.setSnapshot(snapshot);

    EXPECT_EQ(changed, 2);
    ASSERT_NE(model.snapshot().screen("master"), nullptr);
    EXPECT_EQ(model.snapshot().screen("master")->health, ScreenHealth::Frozen);
    EXPECT_EQ(model.snapshot().screen("slave-1"), nullptr);
}

}  // namespace
