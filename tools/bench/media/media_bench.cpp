// Media service benchmark: for each video format at 720p, the cue time (flushing accurate seek
// while paused, until the frame reaches the sink) and the play latency (run, until the first
// frame is rendered), median and p95 over random targets, through GstMediaService and through
// a bare playbin doing the same; then the cue by seeking against the cue by swapping to the
// standby prepared on the range named next, in the real window, with the memory each costs;
// then the CPU used while playing each file, against gst-play-1.0 on the same file.
//
//   bench_media [--targets N] [--cpu-runs N] [--formats mjpeg-avi,raw-avi,dv-avi,h264-mp4]
//
// Needs an X display: the CPU runs play into the real video window.

#include "media/gst/gst_media_service.h"
#include "sink_clock.h"
#include "stats.h"
#include "tools/clipgen/clip_generator.h"

#include <gst/gst.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double cpuSeconds(const rusage& usage) {
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

GstElement* silentAudioSink() {
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(sink, "sync", TRUE, nullptr);
    return sink;
}

struct Timings {
    std::vector<double> cue;
    std::vector<double> play;
};

// Waits until a state change of `pipeline` settled, so one measurement does not spill into
// the next.
void settle(GstElement* pipeline) {
    gst_element_get_state(pipeline, nullptr, nullptr, 5 * GST_SECOND);
}

void measureService(GstMediaService& service, SinkClock& sinkClock, std::int64_t target,
                    std::int64_t frames, Timings& out) {
    GstElement* pipeline = service.graph()->pipeline();
    Clock::time_point shown;
    const int prerolls = sinkClock.prerolls();
    const auto start = Clock::now();
    service.setPositions(target, frames);
    if (!sinkClock.waitPreroll(prerolls, 10s, shown)) {
        throw std::runtime_error("service cue timed out");
    }
    out.cue.push_back(msBetween(start, shown));
    settle(pipeline);

    const int renders = sinkClock.markRun();
    const auto run = Clock::now();
    service.run();
    if (!sinkClock.waitRender(renders, 10s, shown)) {
        throw std::runtime_error("service run timed out");
    }
    out.play.push_back(msBetween(run, shown));
    service.pause();
    settle(pipeline);
}

void measureBare(GstElement* playbin, SinkClock& sinkClock, std::int64_t target,
                 const ClipSettings& clip, Timings& out) {
    const auto ns = gst_util_uint64_scale(static_cast<guint64>(target),
                                          static_cast<guint64>(clip.fpsDenominator) * GST_SECOND,
                                          static_cast<guint64>(clip.fpsNumerator));
    Clock::time_point shown;
    const int prerolls = sinkClock.prerolls();
    const auto start = Clock::now();
    gst_element_seek(playbin, 1.0, GST_FORMAT_TIME,
                     static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                     GST_SEEK_TYPE_SET, static_cast<gint64>(ns), GST_SEEK_TYPE_SET, -1);
    if (!sinkClock.waitPreroll(prerolls, 10s, shown)) {
        throw std::runtime_error("bare cue timed out");
    }
    out.cue.push_back(msBetween(start, shown));
    settle(playbin);

    const int renders = sinkClock.markRun();
    const auto run = Clock::now();
    gst_element_set_state(playbin, GST_STATE_PLAYING);
    if (!sinkClock.waitRender(renders, 10s, shown)) {
        throw std::runtime_error("bare run timed out");
    }
    out.play.push_back(msBetween(run, shown));
    gst_element_set_state(playbin, GST_STATE_PAUSED);
    settle(playbin);
}

void openService(GstMediaService& service, const QString& file) {
    service.createGraph();
    for (MediaRef ref : {MediaRef::MediaControl, MediaRef::MediaEvent, MediaRef::VideoWindow,
                         MediaRef::MediaSeeking}) {
        service.query(ref);
    }
    if (!service.renderFile(file)) {
        throw std::runtime_error("cannot render " + file.toStdString());
    }
}

// Opened, counting in frames and paused; its length in frames.
std::int64_t openPausedInFrames(GstMediaService& service, const QString& file) {
    openService(service, file);
    service.setTimeFormatFrame();
    std::int64_t frames = 0;
    service.duration(frames);
    service.pause();
    return frames;
}

void compareLatencies(const ClipSettings& clip, const QString& file, int targets) {
    SinkClock serviceClock;
    GstGraphOptions options;
    options.videoSink = [&] { return serviceClock.makeSink(); };
    options.audioSink = silentAudioSink;
    GstMediaService service(options);
    const std::int64_t frames = openPausedInFrames(service, file);
    settle(service.graph()->pipeline());

    SinkClock bareClock;
    GstElement* playbin = gst_element_factory_make("playbin", nullptr);
    gchar* uri = gst_filename_to_uri(file.toUtf8().constData(), nullptr);
    g_object_set(playbin, "uri", uri, "video-sink", bareClock.makeSink(), "audio-sink",
                 silentAudioSink(), nullptr);
    g_free(uri);
    gst_element_set_state(playbin, GST_STATE_PAUSED);
    settle(playbin);

    std::mt19937 random(2026);
    std::uniform_int_distribution<std::int64_t> pick(0, frames - 2);
    Timings ours;
    Timings bare;
    for (int i = 0; i < targets; ++i) {
        const std::int64_t target = pick(random);
        // Alternating, and taking turns at going first (the second finds the file's pages and
        // the decoder's tables warm), keeps drift and cache effects out of the ratio.
        if (i % 2 == 0) {
            measureService(service, serviceClock, target, frames, ours);
            measureBare(playbin, bareClock, target, clip, bare);
        } else {
            measureBare(playbin, bareClock, target, clip, bare);
            measureService(service, serviceClock, target, frames, ours);
        }
        QCoreApplication::processEvents();
    }
    gst_element_set_state(playbin, GST_STATE_NULL);
    gst_object_unref(playbin);

    // Besides the ratio of the medians, the median of the per-target ratios: each pair ran
    // back to back on the same frame, so it is the steadier figure on a busy machine.
    const auto paired = [](const std::vector<double>& a, const std::vector<double>& b) {
        std::vector<double> ratios;
        for (std::size_t i = 0; i < a.size(); ++i) {
            ratios.push_back(a[i] / b[i]);
        }
        return summarize(ratios).median;
    };
    const Summary oc = summarize(ours.cue), bc = summarize(bare.cue);
    const Summary op = summarize(ours.play), bp = summarize(bare.play);
    std::printf(
        "%-10s cue  ms  median %7.2f p95 %7.2f | bare %7.2f p95 %7.2f | ratio %.2f / %.2f, "
        "paired %.2f\n",
        formatName(clip.format).c_str(), oc.median, oc.p95, bc.median, bc.p95,
        oc.median / bc.median, oc.p95 / bc.p95, paired(ours.cue, bare.cue));
    std::printf(
        "%-10s play ms  median %7.3f p95 %7.3f | bare %7.3f p95 %7.3f | ratio %.2f / %.2f, "
        "paired %.2f\n",
        "", op.median, op.p95, bp.median, bp.p95, op.median / bp.median, op.p95 / bp.p95,
        paired(ours.play, bare.play));
    std::fflush(stdout);
}

// Notification target that ends a local event loop at the end of the media.
class CompletionWaiter : public QObject {
public:
    CompletionWaiter(MediaService& service, QEventLoop& loop) : service_(service), loop_(loop) {}

protected:
    bool event(QEvent* event) override {
        if (event->type() != GraphNotifyEvent) {
            return QObject::event(event);
        }
        MediaEventRecord record;
        while (service_.getEvent(record, 0)) {
            if (record.code == EC_COMPLETE) {
                loop_.quit();
            }
        }
        return true;
    }

private:
    MediaService& service_;
    QEventLoop& loop_;
};

// CPU seconds the program spends playing `file` to its end in the real window.
double serviceCpu(const QString& file) {
    GstGraphOptions options;
    options.audioSink = silentAudioSink;
    GstMediaService service(options);
    openService(service, file);
    QEventLoop loop;
    CompletionWaiter waiter(service, loop);
    service.setNotifyWindow(&waiter, GraphNotifyEvent, 0);
    service.pause();
    settle(service.graph()->pipeline());
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    service.run();
    loop.exec();
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    return cpuSeconds(after) - cpuSeconds(before);
}

double gstPlayCpu(const QString& file) {
    const std::string path = file.toStdString();
    const pid_t child = fork();
    if (child == 0) {
        execlp("gst-play-1.0", "gst-play-1.0", "--no-interactive", "-q", "--audiosink=fakesink",
               path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("gst-play-1.0 failed on " + path);
    }
    return cpuSeconds(usage);
}

// `stub` is a one-frame clip of the same format: gst-play-1.0's CPU on it is its start-up
// (plugin registry, preroll, X connection), which the service's figure does not contain.
void compareCpu(const ClipSettings& clip, const QString& file, const QString& stub, int runs) {
    std::vector<double> ours, theirs, startup;
    for (int i = 0; i < runs; ++i) {
        ours.push_back(serviceCpu(file));
        theirs.push_back(gstPlayCpu(file));
        startup.push_back(gstPlayCpu(stub));
    }
    const double seconds =
        static_cast<double>(clip.frames) * clip.fpsDenominator / clip.fpsNumerator;
    const double start = summarize(startup).median;
    const double o = summarize(ours).median * 10 / seconds;
    const double t = (summarize(theirs).median - start) * 10 / seconds;
    std::printf(
        "%-10s cpu  s per 10 s of video: service %.3f | gst-play-1.0 %.3f (start-up %.3f s "
        "taken off) | ratio %.2f\n",
        formatName(clip.format).c_str(), o, t, start, o / t);
    std::fflush(stdout);
}

long residentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').value(0).toLong();
        }
    }
    return 0;
}

// Both ways in one service and one window: a range cued without a hint seeks; with the range
// named next and the standby ready (off the critical path), the cue swaps. Timed until the
// cued frame is what the sink shown holds: for the seek its preroll, for the swap the call.
void compareSwap(const ClipSettings& clip, const QString& file, int targets) {
    SinkClock clock;
    GstGraphOptions options;
    options.audioSink = silentAudioSink;
    options.standbyWait = 10s;
    GstMediaService service(options);
    const std::int64_t frames = openPausedInFrames(service, file);
    GstGraph* graph = service.graph();
    settle(graph->pipeline());
    const long oneKiB = residentKiB();

    std::mt19937 random(2026);
    std::uniform_int_distribution<std::int64_t> pick(0, frames - 26);
    std::vector<double> seekCue;
    std::vector<double> swapCue;
    long twoKiB = 0;
    for (int i = 0; i < targets; ++i) {
        const std::int64_t seekTarget = pick(random);
        auto start = Clock::now();
        service.setPositions(seekTarget, seekTarget + 25);
        settle(graph->pipeline());
        seekCue.push_back(msBetween(start, Clock::now()));

        const std::int64_t swapTarget = pick(random);
        service.setNextRange(swapTarget, swapTarget + 25);
        const auto deadline = Clock::now() + 10s;
        while (!graph->nextRangeReady() && Clock::now() < deadline) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        twoKiB = std::max(twoKiB, residentKiB());
        const int shown = graph->shownPipeline();
        start = Clock::now();
        service.setPositions(swapTarget, swapTarget + 25);
        swapCue.push_back(msBetween(start, Clock::now()));
        if (graph->shownPipeline() == shown) {
            throw std::runtime_error("the prepared cue did not swap");
        }
        QCoreApplication::processEvents();
    }
    const Summary seek = summarize(seekCue), swap = summarize(swapCue);
    std::printf("%-10s cue  ms  seek median %7.2f p95 %7.2f | swap median %7.2f p95 %7.2f\n",
                formatName(clip.format).c_str(), seek.median, seek.p95, swap.median, swap.p95);
    std::printf("%-10s RSS MB  one pipeline %6.1f | with the standby %6.1f\n", "", oneKiB / 1024.0,
                twoKiB / 1024.0);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int targets = 50;
    int cpuRuns = 3;
    QStringList formats{"mjpeg-avi", "raw-avi", "dv-avi", "h264-mp4"};
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--targets") {
            targets = args[i + 1].toInt();
        } else if (args[i] == "--cpu-runs") {
            cpuRuns = args[i + 1].toInt();
        } else if (args[i] == "--formats") {
            formats = args[i + 1].split(',');
        } else {
            std::fprintf(stderr,
                         "usage: bench_media [--targets N] [--cpu-runs N] [--formats a,b]\n");
            return 2;
        }
    }
    gst_init(&argc, &argv);
    QTemporaryDir dir;
    try {
        for (const QString& name : formats) {
            const auto format = parseFormatName(name.toStdString());
            if (!format || !hasVideo(*format)) {
                throw std::runtime_error("not a video format: " + name.toStdString());
            }
            ClipSettings clip;
            clip.format = *format;
            clip.width = 1280;
            clip.height = 720;
            // Ten seconds, two GOPs for H.264; raw 720p is 1.4 MB a frame, so four seconds.
            clip.frames = *format == ClipFormat::RawAvi    ? 100
                          : *format == ClipFormat::H264Mp4 ? 500
                                                           : 250;
            clip = normalized(clip);
            const QString file =
                dir.filePath(name + QString::fromStdString(formatExtension(*format)));
            generateClip(clip, file.toStdString());
            ClipSettings stubSettings = clip;
            stubSettings.frames = 1;
            const QString stub =
                dir.filePath(name + "-stub" + QString::fromStdString(formatExtension(*format)));
            generateClip(stubSettings, stub.toStdString());
            compareLatencies(clip, file, targets);
            compareSwap(clip, file, targets);
            if (cpuRuns > 0) {
                compareCpu(clip, file, stub, cpuRuns);
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_media: %s\n", e.what());
        return 1;
    }
    return 0;
}
