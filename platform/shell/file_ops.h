// What the shell does to files: new folders, the trash, opening with the desktop's opener,
// copying and moving, context-menu verbs and the Send To targets.
//
// Deleting goes to the trash as the freedesktop trash layout defines it: the home trash
// ($XDG_DATA_HOME/Trash) when the item is on the same device, else the top directory's
// ".Trash-<uid>", each with a ".trashinfo" file that records where the item was, so it can be
// put back. A trash name is free in both files/ and info/ (shortened when the name is too long
// for its record); nothing in the trash is replaced. What change_refused keeps (the root, the
// home folder and the folders above it, mount points, the trash) is never deleted or moved.
// Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/shell/ole.h"
#include "platform/shell/shell.h"

namespace platform::shell {

// mkdir with mode 0777 (the umask applies); an existing name gives hresult_already_exists().
HRESULT create_directory(const std::string& path);

// Why a path may not be deleted or moved, or nullopt when it may: change_refused, with the
// mount table read again.
std::optional<std::string> deletion_refused(const std::string& path);
// Moves one entry to the trash. On success `info_file` gets the ".trashinfo" path written.
HRESULT move_to_trash(const std::string& path, std::string* info_file = nullptr);

// Opens a path with the desktop's opener (xdg-open, found on PATH; no shell is involved).
// A replacement can be installed (tests); returns the previous one.
using Opener = std::function<HRESULT(const std::string& path)>;
Opener set_opener(Opener opener);
HRESULT open_with_desktop(const std::string& path);

// Copies, moves or links (DROPEFFECT_*) each path into `folder`. When a name is taken the
// user is asked whether to keep both (the new one then gets " (2)", " (3)"... before its
// extension) or to leave that item where it is; nothing is ever overwritten. Moving an item
// into the folder it is in does nothing. An item that is the folder or holds it (in any
// spelling: contains_path) is neither copied, moved nor linked there (E_INVALIDARG), and what
// deletion_refused keeps is not moved (E_ACCESSDENIED); either refusal is said in a box and
// leaves the whole batch undone. Symbolic links are copied as links. `done`, when given, counts the items
// carried out.
HRESULT transfer_into(const std::vector<std::string>& paths, const std::string& folder, std::uint32_t effect,
                      std::size_t* done = nullptr);

// A drop target that copies, moves or links dropped paths into a folder. The effect: Ctrl
// copy, Shift move, Ctrl+Shift or Alt link; otherwise move on the same device, copy across
// devices; a right-button drop copies.
com::ComPtr<IDropTarget> make_folder_drop_target(const std::string& folder);
// A drop target that starts a program with the dropped paths as its arguments.
com::ComPtr<IDropTarget> make_program_drop_target(const std::string& program);
// The drop target of an item: a folder (or a link to one) or an executable program; nullptr
// for anything else.
com::ComPtr<IDropTarget> drop_target_for_path(const std::string& path);

// ---- context menus --------------------------------------------------------------------------

inline constexpr std::uint32_t CMF_NORMAL = 0x00;
inline constexpr std::uint32_t CMF_DEFAULTONLY = 0x01;
inline constexpr std::uint32_t CMF_EXPLORE = 0x04;
inline constexpr std::uint32_t CMF_CANRENAME = 0x10;

// Offsets of the commands of our menus.
inline constexpr int verb_open = 0;
inline constexpr int verb_cut = 16;
inline constexpr int verb_copy = 17;
inline constexpr int verb_rename = 18;
inline constexpr int verb_paste = 19;
inline constexpr int verb_delete = 20;
inline constexpr int verb_properties = 21;

struct MenuCommand {
    int offset = -1;   // -1: the Send To submenu, whose one item is a grayed placeholder
    std::string verb;  // "open", "cut", "copy", "rename", "paste", "delete", "properties"
    std::string caption;
    std::string help;
    bool is_default = false;
};

// The context menu of some children of one folder.
class ContextMenu {
  public:
    ContextMenu(FolderPtr folder, std::vector<IdList> children);

    // The commands offered for these items, in menu order.
    std::vector<MenuCommand> query(std::uint32_t flags) const;
    // The verb or help text of an offered command; nullopt for an offset not offered.
    std::optional<std::string> verb_of(int offset) const;
    std::optional<std::string> help_of(int offset) const;
    // Carries out a command. An offset that is not offered gives E_INVALIDARG and does
    // nothing. "rename" is done by the controls in place; here it gives E_NOTIMPL. "delete"
    // asks first and moves to the trash; "open" opens files with the desktop's opener.
    HRESULT invoke(int offset);

    const std::vector<std::string>& paths() const { return paths_; }

  private:
    bool offered(int offset, std::uint32_t flags) const;
    HRESULT delete_items();
    HRESULT show_properties();

    FolderPtr folder_;
    std::vector<IdList> children_;
    std::vector<std::string> paths_;
    std::uint32_t attributes_ = 0;
};

// The names of the files in the Send To folder that are usable (not hidden, not folders
// except links to folders), sorted.
std::vector<std::string> send_to_entries();

}  // namespace platform::shell
