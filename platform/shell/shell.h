// The shell namespace: folders and items over the file system, named by item-ID lists.
//
// The model:
// - An item-ID list is a run of items, each beginning with a 16-bit little-endian byte count
//   that includes the count itself, ended by a 16-bit zero. The empty list (only the zero) is
//   the root, "Desktop". Our items are `cb:u16 | kind:u8 | 0:u8 | payload | 0:u8`:
//     kind 0x10 virtual folder, payload an ASCII id ("computer");
//     kind 0x20 anchor, payload an absolute path ("/", a mount point, the home folder);
//     kind 0x30 file-system child, payload one raw name component (at most 255 bytes).
//   An item carries no attributes, sizes or times, so byte equality means "same name";
//   attributes are always asked of the file system when they are wanted.
// - The root's children are the home folder (an anchor) and "Computer" (virtual). Computer's
//   children are anchors taken from the mount table: "/" and the removable and remote mounts.
//   The path of a list is its last anchor joined with the child names after it; a list with no
//   anchor (the root, Computer) has no path.
// - Names are raw bytes as the file system has them. Display forms are valid UTF-8 (bytes that
//   are not UTF-8 show as U+FFFD); the parsing form is the raw path, so it always round-trips.
//
// Main thread only, except where a function says otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/hresult.h"

namespace platform::shell {

using com::HRESULT;

// ---- item-ID lists ------------------------------------------------------------------------

using IdList = std::vector<std::uint8_t>;  // an owned list, always with its terminator
using PCIDL = const std::uint8_t*;         // a list in memory somebody else owns; may be null

enum class ItemKind : std::uint8_t { virtual_folder = 0x10, anchor = 0x20, child = 0x30 };

struct Item {
    ItemKind kind = ItemKind::child;
    std::string payload;
};

inline constexpr std::size_t max_name_bytes = 255;

// Size of a list including its terminator; 0 for null.
std::size_t id_list_size(PCIDL list);
// Number of items; 0 for null.
int id_list_count(PCIDL list);
// The empty list (the root).
IdList empty_id_list();
IdList to_id_list(PCIDL list);  // a copy (the empty list for null)
// One item made into a one-item list.
IdList make_item(ItemKind kind, std::string_view payload);
IdList concat(PCIDL a, PCIDL b);
// True when `size` bytes at `data` hold a whole list: a chain of items, each at least 4 bytes,
// ending with its terminator inside the bytes. Lists from outside (streams, data objects) are
// checked with this before anything walks them.
bool is_valid_id_list(const std::uint8_t* data, std::size_t size);
// The items of a list of our encoding; nullopt when an item is not ours.
std::optional<std::vector<Item>> decode(PCIDL list);
IdList encode(const std::vector<Item>& items);
// The last item alone, and everything before it.
IdList last_item(PCIDL list);
IdList parent_of(PCIDL list);

// ---- flags --------------------------------------------------------------------------------

// Enumeration.
inline constexpr std::uint32_t SHCONTF_FOLDERS = 0x20;
inline constexpr std::uint32_t SHCONTF_NONFOLDERS = 0x40;
inline constexpr std::uint32_t SHCONTF_INCLUDEHIDDEN = 0x80;
// Display-name forms.
inline constexpr std::uint32_t SHGDN_NORMAL = 0x0000;
inline constexpr std::uint32_t SHGDN_INFOLDER = 0x0001;
inline constexpr std::uint32_t SHGDN_FOREDITING = 0x1000;
inline constexpr std::uint32_t SHGDN_FORPARSING = 0x8000;
// Attributes.
inline constexpr std::uint32_t SFGAO_CANCOPY = 0x00000001;
inline constexpr std::uint32_t SFGAO_CANMOVE = 0x00000002;
inline constexpr std::uint32_t SFGAO_CANLINK = 0x00000004;
inline constexpr std::uint32_t SFGAO_CANRENAME = 0x00000010;
inline constexpr std::uint32_t SFGAO_CANDELETE = 0x00000020;
inline constexpr std::uint32_t SFGAO_HASPROPSHEET = 0x00000040;
inline constexpr std::uint32_t SFGAO_DROPTARGET = 0x00000100;
inline constexpr std::uint32_t SFGAO_LINK = 0x00010000;
inline constexpr std::uint32_t SFGAO_SHARE = 0x00020000;
inline constexpr std::uint32_t SFGAO_READONLY = 0x00040000;
inline constexpr std::uint32_t SFGAO_GHOSTED = 0x00080000;
inline constexpr std::uint32_t SFGAO_VALIDATE = 0x01000000;
inline constexpr std::uint32_t SFGAO_REMOVABLE = 0x02000000;
inline constexpr std::uint32_t SFGAO_FILESYSANCESTOR = 0x10000000;
inline constexpr std::uint32_t SFGAO_FOLDER = 0x20000000;
inline constexpr std::uint32_t SFGAO_FILESYSTEM = 0x40000000;
inline constexpr std::uint32_t SFGAO_HASSUBFOLDER = 0x80000000;

// Result codes of file-system failures: the errno in the low 16 bits of a failure code of our
// own facility, so the system's text for it can be found again (error_text).
HRESULT hresult_from_errno(int error);
inline constexpr int error_already_exists = 183;  // the number callers test for "exists"
HRESULT hresult_already_exists();
// The system's text for a result code: strerror for an errno code, else a generic text.
std::string error_text(HRESULT hr);
// The errno inside a code made by hresult_from_errno, else 0.
int errno_of(HRESULT hr);

// ---- folders ------------------------------------------------------------------------------

class Folder;
using FolderPtr = std::shared_ptr<Folder>;

// A bound folder: the root, Computer or a file-system folder. Children are one-item lists
// relative to it. Results are S_OK, S_FALSE, or a failure code.
class Folder {
  public:
    virtual ~Folder() = default;

    // The folder's absolute list.
    const IdList& id_list() const { return list_; }

    // The children that `flags` admits (SHCONTF_*), in directory order. A folder that cannot
    // be opened fails (an unreadable folder is shown but cannot be entered); an error part way
    // gives E_FAIL with the children read so far.
    virtual HRESULT enum_objects(std::uint32_t flags, std::vector<IdList>& out) const = 0;
    // Attributes of the children, ANDed over all of them, within `mask`. An item whose status
    // cannot be read has no attributes at all (never "everything asked for").
    virtual std::uint32_t attributes_of(std::span<const PCIDL> children, std::uint32_t mask) const = 0;
    std::uint32_t attributes_of(PCIDL child, std::uint32_t mask) const {
        return attributes_of({&child, 1}, mask);
    }
    // A child's name in the form `flags` asks for (SHGDN_*); empty on failure.
    virtual std::string display_name_of(PCIDL child, std::uint32_t flags) const = 0;
    // Folders first, then names without regard to ASCII case, ties broken by the exact bytes
    // (so "Readme" and "README" never compare equal). Column 1 size, 2 type, 3 modified, each
    // with ties broken by name. Lists of several items compare item by item. Negative, zero or
    // positive.
    virtual int compare_ids(int column, PCIDL a, PCIDL b) const;
    // Puts children in the order compare_ids(column) gives (the reverse when `descending`),
    // keeping the order of children that compare equal. A folder may do it faster than pair
    // by pair: a file-system folder reads each child's status once, not at every comparison.
    virtual void sort_ids(int column, std::vector<PCIDL>& children, bool descending) const;
    // A child by name: one-item list of an existing entry; ENOENT fails.
    virtual HRESULT parse_display_name(std::string_view name, IdList& out) const;
    // Renames a child within this folder; refuses empty names, "/", NUL, "." and "..", names
    // over 255 bytes and a name that exists. `out` gets the new child.
    virtual HRESULT set_name_of(PCIDL child, std::string_view new_name, IdList& out) const;
    // The sub-folder named by a relative list.
    HRESULT bind_to_object(PCIDL relative, FolderPtr& out) const;

    // The file-system path of this folder; empty for a virtual one.
    virtual std::string path() const { return {}; }

  protected:
    explicit Folder(IdList list) : list_(std::move(list)) {}

  private:
    IdList list_;
};

// The root folder ("Desktop").
FolderPtr desktop_folder();
// Binds any absolute list (null or empty: the root). Fails when an item is not ours, names a
// folder that is not there, or is not a folder.
HRESULT bind_folder(PCIDL absolute, FolderPtr& out);

// The path of an absolute list, or nullopt for a list without one (root, Computer). No length
// limit: the path is as long as it is.
std::optional<std::string> path_of(PCIDL absolute);
// Parses an absolute path (lexically normalised, symbolic links kept as written) into a
// canonical list: [home anchor][names] under the home folder, else [Computer][longest mount
// anchor][names]. The path must exist. No length limit.
HRESULT parse_path(std::string_view path, IdList& out);
// The display name of an absolute list in a given form (as the parent folder gives it).
std::string display_name(PCIDL absolute, std::uint32_t flags);
// Attributes of an absolute list (the root and Computer included).
std::uint32_t attributes(PCIDL absolute, std::uint32_t mask);
// True when the list names the root, Computer or an anchor: nothing to rename, delete or move.
bool is_namespace_anchor(PCIDL absolute);
// Why an entry is never renamed, moved or deleted, or nullopt when it may be: "/", the home
// folder and every folder above it, a mount point, a trash folder and the folders above the
// home trash. Checked as written and with the links above the entry resolved.
std::optional<std::string> change_refused(const std::string& path);
// True when `source` is `target` or a folder above it, in any spelling ("/", trailing slashes,
// "..", links resolved on both sides): copying, moving or linking it there is refused.
bool contains_path(const std::string& source, const std::string& target);
// The type text of an entry: "File Folder", "<EXT> File", "Program", "Symbolic Link" or "File";
// empty when it is not there.
std::string type_name_of(const std::string& path);

// ---- special folders ----------------------------------------------------------------------

inline constexpr int CSIDL_DESKTOP = 0;
inline constexpr int CSIDL_PERSONAL = 5;
inline constexpr int CSIDL_SENDTO = 9;
inline constexpr int CSIDL_DESKTOPDIRECTORY = 16;
inline constexpr int CSIDL_DRIVES = 17;
inline constexpr int CSIDL_PROFILE = 40;

// 0 the root, 17 Computer, 5 the documents folder (XDG_DOCUMENTS_DIR, else home), 40 home,
// 16 the desktop directory when it exists, 9 the Send To folder when it exists. Others fail
// with E_INVALIDARG.
HRESULT special_folder_location(int csidl, IdList& out);
// The Send To folder: $XDG_DATA_HOME/zor/SendTo (it may not exist).
std::string send_to_directory();
// The home folder ($HOME, else the password database).
std::string home_directory();
// $XDG_DATA_HOME, else ~/.local/share.
std::string data_home();

// ---- icons --------------------------------------------------------------------------------

// Fixed indexes into the one image list of the namespace.
enum IconIndex : int {
    icon_file = 0,
    icon_folder = 1,
    icon_folder_open = 2,
    icon_home = 3,
    icon_computer = 4,
    icon_drive_fixed = 5,
    icon_drive_removable = 6,
    icon_drive_remote = 7,
    icon_desktop = 8,
    icon_program = 9,
    icon_link = 10,
    icon_overlay_share = 11,  // overlay image 1
    icon_overlay_link = 12,   // overlay image 2
    icon_count = 13
};
int icon_index(PCIDL absolute, bool open);
// The pixels of an icon, `size` pixels square (16 or 32), 0x00BBGGRR, row by row.
std::vector<std::uint32_t> icon_pixels(int index, int size);

// ---- shortcuts ----------------------------------------------------------------------------

struct LinkTarget {
    std::string path;
    bool is_directory = false;
};
// A shortcut is a symbolic link, or a ".desktop" file of type Link whose URL is a file URL.
bool is_shortcut(const std::string& path);
// Where a shortcut leads, when the target exists.
std::optional<LinkTarget> resolve_shortcut(const std::string& path);

// ---- small file helpers -------------------------------------------------------------------

// Normalises "a//b/./c/../d" to "a/b/d" without touching the file system; keeps a leading "/".
std::string normalize_path(std::string_view path);
// Joins a folder and a name with one "/".
std::string join_path(std::string_view folder, std::string_view name);
// The last name of a normalised path ("/" for "/"), and the folder it is in ("/" for a name
// just below the root, "." for a path without a "/").
std::string base_name(const std::string& path);
std::string dir_name(const std::string& path);
// Bytes that are not UTF-8 replaced by U+FFFD, control characters by "?".
std::string display_text(std::string_view raw);
// The name an in-place edit gives. `name` is the entry's name as the file system has it,
// `offered` the text the editor was given for it (its display form) and `typed` what the editor
// holds at the end. A text left as offered gives `name` back byte for byte, even a name the
// display cannot show exactly (bytes that are not UTF-8, a newline): only a typed name renames.
// Otherwise the typed text without the blanks added at either end; blanks the offered text had
// there are the name's own and stay. All blanks give the empty text (no valid name).
std::string edited_name(std::string_view name, std::string_view offered, std::string_view typed);

}  // namespace platform::shell
