// sync_bare: the baseline of the sync benchmark. One clip through the program's X video sink and
// nothing else, driven by lines on stdin, writing the event-log lines the program writes (on
// stdout, same clock, same meaning of "prerolled" and "started"):
//   cue <index> <start> <stop>   hold, then show frame <start>; play up to frame <stop>
//   play                         run
//   sync_bare <clip>

#include <gst/gst.h>
#include <gst/video/video.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>

namespace {

void logLine(const char* category, const std::string& message) {
    timespec monotonic{};
    clock_gettime(CLOCK_MONOTONIC, &monotonic);
    timespec wall{};
    clock_gettime(CLOCK_REALTIME, &wall);
    tm local{};
    localtime_r(&wall.tv_sec, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &local);
    std::printf("%lld.%06ld %s.%03ld %s %s\n", static_cast<long long>(monotonic.tv_sec),
                monotonic.tv_nsec / 1000, stamp, wall.tv_nsec / 1000000, category, message.c_str());
    std::fflush(stdout);
}

struct Player {
    GstElement* pipeline = nullptr;
    GMainLoop* loop = nullptr;
    std::mutex mutex;
    bool running = false;
    bool awaitingStart = false;
    std::optional<std::int64_t> last;
    // The clip's rate as the sink's caps tell it (streaming thread), under the mutex.
    int fpsN = 25;
    int fpsD = 1;

    // The same reading of a frame as the program's sink frame log (media/gst/frame_probe.cpp),
    // copied on purpose: the baseline links GStreamer alone, so that nothing of the program's can
    // make it faster or slower. A change to how the program reads a frame belongs in both.
    std::int64_t frameOf(GstPad* pad, GstBuffer* buffer) {
        if (GstCaps* caps = gst_pad_get_current_caps(pad)) {
            GstVideoInfo info;
            if (gst_video_info_from_caps(&info, caps) && info.fps_n > 0) {
                fpsN = info.fps_n;
                fpsD = info.fps_d;
            }
            gst_caps_unref(caps);
        }
        GstEvent* event = gst_pad_get_sticky_event(pad, GST_EVENT_SEGMENT, 0);
        if (event == nullptr || !GST_BUFFER_PTS_IS_VALID(buffer)) {
            if (event != nullptr) {
                gst_event_unref(event);
            }
            return -1;
        }
        GstSegment segment;
        gst_event_copy_segment(event, &segment);
        gst_event_unref(event);
        guint64 stream = 0;
        if (gst_segment_to_stream_time_full(&segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer),
                                            &stream) <= 0) {
            return 0;
        }
        return static_cast<std::int64_t>(gst_util_uint64_scale_round(
            stream, static_cast<guint64>(fpsN), GST_SECOND * static_cast<guint64>(fpsD)));
    }

    GstClockTime timeOf(std::int64_t frame) const {
        return gst_util_uint64_scale(static_cast<guint64>(frame), GST_SECOND * fpsD, fpsN);
    }

    void setRunning(bool on) {
        const std::lock_guard lock(mutex);
        running = on;
        awaitingStart = false;
        if (!on) {
            return;
        }
        if (last) {
            logLine("framelock.media", "started frame " + std::to_string(*last));
        } else {
            awaitingStart = true;
        }
    }

    static GstPadProbeReturn onPad(GstPad* pad, GstPadProbeInfo* info, gpointer self) {
        auto* player = static_cast<Player*>(self);
        if ((info->type & GST_PAD_PROBE_TYPE_BUFFER) == 0) {
            if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_FLUSH_STOP) {
                const std::lock_guard lock(player->mutex);
                player->last.reset();
            }
            return GST_PAD_PROBE_OK;
        }
        const std::lock_guard lock(player->mutex);
        const std::int64_t frame = player->frameOf(pad, GST_PAD_PROBE_INFO_BUFFER(info));
        player->last = frame;
        if (!player->running) {
            logLine("framelock.media", "prerolled frame " + std::to_string(frame));
        } else if (player->awaitingStart) {
            player->awaitingStart = false;
            logLine("framelock.media", "started frame " + std::to_string(frame));
        }
        return GST_PAD_PROBE_OK;
    }

    void command(const std::string& line) {
        std::istringstream words(line);
        std::string verb;
        words >> verb;
        if (verb == "play") {
            logLine("framelock.sync", "received Play");
            setRunning(true);
            gst_element_set_state(pipeline, GST_STATE_PLAYING);
        } else if (verb == "cue") {
            long long index = 0;
            long long start = 0;
            long long stop = 0;
            words >> index >> start >> stop;
            logLine("framelock.sync", "received DoNC" + std::to_string(index));
            logLine("framelock.sync", "cued segment " + std::to_string(index) + " frames " +
                                          std::to_string(start) + " to " + std::to_string(stop));
            setRunning(false);
            GstClockTime from = 0;
            GstClockTime to = 0;
            {
                const std::lock_guard lock(mutex);
                from = timeOf(start);
                to = timeOf(stop);
            }
            gst_element_set_state(pipeline, GST_STATE_PAUSED);
            gst_element_seek(
                pipeline, 1.0, GST_FORMAT_TIME,
                static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                GST_SEEK_TYPE_SET, from, GST_SEEK_TYPE_SET, to);
        }
    }

    static gboolean onInput(GIOChannel* channel, GIOCondition, gpointer self) {
        auto* player = static_cast<Player*>(self);
        gchar* text = nullptr;
        gsize length = 0;
        const GIOStatus status = g_io_channel_read_line(channel, &text, &length, nullptr, nullptr);
        if (status == G_IO_STATUS_NORMAL && text != nullptr) {
            player->command(std::string(text, length));
        }
        g_free(text);
        if (status == G_IO_STATUS_EOF || status == G_IO_STATUS_ERROR) {
            g_main_loop_quit(player->loop);
            return G_SOURCE_REMOVE;
        }
        return G_SOURCE_CONTINUE;
    }

    static gboolean onBus(GstBus*, GstMessage* message, gpointer self) {
        auto* player = static_cast<Player*>(self);
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
            GError* error = nullptr;
            gst_message_parse_error(message, &error, nullptr);
            std::fprintf(stderr, "sync_bare: %s\n", error->message);
            g_error_free(error);
            g_main_loop_quit(player->loop);
        }
        return G_SOURCE_CONTINUE;
    }
};

}  // namespace

int main(int argc, char** argv) {
    gst_init(&argc, &argv);
    if (argc != 2) {
        std::fputs("usage: sync_bare <clip>\n", stderr);
        return 2;
    }
    Player player;
    GError* error = nullptr;
    GstElement* sink = gst_parse_bin_from_description(
        "videoconvert ! videoscale ! capsfilter caps=video/x-raw,pixel-aspect-ratio=1/1 ! "
        "ximagesink name=shown",
        TRUE, &error);
    gchar* uri = gst_filename_to_uri(argv[1], &error);
    if (sink == nullptr || uri == nullptr) {
        std::fprintf(stderr, "sync_bare: %s\n", error != nullptr ? error->message : "no sink");
        return 1;
    }
    player.pipeline = gst_element_factory_make("playbin", nullptr);
    constexpr int kVideoOnly = 1;
    g_object_set(player.pipeline, "uri", uri, "video-sink", sink, "flags", kVideoOnly, nullptr);
    g_free(uri);
    GstElement* shown = gst_bin_get_by_name(GST_BIN(sink), "shown");
    GstPad* pad = gst_element_get_static_pad(shown, "sink");
    gst_pad_add_probe(
        pad,
        static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_FLUSH),
        &Player::onPad, &player, nullptr);
    gst_object_unref(pad);
    gst_object_unref(shown);

    player.loop = g_main_loop_new(nullptr, FALSE);
    GstBus* bus = gst_element_get_bus(player.pipeline);
    gst_bus_add_watch(bus, &Player::onBus, &player);
    gst_object_unref(bus);
    GIOChannel* input = g_io_channel_unix_new(0);
    g_io_add_watch(input, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP), &Player::onInput, &player);
    gst_element_set_state(player.pipeline, GST_STATE_PAUSED);
    g_main_loop_run(player.loop);

    gst_element_set_state(player.pipeline, GST_STATE_NULL);
    g_io_channel_unref(input);
    gst_object_unref(player.pipeline);
    g_main_loop_unref(player.loop);
    return 0;
}
