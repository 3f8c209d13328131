// The controls' own texts (one string table, so a translated table changes them without code
// changes), the conversion between keyboard shortcuts and their texts, and the table of
// default keys read from those texts.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/shell/ole.h"

namespace shellctl {

enum : int {
    sKwCopyShortCut = 65280,
    sKwCutShortCut = 65281,
    sKwPasteShortCut = 65282,
    sKwRefreshShortCut = 65283,
    sKwRenameShortCut = 65284,
    sKwDialogFontName = 65285,
    sKwOK = 65296,
    sKwCreateFolderHint = 65297,
    sKwCreateFolderLongHint = 65298,
    sKwSizeKB = 65299,
    sKwNewFolder = 65300,
    sKwCannotCreateFolder = 65301,
    sKwColName = 65302,
    sKwColSize = 65303,
    sKwColType = 65304,
    sKwColModified = 65305,
    sKwSystemFolder = 65306,
    sKwDeleteHint = 65307,
    sKwDeleteLongHint = 65308,
    sKwBrowseForFolder = 65309,
    sKwSelectAllShortCut = 65310,
    sKwDeleteShortCut = 65311,
    sKwCancel = 65327,
};

// The text of a string-table entry ("" for an unknown id).
std::string LoadStr(int id);
// Replaces an entry, as a translated table would (tests use it too).
void SetStr(int id, std::string text);
// Restores the built-in table and empties the default keys' shortcuts.
void ResetStringTable();

// Shortcut values: the key code in the low byte, Shift 0x2000, Ctrl 0x4000, Alt 0x8000.
using TShortCut = std::uint16_t;
inline constexpr TShortCut scShift = 0x2000;
inline constexpr TShortCut scCtrl = 0x4000;
inline constexpr TShortCut scAlt = 0x8000;

std::string ShortCutToText(TShortCut shortcut);
TShortCut TextToShortCut(const std::string& text);

struct TKwShellControlDefKeyRec {
    std::string Text;
    TShortCut ShortCut = 0;
};
enum TKwDefaultKey { dkSelectAll = 0, dkDelete, dkCopy, dkCut, dkPaste, dkRefresh, dkRename, dkCount };
// The seven default keys; their texts come from the string table.
TKwShellControlDefKeyRec* DefaultKeys();
// Fills the shortcuts from the texts, once per process (a text that does not parse gives 0).
void InitDefaultKeys();

// Copy and free of a heap format descriptor; the copy carries no target device (ours never do,
// and a foreign one's size field cannot be trusted).
platform::shell::FORMATETC* CopyFormatEtc(const platform::shell::FORMATETC& format);
void FreeFormatEtc(platform::shell::FORMATETC* format);

}  // namespace shellctl
