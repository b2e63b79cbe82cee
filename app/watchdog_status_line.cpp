#include "app/watchdog_status_line.h"

QString watchdogStatusLine(const InstanceState& state) {
    QString line = state.master ? QStringLiteral("Master") : QStringLiteral("Slave");
    const QString mark = state.playing ? QStringLiteral("\u25B6") : QStringLiteral("\u23F8");
    if (state.segment > 0) {
        line += QStringLiteral(" \u00B7 segment %1 %2").arg(state.segment).arg(mark);
    } else {
        line += QStringLiteral(" \u00B7 ") + mark;
    }
    if (state.master && state.slaves) {
        line += QStringLiteral(" \u00B7 %1 %2")
                    .arg(*state.slaves)
                    .arg(*state.slaves == 1 ? QStringLiteral("Slave") : QStringLiteral("Slaves"));
    }
    return line;
}
