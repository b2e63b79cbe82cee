#include "app/status_line.h"

#include "app/printable_text.h"

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

StatusText statusText(const SlaveStatus& slave, const ShowFacts& show, const StatusWords& words) {
    StatusText result;
    QStringList& parts = result.notes;
    if (slave.play) {
        const StatusPlay& play = *slave.play;
        const QString segment = QString::number(play.segment);
        switch (play.state) {
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
                QString text =
                    words.segment + QLatin1Char(' ') + segment + QStringLiteral(" \u25B6");
                if (play.startFrame) {
                    text += QLatin1Char(' ') + QString::number(*play.startFrame);
                }
                const std::optional<std::int64_t> late = lateness(slave, show);
                if (play.stillCueing) {
                    text += QLatin1Char(' ') + words.stillCueing;
                } else if (late && *late > frameMs(show.master)) {
                    text += QLatin1Char(' ') + words.late + QLatin1Char(' ') +
                            QString::number(*late) + QStringLiteral(" ms");
                } else if (late) {
                    text += QStringLiteral(" \u2713");
                }
                parts << text;
                break;
            }
        }
    }
    if (!parts.isEmpty()) {
        result.state = parts.takeFirst();
    }
    if (slave.media) {
        parts << mediaProblems(instanceMedia(QString(), *slave.media), show.syncPoints,
                               &show.master, words);
    }
    if (!slave.error.isEmpty()) {
        const QString mediaFailed = StatusWords{}.mediaFailed;
        parts << printableText(slave.error.startsWith(mediaFailed)
                                   ? words.mediaFailed + slave.error.mid(mediaFailed.size())
                                   : slave.error);
    }
    return result;
}

QString shortState(const SlaveStatus& slave, const ShowFacts& show, const StatusWords& words) {
    const StatusText text = statusText(slave, show, words);
    QStringList parts = text.notes;
    if (!text.state.isEmpty()) {
        parts.prepend(text.state);
    }
    return parts.join(QStringLiteral(" \u00B7 "));
}

QString listEntry(const QString& address, const StatusText& text) {
    QStringList notes = text.notes;
    QString entry = address;
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
