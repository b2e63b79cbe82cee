#include "widgets/spin_value.h"

#include <limits>

namespace spin {

namespace {
constexpr std::int64_t kMin32 = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kMax32 = std::numeric_limits<std::int32_t>::max();
}  // namespace

std::optional<std::int32_t> parseInteger(QStringView text) {
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size()) {
        return std::nullopt;
    }
    std::int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        magnitude = magnitude * 10 + (c - u'0');
        if (magnitude > kMax32 + 1) {
            return std::nullopt;
        }
    }
    const std::int64_t v = negative ? -magnitude : magnitude;
    if (v < kMin32 || v > kMax32) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(v);
}

std::int32_t boundValue(std::int64_t v, std::int32_t min, std::int32_t max) {
    if (min != max) {
        if (v < min) {
            v = min;
        } else if (v > max) {
            v = max;
        }
    }
    if (v < kMin32) {
        return static_cast<std::int32_t>(kMin32);
    }
    if (v > kMax32) {
        return static_cast<std::int32_t>(kMax32);
    }
    return static_cast<std::int32_t>(v);
}

std::int32_t readValue(QStringView text, std::int32_t min) {
    return parseInteger(text).value_or(min);
}

std::int32_t stepValue(std::int32_t value, std::int32_t increment, bool up, std::int32_t min,
                       std::int32_t max) {
    const std::int64_t step = up ? std::int64_t{increment} : -std::int64_t{increment};
    return boundValue(std::int64_t{value} + step, min, max);
}

bool isValidKeyChar(char16_t c, QChar decimalSeparator, bool editorEnabled) {
    bool valid = c == u'+' || c == u'-' || (c >= u'0' && c <= u'9') ||
                 c == decimalSeparator.unicode() || (c < 32 && c != kEnter);
    if (valid && !editorEnabled && (c >= 32 || c == kBackspace)) {
        valid = false;
    }
    return valid;
}

}  // namespace spin
