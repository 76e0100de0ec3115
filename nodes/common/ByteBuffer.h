// Byte buffers as they cross the node interface: a variant of type
// VT_ARRAY|VT_UI1 with one dimension and lower bound 0.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "ComTypes.h"

// A new byte-buffer variant holding a copy of `bytes` (the caller clears it).
COMRT_API VARIANT MakeByteBuffer(std::span<const std::uint8_t> bytes);
// True for exactly VT_ARRAY|VT_UI1 with one dimension (not a reference to one).
COMRT_API bool IsByteBuffer(const VARIANT& value);
// The bytes of a byte buffer (following one reference to a variant); empty for anything else.
COMRT_API std::vector<std::uint8_t> BytesOf(const VARIANT& value);
