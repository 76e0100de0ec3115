// Text conversions and lookups that both nodes' property operations share.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

// The decimal value of `text`: leading white space skipped, an optional "+"
// or "-", then digits up to the first other character; no digits give 0.
// Values beyond the 32-bit range are clamped to it.
std::int32_t ParseDecimal(std::string_view text);

// Position of `name` in `names`, compared without regard to letter case; -1 if absent.
int FindPropertyName(std::span<const char* const> names, std::string_view name);
