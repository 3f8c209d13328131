// Data transfer between the shell controls and the namespace: data objects, drop sources and
// drop targets, the in-process drag-and-drop loop and the shell clipboard.
//
// Memory blocks ("global memory") are reference-counted byte vectors: GlobalBlock. Format
// descriptors and storage media follow the shapes the controls expect; only TYMED_HGLOBAL
// media exist here.
//
// Drag and drop: a control calls do_drag_drop with its data object and drop source. With a drag
// input installed (a test script), the loop asks it for each pointer step, finds the drop target
// registered for the window under the pointer and drives DragEnter, DragOver, DragLeave and
// Drop. Without one, an installed drag runner (the drawing backend on a real screen) runs the
// whole drag, with other programs too. Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/com/unknown.h"
#include "platform/window/window.h"

namespace platform::shell {

using com::HRESULT;
using com::IID;

using GlobalBlock = std::shared_ptr<std::vector<std::uint8_t>>;
GlobalBlock global_alloc(std::size_t size);  // zero-filled

inline constexpr std::uint16_t CF_HDROP = 15;
// Registers a clipboard format by name (numbers from 0xC000, the same number for the same
// name without regard to case); 0, no format, once the numbers up to 0xFFFF are all taken.
std::uint16_t register_clipboard_format(const std::string& name);
// The number a name was registered as, without registering it (0 for a name nobody registered).
std::uint16_t registered_clipboard_format(const std::string& name);
// The name a format was registered by, in lower case ("" for a number nobody registered).
std::string clipboard_format_name(std::uint16_t format);

inline constexpr std::uint32_t DVASPECT_CONTENT = 1;
inline constexpr std::uint32_t DVASPECT_ICON = 4;
inline constexpr std::uint32_t TYMED_HGLOBAL = 1;
inline constexpr std::uint32_t TYMED_ISTREAM = 4;

struct DVTARGETDEVICE;
struct FORMATETC {
    std::uint16_t cfFormat = 0;
    DVTARGETDEVICE* ptd = nullptr;
    std::uint32_t dwAspect = DVASPECT_CONTENT;
    std::int32_t lindex = -1;
    std::uint32_t tymed = TYMED_HGLOBAL;
};

struct STGMEDIUM {
    std::uint32_t tymed = 0;
    GlobalBlock hGlobal;
    com::IUnknown* pUnkForRelease = nullptr;
};
void release_stg_medium(STGMEDIUM& medium);

inline constexpr HRESULT DV_E_FORMATETC = com::make_hresult(0x80040064u);
inline constexpr HRESULT DV_E_TYMED = com::make_hresult(0x80040069u);
inline constexpr HRESULT OLE_E_ADVISENOTSUPPORTED = com::make_hresult(0x80040003u);
inline constexpr HRESULT DRAGDROP_S_DROP = 0x00040100;
inline constexpr HRESULT DRAGDROP_S_CANCEL = 0x00040101;
inline constexpr HRESULT DRAGDROP_S_USEDEFAULTCURSORS = 0x00040102;

inline constexpr std::uint32_t DROPEFFECT_NONE = 0;
inline constexpr std::uint32_t DROPEFFECT_COPY = 1;
inline constexpr std::uint32_t DROPEFFECT_MOVE = 2;
inline constexpr std::uint32_t DROPEFFECT_LINK = 4;
inline constexpr std::uint32_t DROPEFFECT_SCROLL = 0x80000000u;

inline constexpr std::uint32_t MK_LBUTTON = 0x01;
inline constexpr std::uint32_t MK_RBUTTON = 0x02;
inline constexpr std::uint32_t MK_SHIFT = 0x04;
inline constexpr std::uint32_t MK_CONTROL = 0x08;
inline constexpr std::uint32_t MK_MBUTTON = 0x10;
inline constexpr std::uint32_t MK_ALT = 0x20;

struct POINTL {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

struct IEnumFORMATETC : com::IUnknown {
    static constexpr IID iid = com::guid("{00000103-0000-0000-C000-000000000046}");
    virtual HRESULT Next(std::uint32_t count, FORMATETC* out, std::uint32_t* fetched) = 0;
    virtual HRESULT Skip(std::uint32_t count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumFORMATETC** out) = 0;

  protected:
    ~IEnumFORMATETC() = default;
};

inline constexpr std::uint32_t DATADIR_GET = 1;
inline constexpr std::uint32_t DATADIR_SET = 2;

struct IDataObject : com::IUnknown {
    static constexpr IID iid = com::guid("{0000010E-0000-0000-C000-000000000046}");
    virtual HRESULT GetData(const FORMATETC& format, STGMEDIUM& out) = 0;
    virtual HRESULT GetDataHere(const FORMATETC& format, STGMEDIUM& medium) = 0;
    virtual HRESULT QueryGetData(const FORMATETC& format) = 0;
    virtual HRESULT GetCanonicalFormatEtc(const FORMATETC& in, FORMATETC& out) = 0;
    virtual HRESULT SetData(const FORMATETC& format, STGMEDIUM& medium, bool release) = 0;
    virtual HRESULT EnumFormatEtc(std::uint32_t direction, IEnumFORMATETC** out) = 0;

  protected:
    ~IDataObject() = default;
};

struct IDropSource : com::IUnknown {
    static constexpr IID iid = com::guid("{00000121-0000-0000-C000-000000000046}");
    virtual HRESULT QueryContinueDrag(bool escape_pressed, std::uint32_t key_state) = 0;
    virtual HRESULT GiveFeedback(std::uint32_t effect) = 0;

  protected:
    ~IDropSource() = default;
};

struct IDropTarget : com::IUnknown {
    static constexpr IID iid = com::guid("{00000122-0000-0000-C000-000000000046}");
    virtual HRESULT DragEnter(IDataObject* data, std::uint32_t key_state, POINTL pt,
                              std::uint32_t* effect) = 0;
    virtual HRESULT DragOver(std::uint32_t key_state, POINTL pt, std::uint32_t* effect) = 0;
    virtual HRESULT DragLeave() = 0;
    virtual HRESULT Drop(IDataObject* data, std::uint32_t key_state, POINTL pt, std::uint32_t* effect) = 0;

  protected:
    ~IDropTarget() = default;
};

// ---- blocks ---------------------------------------------------------------------------------

// The paths of a CF_HDROP block (file-list offset, then zero-ended 8-bit paths, then one more
// zero). Checked against the block's size: nullopt for a block that does not hold a whole list.
std::optional<std::vector<std::string>> parse_hdrop(const GlobalBlock& block);
// A CF_HDROP block of the paths (8-bit names).
GlobalBlock make_hdrop(const std::vector<std::string>& paths);
// The paths a data object carries, from its CF_HDROP block; empty when it has none.
std::vector<std::string> paths_of_data_object(IDataObject* data);
// The formats a data object offers in global memory, in its order; the block of one of them
// (empty when it has none).
std::vector<std::uint16_t> formats_of_data_object(IDataObject* data);
GlobalBlock block_of_data_object(IDataObject* data, std::uint16_t format);
// A data object that offers fixed blocks, one a format (what another program dropped, say).
com::ComPtr<IDataObject> make_block_data_object(std::vector<std::pair<std::uint16_t, GlobalBlock>> blocks);

// ---- drag and drop --------------------------------------------------------------------------

// Registers the drop target of a window (holds a reference until revoked or the window goes).
HRESULT register_drag_drop(window::Handle window, IDropTarget* target);
HRESULT revoke_drag_drop(window::Handle window);
com::ComPtr<IDropTarget> drop_target_of(window::Handle window);

// One pointer step of a drag: where the pointer is, the buttons and keys (MK_*), Escape.
struct DragStep {
    window::Handle window = 0;  // 0: over no window of ours
    POINTL point;
    std::uint32_t key_state = 0;
    bool escape = false;
};
// The source of pointer steps; nullopt ends the drag as a cancel. Returns the previous one.
using DragInput = std::function<std::optional<DragStep>()>;
DragInput set_drag_input(DragInput input);

// Runs a whole drag on a real screen: the same contract as do_drag_drop. Returns the previous one.
using DragRunner = std::function<HRESULT(IDataObject* data, IDropSource* source, std::uint32_t allowed,
                                         std::uint32_t* effect)>;
DragRunner set_drag_runner(DragRunner runner);

// The modal drag: the drag input's steps, else the drag runner. Returns DRAGDROP_S_DROP or DRAGDROP_S_CANCEL
// and the effect the target took (DROPEFFECT_NONE on a cancel).
HRESULT do_drag_drop(IDataObject* data, IDropSource* source, std::uint32_t allowed, std::uint32_t* effect);

// ---- the shell clipboard ----------------------------------------------------------------------

// Holds the paths of a cut or copy in this process. Cut items show ghosted until pasted.
class ShellClipboard {
  public:
    void set(std::vector<std::string> paths, std::uint32_t effect);
    void clear();
    bool empty() const { return paths_.empty(); }
    const std::vector<std::string>& paths() const { return paths_; }
    std::uint32_t effect() const { return effect_; }
    bool is_cut(const std::string& path) const;

  private:
    std::vector<std::string> paths_;
    std::uint32_t effect_ = DROPEFFECT_NONE;
};
ShellClipboard& shell_clipboard();

// Forgets the registered drop targets, the drag input and the shell clipboard. Registered
// clipboard formats stay: their numbers are kept by those who registered them; the drag runner
// stays with the backend that installed it.
void reset_ole_state_for_tests();

}  // namespace platform::shell
