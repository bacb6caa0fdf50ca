// Shared by the control tests: the interface language (kept on one temporary
// emulated machine for the program), a parent recording window messages.
#pragma once

#include <QApplication>
#include <QImage>
#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include <gtest/gtest.h>

#include "app/core/language/LanguageGlobals.h"
#include "app/core/language/PublicFunction.h"
#include "app/widgets/ResourceImage.h"
#include "app/widgets/WindowMessage.h"
#include "platform/machine.h"
#include "support/temp_machine.h"

namespace widgets_test {

class MachineEnvironment : public ::testing::Environment {
    void SetUp() override
    {
        char pattern[] = "/tmp/orvane-widgets-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        auto machine = machine::Machine::create(root_ / "machine");
        machine::select(root_ / "machine");
        systemDisk_ = machine->backingPath(machine->read()->disks.at(0));
        systemDiskPrint_ = testing_support::fingerprintFile(systemDisk_);
        std::lock_guard guard(TheLanguageGlobals().lock);
        TheLanguageGlobals().dataFolder = u"C:\\ProgramData\\Microsoft\\Windows\\Templates";
    }
    void TearDown() override
    {
        EXPECT_EQ(testing_support::fingerprintFile(systemDisk_), systemDiskPrint_) << "the system disk was written";
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    std::filesystem::path root_, systemDisk_;
    std::string systemDiskPrint_;
};
inline ::testing::Environment* const kMachine = ::testing::AddGlobalTestEnvironment(new MachineEnvironment);

// An empty name leaves no language chosen.
inline void UseLanguage(std::u16string_view name) { CPublicFunction::GetInstance().WriteSettingLanguage(name); }

struct Message {
    unsigned message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
};

// A dialog stand-in: keeps the window messages and counts key presses.
class MessageRecorder : public QWidget {
public:
    std::vector<Message> messages;
    int keyPresses = 0;

protected:
    bool event(QEvent* event) override
    {
        if (event->type() != WindowMessageEvent::EventType())
            return QWidget::event(event);
        const auto* m = static_cast<WindowMessageEvent*>(event);
        messages.push_back({m->message, m->wParam, m->lParam});
        return true;
    }
    void keyPressEvent(QKeyEvent*) override { ++keyPresses; }
};

inline QImage Grab(QWidget& widget) { return widget.grab().toImage().convertToFormat(QImage::Format_ARGB32); }

inline QImage Artwork(const char* type, int id)
{
    QImage image = LoadResourceImage(type, id);
    EXPECT_FALSE(image.isNull()) << type << " " << id;
    return image.convertToFormat(QImage::Format_ARGB32);
}

// A point where both images are opaque and differ, so a grab tells them apart.
inline QPoint Distinguishing(const QImage& a, const QImage& b)
{
    for (int y = 0; y < std::min(a.height(), b.height()); ++y)
        for (int x = 0; x < std::min(a.width(), b.width()); ++x)
            if (qAlpha(a.pixel(x, y)) == 255 && qAlpha(b.pixel(x, y)) == 255 && a.pixel(x, y) != b.pixel(x, y))
                return {x, y};
    ADD_FAILURE() << "the images are alike";
    return {};
}

}  // namespace widgets_test
