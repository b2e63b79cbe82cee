#include "media/gst/video_sink.h"
#include "media/media_log.h"

#include <QLoggingCategory>

namespace {

constexpr const char* FitFilterName = "framelock-fit";

bool xvimagesinkUsable() {
    // Probed once: opening the display and asking for an Xv port is all it takes to know.
    static const bool usable = [] {
        GstElement* probe = gst_element_factory_make("xvimagesink", nullptr);
        if (probe == nullptr) {
            return false;
        }
        gst_object_ref_sink(probe);
        const bool ready =
            gst_element_set_state(probe, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE;
        gst_element_set_state(probe, GST_STATE_NULL);
        gst_object_unref(probe);
        return ready;
    }();
    return usable;
}

}  // namespace

GstElement* makeDefaultVideoSink() {
    if (xvimagesinkUsable()) {
        return gst_element_factory_make("xvimagesink", nullptr);
    }
    GError* error = nullptr;
    GstElement* bin = gst_parse_bin_from_description(
        "videoconvert ! videoscale ! capsfilter name=framelock-fit "
        "caps=video/x-raw,pixel-aspect-ratio=1/1 ! ximagesink",
        TRUE, &error);
    if (error != nullptr) {
        qCWarning(lcMedia) << "no X video sink:" << error->message;
        g_error_free(error);
        return gst_element_factory_make("autovideosink", nullptr);
    }
    return bin;
}

void fitVideoSink(GstElement* sink, int width, int height) {
    if (sink == nullptr || !GST_IS_BIN(sink) || width <= 0 || height <= 0) {
        return;
    }
    GstElement* fit = gst_bin_get_by_name(GST_BIN(sink), FitFilterName);
    if (fit == nullptr) {
        return;
    }
    GstCaps* caps =
        gst_caps_new_simple("video/x-raw", "width", G_TYPE_INT, width, "height", G_TYPE_INT, height,
                            "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
    g_object_set(fit, "caps", caps, nullptr);
    gst_caps_unref(caps);
    gst_object_unref(fit);
}
