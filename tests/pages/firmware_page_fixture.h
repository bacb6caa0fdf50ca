// The firmware page inside the main window on a fresh machine: boxes are
// answered in turn through the message seam, images are made from random
// parts with coreutils' cksum, and the disk image is read back directly.
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/core/jobs/SelectedDevice.h"
#include "app/pages/DeviceSearchDlg.h"
#include "app/pages/TavrinDlg.h"
#include "app/pages/TavrinFileDialog.h"
#include "app/shell/MainDlg.h"
#include "app/ui/LanguageText.h"
#include "app/widgets/CBeautifulButton.h"
#include "app/widgets/CFlatEdit.h"
#include "app_fixture.h"
#include "core/core_test_files.h"
#include "platform/machine.h"

namespace firmware_page {

namespace fs = std::filesystem;
using app_testing::WaitFor;
using Boxes = std::vector<std::pair<std::string, int>>;

constexpr int kError = 1, kNotice = 2, kQuestion = 3;
// Where the upgrade puts its parts on the disk, in bytes.
constexpr std::uint64_t kKernelAt = 0x24400, kFlagAt = 0x424400, kRootfsAt = 0x824400;

inline std::string Text(const char* key) { return LanguageText(key).toStdString(); }

class FirmwarePageTest : public app_testing::AppMachine {
protected:
    void TearDown() override
    {
        SetFileChooser({});
        AppMachine::TearDown();
    }

    // The page as the main window shows it for the selected appliance disk.
    void OpenPage()
    {
        OpenWindow();
        ASSERT_NE(GetSelectedDevice(), nullptr);
        window_->OnFirmwareClicked();
        ASSERT_TRUE(page()->isVisible());
    }
    CTavrinDlg* page() const { return window_->FirmwarePage(); }

    // Boxes get these answers in turn, the last one from then on.
    void AnswerInTurn(std::vector<int> answers)
    {
        SetMessageAnswerer([this, answers](CMessageDlg& box) {
            shown_.emplace_back(box.MessageText().toStdString(), box.MessageType());
            activityAtBox_.push_back(window_->ActivityState());
            return answers[std::min(shown_.size(), answers.size()) - 1];
        });
    }
    void ClickUpgrade(const fs::path& image, std::vector<int> answers = {1})
    {
        AnswerInTurn(std::move(answers));
        page()->PathEdit()->setText(QString::fromStdString(image.string()));
        page()->UpgradeButton()->click();
    }
    // Until the job has ended and its outcome was shown.
    bool WaitForOutcome(size_t boxes)
    {
        return WaitFor([&] { return !page()->IsBusy() && shown_.size() >= boxes; }, 60000);
    }

    fs::path Work() const { return dir_.parent_path(); }
    fs::path MakeImage(const std::string& name = "windows.bin")
    {
        image_.kernel = core_test::RandomBytes(1024 * 1024 + 517, 1);
        image_.rootfs = core_test::RandomBytes(3 * 1024 * 1024 + 99, 2);
        const fs::path path = Work() / name;
        image_.Write(path);
        return path;
    }
    // An image whose checksum no longer holds.
    fs::path MakeBadImage()
    {
        const fs::path path = MakeImage();
        const std::uint64_t at = fs::file_size(path) - 10;
        std::string byte = core_test::ReadHostRange(path, at, 1);
        byte[0] = static_cast<char>(byte[0] ^ 0xFF);
        core_test::WriteHostRange(path, at, byte);
        return path;
    }

    // The system partition and its marker, as a disk set up earlier has.
    void LayApplianceTable(int slot)
    {
        partitionWithSfdisk(slot, "label: dos\\nstart=131136, size=1966016, type=82\\n");
        core_test::WriteHostRange(diskImage(slot), 436, "\xff\xff\xff\xff");
        rescan(slot);
    }
    // sfdisk's partition lines, without the image's own path.
    std::string PartitionLines(int slot)
    {
        std::string out;
        const std::string image = diskImage(slot).string();
        EXPECT_EQ(testing_support::runCommand("sfdisk --dump " + image + " | grep '^/' | sed 's|^" + image + "||'",
                                              &out),
                  0)
            << out;
        return out;
    }
    std::string DiskPrint(int slot) { return testing_support::fingerprintFile(diskImage(slot)); }
    std::string DiskBytes(int slot, std::uint64_t at, size_t count)
    {
        return core_test::ReadHostRange(diskImage(slot), at, count);
    }
    Boxes shown_;
    std::vector<int> activityAtBox_;
    core_test::FirmwareImage image_;
};

}  // namespace firmware_page
