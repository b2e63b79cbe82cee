#include "app/status_line.h"

#include "app/printable_text.h"
#include "app/status_snapshot.h"

namespace {

// A start counts as late when it is more than a frame behind: less is within what sampling a
// running position can tell.
std::int64_t frameMs(const InstanceMedia& master) {
    if (master.rateNumerator <= 0 || master.rateDenominator <= 0) {
        return 40;
    }
    return std::max<std::int64_t>(1, 1000 * master.rateDenominator / master.rateNumerator);
}

}  // namespace

std::optional<std::int64_t> lateness(const SlaveStatus& slave, const ShowFacts& show) {
    const std::optional<std::int64_t> started = slave.startedAtMasterMs();
    if (!started || !show.startedAtMs || slave.play->segment != show.startedSegment) {
        return std::nullopt;
    }
    return *started - *show.startedAtMs;
}

InstanceMedia instanceMedia(const QString& name, const StatusMedia& media) {
    return {
        name,         media.open, media.durationFrames, media.rateNumerator, media.rateDenominator,
        media.inPoint};
}

ShowFacts factsOf(const ShowSnapshot& snapshot) {
    ShowFacts show;
    for (const std::int32_t point : snapshot.syncPoints) {
        show.syncPoints << QString::number(point);
    }
    for (const ScreenStatus& screen : snapshot.screens) {
        if (screen.master && screen.media) {
            show.master = instanceMedia(StatusWords{}.master, *screen.media);
        }
    }
    return show;
}

StatusText screenText(const ScreenStatus& screen, const ShowFacts& show, const StatusWords& words) {
    StatusText result;
    QStringList& parts = result.notes;
    const bool stuck =
        screen.health == ScreenHealth::NotResponding || screen.health == ScreenHealth::Frozen;
    const QString segment = screen.segment
                                ? QString::number(segmentIndex(show.syncPoints, *screen.segment))
                                : QStringLiteral("-1");
    switch (screen.playState) {
        case PlayState::NoMedia:
            break;
        case PlayState::Stopped:
            parts << words.stopped;
            break;
        case PlayState::Cued:
            parts << words.cued + QLatin1Char(' ') + segment;
            break;
        case PlayState::Ended:
            parts << words.ended;
            break;
        case PlayState::Playing: {
            QString text = words.segment + QLatin1Char(' ') + segment + QStringLiteral(" \u25B6");
            if (screen.startFrame) {
                text += QLatin1Char(' ') + QString::number(*screen.startFrame);
            }
            const std::optional<std::int64_t> late = screen.startLateMs;
            if (screen.stillCueing) {
                text += QLatin1Char(' ') + words.stillCueing;
            } else if (late && *late > frameMs(show.master)) {
                text += QLatin1Char(' ') + words.late + QLatin1Char(' ') + QString::number(*late) +
                        QStringLiteral(" ms");
            } else if (late && !stuck) {
                text += QStringLiteral(" \u2713");
            }
            parts << text;
            break;
        }
    }
    // What it last said is no longer what it shows: the health goes first.
    if (stuck) {
        parts.prepend(screen.health == ScreenHealth::Frozen ? words.frozen : words.notResponding);
    }
    if (!parts.isEmpty()) {
        result.state = parts.takeFirst();
    }
    if (screen.media && !screen.master) {
        parts << mediaProblems(instanceMedia(QString(), *screen.media), show.syncPoints,
                               &show.master, words);
    }
    if (!screen.error.isEmpty()) {
        const QString mediaFailed = StatusWords{}.mediaFailed;
        parts << printableText(screen.error.startsWith(mediaFailed)
                                   ? words.mediaFailed + screen.error.mid(mediaFailed.size())
                                   : screen.error);
    }
    return result;
}

QString shortState(const ScreenStatus& screen, const ShowFacts& show, const StatusWords& words) {
    const StatusText text = screenText(screen, show, words);
    QStringList parts = text.notes;
    if (!text.state.isEmpty()) {
        parts.prepend(text.state);
    }
    return parts.join(QStringLiteral(" \u00B7 "));
}

QString listEntry(const QString& label, const StatusText& text) {
    QStringList notes = text.notes;
    QString entry = label;
    const QString first = !text.state.isEmpty() ? text.state
                          : !notes.isEmpty()    ? notes.takeFirst()
                                                : QString();
    if (!first.isEmpty()) {
        entry += QStringLiteral("  ") + first;
    }
    for (const QString& note : notes) {
        entry += QStringLiteral("\n      ") + note;
    }
    return entry;
}

QString mediaSummary(const StatusMedia& media, const StatusWords& words) {
    QStringList parts;
    if (!media.open) {
        parts << words.noMedia;
    } else {
        parts << printableText(media.fileName);
        if (media.width > 0 && media.height > 0) {
            parts << QStringLiteral("%1x%2").arg(media.width).arg(media.height);
        }
        if (media.rateNumerator > 0) {
            const double fps = static_cast<double>(media.rateNumerator) /
                               static_cast<double>(media.rateDenominator);
            parts << QString::number(fps, 'g', 4) + QLatin1Char(' ') + words.rate;
        }
        parts << QString::number(media.durationFrames) + QLatin1Char(' ') + words.frames;
        parts << QStringLiteral("In ") + QString::number(media.inPoint);
    }
    parts << printableText(media.version);
    return parts.join(QStringLiteral(" \u00B7 "));
}
