// How long a Slave takes to be in step after it joins a running show, from four moments: the
// sync pause, the last moments before the loop wraps, the middle of a long segment and back
// after a link drop of a second. Each trial runs a fresh Master and Slave of the real program
// on loopback under the caller's X server; the Slave reaches the Master through a relay opened
// at the chosen moment. "In step" is read from the pixels: the Slave's picture at most a frame
// from the Master's in every read for a second.
//
//   unshare --net sh -c 'ip link set lo up && tests/support/run-with-xvfb build/join_bench 10'
//
// A second argument picks moments by name: "pause,wrap,mid,drop" (all of them by default).
#include "e2e/join_show.h"
#include "e2e/screen_frames.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <tuple>

namespace {

struct Trial {
    // Seconds from the link's opening to in step; none when not in step within the bound.
    std::optional<double> toInStep;
    // The largest distance between the two pictures from the opening on: until in step, or
    // through the whole time read for a Slave that should stay in step.
    std::int64_t worstLag = 0;
};

// Reads both pictures of `show` from `from` on until they have been in step for a second (with
// `whole`, on to the end), or `seconds`. A second: a Slave held on one frame matches a running
// Master for a read or two.
Trial measure(const JoinShow& show, double from, double seconds, bool whole = false) {
    Trial trial;
    std::optional<double> inStepSince;
    while (monotonicNow() < from + seconds) {
        const double at = monotonicNow();
        const auto frames = framesOnScreen(show.windows);
        QCoreApplication::processEvents();
        if (!frames[0] || !frames[1]) {
            continue;
        }
        const std::int64_t lag = std::abs(*frames[0] - *frames[1]);
        trial.worstLag = std::max(trial.worstLag, lag);
        if (lag > 1) {
            inStepSince.reset();
            continue;
        }
        if (!inStepSince) {
            inStepSince = at;
        }
        if (at - *inStepSince >= 1 && !trial.toInStep) {
            trial.toInStep = *inStepSince - from;
            if (!whole) {
                break;
            }
        }
    }
    return trial;
}

using Moment = std::function<std::optional<Trial>(const QString& dir)>;

std::optional<Trial> inThePause(const QString& dir) {
    JoinShow show(dir + QStringLiteral("/clip.avi"),
                  {QStringLiteral("0"), QStringLiteral("50"), QStringLiteral("100")}, 1500);
    const auto first = show.ready();
    const auto cue = first ? show.master->waitFor(QStringLiteral("sent DoNC"), first->monotonic, 10)
                           : std::nullopt;
    if (!cue) {
        return std::nullopt;
    }
    const double opened = monotonicNow();
    show.link->open();
    return measure(show, opened, 5);
}

std::optional<Trial> beforeTheWrap(const QString& dir) {
    JoinShow show(dir + QStringLiteral("/clip.avi"), {QStringLiteral("100"), QStringLiteral("115")},
                  200);
    const auto first = show.ready();
    const auto cue = first
                         ? show.master->waitFor(QStringLiteral("sent DoNC1"), first->monotonic, 10)
                         : std::nullopt;
    const auto play =
        cue ? show.master->waitFor(QStringLiteral("sent Play"), cue->monotonic, 10) : std::nullopt;
    if (!play) {
        return std::nullopt;
    }
    const double opened = monotonicNow();
    show.link->open();
    return measure(show, opened, 4);
}

std::optional<Trial> midSegment(const QString& dir) {
    JoinShow show(dir + QStringLiteral("/clip.avi"), {QStringLiteral("0"), QStringLiteral("700")},
                  200);
    const auto first = show.ready();
    if (!first) {
        return std::nullopt;
    }
    waitUntil([&] { return monotonicNow() >= first->monotonic + 3; }, 10);
    const double opened = monotonicNow();
    show.link->open();
    return measure(show, opened, 5);
}

std::optional<Trial> afterALinkDrop(const QString& dir) {
    JoinShow show(dir + QStringLiteral("/clip.avi"), {QStringLiteral("0"), QStringLiteral("700")},
                  200);
    show.link->open();
    const auto first = show.ready();
    if (!first) {
        return std::nullopt;
    }
    waitUntil([&] { return monotonicNow() >= first->monotonic + 4; }, 10);
    const double dropped = monotonicNow();
    show.link->drop();
    waitUntil([&] { return monotonicNow() >= dropped + 1; }, 10);
    const double opened = monotonicNow();
    show.link->open();
    return measure(show, opened, 4, true);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const QTemporaryDir dir;
    makeClip(dir.filePath(QStringLiteral("clip.avi")), 760);
    const QStringList chosen =
        QString::fromLocal8Bit(argc > 2 ? argv[2] : "pause,wrap,mid,drop").split(u',');
    const std::tuple<const char*, const char*, Moment> moments[] = {
        {"pause", "sync pause", inThePause},
        {"wrap", "before the wrap", beforeTheWrap},
        {"mid", "mid-segment", midSegment},
        {"drop", "after a 1-s drop", afterALinkDrop}};
    std::printf("%-18s %5s %9s %9s %9s %11s\n", "joined in", "runs", "in step", "median s", "max s",
                "worst lag");
    for (const auto& [key, name, moment] : moments) {
        if (!chosen.contains(QLatin1String(key))) {
            continue;
        }
        std::vector<double> times;
        std::int64_t worstLag = 0;
        for (int i = 0; i < runs; ++i) {
            const std::optional<Trial> trial = moment(dir.path());
            if (trial && trial->toInStep) {
                times.push_back(*trial->toInStep);
            }
            if (trial) {
                worstLag = std::max(worstLag, trial->worstLag);
            }
        }
        std::printf("%-18s %5d %9zu %9.2f %9.2f %11lld\n", name, runs, times.size(),
                    times.empty() ? 0.0 : median(times),
                    times.empty() ? 0.0 : *std::max_element(times.begin(), times.end()),
                    static_cast<long long>(worstLag));
        std::fflush(stdout);
    }
    return 0;
}
