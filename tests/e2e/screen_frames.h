#pragma once

#include "e2e/show_instance.h"

#include <QRect>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// What the instances' video windows show, read from their pixels: every clip carries its frame
// number as a code, and all windows are read from one grab of the X server, so one instant for
// all of them.

// The instance's video window moved to (x, y); where the picture lies on the screen (empty when
// the window did not come up).
QRect placeVideo(const ShowInstance& instance, int x, int y);

// The frame each window shows.
std::vector<std::optional<std::int64_t>> framesOnScreen(const std::vector<QRect>& windows);

// Each sample: how many frames the second window of each pair is behind the first. A sample of
// a pair counts only where both show `fromFrame` or a later one: a show that reached a segment's
// end and went on to the next is no lag.
std::vector<std::vector<std::int64_t>> lagSamples(const std::vector<QRect>& windows,
                                                  const std::vector<std::pair<int, int>>& pairs,
                                                  int samples, std::int64_t fromFrame = 0);

std::string listed(const std::vector<std::int64_t>& lags);
