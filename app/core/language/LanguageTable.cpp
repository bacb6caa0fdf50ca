#include "app/core/language/LanguageTable.h"

#include <iterator>

#include "app/core/support/WideText.h"

namespace {

// Buttons carry _X and _Y beside their caption: the caption's offset, which
// differs per language because the captions differ in width.
const LanguageText kTexts[] = {
    {"IDD175_Title", "Warning", "警告", "警告"},
    {"IDC_STRING_TITLE", "Warning", "警告", "警告"},
    {"IDOK", "OK", "确 定", "確 定"},
    {"IDOK_X", "30", "24", "24"},
    {"IDOK_Y", "3", "3", "3"},
    {"IDCANCEL", "Cancel", "取 消", "取 消"},
    {"IDCANCEL_X", "20", "24", "24"},
    {"IDCANCEL_Y", "3", "3", "3"},
    {"IDD132_Title", "Orvane Config", "升级工具", "升級工具"},
    {"IDD132_1050", "Language", "选择语言", "選擇語言"},
    {"IDC_STRING_MAIN_TITLE", "Orvane Config", "升级工具", "升級工具"},
    {"IDC_BTN_MAIN_UPGRADE", "Firmware", "固件更新", "固件更新"},
    {"IDC_BTN_MAIN_UPGRADE_X", "33", "32", "32"},
    {"IDC_BTN_MAIN_UPGRADE_Y", "9", "9", "9"},
    {"IDC_BTN_MAIN_FORMAT", "Disk set", "磁盘设置", "磁盤設置"},
    {"IDC_BTN_MAIN_FORMAT_X", "33", "32", "32"},
    {"IDC_BTN_MAIN_FORMAT_Y", "9", "9", "9"},
    {"IDC_BTN_MAIN_SEARCH", "Search", "搜索设备", "搜索設備"},
    {"IDC_BTN_MAIN_SEARCH_X", "34", "32", "32"},
    {"IDC_BTN_MAIN_SEARCH_Y", "9", "9", "9"},
    {"IDC_STRING_MAIN_SELECT_DEVICE_WARMING", "Select Device!", "请选择设备!", "請選擇設備!"},
    {"IDC_STRING_MAIN_EXIT_UPGRADE_WARMING", "\"Device is being upgraded. If you quit now, it is likely that the device will not work properly. Are you sure you want to quit now?\"", "设备正在升级! 如果您现在退出,将可能导致设备不能正常使用! 您确定是否现在退出?", "設備正在升級! 如果您現在退出,將可能導致設備不能正常使用! 您確定是否現在退出?"},
    {"IDC_STRING_MAIN_EXIT_FORMAT_WARMING", "\"Device is formatting. If you quit now, it is likely that the device will not work properly. Are you sure you want to quit now?\"", "设备正在格式化! 如果您现在退出,将可能导致设备不能正常使用! 您确定是否现在退出?", "設備正在格式化! 如果您現在退出,將可能導致設備不能正常使用! 您確定是否現在退出?"},
    {"IDC_STRING_MAIN_EXIT_UPGRADE_SAFE", "Device is being upgraded. If you quit, the upgrade stops before it writes the firmware, or, if writing has already begun, finishes first. The window closes as soon as the device is safe. Are you sure you want to quit?", "设备正在升级! 如果您退出, 升级将在写入固件之前停止; 如果已经开始写入, 将先完成升级。设备安全后窗口将关闭。您确定要退出吗?", "設備正在升級! 如果您退出, 升級將在寫入韌體之前停止; 如果已經開始寫入, 將先完成升級。設備安全後視窗將關閉。您確定要退出嗎?"},
    {"IDC_STRING_MAIN_EXIT_FORMAT_SAFE", "Device is formatting. If you quit, the disk setup stops before it changes the disk, or, if it has already begun, finishes first, so that no partition is left half made. The window closes as soon as the device is safe. Are you sure you want to quit?", "设备正在格式化! 如果您退出, 磁盘设置将在修改磁盘之前停止; 如果已经开始, 将先完成, 不会留下未完成的分区。设备安全后窗口将关闭。您确定要退出吗?", "設備正在格式化! 如果您退出, 磁碟設定將在修改磁碟之前停止; 如果已經開始, 將先完成, 不會留下未完成的分割區。設備安全後視窗將關閉。您確定要退出嗎?"},
    {"IDC_STRING_MAIN_EXIT_WAITING", "Quitting: the running step is finished first. The window closes as soon as the device is safe.", "正在退出: 先完成正在进行的步骤, 设备安全后窗口将关闭。", "正在退出: 先完成正在進行的步驟, 設備安全後視窗將關閉。"},
    {"IDD187_Title", "Search Devices", "搜索设备", "搜尋設備"},
    {"IDD187_1046", "Device List:", "设备列表:", "設備列表:"},
    {"IDD187_1047", "Progress:", "进    度:", "進    度:"},
    {"IDC_BTN_SEARCH_SEARCH", "Refresh", "刷 新", "刷 新"},
    {"IDC_BTN_SEARCH_SEARCH_X", "17", "24", "24"},
    {"IDC_BTN_SEARCH_SEARCH_Y", "3", "3", "3"},
    {"IDC_BTN_SEARCH_NEXT", "Next", "下一步", "下一步"},
    {"IDC_BTN_SEARCH_NEXT_X", "25", "20", "20"},
    {"IDC_BTN_SEARCH_NEXT_Y", "3", "3", "3"},
    {"IDC_STRING_SEARCH_TEXT_WARMING", "\"Click \"Refresh\" button to search all USB removable hard drive. Select the hard drive and click \"Next\" button to upgrade.\"", "点击\"刷新\"按钮可搜索PC上的移动存储设备,在设备列表框中选择需要升级的设备,点击\"下一步\"按钮。", "點擊\"刷新\"按鈕可搜索PC上的移動存儲設備,在設備列錶框中選擇需要升級的設備,點擊\"下一步\"按鈕。"},
    {"IDD102_Title", "Upgrade", "升级", "升級"},
    {"IDD102_1008", "Device list:", "设备列表:", "設備列表:"},
    {"IDD102_1009", "Firmware Path:", "固件路径:", "固件路徑:"},
    {"IDD102_1010", "Kernel Path:", "内核路径:", "內核路徑:"},
    {"IDD102_1014", "Progress:", "进    度:", "進    度:"},
    {"IDC_BTN_UPGRADE_REFRESH", "Refresh", "刷 新", "刷 新"},
    {"IDC_BTN_UPGRADE_REFRESH_X", "17", "24", "24"},
    {"IDC_BTN_UPGRADE_REFRESH_Y", "3", "3", "3"},
    {"IDC_BTN_UPGRADE_OPEN", "Browse", "浏 览", "瀏 覽"},
    {"IDC_BTN_UPGRADE_OPEN_X", "17", "24", "24"},
    {"IDC_BTN_UPGRADE_OPEN_Y", "3", "3", "3"},
    {"IDC_BTN_UPGRADE_UPGRADE", "Upgrade", "升 级", "升 級"},
    {"IDC_BTN_UPGRADE_UPGRADE_X", "15", "24", "24"},
    {"IDC_BTN_UPGRADE_UPGRADE_Y", "3", "3", "3"},
    {"IDC_BTN_UPGRADE_NEXT", "Back", "上一步", "上一步"},
    {"IDC_BTN_UPGRADE_NEXT_X", "25", "20", "20"},
    {"IDC_BTN_UPGRADE_NEXT_Y", "3", "3", "3"},
    {"IDC_STRING_UPGRADE_TEXT_WARMING", "\"Please download the latest firmware from the official web. Select the device and click \"Upgrade\" button to  upgrade the firmware.\"", "请从官方网站下载最新的固件,点击\"升级\"按钮将所选设备升级到最新固件.", "請從官方網站下載最新的固件,點擊\"升級\"按鈕將所選設備升級到最新固件."},
    {"IDC_STRING_UPGRADE_SELECT_DEVICE_WARMING", "Select the device you want to upgrade.", "请选择您要升级的设备!", "請選擇您要升級的設備!"},
    {"IDC_STRING_UPGRADE_SELECT_FILE_EXIST_WARMING", "Firmware path is incorrect. Please re-select.", "固件路径不正确, 请重新选择!", "固件路徑不正確, 請重新選擇!"},
    {"IDC_STRING_UPGRADE_SELECT_FILE_WARMING", "Please choose the device you want to upgrade the firmware.", "请选择您要升级的固件!", "請選擇您要升級的固件!"},
    {"IDC_STRING_UPGRADE_CONFIRM_WARMING", "Are you sure you want to upgrade the selected devices?", "您确定要升级当前所选择的设备吗?", "您確定要升級當前所選擇的設備嗎?"},
    {"IDC_STRING_UPGRADE_UPGRADE_SUCCESS", "The device upgraded successfully.", "设备升级成功!", "設備升級成功!"},
    {"IDC_STRING_UPGRADE_UPGRADE_ERROR", "Fail to upgrade. Please try again.", "设备升级失败, 请重试!", "設備升級失敗, 請重試!"},
    {"IDC_STRING_UPGRADE_UPGRADE_FILE_CHEKC_ERROR", "\"Firmware checksum error. Make sure you choose the correct firmware version.\"", "固件校验错误! 请确定您所选择的固件版本是否正确!", "固件校驗錯誤! 請確定您所選擇的固件版本是否正確!"},
    {"IDD133_Title", "Format", "格式化", "格式化"},
    {"IDD133_1021", "Partition Table Type", "分区表类型", "分區表類型"},
    {"IDD133_1026", "MBR", "MBR", "MBR"},
    {"IDD133_1027", "GPT", "GPT", "GPT"},
    {"IDD133_1022", "Partition Numbers", "分 区 数", "分 區 數"},
    {"IDD133_1028", "One", "一个", "一個"},
    {"IDD133_1029", "Two", "两个", "兩個"},
    {"IDD133_1030", "Three", "三个", "三個"},
    {"IDD133_1023", "Format Progress:", "格式化进度:", "格式化進度:"},
    {"IDC_BTN_FORMAT_FORMAT", "Format", "格式化", "格式化"},
    {"IDC_BTN_FORMAT_FORMAT_X", "20", "20", "20"},
    {"IDC_BTN_FORMAT_FORMAT_Y", "3", "3", "3"},
    {"IDC_BTN_FORMAT_UP", "Back", "上一步", "上一步"},
    {"IDC_BTN_FORMAT_UP_X", "25", "20", "20"},
    {"IDC_BTN_FORMAT_UP_Y", "3", "3", "3"},
    {"IDC_BTN_FORMAT_NEXT", "Next", "下一步", "下一步"},
    {"IDC_BTN_FORMAT_NEXT_X", "25", "20", "20"},
    {"IDC_BTN_FORMAT_NEXT_Y", "3", "3", "3"},
    {"IDC_STRING_FORMAT_TEXT_WARMING", "You can drag the slider bar graph to facilitate the adjustment for the partition size.", "您可以拖动图中滑动条，方便调节分区大小.", "您可以拖動圖中滑動條，方便調節分區大小."},
    {"IDC_STRING_FORMAT_OVERFLOW_WARMING", "The maximum capacity of a single partition must not exceed 2TB.", "单个分区容量最大不能超过2TB!", "單個分區容量最大不能超過2TB!"},
    {"IDC_STRING_FORMAT_MIN_SIZE_WARMING", "Input value cannot be less than 100M.", "输入不能小于100M!", "輸入不能小於100M!"},
    {"IDC_STRING_FORMAT_MAX_SIZE_WARMING", "Input value cannot be out of the range.", "输入不能超出分区范围!", "輸入不能超出分區範圍!"},
    {"IDC_STRING_FORMAT_CONFIRM_WARMING", "\"Are you sure you want to upgrade the selected devices? Upgrade devices will lose all data on the disk.\"", "您确定升级当前设备吗? 升级设备将使磁盘上的所有数据丢失!!!", "您確定要升級當前設備嗎? 升級設備將使磁盤上的所有數據丟失!!!"},
    {"IDC_STRING_FORMAT_FORMAT_SUCCESS", "Formatted disk successfully.", "格式化磁盘成功!", "格式化磁盤成功!"},
    {"IDC_STRING_FORMAT_FORMAT_ERROR_1", "Fail to obtain disk information. Please try again.", "获取磁盘信息时失败,请重试!", "獲取磁盤信息時失敗,請重試!"},
    {"IDC_STRING_FORMAT_FORMAT_ERROR_2", "Fail to delete partition. Please try again.", "删除分区时失败,请重试!", "刪除分區時失敗,請重試!"},
    {"IDC_STRING_FORMAT_FORMAT_ERROR_3", "Fail to create partition. Please unplug the device and plug in again.", "创建分区时失败,请重新插拔设备后再重试!", "創建分區時失敗,請重新插拔設備後再重試!"},
    {"IDC_STRING_FORMAT_FORMAT_ERROR_4", "Fail to format partition. Please try again.", "格式化分区时失败,请重试!", "格式化分區時失敗,請重試!"},
    {"IDC_STRING_FORMAT_PUBLIC_PARTIONG", "Partition", "分区", "分區"},
    // Ours, beside the fixed keys: the disk went away in a job; another job
    // (of this or another program) holds the disk; the firmware is written
    // but the device could not be restarted.
    {"IDC_STRING_DISK_GONE", "The device was disconnected. Please plug it in again and start over.", "设备已断开连接,请重新插入设备后重新开始!", "設備已斷開連接,請重新插入設備後重新開始!"},
    {"IDC_STRING_DISK_BUSY", "The device is busy with another upgrade or disk setup. Please wait until it has finished, then try again.", "该设备正在进行另一个升级或磁盘设置,请等待其完成后再重试!", "該設備正在進行另一個升級或磁盤設置,請等待其完成後再重試!"},
    {"IDC_STRING_UPGRADE_REPLUG", "The firmware has been upgraded, but the device could not be restarted. Please unplug it and plug it in again to finish.", "固件已升级,但设备无法重新启动。请拔下设备后重新插入以完成升级!", "固件已升級,但設備無法重新啟動。請拔下設備後重新插入以完成升級!"},
    {"IDD163_Title", "Partition information", "分区信息", "分區信息"},
    {"IDC_STRING_PARTSIZE_PART_NAME", "Partition", "分区", "分區"},
};

void AppendUtf16Le(std::string& out, std::u16string_view text)
{
    for (char16_t unit : text) {
        out += static_cast<char>(unit & 0xFF);
        out += static_cast<char>(unit >> 8);
    }
}

void AppendLine(std::string& out, const std::string& utf8)
{
    AppendUtf16Le(out, Utf8ToWide(utf8));
    AppendUtf16Le(out, u"\r\n");
}

}  // namespace

std::span<const LanguageText> LanguageTexts() { return {std::begin(kTexts), std::end(kTexts)}; }

const char* LanguageTextValue(const LanguageText& text, LanguageId language)
{
    switch (language) {
    case LanguageId::Chinese:
        return text.chinese;
    case LanguageId::Traditional:
        return text.traditional;
    case LanguageId::English:
        break;
    }
    return text.english;
}

const char* LanguageInternalName(LanguageId language)
{
    switch (language) {
    case LanguageId::Chinese:
        return "Chinese";
    case LanguageId::Traditional:
        return "Traditional";
    case LanguageId::English:
        break;
    }
    return "English";
}

const char* LanguagePrivateName(LanguageId language)
{
    switch (language) {
    case LanguageId::Chinese:
        return "简体中文";
    case LanguageId::Traditional:
        return "繁體中文";
    case LanguageId::English:
        break;
    }
    return "English";
}

std::string BuildLanguageFile(LanguageId language)
{
    std::string out = "\xFF\xFE";
    AppendLine(out, "[Setting]");
    AppendLine(out, std::string("Language=") + LanguageInternalName(language));
    AppendLine(out, std::string("PRIVATENAME=") + LanguagePrivateName(language));
    AppendLine(out, "");
    AppendLine(out, "[String]");
    for (const LanguageText& text : kTexts)
        AppendLine(out, std::string(text.key) + "=" + LanguageTextValue(text, language));
    return out;
}
