// The mount table, the drives that "Computer" shows, and device-change notices.
//
// The table is read from /proc/self/mountinfo (another file can stand in for tests). A drive
// is "/" plus every remote mount and every mount under /media, /run/media or /mnt. The monitor
// re-reads the table when the kernel says it changed (POLLPRI on the file) or when asked, and
// reports each drive that came or went.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform::shell {

enum class DriveType : int { unknown = 0, removable = 2, fixed = 3, remote = 4, cdrom = 5, ramdisk = 6 };

struct Mount {
    std::string mount_point;  // unescaped (\040 and friends undone)
    std::string fs_type;
    std::string source;
    unsigned major = 0;
    unsigned minor = 0;
};

// Test support: read the table from another file, and the block devices' "removable" flags
// from another sysfs root. Empty strings restore the real ones.
void set_mountinfo_path(std::string path);
void set_sysfs_root(std::string path);
std::string mountinfo_path();

// The whole table, in file order; empty when it cannot be read.
std::vector<Mount> read_mounts();
// Parses one mountinfo line; false when it is not one.
bool parse_mountinfo_line(const std::string& line, Mount& out);
DriveType drive_type(const Mount& mount);
// The drives that "Computer" shows: "/" first, then the others by mount point, no duplicates.
std::vector<Mount> drives();
// The table, cached until validate_mounts() drops the cache.
const std::vector<Mount>& cached_mounts();
void validate_mounts();
// True when `path` (normalised, absolute) is a mount point of the table.
bool is_mount_point(const std::string& path);
// The mount that holds `path` (the longest mount point that is a prefix), or nullptr.
const Mount* mount_of(const std::string& path);

inline constexpr std::uint32_t DBT_DEVICEARRIVAL = 0x8000;
inline constexpr std::uint32_t DBT_DEVICEREMOVECOMPLETE = 0x8004;

// Watches the table. Owner thread only. `notify(code, mount point)` runs for every drive that
// came (DBT_DEVICEARRIVAL) or went (DBT_DEVICEREMOVECOMPLETE) since the last look.
class MountMonitor {
  public:
    using Notify = std::function<void(std::uint32_t code, const std::string& mount_point)>;
    explicit MountMonitor(Notify notify);
    ~MountMonitor();
    MountMonitor(const MountMonitor&) = delete;
    MountMonitor& operator=(const MountMonitor&) = delete;

    // Re-reads the table now and reports the differences; returns how many were reported.
    int check();
    // Lets the calling thread's message loop call check() when the kernel reports a change.
    void watch_in_message_loop();

  private:
    Notify notify_;
    std::vector<std::string> known_;
    int fd_ = -1;
    std::uint32_t watch_ = 0;
};

}  // namespace platform::shell
