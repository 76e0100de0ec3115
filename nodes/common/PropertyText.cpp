#include "PropertyText.h"

#include <strings.h>
#include <cctype>
#include <cstring>
#include <string>

std::int32_t ParseDecimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > std::int64_t{INT32_MAX} + 1) value = std::int64_t{INT32_MAX} + 1;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) value = INT32_MAX;
  return static_cast<std::int32_t>(value);
}

int FindPropertyName(std::span<const char* const> names, std::string_view name) {
  for (std::size_t i = 0; i < names.size(); ++i)
    if (std::strlen(names[i]) == name.size() && strncasecmp(names[i], name.data(), name.size()) == 0)
      return static_cast<int>(i);
  return -1;
}
