#pragma once

#include <array>
#include <cstdint>

// The 16-byte exchange of GStreamer's network clock, which the shared clock keeps so that a show
// may mix versions: the client's own time when it asked, then the server's clock time when it
// answered, each as an unsigned 64-bit big-endian count of nanoseconds.
namespace net_time_packet {

inline constexpr std::size_t Size = 16;
using Bytes = std::array<unsigned char, Size>;

inline void put(unsigned char* at, std::uint64_t value) {
    for (int i = 7; i >= 0; --i) {
        at[i] = static_cast<unsigned char>(value & 0xffU);
        value >>= 8;
    }
}

inline std::uint64_t get(const unsigned char* at) {
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i) {
        value = (value << 8) | at[i];
    }
    return value;
}

inline Bytes make(std::uint64_t localTime, std::uint64_t remoteTime) {
    Bytes bytes{};
    put(bytes.data(), localTime);
    put(bytes.data() + 8, remoteTime);
    return bytes;
}

}  // namespace net_time_packet
