#pragma once

#include <cstddef>
#include <cstdint>

// The phone's TCP stream is a plain sequence of frame packets:
//   offset 0, 5 bytes: "ROVOd"
//   offset 5, 3 bytes: payload length N, big-endian, 0 .. 16,777,215
//   offset 8, N bytes: one complete JPEG picture
// No trailer, no padding: the next packet's magic follows the payload.
namespace pavix {

constexpr char kFrameMagic[] = "ROVOd";
constexpr std::size_t kFrameMagicSize = 5;
constexpr std::size_t kFrameHeaderSize = 8;
constexpr std::uint32_t kFrameMaxPayload = 0xFFFFFF;

// N from the three length bytes that follow the magic.
inline std::uint32_t ReadFramePayloadLength(const std::uint8_t* lengthBytes) {
    return (std::uint32_t{lengthBytes[0]} << 16) | (std::uint32_t{lengthBytes[1]} << 8) |
           std::uint32_t{lengthBytes[2]};
}

// Writes the 8-byte header of a packet carrying `payloadLength` bytes.
inline void WriteFrameHeader(std::uint8_t* header, std::uint32_t payloadLength) {
    for (std::size_t i = 0; i < kFrameMagicSize; ++i) header[i] = static_cast<std::uint8_t>(kFrameMagic[i]);
    header[5] = static_cast<std::uint8_t>(payloadLength >> 16);
    header[6] = static_cast<std::uint8_t>(payloadLength >> 8);
    header[7] = static_cast<std::uint8_t>(payloadLength);
}

}  // namespace pavix
