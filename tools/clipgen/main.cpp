// clipgen: writes a frame-numbered test clip.
//   clipgen <format> <file> [--size WxH] [--fps N/D] [--frames N] [--audio]
// Formats: mjpeg-avi raw-avi dv-avi h264-mp4 wav mp3.

#include "clip_generator.h"

#include <cstdio>
#include <exception>
#include <string>

namespace {

int usage() {
    std::fputs(
        "usage: clipgen <mjpeg-avi|raw-avi|dv-avi|h264-mp4|wav|mp3> <file>"
        " [--size WxH] [--fps N/D] [--frames N] [--audio]\n",
        stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        return usage();
    }
    const auto format = parseFormatName(argv[1]);
    if (!format) {
        return usage();
    }
    ClipSettings clip;
    clip.format = *format;
    for (int i = 3; i < argc; ++i) {
        const std::string option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : "";
        bool parsed = false;
        if (option == "--audio") {
            clip.withAudio = true;
            continue;
        }
        if (option == "--size") {
            parsed = std::sscanf(value, "%dx%d", &clip.width, &clip.height) == 2;
        } else if (option == "--fps") {
            parsed = std::sscanf(value, "%d/%d", &clip.fpsNumerator, &clip.fpsDenominator) == 2;
        } else if (option == "--frames") {
            long long frames = 0;
            parsed = std::sscanf(value, "%lld", &frames) == 1;
            clip.frames = frames;
        }
        if (!parsed) {
            return usage();
        }
        ++i;
    }
    try {
        generateClip(clip, argv[2]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "clipgen: %s\n", e.what());
        return 1;
    }
    return 0;
}
