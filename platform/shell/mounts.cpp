#include "platform/shell/mounts.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/shell/shell.h"
#include "platform/window/window.h"

namespace platform::shell {
namespace {

std::string g_mountinfo;  // empty: the real one
std::string g_sysfs;
std::vector<Mount> g_cache;
bool g_cached = false;
// The devices' "removable" flags, read once per device while the mount table is cached: the
// attributes of every item of a folder ask for them.
std::map<std::pair<unsigned, unsigned>, std::string> g_sys_flags;

std::string unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size()) {
            const char a = s[i + 1], b = s[i + 2], c = s[i + 3];
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
                out += static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0'));
                i += 3;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

bool starts_with_dir(const std::string& path, std::string_view dir) {
    return path.size() > dir.size() && path.compare(0, dir.size(), dir) == 0 && path[dir.size()] == '/';
}

bool is_remote_type(const std::string& t) {
    return t.rfind("nfs", 0) == 0 || t == "cifs" || t == "smb3" || t == "smbfs" || t == "fuse.sshfs" ||
           t == "9p" || t == "afs" || t == "ceph" || t == "glusterfs";
}

std::string read_sys_flag(unsigned major, unsigned minor) {
    const auto known = g_sys_flags.find({major, minor});
    if (known != g_sys_flags.end()) return known->second;
    const std::string root = g_sysfs.empty() ? "/sys" : g_sysfs;
    std::string v;
    // A partition's "removable" flag lives on its whole disk, one level up.
    for (const char* rel : {"/removable", "/../removable"}) {
        std::ifstream in(root + "/dev/block/" + std::to_string(major) + ":" + std::to_string(minor) + rel);
        if (in >> v) break;
        v.clear();
    }
    g_sys_flags[{major, minor}] = v;
    return v;
}

}  // namespace

void set_mountinfo_path(std::string path) {
    g_mountinfo = std::move(path);
    validate_mounts();
}
void set_sysfs_root(std::string path) {
    g_sysfs = std::move(path);
    g_sys_flags.clear();
}
std::string mountinfo_path() {
    return g_mountinfo.empty() ? "/proc/self/mountinfo" : g_mountinfo;
}

bool parse_mountinfo_line(const std::string& line, Mount& out) {
    // id parent major:minor root mount-point options [optional...] - type source super-options
    std::istringstream in(line);
    std::string id, parent, devno, root, point;
    if (!(in >> id >> parent >> devno >> root >> point)) return false;
    std::string field;
    bool dash = false;
    while (in >> field) {
        if (field == "-") {
            dash = true;
            break;
        }
    }
    if (!dash) return false;
    std::string type, source;
    if (!(in >> type)) return false;
    in >> source;
    const auto colon = devno.find(':');
    if (colon == std::string::npos) return false;
    out.major = static_cast<unsigned>(std::strtoul(devno.c_str(), nullptr, 10));
    out.minor = static_cast<unsigned>(std::strtoul(devno.c_str() + colon + 1, nullptr, 10));
    out.mount_point = unescape(point);
    out.fs_type = type;
    out.source = unescape(source);
    return !out.mount_point.empty() && out.mount_point[0] == '/';
}

std::vector<Mount> read_mounts() {
    std::vector<Mount> out;
    std::ifstream in(mountinfo_path());
    std::string line;
    while (std::getline(in, line)) {
        Mount m;
        if (parse_mountinfo_line(line, m)) out.push_back(std::move(m));
    }
    return out;
}

DriveType drive_type(const Mount& m) {
    const std::string& t = m.fs_type;
    if (is_remote_type(t)) return DriveType::remote;
    if (t == "tmpfs" || t == "ramfs") return DriveType::ramdisk;
    if (t == "iso9660" || t == "udf") return DriveType::cdrom;
    if (starts_with_dir(m.mount_point, "/media") || starts_with_dir(m.mount_point, "/run/media")) {
        return DriveType::removable;
    }
    if (m.major != 0 && read_sys_flag(m.major, m.minor) == "1") return DriveType::removable;
    if (t == "ext2" || t == "ext3" || t == "ext4" || t == "xfs" || t == "btrfs" || t == "f2fs" ||
        t == "zfs" || t == "overlay" || t == "vfat" || t == "exfat" || t == "ntfs" || t == "ntfs3" ||
        t == "jfs" || t == "reiserfs") {
        return DriveType::fixed;
    }
    return DriveType::unknown;
}

std::vector<Mount> drives() {
    std::vector<Mount> out;
    const auto& all = cached_mounts();
    // The last mount on a point is the one in force.
    auto latest = [&](const std::string& point) {
        const Mount* found = nullptr;
        for (const auto& m : all)
            if (m.mount_point == point) found = &m;
        return found;
    };
    Mount root;
    if (const Mount* r = latest("/")) root = *r;
    root.mount_point = "/";
    out.push_back(root);
    std::vector<std::string> seen{"/"};
    for (const auto& m : all) {
        const bool wanted = is_remote_type(m.fs_type) || starts_with_dir(m.mount_point, "/media") ||
                            starts_with_dir(m.mount_point, "/run/media") ||
                            starts_with_dir(m.mount_point, "/mnt");
        if (!wanted || std::find(seen.begin(), seen.end(), m.mount_point) != seen.end()) continue;
        seen.push_back(m.mount_point);
        out.push_back(*latest(m.mount_point));
    }
    std::sort(out.begin() + 1, out.end(),
              [](const Mount& a, const Mount& b) { return a.mount_point < b.mount_point; });
    return out;
}

const std::vector<Mount>& cached_mounts() {
    if (!g_cached) {
        g_cache = read_mounts();
        g_cached = true;
    }
    return g_cache;
}

void validate_mounts() {
    g_cached = false;
    // A device number can come back as another device after an unmount.
    g_sys_flags.clear();
}

bool is_mount_point(const std::string& path) {
    if (path == "/") return true;
    for (const auto& m : cached_mounts())
        if (m.mount_point == path) return true;
    return false;
}

const Mount* mount_of(const std::string& path) {
    const Mount* best = nullptr;
    for (const auto& m : cached_mounts()) {
        const bool prefix =
            m.mount_point == "/" || path == m.mount_point || starts_with_dir(path, m.mount_point);
        if (prefix && (!best || m.mount_point.size() >= best->mount_point.size())) best = &m;
    }
    return best;
}

MountMonitor::MountMonitor(Notify notify) : notify_(std::move(notify)) {
    for (const auto& d : drives()) known_.push_back(d.mount_point);
}

MountMonitor::~MountMonitor() {
    if (watch_) window::remove_fd_watch(watch_);
    if (fd_ >= 0) ::close(fd_);
}

int MountMonitor::check() {
    validate_mounts();
    std::vector<std::string> now;
    for (const auto& d : drives()) now.push_back(d.mount_point);
    int reported = 0;
    for (const auto& p : now) {
        if (std::find(known_.begin(), known_.end(), p) == known_.end()) {
            ++reported;
            if (notify_) notify_(DBT_DEVICEARRIVAL, p);
        }
    }
    for (const auto& p : known_) {
        if (std::find(now.begin(), now.end(), p) == now.end()) {
            ++reported;
            if (notify_) notify_(DBT_DEVICEREMOVECOMPLETE, p);
        }
    }
    known_ = std::move(now);
    return reported;
}

void MountMonitor::watch_in_message_loop() {
    if (watch_) return;
    fd_ = ::open(mountinfo_path().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return;
    // The kernel marks the file with POLLPRI when the table changes; reading it to the end
    // re-arms the mark.
    auto drain = [fd = fd_] {
        char buf[4096];
        ::lseek(fd, 0, SEEK_SET);
        while (::read(fd, buf, sizeof buf) > 0) {
        }
    };
    drain();
    watch_ = window::add_fd_watch(fd_, POLLPRI, [this, drain](short) {
        drain();
        check();
    });
}

}  // namespace platform::shell
