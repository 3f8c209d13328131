// Shortcut texts and the default-key table.
#include <gtest/gtest.h>

#include "shellctl/kw_sh_consts.h"

namespace shellctl {
namespace {

class ShortCuts : public ::testing::Test {
  protected:
    void SetUp() override { ResetStringTable(); }
    void TearDown() override { ResetStringTable(); }
};

TEST_F(ShortCuts, TextsOfShortCuts) {
    EXPECT_EQ(ShortCutToText(0x4043), "Ctrl+C");
    EXPECT_EQ(ShortCutToText(0x202E), "Shift+Del");
    EXPECT_EQ(ShortCutToText(0xE070), "Shift+Ctrl+Alt+F1");
    EXPECT_EQ(ShortCutToText(0x0115), "#277");
    EXPECT_EQ(ShortCutToText(0x0087), "F24");
    EXPECT_EQ(ShortCutToText(0x0065), "5");  // number pad
    EXPECT_EQ(ShortCutToText(0x0028), "Down");
}

TEST_F(ShortCuts, ShortCutsOfTexts) {
    EXPECT_EQ(TextToShortCut("Ctrl+C"), 0x4043);
    EXPECT_EQ(TextToShortCut("ctrl+c"), 0x4043);
    EXPECT_EQ(TextToShortCut("^C"), 0x4043);
    EXPECT_EQ(TextToShortCut("Alt+Shift+F2"), 0xA071);
    EXPECT_EQ(TextToShortCut("Ctrl+"), 0);
    EXPECT_EQ(TextToShortCut("F25"), 0);
    EXPECT_EQ(TextToShortCut("Space"), 0x20);
    EXPECT_EQ(TextToShortCut("7"), 0x37);  // the main keyboard's code, not the number pad's
    EXPECT_EQ(TextToShortCut("#277"), 277);
}

TEST_F(ShortCuts, DefaultKeysAreFilledOnceFromTheTable) {
    EXPECT_EQ(DefaultKeys()[dkRename].ShortCut, 0);  // nothing until first needed
    InitDefaultKeys();
    EXPECT_EQ(DefaultKeys()[dkSelectAll].ShortCut, 0x4041);
    EXPECT_EQ(DefaultKeys()[dkDelete].ShortCut, 0x2E);
    EXPECT_EQ(DefaultKeys()[dkRefresh].ShortCut, 0x74);
    EXPECT_EQ(DefaultKeys()[dkRename].ShortCut, 0x71);
    DefaultKeys()[dkCopy].Text = "Ctrl+Insert";
    InitDefaultKeys();  // filled once: no second pass
    EXPECT_EQ(DefaultKeys()[dkCopy].ShortCut, 0x4043);
}

TEST_F(ShortCuts, ATranslatedTextThatDoesNotParseLeavesItsKeyUnset) {
    SetStr(sKwRenameShortCut, "Umbenennen");
    InitDefaultKeys();
    EXPECT_EQ(DefaultKeys()[dkRename].Text, "Umbenennen");
    EXPECT_EQ(DefaultKeys()[dkRename].ShortCut, 0);
    EXPECT_EQ(DefaultKeys()[dkRefresh].ShortCut, 0x74);
}

TEST_F(ShortCuts, TheStringTable) {
    EXPECT_EQ(LoadStr(sKwCannotCreateFolder), "Unable to create the folder '%2'\n\n%1");
    EXPECT_EQ(LoadStr(sKwBrowseForFolder), "Browse for Folder");
    EXPECT_EQ(LoadStr(sKwCancel), "Cancel");
    EXPECT_EQ(LoadStr(1), "");
}

TEST_F(ShortCuts, CopyFormatEtcCopiesTheRecordWithoutADevice) {
    platform::shell::FORMATETC f;
    f.cfFormat = 15;
    f.lindex = 3;
    auto* copy = CopyFormatEtc(f);
    EXPECT_EQ(copy->cfFormat, 15);
    EXPECT_EQ(copy->lindex, 3);
    EXPECT_EQ(copy->ptd, nullptr);
    FreeFormatEtc(copy);
}

}  // namespace
}  // namespace shellctl
