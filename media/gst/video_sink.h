#pragma once

#include <gst/gst.h>

// The video sink of a new graph when none is injected. xvimagesink where the X server has an Xv
// adaptor (it scales in hardware and honours pixel aspect); elsewhere (Xvfb, many kiosk servers)
// ximagesink, which cannot scale, behind videoscale and a caps filter that fitVideoSink() sets to
// the window's size. glimagesink is not used: under software GL it costs ten times the CPU.
// Returns a floating reference. UI thread.
GstElement* makeDefaultVideoSink();

// Scales the picture of a sink made by makeDefaultVideoSink() to width x height (square
// pixels). Any other sink is left alone: it either scales itself or is a test's probe.
void fitVideoSink(GstElement* sink, int width, int height);
