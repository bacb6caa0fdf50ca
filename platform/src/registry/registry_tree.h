// The registry as stored in the machine: a tree of keys, each with named
// values. Key and value names compare without regard to case, as on Windows.
// Paths start with the hive: HKLM, HKCU, HKCR or HKU.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace machine::reg {

struct Value {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

nlohmann::json* findKey(nlohmann::json& root, std::string_view path, bool create);
const nlohmann::json* findKey(const nlohmann::json& root, std::string_view path);
std::vector<std::string> subkeyNames(const nlohmann::json& key);
std::optional<Value> getValue(const nlohmann::json& key, std::string_view name);
void setValue(nlohmann::json& key, std::string_view name, const Value& value);
bool deleteValue(nlohmann::json& key, std::string_view name);
// Deletes a key that has no sub-keys; false when missing or not empty.
bool deleteKey(nlohmann::json& root, std::string_view path);
// A REG_SZ value holding the text and its terminator.
Value stringValue(std::string_view text);
std::string joinPath(std::string_view base, std::string_view sub);

}  // namespace machine::reg
