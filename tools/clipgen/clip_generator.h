#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

enum class ClipFormat { MjpegAvi, RawAvi, DvAvi, H264Mp4, Wav, Mp3 };

struct ClipSettings {
    ClipFormat format = ClipFormat::MjpegAvi;
    int width = 320;
    int height = 240;
    int fpsNumerator = 25;
    int fpsDenominator = 1;
    // Length in video frames; audio clips last as long as that many frames would.
    std::int64_t frames = 100;
    // AVI formats only: a sine track beside the video.
    bool withAudio = false;
    // H.264 only: B-frames between references (0: none), and frames from keyframe to keyframe.
    int bFrames = 2;
};

// The settings made valid for their format: DV is always PAL (720x576, 25/1, pixel aspect
// 16/15), and the 4:2:0 encoders get even sizes.
ClipSettings normalized(ClipSettings clip);

bool hasVideo(ClipFormat format);
// "mjpeg-avi", "raw-avi", "dv-avi", "h264-mp4", "wav", "mp3".
std::string formatName(ClipFormat format);
std::optional<ClipFormat> parseFormatName(const std::string& name);
// File extension with the dot: ".avi", ".mp4", ".wav", ".mp3".
std::string formatExtension(ClipFormat format);

// Writes a clip whose every frame carries its frame number (frame_code.h), encoded through
// GStreamer. Blocks until the file is complete. Throws std::runtime_error with GStreamer's
// message when an element is missing or the pipeline fails.
void generateClip(const ClipSettings& clip, const std::filesystem::path& path);
