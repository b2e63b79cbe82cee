#include "clip_generator.h"

#include "frame_code.h"
#include "frame_digits.h"

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>
#include <array>
#include <memory>
#include <stdexcept>

namespace {

struct FormatInfo {
    ClipFormat format;
    const char* name;
    const char* extension;
};

constexpr std::array<FormatInfo, 6> Formats{{
    {ClipFormat::MjpegAvi, "mjpeg-avi", ".avi"},
    {ClipFormat::RawAvi, "raw-avi", ".avi"},
    {ClipFormat::DvAvi, "dv-avi", ".avi"},
    {ClipFormat::H264Mp4, "h264-mp4", ".mp4"},
    {ClipFormat::Wav, "wav", ".wav"},
    {ClipFormat::Mp3, "mp3", ".mp3"},
}};

const FormatInfo& infoOf(ClipFormat format) {
    return *std::find_if(Formats.begin(), Formats.end(),
                         [format](const FormatInfo& i) { return i.format == format; });
}

struct GstObjectDeleter {
    void operator()(gpointer object) const { gst_object_unref(object); }
};
using ElementPtr = std::unique_ptr<GstElement, GstObjectDeleter>;

struct PipelineStopper {
    void operator()(GstElement* pipeline) const {
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(pipeline);
    }
};
using PipelinePtr = std::unique_ptr<GstElement, PipelineStopper>;

std::string audioBranch(const ClipSettings& clip, int rate) {
    // 10 ms buffers: the clip lasts as long as its frames would, to the nearest 10 ms.
    const int samplesPerBuffer = rate / 100;
    const std::int64_t buffers =
        (clip.frames * clip.fpsDenominator * 100 + clip.fpsNumerator / 2) / clip.fpsNumerator;
    return "audiotestsrc wave=sine freq=440 volume=0.3 num-buffers=" + std::to_string(buffers) +
           " samplesperbuffer=" + std::to_string(samplesPerBuffer) +
           " ! audio/x-raw,format=S16LE,channels=2,rate=" + std::to_string(rate);
}

std::string pipelineDescription(const ClipSettings& clip) {
    const std::string sink = " ! filesink name=out";
    switch (clip.format) {
        case ClipFormat::MjpegAvi:
        case ClipFormat::RawAvi:
        case ClipFormat::DvAvi: {
            const char* encoder = clip.format == ClipFormat::MjpegAvi ? "jpegenc quality=85"
                                  : clip.format == ClipFormat::DvAvi
                                      ? "avenc_dvvideo ! video/x-dv"
                                      // avimux links its audio pad to untyped input and fails.
                                      : "video/x-raw";
            std::string description =
                std::string("appsrc name=src ! ") + encoder + " ! avimux name=mux" + sink;
            if (clip.withAudio) {
                description += " " + audioBranch(clip, 48000) + " ! mux.";
            }
            return description;
        }
        case ClipFormat::H264Mp4:
            return "appsrc name=src ! x264enc speed-preset=superfast key-int-max=250 bframes=" +
                   std::to_string(clip.bFrames) + " ! h264parse ! mp4mux" + sink;
        case ClipFormat::Wav:
            return audioBranch(clip, 48000) + " ! wavenc" + sink;
        case ClipFormat::Mp3:
            // lamemp3enc takes interleaved input only after audioconvert.
            return audioBranch(clip, 44100) + " ! audioconvert ! lamemp3enc ! xingmux ! id3v2mux" +
                   sink;
    }
    throw std::logic_error("unknown clip format");
}

GstVideoInfo configureSource(GstElement* src, const ClipSettings& clip) {
    const int parN = clip.format == ClipFormat::DvAvi ? 16 : 1;
    const int parD = clip.format == ClipFormat::DvAvi ? 15 : 1;
    GstCaps* caps = gst_caps_new_simple(
        "video/x-raw", "format", G_TYPE_STRING, "I420", "width", G_TYPE_INT, clip.width, "height",
        G_TYPE_INT, clip.height, "framerate", GST_TYPE_FRACTION, clip.fpsNumerator,
        clip.fpsDenominator, "pixel-aspect-ratio", GST_TYPE_FRACTION, parN, parD, nullptr);
    GstVideoInfo info;
    gst_video_info_from_caps(&info, caps);
    // Blocking with a few frames of room keeps memory flat however long the clip is.
    g_object_set(src, "caps", caps, "format", GST_FORMAT_TIME, "block", TRUE, "max-bytes",
                 static_cast<guint64>(GST_VIDEO_INFO_SIZE(&info) * 4), nullptr);
    gst_caps_unref(caps);
    return info;
}

void pushFrames(GstElement* src, const GstVideoInfo& info, const ClipSettings& clip) {
    const auto frameStart = [&](std::int64_t frame) {
        return gst_util_uint64_scale(static_cast<guint64>(frame),
                                     static_cast<guint64>(clip.fpsDenominator) * GST_SECOND,
                                     static_cast<guint64>(clip.fpsNumerator));
    };
    for (std::int64_t frame = 0; frame < clip.frames; ++frame) {
        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr);
        GstMapInfo map;
        gst_buffer_map(buffer, &map, GST_MAP_WRITE);
        std::uint8_t* luma = map.data + GST_VIDEO_INFO_PLANE_OFFSET(&info, 0);
        const int stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
        paintFrameCode(frame % FrameCodeLimit, luma, clip.width, clip.height, stride);
        paintFrameDigits(frame, luma, clip.width, clip.height, stride);
        const gsize chroma = GST_VIDEO_INFO_PLANE_OFFSET(&info, 1);
        std::fill(map.data + chroma, map.data + map.size, std::uint8_t{128});
        gst_buffer_unmap(buffer, &map);
        GST_BUFFER_PTS(buffer) = frameStart(frame);
        GST_BUFFER_DURATION(buffer) = frameStart(frame + 1) - frameStart(frame);
        if (gst_app_src_push_buffer(GST_APP_SRC(src), buffer) != GST_FLOW_OK) {
            // The pipeline failed; its error message is waiting on the bus.
            return;
        }
    }
    gst_app_src_end_of_stream(GST_APP_SRC(src));
}

}  // namespace

ClipSettings normalized(ClipSettings clip) {
    if (clip.format == ClipFormat::DvAvi) {
        clip.width = 720;
        clip.height = 576;
        clip.fpsNumerator = 25;
        clip.fpsDenominator = 1;
    }
    if (clip.format == ClipFormat::H264Mp4 || clip.format == ClipFormat::MjpegAvi) {
        // 4:2:0 encoders need even dimensions.
        clip.width &= ~1;
        clip.height &= ~1;
    }
    return clip;
}

bool hasVideo(ClipFormat format) {
    return format != ClipFormat::Wav && format != ClipFormat::Mp3;
}

std::string formatName(ClipFormat format) {
    return infoOf(format).name;
}

std::optional<ClipFormat> parseFormatName(const std::string& name) {
    for (const FormatInfo& info : Formats) {
        if (name == info.name) {
            return info.format;
        }
    }
    return std::nullopt;
}

std::string formatExtension(ClipFormat format) {
    return infoOf(format).extension;
}

void generateClip(const ClipSettings& requested, const std::filesystem::path& path) {
    const ClipSettings clip = normalized(requested);
    if (clip.frames <= 0 || clip.fpsNumerator <= 0 || clip.fpsDenominator <= 0 ||
        (hasVideo(clip.format) && (clip.width < 64 || clip.height < 48))) {
        throw std::runtime_error("clip needs frames, a frame rate and at least 64x48 pixels");
    }
    if (!gst_is_initialized()) {
        gst_init(nullptr, nullptr);
    }
    GError* error = nullptr;
    PipelinePtr pipeline(gst_parse_launch(pipelineDescription(clip).c_str(), &error));
    if (error != nullptr) {
        const std::string message = error->message;
        g_error_free(error);
        throw std::runtime_error("cannot build the " + formatName(clip.format) +
                                 " encoder: " + message);
    }
    ElementPtr out(gst_bin_get_by_name(GST_BIN(pipeline.get()), "out"));
    g_object_set(out.get(), "location", path.c_str(), nullptr);

    // The source must be typed before it starts, or its first segment is in bytes.
    ElementPtr src(gst_bin_get_by_name(GST_BIN(pipeline.get()), "src"));
    GstVideoInfo info;
    if (src) {
        info = configureSource(src.get(), clip);
    }
    if (gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        throw std::runtime_error("cannot start the encoder for " + path.string());
    }
    if (src) {
        pushFrames(src.get(), info, clip);
    }
    std::unique_ptr<GstBus, GstObjectDeleter> bus(gst_element_get_bus(pipeline.get()));
    GstMessage* message = gst_bus_timed_pop_filtered(
        bus.get(), GST_CLOCK_TIME_NONE,
        static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    std::string failure;
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        GError* gerror = nullptr;
        gst_message_parse_error(message, &gerror, nullptr);
        failure = "writing " + path.string() + " failed in " + GST_OBJECT_NAME(message->src) +
                  ": " + gerror->message;
        g_error_free(gerror);
    }
    gst_message_unref(message);
    if (!failure.empty()) {
        throw std::runtime_error(failure);
    }
}
