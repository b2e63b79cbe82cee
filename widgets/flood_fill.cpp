#include "widgets/flood_fill.h"

#include <utility>
#include <vector>

int floodFill(const PixelGrid& grid, int x, int y, std::uint32_t target,
              std::uint32_t replacement) {
    if (target == replacement || x < 0 || y < 0 || x >= grid.width || y >= grid.height ||
        grid.at(x, y) != target) {
        return 0;
    }
    // Scan-line fill with an explicit stack: no recursion depth that grows with the area.
    int changed = 0;
    std::vector<std::pair<int, int>> seeds{{x, y}};
    while (!seeds.empty()) {
        const auto [sx, sy] = seeds.back();
        seeds.pop_back();
        if (grid.at(sx, sy) != target) {
            continue;
        }
        int left = sx;
        while (left > 0 && grid.at(left - 1, sy) == target) {
            --left;
        }
        int right = sx;
        while (right + 1 < grid.width && grid.at(right + 1, sy) == target) {
            ++right;
        }
        for (int px = left; px <= right; ++px) {
            grid.at(px, sy) = replacement;
            ++changed;
        }
        for (const int ny : {sy - 1, sy + 1}) {
            if (ny < 0 || ny >= grid.height) {
                continue;
            }
            bool inRun = false;
            for (int px = left; px <= right; ++px) {
                const bool match = grid.at(px, ny) == target;
                if (match && !inRun) {
                    seeds.emplace_back(px, ny);
                }
                inRun = match;
            }
        }
    }
    return changed;
}
