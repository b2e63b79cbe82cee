#pragma once

#include <QString>

// Makes sure the demo clip exists in the user's cache directory and returns its path; an empty
// string when it cannot be made (the reason is logged). The clip is a frame-numbered MJPEG AVI,
// 640x360 at 25 frames a second, 20 seconds long, made once and reused.
QString ensureDemoClip();
