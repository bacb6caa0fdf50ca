#include "registry/registry_tree.h"

#include <iomanip>
#include <sstream>

#include "text/text_util.h"

namespace machine::reg {

using nlohmann::json;

namespace {

template <typename J>
J* childNoCase(J& object, std::string_view name)
{
    if (!object.is_object())
        return nullptr;
    for (auto it = object.begin(); it != object.end(); ++it)
        if (equalsNoCase(it.key(), name))
            return &it.value();
    return nullptr;
}

std::string toHex(const std::vector<std::uint8_t>& data)
{
    std::ostringstream out;
    for (auto b : data)
        out << std::hex << std::setw(2) << std::setfill('0') << static_cast<int>(b);
    return out.str();
}

std::vector<std::uint8_t> fromHex(const std::string& text)
{
    std::vector<std::uint8_t> out;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return out;
}

}  // namespace

json* findKey(json& root, std::string_view path, bool create)
{
    json* node = &root;
    for (const auto& part : splitNames("\\", path)) {
        json& keys = (*node)["keys"];
        if (keys.is_null())
            keys = json::object();
        json* child = childNoCase(keys, part);
        if (!child) {
            if (!create)
                return nullptr;
            keys[part] = json{{"keys", json::object()}, {"values", json::object()}};
            child = &keys[part];
        }
        node = child;
    }
    return node;
}

const json* findKey(const json& root, std::string_view path)
{
    const json* node = &root;
    for (const auto& part : splitNames("\\", path)) {
        auto keys = node->find("keys");
        if (keys == node->end())
            return nullptr;
        node = childNoCase(*keys, part);
        if (!node)
            return nullptr;
    }
    return node;
}

std::vector<std::string> subkeyNames(const json& key)
{
    std::vector<std::string> names;
    if (auto keys = key.find("keys"); keys != key.end() && keys->is_object())
        for (auto it = keys->begin(); it != keys->end(); ++it)
            names.push_back(it.key());
    return names;
}

std::optional<Value> getValue(const json& key, std::string_view name)
{
    auto values = key.find("values");
    if (values == key.end())
        return std::nullopt;
    const json* v = childNoCase(*values, name);
    if (!v)
        return std::nullopt;
    return Value{v->at("type").get<std::uint32_t>(), fromHex(v->at("data").get<std::string>())};
}

void setValue(json& key, std::string_view name, const Value& value)
{
    json& values = key["values"];
    if (values.is_null())
        values = json::object();
    json entry{{"type", value.type}, {"data", toHex(value.data)}};
    if (json* existing = childNoCase(values, name))
        *existing = entry;
    else
        values[std::string(name)] = entry;
}

bool deleteValue(json& key, std::string_view name)
{
    auto values = key.find("values");
    if (values == key.end())
        return false;
    for (auto it = values->begin(); it != values->end(); ++it)
        if (equalsNoCase(it.key(), name)) {
            values->erase(it);
            return true;
        }
    return false;
}

bool deleteKey(json& root, std::string_view path)
{
    auto parts = splitNames("\\", path);
    if (parts.empty())
        return false;
    const std::string last = parts.back();
    parts.pop_back();
    std::string parentPath;
    for (const auto& p : parts)
        parentPath = joinPath(parentPath, p);
    json* parent = findKey(root, parentPath, false);
    if (!parent)
        return false;
    json& keys = (*parent)["keys"];
    for (auto it = keys.begin(); it != keys.end(); ++it)
        if (equalsNoCase(it.key(), last)) {
            if (!subkeyNames(it.value()).empty())
                return false;
            keys.erase(it);
            return true;
        }
    return false;
}

Value stringValue(std::string_view text)
{
    Value v{1, std::vector<std::uint8_t>(text.begin(), text.end())};
    v.data.push_back(0);
    return v;
}

std::string joinPath(std::string_view base, std::string_view sub)
{
    if (base.empty())
        return std::string(sub);
    if (sub.empty())
        return std::string(base);
    return std::string(base) + "\\" + std::string(sub);
}

}  // namespace machine::reg
