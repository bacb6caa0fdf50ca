// Writing a FAT volume's structures: reserved sectors, both FATs and an
// empty root directory that holds only the label.
#include "fs/fat_writer.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <vector>

namespace kx::fat {

namespace {

constexpr std::uint8_t kMedia = 0xF8;  // fixed disk
constexpr std::uint32_t kFsInfoSector = 1;
constexpr std::uint32_t kBackupBootSector = 6;
constexpr std::size_t kChunkSectors = 128;

using Sector = std::vector<std::uint8_t>;

void put16(std::uint8_t* p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::uint8_t* p, std::uint32_t v)
{
    put16(p, v);
    put16(p + 2, v >> 16);
}

void putText(std::uint8_t* p, const std::string& text) { std::memcpy(p, text.data(), text.size()); }

Sector bootSector(const Layout& l, const Identity& id)
{
    Sector s(sectorSize, 0);
    const bool fat32 = l.bits == 32;
    // A jump over the parameters to a halt loop: the volume boots nothing.
    const std::uint8_t code = fat32 ? 0x5A : 0x3E;
    s[0] = 0xEB;
    s[1] = static_cast<std::uint8_t>(code - 2);
    s[2] = 0x90;
    s[code] = 0xF4;
    s[code + 1] = 0xEB;
    s[code + 2] = 0xFD;
    putText(&s[3], "MSWIN4.1");
    put16(&s[11], sectorSize);
    s[13] = static_cast<std::uint8_t>(l.sectorsPerCluster);
    put16(&s[14], l.reservedSectors);
    s[16] = 2;
    put16(&s[17], l.rootEntries);
    const bool small = !fat32 && l.totalSectors < 0x10000;
    put16(&s[19], small ? static_cast<std::uint32_t>(l.totalSectors) : 0);
    s[21] = kMedia;
    put16(&s[22], fat32 ? 0 : l.fatSectors);
    put16(&s[24], 63);
    put16(&s[26], 255);
    put32(&s[32], small ? 0 : static_cast<std::uint32_t>(l.totalSectors));
    std::size_t ext = 36;
    if (fat32) {
        put32(&s[36], l.fatSectors);
        put32(&s[44], 2);  // root directory cluster
        put16(&s[48], kFsInfoSector);
        put16(&s[50], kBackupBootSector);
        ext = 64;
    }
    s[ext] = 0x80;
    s[ext + 2] = 0x29;
    put32(&s[ext + 3], id.volumeId);
    putText(&s[ext + 7], labelField(id.label));
    putText(&s[ext + 18], l.bits == 12 ? "FAT12   " : l.bits == 16 ? "FAT16   " : "FAT32   ");
    s[510] = 0x55;
    s[511] = 0xAA;
    return s;
}

Sector fsInfoSector(const Layout& l)
{
    Sector s(sectorSize, 0);
    put32(&s[0], 0x41615252);
    put32(&s[484], 0x61417272);
    put32(&s[488], l.clusters - 1);  // all but the root directory's cluster
    put32(&s[492], 3);
    put32(&s[508], 0xAA550000);
    return s;
}

Sector firstFatSector(const Layout& l)
{
    Sector s(sectorSize, 0);
    switch (l.bits) {
    case 12:
        s[0] = kMedia;
        s[1] = 0xFF;
        s[2] = 0xFF;
        break;
    case 16:
        put16(&s[0], 0xFF00 | kMedia);
        put16(&s[2], 0xFFFF);
        break;
    default:
        put32(&s[0], 0x0FFFFF00 | kMedia);
        put32(&s[4], 0x0FFFFFFF);
        put32(&s[8], 0x0FFFFFFF);  // the root directory's one cluster
        break;
    }
    return s;
}

Sector labelSector(const Identity& id)
{
    Sector s(sectorSize, 0);
    if (labelField(id.label) == labelField(""))
        return s;
    putText(&s[0], labelField(id.label));
    if (s[0] == 0xE5)
        s[0] = 0x05;  // 0xE5 would mark the entry free
    s[11] = 0x08;     // volume label
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    ::localtime_r(&now, &t);
    put16(&s[22], static_cast<std::uint32_t>((t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec / 2)));
    put16(&s[24], static_cast<std::uint32_t>(((t.tm_year - 80) << 9) | ((t.tm_mon + 1) << 5) | t.tm_mday));
    return s;
}

// Collects sectors in order and hands them on in chunks; unset ones are zero.
class Stream {
public:
    Stream(const SectorSink& sink, std::uint64_t total) : sink_(sink), total_(total) {}

    void set(std::uint64_t sector, Sector bytes) { special_.emplace_back(sector, std::move(bytes)); }

    bool run()
    {
        std::vector<std::uint8_t> chunk;
        for (std::uint64_t at = 0; at < total_; at += kChunkSectors) {
            const std::uint64_t count = std::min<std::uint64_t>(kChunkSectors, total_ - at);
            chunk.assign(count * sectorSize, 0);
            for (const auto& [sector, bytes] : special_)
                if (sector >= at && sector < at + count)
                    std::copy(bytes.begin(), bytes.end(), chunk.begin() + static_cast<long>((sector - at) * sectorSize));
            if (!sink_(at, chunk))
                return false;
        }
        return true;
    }

private:
    const SectorSink& sink_;
    std::uint64_t total_;
    std::vector<std::pair<std::uint64_t, Sector>> special_;
};

}  // namespace

std::string labelField(const std::string& label)
{
    std::string field = label.substr(0, 11);
    for (char& c : field) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 'a' && u <= 'z')
            c = static_cast<char>(u - 'a' + 'A');
        else if (u < 0x20 || std::strchr("\"*+,./:;<=>?[\\]|", c))
            c = '_';
    }
    if (field.find_first_not_of(' ') == std::string::npos)
        return "NO NAME    ";
    field.resize(11, ' ');
    return field;
}

bool write(const Layout& l, const Identity& id, const SectorSink& sink)
{
    Stream out(sink, l.writtenSectors());
    const Sector boot = bootSector(l, id);
    out.set(0, boot);
    if (l.bits == 32) {
        out.set(kFsInfoSector, fsInfoSector(l));
        out.set(kBackupBootSector, boot);
        out.set(kBackupBootSector + kFsInfoSector, fsInfoSector(l));
    }
    for (std::uint32_t copy = 0; copy < 2; ++copy)
        out.set(l.reservedSectors + std::uint64_t{copy} * l.fatSectors, firstFatSector(l));
    out.set(l.reservedSectors + 2ull * l.fatSectors, labelSector(id));
    return out.run();
}

}  // namespace kx::fat
