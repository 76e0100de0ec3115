// The frames spoken with the board's monitor: a header byte (command in bits
// 7-4, length - 1 in bits 3-0) and up to 15 more bytes. Here: the header's
// length, and the checks a frame must pass before the node sends it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ComTypes.h"

inline constexpr std::size_t kMaxFrameSize = 16;

// The whole frame's length as its header byte announces it.
constexpr std::size_t FrameLength(std::uint8_t header) {
  return static_cast<std::size_t>(header & 0x0F) + 1;
}

enum class FrameVerdict {
  Accepted,
  KindNotSupported,  // Kind is not a 16/32-bit integer, or not a known value
  BadlyFormatted,    // not a byte buffer, or its size and header disagree
};

struct CheckedRequest {
  FrameVerdict verdict = FrameVerdict::BadlyFormatted;
  std::int32_t kind = 0;            // AnswerExpected or NoAnswer when accepted
  std::vector<std::uint8_t> bytes;  // the frame when accepted
};

// Checks, in this order: Kind holds a 16- or 32-bit integer; the buffer is a
// byte buffer (lower bound 0) of at most 16 bytes whose header's length
// matches its size; Kind's value is AnswerExpected or NoAnswer.
CheckedRequest CheckRequest(const VARIANT& kind, const VARIANT& buffer);
