// fmifs.dll's FormatEx: the machine's format service, with the behaviour
// the format_service setting asks for.
#include <cctype>

#include "machine/current_settings.h"
#include "platform/volume_format.h"
#include "platform/win_api.h"
#include "text/codepage.h"

namespace win {

namespace {

class Callback {
public:
    explicit Callback(PFMIFSCALLBACK callback) : callback_(callback) {}
    bool progress(DWORD percent) { return !callback_ || callback_(PROGRESS, 0, &percent) != 0; }
    void tell(DWORD command)
    {
        if (callback_)
            callback_(command, 0, nullptr);
    }
    void done(bool success)
    {
        BOOLEAN flag = success ? 1 : 0;
        if (callback_)
            callback_(DONE, 0, &flag);
    }

private:
    PFMIFSCALLBACK callback_;
};

// "D:\" or "D:".
char letterOf(PWCHAR root)
{
    const std::u16string text = detail::wideOf(root);
    if ((text.size() != 2 && !(text.size() == 3 && (text[2] == u'\\' || text[2] == u'/'))) || text[1] != u':' ||
        text[0] > 0x7F || !std::isalpha(static_cast<int>(text[0])))
        return 0;
    return static_cast<char>(std::toupper(static_cast<int>(text[0])));
}

void formatForReal(PWCHAR driveRoot, PWCHAR fileSystem, PWCHAR label, BOOL quick, DWORD clusterSize, Callback& cb)
{
    const auto kind = machine::fileSystemNamed(detail::wideToUtf8(detail::wideOf(fileSystem)));
    if (!kind) {
        cb.tell(FSNOTSUPPORTED);
        cb.done(false);
        return;
    }
    machine::FormatRequest request;
    request.letter = letterOf(driveRoot);
    request.fileSystem = *kind;
    request.label = detail::wideToUtf8(detail::wideOf(label));
    request.quick = quick != FALSE;
    request.clusterSize = clusterSize;
    const auto outcome = machine::formatVolume(*machine::current(), request,
                                               [&](int percent) { return cb.progress(static_cast<DWORD>(percent)); });
    if (outcome.failure == machine::FormatFailure::InUse)
        cb.tell(VOLUMEINUSE);
    cb.done(outcome.ok());
}

}  // namespace

void FormatEx(PWCHAR driveRoot, DWORD /*mediaType*/, PWCHAR fileSystem, PWCHAR label, BOOL quickFormat,
              DWORD clusterSize, PFMIFSCALLBACK callback)
{
    Callback cb(callback);
    try {
        switch (detail::currentSettings().formatService) {
        case machine::FormatService::Fails:
            cb.done(false);
            return;
        case machine::FormatService::FailsAt99:
            for (DWORD percent : {10u, 25u, 50u, 75u, 90u, 99u})
                if (!cb.progress(percent))
                    break;
            cb.done(false);
            return;
        default:
            formatForReal(driveRoot, fileSystem, label, quickFormat, clusterSize, cb);
        }
    } catch (const std::exception&) {
        cb.done(false);  // an unreadable machine formats nothing
    }
}

}  // namespace win
