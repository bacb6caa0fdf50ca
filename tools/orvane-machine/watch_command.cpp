// watch: the device notices a window of the application would receive, one
// line each as it arrives, for scripts and tests that wait for a plug.
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <iostream>
#include <optional>
#include <string>
#include <thread>

#include "commands.h"
#include "platform/win_api.h"
#include "target_machine.h"

namespace machine_tool {

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point started;

win::ULONG printNotice(void*, win::ULONG type, void* setting)
{
    const char* what = type == win::DBT_DEVICEARRIVAL          ? "arrival"
                       : type == win::DBT_DEVICEREMOVECOMPLETE ? "removal"
                       : type == win::DBT_DEVNODES_CHANGED     ? "changed"
                                                               : nullptr;
    if (!what)
        return 0;
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count();
    std::cout << elapsed << ' ' << what;
    if (setting)
        std::cout << ' ' << static_cast<const win::DEV_BROADCAST_DEVICEINTERFACE_A*>(setting)->dbcc_name;
    // A script reading the pipe must see the line now, not when a buffer fills.
    std::cout << std::endl;
    return 0;
}

unsigned parseSeconds(const std::string& text)
{
    unsigned seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || seconds > 31u * 24 * 3600)
        throw UsageError("--seconds takes a whole number of seconds up to 31 days, not '" + text + "'");
    return seconds;
}

}  // namespace

int runWatch(const Invocation& inv)
{
    std::optional<unsigned> seconds;
    if (auto v = inv.value("--seconds"))
        seconds = parseSeconds(*v);
    const auto m = openTarget(inv);
    machine::select(m->dir());
    // What is plugged in now is where the watch starts, not news.
    machine::followHostDisks(*m);
    started = Clock::now();
    win::DEVICE_NOTIFY_SUBSCRIBE_PARAMETERS recipient{&printNotice, nullptr};
    win::DEV_BROADCAST_DEVICEINTERFACE_A filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = win::DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = win::GUID_DEVINTERFACE_DISK;
    const win::HDEVNOTIFY notify = win::RegisterDeviceNotificationA(&recipient, &filter, win::DEVICE_NOTIFY_CALLBACK);
    if (!notify)
        throw machine::MachineError("the machine refused to send device notices (error " +
                                    std::to_string(win::GetLastError()) + ")");
    std::cerr << "watching the device notices of " << m->shownDir().string() << std::endl;
    if (!seconds) {
        for (;;)
            ::pause();  // until a signal ends the process
    }
    std::this_thread::sleep_until(started + std::chrono::seconds(*seconds));
    win::UnregisterDeviceNotification(notify);
    return 0;
}

}  // namespace machine_tool
