// The resources an executable carries (language files, the device console
// tool), found by type and id as the resource functions of Windows find
// them. Each executable registers what it embeds before the first lookup.
#pragma once

#include <span>
#include <string>
#include <string_view>

// The bytes must stay valid for the life of the process.
void RegisterExecutableResource(int id, std::string_view type, std::span<const unsigned char> bytes);
// False when nothing is registered under that type and id.
bool FindExecutableResource(int id, std::string_view type, std::span<const unsigned char>* bytes);

// Resource ids of the language data.
inline constexpr int kResourceChineseIni = 180;
inline constexpr int kResourceEnglishIni = 181;
inline constexpr int kResourceTraditionalIni = 182;
inline constexpr int kResourceSettingIni = 183;
inline constexpr int kResourceDeviceTool = 192;
