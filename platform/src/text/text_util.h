// Small text helpers shared by the platform sources.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace machine {

std::string trimRight(std::string_view text);
std::string toUpper(std::string_view text);
bool equalsNoCase(std::string_view a, std::string_view b);
bool containsNoCase(std::string_view text, std::string_view part);
bool startsWithNoCase(std::string_view text, std::string_view prefix);
// The non-empty names between any of the separators.
std::vector<std::string> splitNames(std::string_view separators, std::string_view path);

}  // namespace machine
