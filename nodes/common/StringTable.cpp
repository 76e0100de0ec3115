#include "StringTable.h"

std::string StringTable::Load(int number) const {
  const auto it = texts_.find(number);
  return it == texts_.end() ? std::string() : std::string(it->second);
}

std::string StringTable::Format(int number, std::initializer_list<Argument> arguments) const {
  return FormatText(Load(number), arguments);
}

std::string StringTable::FormatText(std::string_view pattern, std::initializer_list<Argument> arguments) {
  std::string out;
  auto next = arguments.begin();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%' || i + 1 == pattern.size()) {
      out.push_back(pattern[i]);
      continue;
    }
    const char conversion = pattern[i + 1];
    if (conversion == '%') {
      out.push_back('%');
      ++i;
    } else if ((conversion == 's' || conversion == 'i') && next != arguments.end()) {
      if (const auto* text = std::get_if<std::string_view>(&*next))
        out.append(*text);
      else
        out.append(std::to_string(std::get<std::int32_t>(*next)));
      ++next;
      ++i;
    } else {
      out.push_back('%');
    }
  }
  return out;
}
