#include "shellctl/kw_sh_consts.h"

#include <cctype>

#include "platform/forms/keys.h"

namespace shellctl {
namespace {

namespace keys = platform::forms::keys;

const std::map<int, std::string>& built_in() {
    static const std::map<int, std::string> table = {
        {sKwCopyShortCut, "Ctrl+C"},
        {sKwCutShortCut, "Ctrl+X"},
        {sKwPasteShortCut, "Ctrl+V"},
        {sKwRefreshShortCut, "F5"},
        {sKwRenameShortCut, "F2"},
        {sKwDialogFontName, "MS Sans Serif"},
        {sKwOK, "OK"},
        {sKwCreateFolderHint, "Create Folder"},
        {sKwCreateFolderLongHint, "Creates a new, empty folder."},
        {sKwSizeKB, "%sKB"},
        {sKwNewFolder, "New Folder"},
        {sKwCannotCreateFolder, "Unable to create the folder '%2'\n\n%1"},
        {sKwColName, "Name"},
        {sKwColSize, "Size"},
        {sKwColType, "Type"},
        {sKwColModified, "Modified"},
        {sKwSystemFolder, "System Folder"},
        {sKwDeleteHint, "Delete"},
        {sKwDeleteLongHint, "Deletes the selected items."},
        {sKwBrowseForFolder, "Browse for Folder"},
        {sKwSelectAllShortCut, "Ctrl+A"},
        {sKwDeleteShortCut, "Del"},
        {sKwCancel, "Cancel"},
    };
    return table;
}

std::map<int, std::string>& table() {
    static std::map<int, std::string> t = built_in();
    return t;
}

struct DefaultKeyState {
    TKwShellControlDefKeyRec keys[dkCount];
    bool filled = false;
    bool texts_loaded = false;
};
DefaultKeyState& keys_state() {
    static DefaultKeyState s;
    return s;
}

bool iequals(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool strip_prefix(std::string& s, const std::string& prefix) {
    if (s.size() < prefix.size() || !iequals(s.substr(0, prefix.size()), prefix)) return false;
    s.erase(0, prefix.size());
    return true;
}

std::string key_name(TShortCut shortcut) {
    const int k = shortcut & 0xFF;
    static const char* const nav[] = {"Space", "PgUp", "PgDn", "End", "Home", "Left", "Up", "Right", "Down"};
    switch (k) {
        case keys::backspace:
            return "BkSp";
        case keys::tab:
            return "Tab";
        case keys::enter:
            return "Enter";
        case keys::escape:
            return "Esc";
        case keys::insert:
            return "Ins";
        case keys::del:
            return "Del";
        default:
            break;
    }
    if (k >= keys::space && k <= keys::down) return nav[k - keys::space];
    if ((k >= '0' && k <= '9') || (k >= 'A' && k <= 'Z')) return std::string(1, static_cast<char>(k));
    if (k >= keys::numpad_0 && k <= keys::numpad_9)
        return std::string(1, static_cast<char>('0' + (k - keys::numpad_0)));
    if (k >= keys::f1 && k <= keys::f24) return "F" + std::to_string(k - keys::f1 + 1);
    return "#" + std::to_string(shortcut);
}

}  // namespace

std::string LoadStr(int id) {
    const auto it = table().find(id);
    return it == table().end() ? std::string{} : it->second;
}

void SetStr(int id, std::string text) {
    table()[id] = std::move(text);
}

void ResetStringTable() {
    table() = built_in();
    keys_state() = DefaultKeyState{};
}

std::string ShortCutToText(TShortCut shortcut) {
    const std::string name = key_name(shortcut);
    if (name.empty()) return {};
    std::string out;
    if (shortcut & scShift) out += "Shift+";
    if (shortcut & scCtrl) out += "Ctrl+";
    if (shortcut & scAlt) out += "Alt+";
    return out + name;
}

TShortCut TextToShortCut(const std::string& text) {
    std::string rest = text;
    TShortCut modifiers = 0;
    for (;;) {
        if (strip_prefix(rest, "Shift+")) {
            modifiers |= scShift;
        } else if (strip_prefix(rest, "^") || strip_prefix(rest, "Ctrl+")) {
            modifiers |= scCtrl;
        } else if (strip_prefix(rest, "Alt+")) {
            modifiers |= scAlt;
        } else {
            break;
        }
    }
    if (rest.empty()) return 0;
    for (int code = 8; code <= 0x255; ++code) {
        const std::string name = key_name(static_cast<TShortCut>(code));
        if (iequals(name, rest)) return static_cast<TShortCut>(modifiers | code);
    }
    return 0;
}

TKwShellControlDefKeyRec* DefaultKeys() {
    auto& s = keys_state();
    if (!s.texts_loaded) {
        static constexpr int ids[dkCount] = {sKwSelectAllShortCut, sKwDeleteShortCut, sKwCopyShortCut,
                                             sKwCutShortCut,       sKwPasteShortCut,  sKwRefreshShortCut,
                                             sKwRenameShortCut};
        for (int i = 0; i < dkCount; ++i) s.keys[i].Text = LoadStr(ids[i]);
        s.texts_loaded = true;
    }
    return s.keys;
}

void InitDefaultKeys() {
    auto* keys = DefaultKeys();
    auto& s = keys_state();
    if (s.filled) return;
    for (int i = 0; i < dkCount; ++i) keys[i].ShortCut = TextToShortCut(keys[i].Text);
    s.filled = true;
}

platform::shell::FORMATETC* CopyFormatEtc(const platform::shell::FORMATETC& format) {
    auto* copy = new platform::shell::FORMATETC(format);
    copy->ptd = nullptr;
    return copy;
}

void FreeFormatEtc(platform::shell::FORMATETC* format) {
    delete format;
}

}  // namespace shellctl
