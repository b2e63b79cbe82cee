#pragma once

#include <QChar>
#include <QStringView>
#include <cstdint>
#include <optional>

// The value rules of the numeric spin edit, free of widgets.
namespace spin {

// Decimal text with an optional sign and nothing else, within the signed 32-bit range.
std::optional<std::int32_t> parseInteger(QStringView text);

// Bounds apply only when min != max: a value below min becomes min, above max becomes max.
// The result always lies within the 32-bit range, whatever v was.
std::int32_t boundValue(std::int64_t v, std::int32_t min, std::int32_t max);

// What the edit's Value reads for its text: the number, or min when the text is not one.
std::int32_t readValue(QStringView text, std::int32_t min);

// One arrow step: value + increment (up) or value - increment (down), bounded as above, so that
// the ends of the 32-bit range hold instead of wrapping.
std::int32_t stepValue(std::int32_t value, std::int32_t increment, bool up, std::int32_t min,
                       std::int32_t max);

// Whether a typed character may reach the edit box: a sign, a digit, the locale's decimal
// separator or a control character other than Enter; with the editor disabled also no backspace
// and nothing printable.
bool isValidKeyChar(char16_t c, QChar decimalSeparator, bool editorEnabled);

inline constexpr char16_t kEnter = 13;
inline constexpr char16_t kBackspace = 8;

}  // namespace spin
