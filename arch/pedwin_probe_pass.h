// What one probe of the disk drives asks again for every candidate, learnt
// once per probe: which drives are present, and who each physical drive
// is. Each question opens the drive, so asking it per candidate made a
// probe of n drives cost n squared opens.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace kx {

struct DriveIdentity {
    bool answered = false;  // \\.\PhysicalDriveN opens and tells its INQUIRY identity
    char vendor[9] = {};
    char product[17] = {};
    char version[5] = {};
    char serial[128] = {};  // "" when the drive gives none
};

// Alive for the length of one PedWinDeviceProbe; outside it every question
// goes to Windows.
class ProbePass {
public:
    ProbePass();
    ~ProbePass();
    ProbePass(const ProbePass&) = delete;
    ProbePass& operator=(const ProbePass&) = delete;

    static ProbePass* current();
    // Asked of Windows now, inside a probe or not.
    static DriveIdentity Ask(int drive);
    // Whether the disk drive with this instance id was present when the
    // probe began; false when the drives could not be listed.
    bool listed() const { return listed_; }
    bool present(const char* id) const;
    // Asked of Windows the first time in this probe.
    const DriveIdentity& identity(int drive);

private:
    std::vector<std::string> present_;
    bool listed_ = false;
    std::map<int, DriveIdentity> drives_;
    std::size_t answered_ = 0;  // drives that opened and told their identity
};

}  // namespace kx
