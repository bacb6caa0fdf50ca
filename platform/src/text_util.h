// Small text helpers shared by the platform sources.
#pragma once

#include <string>
#include <string_view>

namespace machine {

std::string trimRight(std::string_view text);
std::string toUpper(std::string_view text);
bool equalsNoCase(std::string_view a, std::string_view b);
bool containsNoCase(std::string_view text, std::string_view part);
bool startsWithNoCase(std::string_view text, std::string_view prefix);

}  // namespace machine
