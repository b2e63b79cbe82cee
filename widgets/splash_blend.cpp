#include "widgets/splash_blend.h"

#include <algorithm>

void blendSplashRow(std::span<std::uint8_t> screen, std::span<const std::uint8_t> map,
                    std::span<const std::uint8_t> mask) {
    const std::size_t n = std::min({screen.size(), map.size(), mask.size()});
    for (std::size_t i = 0; i < n; ++i) {
        screen[i] = blendSplashByte(screen[i], map[i], mask[i]);
    }
}
