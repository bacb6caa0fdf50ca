// The service control manager: services persist in the machine, names are
// unique, a deleted service lingers while it runs or a handle is open, and
// a driver starts only when its image file is there.
#include <fstream>

#include "platform/win_api.h"
#include "support/temp_machine.h"

using namespace win;

namespace {

class Services : public testing_support::TempMachine {
protected:
    void SetUp() override
    {
        TempMachine::SetUp();
        scm_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(scm_, nullptr);
    }
    void TearDown() override
    {
        if (scm_)
            CloseServiceHandle(scm_);
        TempMachine::TearDown();
    }

    SC_HANDLE createDriver(const char* name, const char* image = "system32\\DRIVERS\\flt.sys")
    {
        return CreateServiceA(scm_, name, name, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER, SERVICE_BOOT_START,
                              SERVICE_ERROR_NORMAL, image, nullptr, nullptr, nullptr, nullptr, nullptr);
    }

    void putDriverFile(const std::string& relative)
    {
        std::ofstream(m().driveC() / "Windows" / relative) << "driver";
    }

    DWORD stateOf(SC_HANDLE service)
    {
        SERVICE_STATUS status{};
        EXPECT_TRUE(QueryServiceStatus(service, &status));
        return status.dwCurrentState;
    }

    SC_HANDLE scm_ = nullptr;
};

TEST_F(Services, ASecondCreateFindsTheServiceAnyOtherProcessMade)
{
    SC_HANDLE first = createDriver("kxusbflt", "system32\\DRIVERS\\kxusbflt.sys");
    ASSERT_NE(first, nullptr);
    CloseServiceHandle(first);

    const auto seen = machine::Machine::open(dir_)->read();
    const auto* stored = machine::serviceNamed(*seen, "KXUSBFLT");
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->type, static_cast<std::uint32_t>(SERVICE_KERNEL_DRIVER));
    EXPECT_EQ(stored->startType, static_cast<std::uint32_t>(SERVICE_BOOT_START));
    EXPECT_EQ(stored->errorControl, static_cast<std::uint32_t>(SERVICE_ERROR_NORMAL));
    EXPECT_EQ(stored->imagePath, "system32\\DRIVERS\\kxusbflt.sys");
    EXPECT_FALSE(stored->running);

    EXPECT_EQ(createDriver("KxUsbFlt"), nullptr) << "names are the same in any case";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_EXISTS));
    EXPECT_EQ(CreateServiceA(scm_, "other", "kxusbflt", SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                             SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, "x.sys", nullptr, nullptr, nullptr, nullptr,
                             nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DUPLICATE_SERVICE_NAME));
}

TEST_F(Services, ADeletedServiceIsMarkedUntilItsLastHandleCloses)
{
    SC_HANDLE service = createDriver("kxusbflt");
    ASSERT_NE(service, nullptr);
    SC_HANDLE second = OpenServiceA(scm_, "kxusbflt", SERVICE_QUERY_STATUS);
    ASSERT_NE(second, nullptr);
    ASSERT_TRUE(DeleteService(service));
    EXPECT_FALSE(DeleteService(service));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));

    EXPECT_EQ(createDriver("kxusbflt"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));
    CloseServiceHandle(service);
    EXPECT_EQ(createDriver("kxusbflt"), nullptr) << "one handle is still open";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));

    CloseServiceHandle(second);
    EXPECT_EQ(OpenServiceA(scm_, "kxusbflt", SERVICE_QUERY_STATUS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
    SC_HANDLE again = createDriver("kxusbflt");
    EXPECT_NE(again, nullptr);
    CloseServiceHandle(again);
}

TEST_F(Services, ADriverStartsFromItsImageAndARunningDeletedOneStaysUntilStopped)
{
    SC_HANDLE service = createDriver("kxusbflt", "system32\\DRIVERS\\kxusbflt.sys");
    ASSERT_NE(service, nullptr);
    EXPECT_FALSE(StartServiceA(service, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    SERVICE_STATUS status{};
    EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));

    putDriverFile("system32/drivers/kxusbflt.sys");  // the path's case differs, as Windows allows
    ASSERT_TRUE(StartServiceA(service, 0, nullptr));
    EXPECT_EQ(stateOf(service), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_FALSE(StartServiceA(service, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));
    EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_PAUSE, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SERVICE_CONTROL));

    ASSERT_TRUE(DeleteService(service));
    CloseServiceHandle(service);
    SC_HANDLE reopened = OpenServiceA(scm_, "kxusbflt", SERVICE_STOP | SERVICE_QUERY_STATUS);
    ASSERT_NE(reopened, nullptr) << "a running driver marked for delete stays";
    ASSERT_TRUE(ControlService(reopened, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    CloseServiceHandle(reopened);
    EXPECT_EQ(machine::serviceNamed(*state(), "kxusbflt"), nullptr);
}

TEST_F(Services, RightsAreCheckedAndUsersMayOnlyLook)
{
    SC_HANDLE service = createDriver("kxusbflt");
    ASSERT_NE(service, nullptr);
    CloseServiceHandle(service);
    SC_HANDLE looking = OpenServiceA(scm_, "kxusbflt", SERVICE_QUERY_STATUS);
    EXPECT_FALSE(StartServiceA(looking, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(DeleteService(looking));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseServiceHandle(looking);

    machine::setSetting(m(), "admin", "false");
    EXPECT_EQ(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SC_HANDLE connect = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    ASSERT_NE(connect, nullptr);
    EXPECT_EQ(CreateServiceA(connect, "x", "x", SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER, SERVICE_BOOT_START,
                             SERVICE_ERROR_NORMAL, "x.sys", nullptr, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(OpenServiceA(connect, "kxusbflt", SERVICE_ALL_ACCESS), nullptr);
    SC_HANDLE query = OpenServiceA(connect, "kxusbflt", SERVICE_QUERY_STATUS);
    ASSERT_NE(query, nullptr);
    EXPECT_EQ(stateOf(query), static_cast<DWORD>(SERVICE_STOPPED));
    CloseServiceHandle(query);
    CloseServiceHandle(connect);
}

TEST_F(Services, OnlyServiceHandlesClose)
{
    EXPECT_FALSE(CloseServiceHandle(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    HANDLE file = CreateFileA("C:\\Windows\\probe.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(CloseServiceHandle(reinterpret_cast<SC_HANDLE>(file)));
    EXPECT_TRUE(CloseHandle(file)) << "the file stays open";
}

}  // namespace
