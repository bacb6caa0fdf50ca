// Set-up of the device layer tests: a started library on a fresh machine,
// and on tear-down no candidate or device record left behind.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "arch/pedwinbase.h"
#include "arch/pedwindow.h"
#include "kx_fixture.h"
#include "labels/pedmsdos.h"
#include "device/peddevice.h"
#include "platform/win_api.h"

namespace kx_test {

inline std::string wholeDiskPath(int number)
{
    return "\\Device\\Harddisk" + std::to_string(number) + "\\Partition0";
}

inline std::string partitionPath(int number, int partition)
{
    return "\\Device\\Harddisk" + std::to_string(number) + "\\Partition" + std::to_string(partition);
}

class DeviceTest : public KxTest {
protected:
    void SetUp() override
    {
        KxTest::SetUp();
        startLog();
        ASSERT_EQ(kx_soft_init(), 1);
    }

    void TearDown() override
    {
        kx::freeCandidates();
        while (kx::PedDevice* dev = kx::registryHead())
            kx::ped_device_destroy(dev);
        kx_soft_exit();
        KxTest::TearDown();
    }

    // The OS the library sees from now on.
    void useOs(const std::string& os)
    {
        machine::setSetting(m(), "os", os);
        kx::resetOsForTests();
    }

    int diskNumber(int slot) { return state()->disks.at(static_cast<size_t>(slot)).number; }

    std::vector<std::uint8_t> imageBytes(int slot, std::uint64_t offset, size_t size)
    {
        std::vector<std::uint8_t> bytes(size);
        const int fd = ::open(diskImage(slot).c_str(), O_RDONLY | O_CLOEXEC);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(::pread(fd, bytes.data(), size, static_cast<off_t>(offset)), static_cast<ssize_t>(size));
        ::close(fd);
        return bytes;
    }

    void putImageBytes(int slot, std::uint64_t offset, const std::vector<std::uint8_t>& bytes)
    {
        const int fd = ::open(diskImage(slot).c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)),
                  static_cast<ssize_t>(bytes.size()));
        ::close(fd);
    }

    // Is the process's temporary DOS name defined at all?
    static bool tempNameDefined()
    {
        char target[1024] = {};
        return win::QueryDosDeviceA(kx::tempDosName(), target, sizeof target) != 0;
    }

    // The candidates, head first.
    static std::vector<kx::PedWinDev*> candidateList()
    {
        std::vector<kx::PedWinDev*> list;
        for (kx::PedWinDev* c = kx::candidates(); c; c = c->next)
            list.push_back(c);
        return list;
    }

    // The n-th (from 1) top-level partition of a candidate's table.
    static ::PedPartition* topLevel(const kx::PedWinDev* c, int n)
    {
        ::PedPartition* part = nullptr;
        for (int i = 0; i < n && c && c->peddev; ++i)
            part = kx::nextTopLevel(c->peddev->disk, part);
        return part;
    }

    // Gives every partition Windows shows its device record, as a table
    // read does.
    static void showPartitions(const kx::PedWinDev* c)
    {
        for (int n = 1; ::PedPartition* part = topLevel(c, n); ++n)
            if (!kx::partData(part)->dev)
                kx::deviceOps()->probe_part(part, 0);
    }

    static int registrySize()
    {
        int n = 0;
        for (kx::PedDevice* d = kx::registryHead(); d; d = d->next)
            ++n;
        return n;
    }

    static bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
};

}  // namespace kx_test
