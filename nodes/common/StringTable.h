// A node library's message texts, loaded by number, with the "%s" and "%i"
// placeholders of the formatted messages.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <variant>

class StringTable {
 public:
  StringTable(std::initializer_list<std::pair<const int, std::string_view>> entries) : texts_(entries) {}

  // The text of message `number`, or "" when the table has none.
  std::string Load(int number) const;

  using Argument = std::variant<std::string_view, std::int32_t>;
  // Message `number` with each placeholder ("%s" text, "%i" decimal integer)
  // replaced by the next argument; "%%" is a percent sign. Placeholders
  // without an argument stay as they are.
  std::string Format(int number, std::initializer_list<Argument> arguments) const;
  static std::string FormatText(std::string_view pattern, std::initializer_list<Argument> arguments);

 private:
  std::map<int, std::string_view> texts_;
};

// Texts shared by both node libraries.
enum : int {
  MSG_BAD_PROPERTY_NAME = 512,  // "Bad property name: %s"
  MSG_NOT_ALLOWED_OPEN = 513,   // "Not allowed when comm port is open."
  MSG_BAD_INDEX = 514,          // "Bad index value: %i"
};
