// Who a physical drive is: its SCSI identity, whether it is removable, and
// whether that identity is the one a disk drive's friendly name shows.
#include <strings.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

#include "windev/pedwindow_paths.h"
#include "kx/kx.h"
#include "common/kx_message.h"
#include "platform/win_api.h"

namespace kx {

namespace {

using source::pedWindow;

// The pass-through request as one 592-byte buffer: the record, the sense
// bytes at 48 and the data at 80.
struct InquiryRequest {
    win::SCSI_PASS_THROUGH spt;
    win::ULONG filler;
    win::UCHAR sense[32];
    win::UCHAR data[512];
};
static_assert(sizeof(InquiryRequest) == 592);
static_assert(offsetof(InquiryRequest, sense) == 48);
static_assert(offsetof(InquiryRequest, data) == 80);

constexpr win::DWORD kInquiryAnswerSize = 176;
constexpr win::DWORD kInquiryTransfer = 96;
constexpr win::DWORD kNotifyRemovable = win::CTL_CODE(win::FILE_DEVICE_DISK, 0xF10, win::METHOD_BUFFERED, 0);
static_assert(kNotifyRemovable == 0x73C40);
constexpr std::size_t kPropertyAnswerSize = 10000;

class PhysicalDrive {
public:
    explicit PhysicalDrive(int drive)
    {
        std::snprintf(name_, sizeof name_, "\\\\.\\PhysicalDrive%d", drive);
        handle_ = win::CreateFileA(name_, win::GENERIC_READ | win::GENERIC_WRITE,
                                   win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, nullptr, win::OPEN_EXISTING, 0,
                                   nullptr);
    }
    ~PhysicalDrive()
    {
        if (opened())
            win::CloseHandle(handle_);
    }
    PhysicalDrive(const PhysicalDrive&) = delete;
    PhysicalDrive& operator=(const PhysicalDrive&) = delete;

    bool opened() const { return handle_ != win::INVALID_HANDLE_VALUE; }
    win::HANDLE handle() const { return handle_; }
    const char* name() const { return name_; }

private:
    char name_[64];
    win::HANDLE handle_;
};

// Copies an INQUIRY field and drops the blanks and tabs that pad it.
void copyField(char* out, const win::UCHAR* field, std::size_t width)
{
    std::memcpy(out, field, width);
    out[width] = '\0';
    for (std::size_t n = width; n > 0 && (out[n - 1] == ' ' || out[n - 1] == '\t'); --n)
        out[n - 1] = '\0';
}

bool startsWith(const char* text, const std::string& head)
{
    return std::strncmp(text, head.c_str(), head.size()) == 0;
}

// The drive's standard descriptor as it came back, answered bytes only;
// empty when the drive does not answer.
std::string deviceDescriptor(const PhysicalDrive& device)
{
    win::STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = win::StorageDeviceProperty;
    query.QueryType = win::PropertyStandardQuery;
    static_assert(sizeof query == 12);
    std::string answer(kPropertyAnswerSize, '\0');
    win::DWORD returned = 0;
    if (!win::DeviceIoControl(device.handle(), win::IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, answer.data(),
                              static_cast<win::DWORD>(answer.size()), &returned, nullptr))
        return {};
    answer.resize(std::min<std::size_t>(returned, answer.size()));
    return answer;
}

// The serial number of the drive's descriptor, blanks trimmed; "" when it
// has none or does not say.
void readSerial(const PhysicalDrive& device, char* serial, std::size_t size)
{
    serial[0] = '\0';
    const std::string answer = deviceDescriptor(device);
    if (answer.size() < sizeof(win::STORAGE_DEVICE_DESCRIPTOR))
        return;
    win::STORAGE_DEVICE_DESCRIPTOR desc{};
    std::memcpy(&desc, answer.data(), sizeof desc);
    if (desc.SerialNumberOffset == 0 || desc.SerialNumberOffset >= answer.size())
        return;
    std::string text = answer.substr(desc.SerialNumberOffset);
    text.resize(std::strlen(text.c_str()));  // to its terminator, within what came back
    const auto first = text.find_first_not_of(" \t");
    const auto last = text.find_last_not_of(" \t");
    if (first == std::string::npos || last - first + 1 >= size)
        return;
    std::memcpy(serial, text.data() + first, last - first + 1);
    serial[last - first + 1] = '\0';
}

}  // namespace

int ped_dev_get_info(int drive, char* vendor, char* product, char* version, char* serial, std::size_t serialSize)
{
    if (!vendor || !product || !version) {
        KX_REPORT(pedWindow, "vendor != NULL && product != NULL && version != NULL");
        return 0;
    }
    PhysicalDrive device(drive);
    if (!device.opened()) {
        kx_printf("ERR:[%s:%s:%d]: Fail to get information", KX_WHERE(pedWindow));
        return 0;
    }
    InquiryRequest request{};
    request.spt.Length = sizeof(win::SCSI_PASS_THROUGH);
    request.spt.PathId = 0;
    request.spt.TargetId = 1;
    request.spt.Lun = 0;
    request.spt.CdbLength = 12;
    request.spt.SenseInfoLength = 24;
    request.spt.DataIn = win::SCSI_IOCTL_DATA_IN;
    request.spt.DataTransferLength = kInquiryTransfer;
    request.spt.TimeOutValue = 3;
    request.spt.DataBufferOffset = offsetof(InquiryRequest, data);
    request.spt.SenseInfoOffset = offsetof(InquiryRequest, sense);
    const win::UCHAR cdb[] = {win::SCSIOP_INQUIRY, 0, 0, 0, 36, 0xC0};
    std::memcpy(request.spt.Cdb, cdb, sizeof cdb);

    win::DWORD returned = 0;
    if (!win::DeviceIoControl(device.handle(), win::IOCTL_SCSI_PASS_THROUGH, &request, sizeof request, &request,
                              kInquiryAnswerSize, &returned, nullptr))
        return 0;
    copyField(vendor, request.data + 8, 8);
    copyField(product, request.data + 16, 16);
    copyField(version, request.data + 32, 4);
    if (serial && serialSize > 0)
        readSerial(device, serial, serialSize);
    return 1;
}

int isRemovableDiskEx(int drive)
{
    PhysicalDrive device(drive);
    if (!device.opened()) {
        kx_printf("ERR:[%s:%s:%d]: Fail to open %s\n", KX_WHERE(pedWindow), device.name());
        return 0;
    }
    win::DWORD returned = 0;
    // Drives whose driver answers this code are removable ones.
    if (win::DeviceIoControl(device.handle(), kNotifyRemovable, nullptr, 0, nullptr, 0, &returned, nullptr))
        return 1;

    const std::string answer = deviceDescriptor(device);
    const int removable = answer.size() > offsetof(win::STORAGE_DEVICE_DESCRIPTOR, RemovableMedia)
                              ? static_cast<unsigned char>(answer[offsetof(win::STORAGE_DEVICE_DESCRIPTOR, RemovableMedia)])
                              : 0;
    if (!removable)
        kx_printf("ERR:[%s:%s:%d]: %s Fail to ioctl(IOCTL_STORAGE_QUERY_PROPERTY)\n", KX_WHERE(pedWindow),
                  device.name());
    return removable;
}

int ped_dev_win_match_name(const char* name, const char* vendor, const char* product, const char* version)
{
    if (!vendor || !product)
        return 0;
    const std::string spaced = std::string(vendor) + " " + product;
    bool matched = false;
    if (name && std::strstr(name, "USB Device"))
        matched = startsWith(name, spaced);
    else if (name)
        matched = startsWith(name, std::string(vendor) + product) || startsWith(name, spaced);
    if (!matched)
        kx_printf("ERR:[%s:%s:%d]:Fail to match! cur->friendly_name: %s, vendor: %s, product: %s, version:%s\n",
                  KX_WHERE(pedWindow), name ? name : "(null)", vendor, product, version ? version : "(null)");
    return matched ? 1 : 0;
}

int ped_dev_win_serial_agrees(const char* instanceId, const char* serial)
{
    if (!instanceId || !serial || !serial[0])
        return 1;
    // "...\<serial>&<n>"; an id Windows made up for a device without a
    // usable serial holds '&' in that part itself, and says nothing.
    const char* part = std::strrchr(instanceId, '\\');
    std::string own = part ? part + 1 : instanceId;
    const auto amp = own.rfind('&');
    if (amp == std::string::npos)
        return 1;
    own.resize(amp);
    return own.empty() || own.find('&') != std::string::npos || ::strcasecmp(own.c_str(), serial) == 0 ? 1 : 0;
}

}  // namespace kx
