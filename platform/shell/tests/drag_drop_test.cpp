// The in-process drag loop and the folder drop target, driven by scripted pointer steps over
// real temporary folders.
#include <algorithm>
#include <cstdlib>
#include <deque>
#include <filesystem>

#include "platform/forms/interaction.h"
#include "platform/shell/file_ops.h"
#include "platform/shell/ole.h"
#include "platform/shell/tests/shell_test_support.h"
#include "platform/window/window.h"

namespace platform::shell {
namespace {

using testing::ShellTest;

// Carries paths as CF_HDROP.
class PathsData final : public com::ComObject<IDataObject> {
  public:
    explicit PathsData(std::vector<std::string> paths) : paths_(std::move(paths)) {}
    HRESULT GetData(const FORMATETC& f, STGMEDIUM& out) override {
        if (f.cfFormat != CF_HDROP) return DV_E_FORMATETC;
        std::vector<std::uint8_t> b(20, 0);
        b[0] = 20;
        for (const auto& p : paths_) {
            b.insert(b.end(), p.begin(), p.end());
            b.push_back(0);
        }
        b.push_back(0);
        out.tymed = TYMED_HGLOBAL;
        out.hGlobal = std::make_shared<std::vector<std::uint8_t>>(std::move(b));
        return com::S_OK;
    }
    HRESULT GetDataHere(const FORMATETC&, STGMEDIUM&) override { return com::E_NOTIMPL; }
    HRESULT QueryGetData(const FORMATETC& f) override {
        return f.cfFormat == CF_HDROP ? com::S_OK : DV_E_FORMATETC;
    }
    HRESULT GetCanonicalFormatEtc(const FORMATETC&, FORMATETC&) override { return com::E_NOTIMPL; }
    HRESULT SetData(const FORMATETC&, STGMEDIUM&, bool) override { return com::E_NOTIMPL; }
    HRESULT EnumFormatEtc(std::uint32_t, IEnumFORMATETC** out) override {
        *out = nullptr;
        return com::E_NOTIMPL;
    }

  private:
    std::vector<std::string> paths_;
};

// Drops when every button is up, cancels on Escape.
class ButtonSource final : public com::ComObject<IDropSource> {
  public:
    HRESULT QueryContinueDrag(bool escape, std::uint32_t keys) override {
        if (escape) return DRAGDROP_S_CANCEL;
        return (keys & (MK_LBUTTON | MK_RBUTTON)) ? com::S_OK : DRAGDROP_S_DROP;
    }
    HRESULT GiveFeedback(std::uint32_t) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
};

// Accepts a copy only while the right button is held, and records its calls.
class RightButtonTarget final : public com::ComObject<IDropTarget> {
  public:
    std::vector<std::string> calls;
    HRESULT DragEnter(IDataObject*, std::uint32_t keys, POINTL, std::uint32_t* effect) override {
        calls.push_back("enter");
        *effect = (keys & MK_RBUTTON) ? DROPEFFECT_COPY : DROPEFFECT_NONE;
        return com::S_OK;
    }
    HRESULT DragOver(std::uint32_t keys, POINTL, std::uint32_t* effect) override {
        calls.push_back("over");
        *effect = (keys & MK_RBUTTON) ? DROPEFFECT_COPY : DROPEFFECT_NONE;
        return com::S_OK;
    }
    HRESULT DragLeave() override {
        calls.push_back("leave");
        return com::S_OK;
    }
    HRESULT Drop(IDataObject*, std::uint32_t, POINTL, std::uint32_t* effect) override {
        calls.push_back("drop");
        *effect = DROPEFFECT_COPY;
        return com::S_OK;
    }
};

struct DragLoop : ShellTest {
    void SetUp() override {
        ShellTest::SetUp();
        window_ = window::create_window("TDragTestWindow", 0,
                                        [](window::Handle, std::uint32_t, window::WParam,
                                           window::LParam) -> window::Result { return 0; });
    }
    void TearDown() override {
        set_drag_input(nullptr);
        revoke_drag_drop(window_);
        window::destroy_window(window_);
        ShellTest::TearDown();
    }
    void script(std::deque<DragStep> steps) {
        set_drag_input([steps = std::move(steps)]() mutable -> std::optional<DragStep> {
            if (steps.empty()) return std::nullopt;
            DragStep s = steps.front();
            steps.pop_front();
            return s;
        });
    }
    HRESULT drag(const std::vector<std::string>& paths, std::uint32_t allowed, std::uint32_t& effect) {
        auto data = com::ComPtr<IDataObject>::adopt(new PathsData(paths));
        auto source = com::ComPtr<IDropSource>::adopt(new ButtonSource);
        return do_drag_drop(data.get(), source.get(), allowed, &effect);
    }
    window::Handle window_ = 0;
};

TEST_F(DragLoop, ReleaseDropsWithTheEffectGivenWhileTheButtonWasDown) {
    auto target = com::ComPtr<IDropTarget>::adopt(new RightButtonTarget);
    auto* recorder = static_cast<RightButtonTarget*>(target.get());
    ASSERT_EQ(register_drag_drop(window_, target.get()), com::S_OK);
    script({{window_, {5, 5}, MK_RBUTTON}, {window_, {6, 6}, MK_RBUTTON}, {window_, {6, 6}, 0}});
    std::uint32_t effect = 0;
    EXPECT_EQ(drag({at("x")}, DROPEFFECT_COPY | DROPEFFECT_MOVE, effect), DRAGDROP_S_DROP);
    EXPECT_EQ(effect, DROPEFFECT_COPY);
    // The release is no move: the target is not asked again with the buttons up.
    EXPECT_EQ(recorder->calls, (std::vector<std::string>{"enter", "over", "drop"}));
}

TEST_F(DragLoop, EscapeAndAnEndedScriptCancel) {
    auto target = make_folder_drop_target(root_);
    ASSERT_EQ(register_drag_drop(window_, target.get()), com::S_OK);
    make_file("a.txt", "1");
    std::uint32_t effect = 7;
    script({{window_, {1, 1}, MK_LBUTTON}, {window_, {1, 1}, MK_LBUTTON, true}});
    EXPECT_EQ(drag({at("a.txt")}, DROPEFFECT_COPY, effect), DRAGDROP_S_CANCEL);
    EXPECT_EQ(effect, DROPEFFECT_NONE);
    script({{window_, {1, 1}, MK_LBUTTON}});
    EXPECT_EQ(drag({at("a.txt")}, DROPEFFECT_COPY, effect), DRAGDROP_S_CANCEL);
}

TEST_F(DragLoop, DropIntoAFolderThatHasTheNameAsksAndNoLeavesTheItemWhereItIs) {
    make_dir("src");
    make_dir("dst");
    make_file("src/a.txt", "new");
    make_file("dst/a.txt", "old");
    make_file("src/b.txt", "b");
    auto target = make_folder_drop_target(at("dst"));
    ASSERT_EQ(register_drag_drop(window_, target.get()), com::S_OK);
    forms::ScriptedInteraction boxes;
    boxes.answer_next_box(forms::mr_no);
    script({{window_, {1, 1}, MK_LBUTTON | MK_SHIFT}, {window_, {1, 1}, MK_SHIFT}});
    std::uint32_t effect = 0;
    ASSERT_EQ(drag({at("src/a.txt"), at("src/b.txt")}, DROPEFFECT_COPY | DROPEFFECT_MOVE, effect),
              DRAGDROP_S_DROP);
    EXPECT_EQ(effect, DROPEFFECT_MOVE);
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].request.type, forms::DialogType::confirmation);
    EXPECT_NE(boxes.boxes()[0].request.text.find("'a.txt' is already in"), std::string::npos);
    EXPECT_NE(boxes.boxes()[0].request.text.find("'a (2).txt'"), std::string::npos);
    // Nothing replaced, nothing lost: the clash stays where it was, the other item moved.
    EXPECT_EQ(read_file(at("src/a.txt")), "new");
    EXPECT_EQ(read_file(at("dst/a.txt")), "old");
    EXPECT_EQ(read_file(at("dst/b.txt")), "b");
    EXPECT_FALSE(std::filesystem::exists(at("src/b.txt")));
}

TEST_F(DragLoop, DropIntoAFolderThatHasTheNameKeepsBothWhenAskedSo) {
    make_dir("src");
    make_dir("dst");
    make_file("src/a.txt", "new");
    make_file("dst/a.txt", "old");
    auto target = make_folder_drop_target(at("dst"));
    ASSERT_EQ(register_drag_drop(window_, target.get()), com::S_OK);
    forms::ScriptedInteraction boxes;
    boxes.answer_next_box(forms::mr_yes);
    script({{window_, {1, 1}, MK_LBUTTON | MK_CONTROL}, {window_, {1, 1}, MK_CONTROL}});
    std::uint32_t effect = 0;
    ASSERT_EQ(drag({at("src/a.txt")}, DROPEFFECT_COPY | DROPEFFECT_MOVE, effect), DRAGDROP_S_DROP);
    EXPECT_EQ(effect, DROPEFFECT_COPY);
    EXPECT_EQ(read_file(at("dst/a.txt")), "old");
    EXPECT_EQ(read_file(at("dst/a (2).txt")), "new");
    EXPECT_EQ(read_file(at("src/a.txt")), "new");
}

TEST_F(DragLoop, MovingItemsIntoTheFolderTheyAreInIsRefused) {
    make_dir("here");
    make_file("here/a.txt", "1");
    auto target = make_folder_drop_target(at("here"));
    ASSERT_EQ(register_drag_drop(window_, target.get()), com::S_OK);
    forms::ScriptedInteraction boxes;
    script({{window_, {1, 1}, MK_LBUTTON}, {window_, {1, 1}, 0}});
    std::uint32_t effect = 0;
    EXPECT_EQ(drag({at("here/a.txt")}, DROPEFFECT_COPY | DROPEFFECT_MOVE, effect), DRAGDROP_S_CANCEL);
    EXPECT_TRUE(boxes.boxes().empty());
    EXPECT_EQ(read_file(at("here/a.txt")), "1");
    EXPECT_FALSE(std::filesystem::exists(at("here/a.txt (2)")));
}

TEST_F(ShellTest, AFolderRefusesADragOfTheRootOrOfAFolderAboveIt) {
    make_dir("target/inner");
    auto target = make_folder_drop_target(at("target/inner"));
    for (const std::string& dragged :
         {std::string("/"), std::string("//"), at("target/"), at("target/inner")}) {
        auto data = com::ComPtr<IDataObject>::adopt(new PathsData({dragged}));
        for (const std::uint32_t keys :
             {MK_LBUTTON | MK_CONTROL, MK_LBUTTON | MK_SHIFT, MK_LBUTTON | MK_ALT}) {
            std::uint32_t effect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
            ASSERT_EQ(target->DragEnter(data.get(), keys, {}, &effect), com::S_OK);
            EXPECT_EQ(effect, DROPEFFECT_NONE) << dragged << " " << keys;
            target->DragLeave();
        }
    }
    EXPECT_TRUE(std::filesystem::is_empty(at("target/inner")));
}

TEST_F(DragLoop, ResettingForgetsTargetsInputAndClipboardButKeepsFormats) {
    auto target = com::ComPtr<IDropTarget>::adopt(new RightButtonTarget);
    ASSERT_EQ(register_drag_drop(window_, target.get()), com::S_OK);
    script({{window_, {1, 1}, MK_RBUTTON}});
    shell_clipboard().set({at("x")}, DROPEFFECT_MOVE);
    const std::uint16_t format = register_clipboard_format("Zor Test Format");
    reset_ole_state_for_tests();
    EXPECT_FALSE(drop_target_of(window_));
    EXPECT_TRUE(shell_clipboard().empty());
    std::uint32_t effect = 0;
    EXPECT_EQ(drag({at("x")}, DROPEFFECT_COPY, effect), DRAGDROP_S_CANCEL)
        << "no input: the drag ends at once";
    EXPECT_EQ(register_clipboard_format("zor test format"), format);
    EXPECT_EQ(register_drag_drop(window_, target.get()), com::S_OK);
}

}  // namespace
}  // namespace platform::shell

namespace platform::shell {
namespace {

// A drag runner (a real screen) runs the drags; a scripted drag input still takes precedence.
TEST_F(DragLoop, ARunnerRunsTheDragUnlessADragInputIsInstalled) {
    std::vector<std::string> seen;
    DragRunner previous =
        set_drag_runner([&](IDataObject* data, IDropSource*, std::uint32_t allowed, std::uint32_t* effect) {
            seen = paths_of_data_object(data);
            *effect = allowed & DROPEFFECT_MOVE;
            return DRAGDROP_S_DROP;
        });
    std::uint32_t effect = 0;
    EXPECT_EQ(drag({at("a.txt")}, DROPEFFECT_COPY | DROPEFFECT_MOVE, effect), DRAGDROP_S_DROP);
    EXPECT_EQ(effect, DROPEFFECT_MOVE);
    EXPECT_EQ(seen, std::vector<std::string>{at("a.txt")});
    seen.clear();
    script({});
    EXPECT_EQ(drag({at("b.txt")}, DROPEFFECT_COPY, effect), DRAGDROP_S_CANCEL);
    EXPECT_TRUE(seen.empty());
    set_drag_runner(std::move(previous));
}

// What another program drops arrives as blocks: the paths as CF_HDROP, a format of ours by name.
TEST_F(ShellTest, ABlockDataObjectOffersItsBlocksAndItsPaths) {
    const std::uint16_t ours = register_clipboard_format("Zor Test Format");
    EXPECT_EQ(clipboard_format_name(ours), "zor test format");
    EXPECT_EQ(clipboard_format_name(0xBFFF), "");
    auto block = global_alloc(3);
    (*block)[1] = 7;
    auto data = make_block_data_object({{ours, block}, {CF_HDROP, make_hdrop({at("a b.txt"), at("c")})}});
    EXPECT_EQ(formats_of_data_object(data.get()), (std::vector<std::uint16_t>{ours, CF_HDROP}));
    EXPECT_EQ(*block_of_data_object(data.get(), ours), (std::vector<std::uint8_t>{0, 7, 0}));
    EXPECT_FALSE(block_of_data_object(data.get(), 1));
    EXPECT_EQ(paths_of_data_object(data.get()), (std::vector<std::string>{at("a b.txt"), at("c")}));
    // A folder drop target takes the files of such a drop.
    make_dir("into");
    make_file("a b.txt", "1");
    auto target = make_folder_drop_target(at("into"));
    std::uint32_t effect = DROPEFFECT_COPY;
    ASSERT_EQ(target->DragEnter(data.get(), MK_CONTROL, {}, &effect), com::S_OK);
    effect = DROPEFFECT_COPY;
    target->DragOver(MK_CONTROL, {}, &effect);
    auto one = make_block_data_object({{CF_HDROP, make_hdrop({at("a b.txt")})}});
    effect = DROPEFFECT_COPY;
    EXPECT_EQ(target->Drop(one.get(), MK_CONTROL, {}, &effect), com::S_OK);
    EXPECT_TRUE(std::filesystem::exists(at("into/a b.txt")));
    EXPECT_TRUE(std::filesystem::exists(at("a b.txt")));
}

// Once every number from 0xC000 up is taken, a new name gets none rather than a standard
// format's number (in a child process: the names registered stay for the program's life).
TEST(ClipboardFormats, ANameFindsNoNumberOnceAllAreTaken) {
    EXPECT_EXIT(
        {
            std::uint16_t last = 0;
            for (int i = 0; i < 0x4000; ++i)
                last = std::max(last, register_clipboard_format("filler " + std::to_string(i)));
            const bool refused = last == 0xFFFF && register_clipboard_format("one too many") == 0 &&
                                 register_clipboard_format("two too many") == 0 &&
                                 register_clipboard_format("filler 7") != 0;
            std::exit(refused ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace platform::shell
