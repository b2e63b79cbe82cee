#include "fake_show.h"

FakeShow::FakeShow() {
    const auto record = [this](const QString& name) {
        return [this, name](std::int64_t argument) {
            const OperatorArgument kind = operators.find(name)->argument;
            ran << (kind == OperatorArgument::None
                        ? name
                        : name + QLatin1Char(' ') + QString::number(argument));
        };
    };
    for (const char* name : {"start", "stop", "rewind"})
        operators.add({QString::fromLatin1(name),
                       OperatorArgument::None,
                       {},
                       record(QString::fromLatin1(name))});
    operators.add({QStringLiteral("cue"), OperatorArgument::Segment, {}, record("cue")});
    operators.add({QStringLiteral("goto"), OperatorArgument::Frame, {}, record("goto")});
    operators.add(
        {QStringLiteral("fullscreen"), OperatorArgument::OnOff, {}, record("fullscreen")});
    operators.add({QStringLiteral("loop"), OperatorArgument::OnOff, {}, record("loop")});
    operators.add(
        {QStringLiteral("step"), OperatorArgument::Steps, [] { return false; }, record("step")});
}

ShowSnapshot FakeShow::threeScreens() {
    ShowSnapshot show;
    show.showName = QStringLiteral("Hall A");
    show.syncPoints = {0, 120, 240, 360};
    show.segment = 2;
    show.running = true;
    ScreenStatus master;
    master.id = QStringLiteral("master");
    master.master = true;
    master.name = QStringLiteral("Master");
    master.health = ScreenHealth::Ok;
    master.state = QStringLiteral("playing");
    master.segment = 2;
    master.startFrame = 120;
    master.shownFrame = 150;
    master.lateMs = {0, 0};
    master.fileName = QStringLiteral("hall-a.avi");
    ScreenStatus wall = master;
    wall.id = QStringLiteral("slave-1");
    wall.master = false;
    wall.name = QStringLiteral("Wall");
    wall.address = QStringLiteral("192.168.50.11:40212");
    wall.lateMs = {8, 12};
    wall.lastHeardMs = 1'765'000'000'000;
    ScreenStatus door;
    door.id = QStringLiteral("slave-2");
    door.name = QStringLiteral("Door");
    door.address = QStringLiteral("192.168.50.12:40218");
    door.health = ScreenHealth::Starting;
    door.state = QStringLiteral("no media");
    door.problems = {QStringLiteral("media file door.avi not found")};
    show.screens = {master, wall, door};
    return show;
}
