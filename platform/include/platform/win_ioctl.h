// Device control codes and the records they carry.
#pragma once

#include "platform/win_types.h"

namespace win {

constexpr DWORD CTL_CODE(DWORD deviceType, DWORD function, DWORD method, DWORD access)
{
    return (deviceType << 16) | (access << 14) | (function << 2) | method;
}

enum : DWORD {
    FILE_DEVICE_DISK = 0x7,
    FILE_DEVICE_FILE_SYSTEM = 0x9,
    FILE_DEVICE_CONTROLLER = 0x4,
    FILE_DEVICE_MASS_STORAGE = 0x2D,
    METHOD_BUFFERED = 0,
    FILE_ANY_ACCESS = 0,
    FILE_READ_ACCESS = 1,
    FILE_WRITE_ACCESS = 2,
};

enum : DWORD {
    IOCTL_DISK_GET_DRIVE_GEOMETRY = 0x00070000,
    IOCTL_DISK_GET_PARTITION_INFO = 0x00074004,
    IOCTL_DISK_GET_LENGTH_INFO = 0x0007405C,
    IOCTL_DISK_UPDATE_PROPERTIES = 0x00070140,
    IOCTL_SCSI_PASS_THROUGH = 0x0004D004,
    IOCTL_STORAGE_QUERY_PROPERTY = 0x002D1400,
    IOCTL_STORAGE_GET_DEVICE_NUMBER = 0x002D1080,
    FSCTL_LOCK_VOLUME = 0x00090018,
    FSCTL_UNLOCK_VOLUME = 0x0009001C,
    FSCTL_DISMOUNT_VOLUME = 0x00090020,
    FSCTL_IS_VOLUME_MOUNTED = 0x00090028,
};
static_assert(IOCTL_DISK_GET_PARTITION_INFO == CTL_CODE(FILE_DEVICE_DISK, 1, METHOD_BUFFERED, FILE_READ_ACCESS));
static_assert(IOCTL_DISK_UPDATE_PROPERTIES == CTL_CODE(FILE_DEVICE_DISK, 0x50, METHOD_BUFFERED, FILE_ANY_ACCESS));
static_assert(IOCTL_SCSI_PASS_THROUGH == CTL_CODE(FILE_DEVICE_CONTROLLER, 0x401, METHOD_BUFFERED, 3));
static_assert(IOCTL_STORAGE_QUERY_PROPERTY == CTL_CODE(FILE_DEVICE_MASS_STORAGE, 0x500, METHOD_BUFFERED, FILE_ANY_ACCESS));
static_assert(IOCTL_STORAGE_GET_DEVICE_NUMBER ==
              CTL_CODE(FILE_DEVICE_MASS_STORAGE, 0x420, METHOD_BUFFERED, FILE_ANY_ACCESS));

using DEVICE_TYPE = DWORD;

// Which disk and which of its partitions (0: the whole disk) a handle is on.
struct STORAGE_DEVICE_NUMBER {
    DEVICE_TYPE DeviceType;
    ULONG DeviceNumber;
    ULONG PartitionNumber;
};
static_assert(sizeof(STORAGE_DEVICE_NUMBER) == 12);

struct PARTITION_INFORMATION {
    LARGE_INTEGER StartingOffset;
    LARGE_INTEGER PartitionLength;
    DWORD HiddenSectors;
    DWORD PartitionNumber;
    BYTE PartitionType;
    BOOLEAN BootIndicator;
    BOOLEAN RecognizedPartition;
    BOOLEAN RewritePartition;
};
static_assert(sizeof(PARTITION_INFORMATION) == 32);

enum MEDIA_TYPE : DWORD {
    Unknown = 0,
    RemovableMedia = 11,
    FixedMedia = 12,
};

struct DISK_GEOMETRY {
    LARGE_INTEGER Cylinders;
    MEDIA_TYPE MediaType;
    DWORD TracksPerCylinder;
    DWORD SectorsPerTrack;
    DWORD BytesPerSector;
};
static_assert(sizeof(DISK_GEOMETRY) == 24);

struct GET_LENGTH_INFORMATION {
    LARGE_INTEGER Length;
};

// The pass-through record as the 32-bit tool lays it out: 44 bytes with a
// 32-bit data buffer offset.
struct SCSI_PASS_THROUGH {
    USHORT Length;
    UCHAR ScsiStatus;
    UCHAR PathId;
    UCHAR TargetId;
    UCHAR Lun;
    UCHAR CdbLength;
    UCHAR SenseInfoLength;
    UCHAR DataIn;
    UCHAR Reserved[3];
    ULONG DataTransferLength;
    ULONG TimeOutValue;
    ULONG DataBufferOffset;
    ULONG SenseInfoOffset;
    UCHAR Cdb[16];
};
static_assert(sizeof(SCSI_PASS_THROUGH) == 44);

enum : UCHAR {
    SCSI_IOCTL_DATA_OUT = 0,
    SCSI_IOCTL_DATA_IN = 1,
    SCSI_IOCTL_DATA_UNSPECIFIED = 2,
    SCSIOP_INQUIRY = 0x12,
};

enum STORAGE_PROPERTY_ID : DWORD { StorageDeviceProperty = 0 };
enum STORAGE_QUERY_TYPE : DWORD { PropertyStandardQuery = 0, PropertyExistsQuery = 1 };

struct STORAGE_PROPERTY_QUERY {
    STORAGE_PROPERTY_ID PropertyId;
    STORAGE_QUERY_TYPE QueryType;
    BYTE AdditionalParameters[4];
};
static_assert(sizeof(STORAGE_PROPERTY_QUERY) == 12);

enum STORAGE_BUS_TYPE : DWORD {
    BusTypeUnknown = 0,
    BusTypeScsi = 1,
    BusTypeAta = 3,
    BusTypeUsb = 7,
    BusTypeSata = 11,
};

struct STORAGE_DEVICE_DESCRIPTOR {
    DWORD Version;
    DWORD Size;
    BYTE DeviceType;
    BYTE DeviceTypeModifier;
    BOOLEAN RemovableMedia;
    BOOLEAN CommandQueueing;
    DWORD VendorIdOffset;
    DWORD ProductIdOffset;
    DWORD ProductRevisionOffset;
    DWORD SerialNumberOffset;
    STORAGE_BUS_TYPE BusType;
    DWORD RawPropertiesLength;
    BYTE RawDeviceProperties[4];
};
static_assert(sizeof(STORAGE_DEVICE_DESCRIPTOR) == 40);

// MBR system ids the kernel treats specially.
enum : BYTE {
    PARTITION_ENTRY_UNUSED = 0x00,
    PARTITION_FAT_12 = 0x01,
    PARTITION_FAT_16 = 0x04,
    PARTITION_EXTENDED = 0x05,
    PARTITION_HUGE = 0x06,
    PARTITION_IFS = 0x07,
    PARTITION_FAT32 = 0x0B,
    PARTITION_FAT32_XINT13 = 0x0C,
    PARTITION_XINT13 = 0x0E,
    PARTITION_XINT13_EXTENDED = 0x0F,
    PARTITION_GPT = 0xEE,
};

inline bool IsContainerPartition(BYTE type)
{
    return type == PARTITION_EXTENDED || type == PARTITION_XINT13_EXTENDED;
}

// The types Windows recognises and gives a volume to.
inline bool IsRecognizedPartition(BYTE type)
{
    switch (type) {
    case PARTITION_FAT_12:
    case PARTITION_FAT_16:
    case PARTITION_HUGE:
    case PARTITION_IFS:
    case PARTITION_FAT32:
    case PARTITION_FAT32_XINT13:
    case PARTITION_XINT13:
        return true;
    default:
        return false;
    }
}

}  // namespace win
