#include "platform/shell/ole.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace platform::shell {
namespace {

struct Registered {
    window::Handle window;
    com::ComPtr<IDropTarget> target;
};

// The unit's process-wide state, in one place so that tests can reset it.
struct OleState {
    std::vector<Registered> drop_targets;
    DragInput drag_input;
    DragRunner drag_runner;
    std::map<std::string, std::uint16_t> clipboard_formats;  // by name folded to lower case
    ShellClipboard clipboard;
};

OleState& ole_state() {
    static OleState state;
    return state;
}

std::vector<Registered>& registry() {
    return ole_state().drop_targets;
}

std::string fold(const std::string& s) {
    std::string out = s;
    for (char& c : out) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return out;
}

std::uint32_t read_u32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

}  // namespace

GlobalBlock global_alloc(std::size_t size) {
    return std::make_shared<std::vector<std::uint8_t>>(size, 0);
}

std::uint16_t register_clipboard_format(const std::string& name) {
    auto& formats = ole_state().clipboard_formats;
    const std::string key = fold(name);
    auto it = formats.find(key);
    if (it != formats.end()) return it->second;
    // Past 0xFFFF the numbers would wrap into the standard formats (CF_HDROP among them).
    if (formats.size() >= 0x10000 - 0xC000) return 0;
    const auto number = static_cast<std::uint16_t>(0xC000 + formats.size());
    formats.emplace(key, number);
    return number;
}

std::uint16_t registered_clipboard_format(const std::string& name) {
    const auto& formats = ole_state().clipboard_formats;
    const auto it = formats.find(fold(name));
    return it == formats.end() ? 0 : it->second;
}

std::string clipboard_format_name(std::uint16_t format) {
    for (const auto& [name, number] : ole_state().clipboard_formats)
        if (number == format) return name;
    return {};
}

void release_stg_medium(STGMEDIUM& medium) {
    medium.hGlobal.reset();
    if (medium.pUnkForRelease) medium.pUnkForRelease->Release();
    medium.pUnkForRelease = nullptr;
    medium.tymed = 0;
}

std::optional<std::vector<std::string>> parse_hdrop(const GlobalBlock& block) {
    if (!block || block->size() < 21) return std::nullopt;
    const auto& b = *block;
    const std::uint32_t offset = read_u32(b, 0);
    if (read_u32(b, 16) != 0) return std::nullopt;  // wide names are not ours
    if (offset < 20 || offset >= b.size()) return std::nullopt;
    std::vector<std::string> paths;
    std::size_t at = offset;
    for (;;) {
        const auto end = std::find(b.begin() + static_cast<std::ptrdiff_t>(at), b.end(), 0);
        if (end == b.end()) return std::nullopt;
        const auto stop = static_cast<std::size_t>(end - b.begin());
        if (stop == at) return paths;  // the closing zero
        paths.emplace_back(reinterpret_cast<const char*>(b.data() + at), stop - at);
        at = stop + 1;
        if (at >= b.size()) return std::nullopt;
    }
}

std::vector<std::string> paths_of_data_object(IDataObject* data) {
    if (!data) return {};
    FORMATETC f;
    f.cfFormat = CF_HDROP;
    if (com::failed(data->QueryGetData(f))) return {};
    STGMEDIUM m;
    if (com::failed(data->GetData(f, m))) return {};
    auto paths = parse_hdrop(m.hGlobal);
    release_stg_medium(m);
    return paths ? *paths : std::vector<std::string>{};
}

HRESULT register_drag_drop(window::Handle window, IDropTarget* target) {
    if (!target || !window::is_window(window)) return com::E_INVALIDARG;
    for (const auto& r : registry())
        if (r.window == window) return com::make_hresult(0x80040101u);  // already registered
    registry().push_back({window, com::ComPtr<IDropTarget>::share(target)});
    return com::S_OK;
}

HRESULT revoke_drag_drop(window::Handle window) {
    auto& r = registry();
    const auto it = std::find_if(r.begin(), r.end(), [&](const Registered& x) { return x.window == window; });
    if (it == r.end()) return com::make_hresult(0x80040100u);  // not registered
    r.erase(it);
    return com::S_OK;
}

com::ComPtr<IDropTarget> drop_target_of(window::Handle window) {
    for (const auto& r : registry())
        if (r.window == window && window::is_window(window)) return r.target;
    return {};
}

DragInput set_drag_input(DragInput input) {
    return std::exchange(ole_state().drag_input, std::move(input));
}

DragRunner set_drag_runner(DragRunner runner) {
    return std::exchange(ole_state().drag_runner, std::move(runner));
}

HRESULT do_drag_drop(IDataObject* data, IDropSource* source, std::uint32_t allowed, std::uint32_t* effect) {
    if (effect) *effect = DROPEFFECT_NONE;
    if (!data || !source) return com::E_INVALIDARG;
    // A scripted drag keeps its steps even where a real screen could run the drag.
    if (!ole_state().drag_input && ole_state().drag_runner) {
        const DragRunner runner = ole_state().drag_runner;
        return runner(data, source, allowed, effect);
    }
    com::ComPtr<IDropTarget> current;
    window::Handle over = 0;
    std::uint32_t last_effect = DROPEFFECT_NONE;
    for (;;) {
        std::optional<DragStep> step;
        if (const DragInput& input = ole_state().drag_input) step = input();
        if (!step) {
            if (current) current->DragLeave();
            return DRAGDROP_S_CANCEL;
        }
        const HRESULT go = source->QueryContinueDrag(step->escape, step->key_state);
        if (go == DRAGDROP_S_CANCEL) {
            if (current) current->DragLeave();
            return DRAGDROP_S_CANCEL;
        }
        const bool dropping = go == DRAGDROP_S_DROP;
        if (step->window != over) {
            if (current) current->DragLeave();
            over = step->window;
            current = drop_target_of(over);
            last_effect = allowed;
            if (current &&
                com::failed(current->DragEnter(data, step->key_state, step->point, &last_effect))) {
                current.reset();
            }
            if (!current) last_effect = DROPEFFECT_NONE;
        } else if (current && !dropping) {
            // A release over the same window is no move: the target keeps the effect it gave
            // while the button was down (the released buttons would change its answer).
            last_effect = allowed;
            if (com::failed(current->DragOver(step->key_state, step->point, &last_effect)))
                last_effect = DROPEFFECT_NONE;
        }
        last_effect &= allowed;
        source->GiveFeedback(last_effect);
        if (dropping) {
            if (!current || last_effect == DROPEFFECT_NONE) {
                if (current) current->DragLeave();
                return DRAGDROP_S_CANCEL;
            }
            std::uint32_t done = allowed;
            if (com::failed(current->Drop(data, step->key_state, step->point, &done))) done = DROPEFFECT_NONE;
            if (effect) *effect = done & allowed;
            return DRAGDROP_S_DROP;
        }
    }
}

void ShellClipboard::set(std::vector<std::string> paths, std::uint32_t effect) {
    paths_ = std::move(paths);
    effect_ = effect;
}

void ShellClipboard::clear() {
    paths_.clear();
    effect_ = DROPEFFECT_NONE;
}

bool ShellClipboard::is_cut(const std::string& path) const {
    return effect_ == DROPEFFECT_MOVE && std::find(paths_.begin(), paths_.end(), path) != paths_.end();
}

ShellClipboard& shell_clipboard() {
    return ole_state().clipboard;
}

void reset_ole_state_for_tests() {
    OleState& state = ole_state();
    state.drop_targets.clear();
    state.drag_input = nullptr;
    state.clipboard.clear();
}

}  // namespace platform::shell
