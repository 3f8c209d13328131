// The shell tree on real temporary folder trees, used as a person uses it: filling, expanding,
// selecting, refresh after changes by another process, rename in place, new folders, delete to
// the trash, the context menu with Send To, drag and drop through the in-process loop.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/forms/canvas.h"
#include "platform/forms/form.h"
#include "platform/forms/interaction.h"
#include "platform/forms/keys.h"
#include "platform/shell/file_ops.h"
#include "platform/shell/mounts.h"
#include "platform/window/window.h"
#include "shellctl/kw_draw.h"
#include "shellctl/kw_sh_consts.h"
#include "shellctl/kw_shell_tree.h"
#include "shellctl/tests/shellctl_test_support.h"

namespace shellctl {
namespace {

namespace forms = platform::forms;
namespace shell = platform::shell;
namespace com = platform::com;
namespace win = platform::window;
namespace fs = std::filesystem;
using Node = forms::TreeNode;
using testing::TempTree;

constexpr TKwShellTreeOptions opts(std::initializer_list<TKwShellTreeOption> list) {
    TKwShellTreeOptions o = 0;
    for (auto x : list) o |= option_bit(x);
    return o;
}

std::vector<std::string> texts(const Node* node) {
    std::vector<std::string> out;
    for (const auto& c : node->children()) out.push_back(c->Text);
    return out;
}

Node* child_named(const Node* node, const std::string& text) {
    if (!node) return nullptr;
    for (const auto& c : node->children())
        if (c->Text == text) return c.get();
    return nullptr;
}

// Runs a change in another process, as another program would make it.
void in_another_process(const std::function<void()>& change) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        change();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
}

// Runs the message loop until `done` holds; a generous bound, so a loaded machine passes.
bool loop_until(const std::function<bool()>& done) {
    return win::run_nested_loop_for(done, 20000);
}

class ShellTree : public TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        boxes_ = std::make_unique<forms::ScriptedInteraction>();
        saved_sleep_ = SetSleepFunction([this](unsigned ms) { slept_.push_back(ms); });
        form_ = forms::make_form<forms::Form>();
        make_dir("base");
    }
    void TearDown() override {
        if (form_) form_.reset();
        SetSleepFunction(saved_sleep_);
        SetMenuTracker({});
        shell::set_drag_input({});
        boxes_.reset();
        TempTree::TearDown();
    }
    // A tree on the form rooted at `base` (relative to the temp folder), filled.
    TKwShellTree& tree_at(const std::string& base, TKwShellTreeOptions options) {
        tree_ = form_->add<TKwShellTree>("tree");
        tree_->SetBounds(0, 0, 300, 400);
        tree_->SetOptions(options);
        TKwShellLocator where;
        where.SetPath(at(base));
        EXPECT_EQ(where.Path(), at(base));
        tree_->SetBaseFolder(where);
        if (tree_->roots().empty()) tree_->FillRoot();
        return *tree_;
    }
    Node* root() const { return tree_->roots().empty() ? nullptr : tree_->roots().front().get(); }
    // The node at a path of texts below the root, expanded as a person opens it.
    Node* open(const std::vector<std::string>& names) {
        Node* node = root();
        for (const auto& n : names) {
            tree_->expand(node);
            node = child_named(node, n);
            if (!node) return nullptr;
        }
        tree_->expand(node);
        return node;
    }
    forms::Point point_of(Node* node) const {
        const auto r = tree_->NodeRect(node);
        return {r.left + 40, (r.top + r.bottom) / 2};
    }
    std::unique_ptr<forms::ScriptedInteraction> boxes_;
    forms::FormPtr<forms::Form> form_;
    TKwShellTree* tree_ = nullptr;
    std::vector<unsigned> slept_;
    SleepFunction saved_sleep_;
};

// ---- filling -------------------------------------------------------------------------------------------

TEST_F(ShellTree, FillShowsFoldersInTheirOrderAndHiddenOnesOnlyWhenAsked) {
    make_dir("base/Beta");
    make_dir("base/alpha/inner");
    make_dir("base/.dot");
    make_file("base/f.txt");
    auto& tree = tree_at("base", opts({kwstoAutoFill}));
    ASSERT_NE(root(), nullptr);
    EXPECT_EQ(root()->Text, "base");
    EXPECT_TRUE(root()->Expanded);
    EXPECT_EQ(texts(root()), (std::vector<std::string>{"alpha", "Beta"}));
    EXPECT_TRUE(child_named(root(), "alpha")->HasChildren);
    EXPECT_FALSE(child_named(root(), "Beta")->HasChildren);
    EXPECT_EQ(tree.Selected, root());

    tree.SetOptions(opts({kwstoAutoFill, kwstoShowHidden, kwstoIncludeNonFolders}));
    tree.FillRoot();
    EXPECT_EQ(texts(root()), (std::vector<std::string>{".dot", "alpha", "Beta", "f.txt"}));
    EXPECT_TRUE(child_named(root(), ".dot")->Cut) << "hidden items are drawn dimmed";
    EXPECT_TRUE(child_named(root(), "Beta")->HasChildren) << "with files shown, every folder can be opened";
    EXPECT_FALSE(child_named(root(), "f.txt")->HasChildren);
}

TEST_F(ShellTree, AFolderOfManyFilesHasAButtonOnlyWhenItMayHaveSubFolders) {
    make_dir("base/files");
    for (int i = 0; i < 5000; ++i) make_file("base/files/f" + std::to_string(i), "");
    // Links each need a look of their own: past the limit the scan cannot finish, so the button
    // is shown and opening the folder finds out.
    make_dir("base/links");
    for (int i = 0; i < 4200; ++i) ::symlink("nowhere", at("base/links/l" + std::to_string(i)).c_str());
    tree_at("base", opts({kwstoAutoFill}));
    EXPECT_FALSE(child_named(root(), "files")->HasChildren);
    Node* links = child_named(root(), "links");
    EXPECT_TRUE(links->HasChildren);
    tree_->expand(links);
    EXPECT_EQ(links->count(), 0);
    EXPECT_FALSE(links->HasChildren);
}

TEST_F(ShellTree, ATreePlacedOnAFormFillsItselfOnceTheMessagesRun) {
    tree_ = form_->add<TKwShellTree>("tree");
    EXPECT_TRUE(tree_->Has(kwstoAutoFill));
    EXPECT_TRUE(tree_->roots().empty());
    ASSERT_TRUE(loop_until([&] { return !tree_->roots().empty(); }));
    EXPECT_EQ(root()->Text, "Desktop");
    EXPECT_EQ(texts(root()), (std::vector<std::string>{"Home", "Computer"}));
    auto* other = form_->add<TKwShellTree>("other");
    other->SetOptions(0);
    win::run_nested_loop_for([] { return false; }, 20);
    EXPECT_TRUE(other->roots().empty()) << "without auto-fill nothing fills it";
}

TEST_F(ShellTree, AnAddItemHandlerCanKeepItemsOut) {
    make_dir("base/keep");
    make_dir("base/skip");
    tree_ = form_->add<TKwShellTree>("tree");
    tree_->SetOptions(opts({kwstoAutoFill}));
    tree_->OnAddItem = [](forms::Component&, const FolderPtr&, PCIDL, PCIDL item, std::uint32_t attributes,
                          bool& allow) {
        EXPECT_TRUE(attributes & shell::SFGAO_FOLDER);
        allow = shell::decode(item)->front().payload != "skip";
    };
    TKwShellLocator where;
    where.SetPath(at("base"));
    tree_->SetBaseFolder(where);
    EXPECT_EQ(texts(root()), std::vector<std::string>{"keep"});
}

TEST_F(ShellTree, NodesFillWhenAPersonExpandsThem) {
    make_dir("base/a/b/c");
    auto& tree = tree_at("base", opts({kwstoAutoFill}));
    int starts = 0, completes = 0;
    tree.OnFillStart = [&](forms::Component&) { ++starts; };
    tree.OnFillComplete = [&](forms::Component&) { ++completes; };
    Node* a = child_named(root(), "a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->count(), 0);
    tree.expand(a);
    EXPECT_TRUE(a->Expanded);
    EXPECT_EQ(texts(a), std::vector<std::string>{"b"});
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(completes, 1);
    tree.collapse(a);
    tree.expand(a);
    EXPECT_EQ(starts, 1) << "a filled node is not filled again";
    EXPECT_TRUE(child_named(a, "b")->HasChildren);
}

TEST_F(ShellTree, AFolderThatVanishedBeforeItWasOpenedLosesItsButtonAndTheFillStillCompletes) {
    make_dir("base/gone/inner");
    auto& tree = tree_at("base", opts({kwstoAutoFill}));
    int starts = 0, completes = 0;
    tree.OnFillStart = [&](forms::Component&) { ++starts; };
    tree.OnFillComplete = [&](forms::Component&) { ++completes; };
    Node* gone = child_named(root(), "gone");
    ASSERT_TRUE(gone->HasChildren);
    fs::remove_all(at("base/gone"));
    tree.expand(gone);
    EXPECT_EQ(gone->count(), 0);
    EXPECT_FALSE(gone->HasChildren);
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(completes, 1);
}

TEST_F(ShellTree, AReadingThatFailsOtherwiseThanQuietlyIsRaised) {
    make_dir("base/a/x");
    make_dir("base/a/y");
    auto& tree = tree_at("base", opts({kwstoAutoFill}));
    Node* a = child_named(root(), "a");
    ASSERT_NE(a, nullptr);
    const FolderPtr real = tree.NodeData(a)->OwnFolder();
    ASSERT_TRUE(real);
    const HRESULT out_of_memory = static_cast<HRESULT>(0x8007000E);
    try {
        tree.PopulateNode(std::make_shared<testing::BrokenFolder>(real, out_of_memory), a);
        ADD_FAILURE() << "no error raised";
    } catch (const EOleSysError& e) {
        EXPECT_EQ(e.ErrorCode, out_of_memory);
    }
    // A reading that breaks off with E_FAIL keeps what it read and says nothing.
    while (a->count()) tree.EraseNode(a->item(0));
    EXPECT_NO_THROW(tree.PopulateNode(std::make_shared<testing::BrokenFolder>(real, com::E_FAIL), a));
    EXPECT_EQ(texts(a), (std::vector<std::string>{"x", "y"}));
    EXPECT_TRUE(boxes_->boxes().empty());
}

TEST_F(ShellTree, UnreadableFoldersAreShownButNotEntered) {
    make_dir("base/closed/inside");
    ::chmod(at("base/closed").c_str(), 0);
    const bool root_user = ::geteuid() == 0;
    auto& tree = tree_at("base", opts({kwstoAutoFill}));
    Node* closed = child_named(root(), "closed");
    ASSERT_NE(closed, nullptr);
    if (!root_user) {
        EXPECT_FALSE(closed->HasChildren);
        tree.expand(closed);
        EXPECT_EQ(closed->count(), 0);
    }
    ::chmod(at("base/closed").c_str(), 0755);
}

TEST_F(ShellTree, NamesWithSpacesUtf8AndInvalidBytesShowWithoutHarm) {
    make_dir("base/two words");
    make_dir("base/d\xC3\xA9j\xC3\xA0");
    make_dir("base/bad\xFFname");
    auto& tree = tree_at("base", opts({kwstoAutoFill}));
    EXPECT_NE(child_named(root(), "two words"), nullptr);
    EXPECT_NE(child_named(root(), "d\xC3\xA9j\xC3\xA0"), nullptr);
    Node* bad = child_named(root(), "bad\xEF\xBF\xBDname");
    ASSERT_NE(bad, nullptr) << "an invalid byte shows as U+FFFD";
    tree.ClickNode(bad);
    EXPECT_EQ(tree.SelectedPath(), at("base/bad\xFFname")) << "the path keeps the real bytes";
}

// ---- selection -----------------------------------------------------------------------------------------

TEST_F(ShellTree, SelectingADeepFolderAddsAndExpandsTheNodesOnTheWay) {
    make_dir("base/a/b/c/d");
    auto& tree = tree_at("base", opts({kwstoAutoFill}));
    const int before = tree.count();
    tree.SelectionLocator().SetPath(at("base/a/b/c/d"));
    ASSERT_NE(tree.Selected, nullptr);
    EXPECT_EQ(tree.Selected->Text, "d");
    EXPECT_EQ(tree.SelectedPath(), at("base/a/b/c/d"));
    EXPECT_TRUE(child_named(root(), "a")->Expanded);
    EXPECT_EQ(tree.count(), before + 3);
    EXPECT_GE(tree.NodeRect(tree.Selected).top, 0) << "the selection is scrolled into view";
}

TEST_F(ShellTree, AFolderOutsideTheBaseOrAboveItSelectsTheRootAndAddsNothing) {
    make_dir("base/a");
    make_dir("other/x/y");
    auto& tree = tree_at("base", opts({kwstoAutoFill}));
    const int before = tree.count();
    tree.SelectionLocator().SetPath(at("other/x/y"));
    EXPECT_EQ(tree.Selected, root());
    EXPECT_EQ(tree.count(), before) << "nothing of the unrelated folder is walked into the tree";
    tree.SelectionLocator().SetPath(root_);
    EXPECT_EQ(tree.Selected, root());
}

TEST_F(ShellTree, AFilteredLevelStopsTheWalkAtTheDeepestNodeReached) {
    make_dir("base/a/hidden/x");
    tree_ = form_->add<TKwShellTree>("tree");
    tree_->SetOptions(opts({kwstoAutoFill}));
    tree_->OnAddItem = [](forms::Component&, const FolderPtr&, PCIDL, PCIDL item, std::uint32_t,
                          bool& allow) { allow = shell::decode(item)->front().payload != "hidden"; };
    TKwShellLocator where;
    where.SetPath(at("base"));
    tree_->SetBaseFolder(where);
    const int beeps = BeepCount();
    tree_->SelectionLocator().SetPath(at("base/a/hidden/x"));
    ASSERT_NE(tree_->Selected, nullptr);
    EXPECT_EQ(tree_->Selected->Text, "a");
    EXPECT_EQ(BeepCount(), beeps + 1);
}

TEST_F(ShellTree, AClickUpdatesTheLocatorAtOnce) {
    make_dir("base/a");
    make_dir("base/b");
    auto& tree = tree_at("base", opts({kwstoAutoFill}));
    std::vector<std::string> seen;
    tree.OnChange = [&](forms::Component&, Node* node) { seen.push_back(node->Text); };
    tree.ClickNode(child_named(root(), "b"));
    EXPECT_EQ(tree.SelectionLocator().Path(), at("base/b"));
    EXPECT_EQ(seen, std::vector<std::string>{"b"});
    tree.GoUp(5);
    EXPECT_EQ(tree.Selected, root());
    EXPECT_EQ(tree.SelectionLocator().Path(), at("base"));
}

TEST_F(ShellTree, AnAttachedListShowsTheTreesFolderAndMovesTheTree) {
    make_dir("base/a/x/inner");
    make_dir("base/b");
    auto& tree = tree_at("base", opts({kwstoAutoFill}));
    auto* list = form_->add<TKwShellList>("list");
    list->SetBounds(0, 0, 300, 200);
    tree.SetShellList(list);
    EXPECT_EQ(list->Tree(), &tree);
    EXPECT_EQ(list->Locator().Path(), at("base"));

    tree.select(child_named(root(), "a"));  // an arrow key: the list follows a moment later
    EXPECT_TRUE(tree.RefreshTimer().enabled());
    EXPECT_EQ(tree.RefreshTimer().Tag, 1);
    EXPECT_EQ(tree.RefreshTimer().interval(), kwDeferredSelectionDelay);
    EXPECT_EQ(list->Locator().Path(), at("base"));
    tree.TimerFired();
    EXPECT_EQ(tree.SelectionLocator().Path(), at("base/a"));
    EXPECT_EQ(list->Locator().Path(), at("base/a"));
    tree.ClickNode(child_named(root(), "b"));  // a click: at once
    EXPECT_FALSE(tree.RefreshTimer().enabled());
    EXPECT_EQ(list->Locator().Path(), at("base/b"));

    // The list's own navigation moves the tree: up, and into a folder further down.
    list->ListGoUp(1);
    EXPECT_EQ(tree.Selected, root());
    EXPECT_EQ(list->Locator().Path(), at("base"));
    PIDL x = nullptr;
    ASSERT_EQ(PathToIdList(at("base/a/x"), x), com::S_OK);
    list->BrowseTo(x);
    ShellFree(x);
    ASSERT_NE(tree.Selected, nullptr);
    EXPECT_EQ(tree.SelectedPath(), at("base/a/x"));
    EXPECT_EQ(list->Locator().Path(), at("base/a/x"));
    // The folder the list opened shows with its own level open; the one above stays so.
    EXPECT_TRUE(tree.Selected->Expanded);
    EXPECT_EQ(texts(tree.Selected), std::vector<std::string>{"inner"});

    // The list going first leaves the tree without it.
    form_->remove(list);
    EXPECT_EQ(tree.ShellList(), nullptr);
    tree.ClickNode(root());
    EXPECT_EQ(tree.SelectionLocator().Path(), at("base"));
}

// ---- refresh and watching ---------------------------------------------------------------------------------

TEST_F(ShellTree, ChangesByAnotherProcessShowAfterTheDebounce) {
    make_dir("base/keep");
    make_dir("base/doomed/inner");
    make_dir("base/old");
    auto& tree = tree_at("base", opts({kwstoAutoFill, kwstoDynamicRefresh}));
    tree.Visible = true;
    form_->Show();
    tree.SetFocus();
    EXPECT_GT(tree.WatchCount(), 0);
    tree.SelectionLocator().SetPath(at("base/doomed/inner"));
    ASSERT_EQ(tree.Selected->Text, "inner");
    const std::string made = at("base/made"), doomed_inner = at("base/doomed/inner"),
                      doomed = at("base/doomed");
    const std::string old_name = at("base/old"), new_name = at("base/renamed");
    in_another_process([&] {
        ::mkdir(made.c_str(), 0755);
        ::rmdir(doomed_inner.c_str());
        ::rmdir(doomed.c_str());
        ::rename(old_name.c_str(), new_name.c_str());
    });
    ASSERT_TRUE(loop_until([&] { return child_named(root(), "made") && !child_named(root(), "doomed"); }))
        << "the tree did not follow the changes";
    EXPECT_EQ(texts(root()), (std::vector<std::string>{"keep", "made", "renamed"}));
    EXPECT_EQ(tree.Selected, root()) << "the selection inside the deleted folder moves to its parent";
    EXPECT_EQ(tree.SelectionLocator().Path(), at("base"));
}

TEST_F(ShellTree, AChangeInTheLastOfTwoHundredFilledFoldersShows) {
    // Each filled folder needs a watch of its own: far more than a handful of them must work.
    char name[8];
    for (int i = 0; i < 200; ++i) {
        std::snprintf(name, sizeof name, "d%03d", i);
        make_dir(std::string("base/") + name);
    }
    auto& tree = tree_at("base", opts({kwstoAutoFill, kwstoDynamicRefresh}));
    tree.Visible = true;
    form_->Show();
    tree.SetFocus();
    ASSERT_EQ(root()->count(), 200);
    EXPECT_EQ(tree.WatchCount(), 201) << "the base and its 200 filled (empty) folders";
    const std::string made = at("base/d199/new");
    in_another_process([&] { ::mkdir(made.c_str(), 0755); });
    ASSERT_TRUE(loop_until([&] { return child_named(child_named(root(), "d199"), "new") != nullptr; }))
        << "the tree did not see the new folder in the last filled folder";
}

TEST_F(ShellTree, NotificationsAreDebouncedAndTheTreesOwnChangeIsIgnored) {
    make_dir("base/a");
    auto& tree = tree_at("base", opts({kwstoAutoFill}));
    tree.ChangeNotify();
    tree.ChangeNotify();
    EXPECT_TRUE(tree.RefreshTimer().enabled());
    EXPECT_EQ(tree.RefreshTimer().Tag, 2);
    EXPECT_EQ(tree.RefreshTimer().interval(), kwRefreshDelayUnfocused);
    form_->Show();
    tree.SetFocus();
    tree.ChangeNotify();
    EXPECT_EQ(tree.RefreshTimer().interval(), kwRefreshDelayFocused);
    make_dir("base/b");
    tree.TimerFired();
    EXPECT_FALSE(tree.RefreshTimer().enabled());
    EXPECT_EQ(texts(root()), (std::vector<std::string>{"a", "b"}));

    // The change a rename of our own causes is not refreshed twice.
    ASSERT_TRUE(tree.EditNode(child_named(root(), "a")));
    tree.EditText = "c";
    tree.EndEdit(false);
    EXPECT_TRUE(tree.IgnoreNextNotification());
    tree.ChangeNotify();
    EXPECT_FALSE(tree.RefreshTimer().enabled());
    EXPECT_FALSE(tree.IgnoreNextNotification());
    tree.ChangeNotify();
    EXPECT_TRUE(tree.RefreshTimer().enabled());
}

TEST_F(ShellTree, ARefreshAskedForWhileEditingRunsWhenTheEditorCloses) {
    make_dir("base/a");
    auto& tree = tree_at("base", opts({kwstoAutoFill}));
    ASSERT_TRUE(tree.EditNode(child_named(root(), "a")));
    make_dir("base/b");
    tree.RefreshTree();
    EXPECT_TRUE(tree.PendingRefresh());
    EXPECT_EQ(child_named(root(), "b"), nullptr);
    tree.EndEdit(true);
    EXPECT_FALSE(tree.PendingRefresh());
    EXPECT_NE(child_named(root(), "b"), nullptr);
}

TEST_F(ShellTree, TheWatcherEndsWithItsTree) {
    make_dir("base/a");
    auto& tree = tree_at("base", opts({kwstoAutoFill, kwstoDynamicRefresh}));
    ASSERT_NE(tree.Watcher(), nullptr);
    const int fd = tree.Watcher()->NotifyFd();
    EXPECT_GE(::fcntl(fd, F_GETFD), 0);
    form_->remove(&tree);
    tree_ = nullptr;
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1) << "the watcher's inotify descriptor is closed";
    // Changes after the tree went reach nothing.
    make_dir("base/b");
    win::run_nested_loop_for([] { return false; }, 50);
}

TEST_F(ShellTree, TheDeviceWatchGoesWithTheLastControl) {
    FreeDeviceChangeHandler();
    auto* one = form_->add<TKwShellTree>("one");
    auto* two = form_->add<TKwShellTree>("two");
    EXPECT_TRUE(HasDeviceChangeHandler());
    form_->remove(one);
    EXPECT_TRUE(HasDeviceChangeHandler());
    form_->remove(two);
    EXPECT_FALSE(HasDeviceChangeHandler()) << "nothing of it is left for the program's end";
}

TEST_F(ShellTree, AMountThatComesShowsUnderComputer) {
    make_dir("net");
    auto& tree = tree_at("base", opts({kwstoAutoFill}));
    tree.BaseFolder().Clear();  // the desktop: Home and Computer
    ASSERT_NE(root(), nullptr);
    EXPECT_EQ(texts(root()), (std::vector<std::string>{"Home", "Computer"}));
    Node* computer = open({"Computer"});
    ASSERT_NE(computer, nullptr);
    EXPECT_EQ(texts(computer), std::vector<std::string>{"File System"});
    std::ofstream(at("mountinfo"), std::ios::app)
        << "30 22 0:50 / " << at("net") << " rw - nfs server:/x rw\n";
    tree.DeviceChange(shell::DBT_DEVICEARRIVAL);
    EXPECT_EQ(texts(computer), (std::vector<std::string>{"File System", "net"}));
}

// ---- rename, new folder, delete
// ------------------------------------------------------------------------------

TEST_F(ShellTree, F2RenamesInPlaceAndTheChildrenFollow) {
    make_dir("base/alpha/inner");
    make_dir("base/zeta");
    auto& tree = tree_at("base", opts({kwstoAutoFill, kwstoDefaultKeyHandling}));
    Node* alpha = open({"alpha"});
    Node* inner = child_named(alpha, "inner");
    ASSERT_NE(inner, nullptr);
    tree.ClickNode(alpha);
    tree.key_down(forms::keys::f2);
    ASSERT_TRUE(tree.IsEditing());
    EXPECT_EQ(tree.EditText, "alpha");
    tree.EditText = "  zz top  ";
    tree.key_down(forms::keys::enter);
    EXPECT_FALSE(tree.IsEditing());
    EXPECT_TRUE(fs::is_directory(at("base/zz top/inner")));
    EXPECT_FALSE(fs::exists(at("base/alpha")));
    EXPECT_EQ(alpha->Text, "zz top");
    EXPECT_EQ(texts(root()), (std::vector<std::string>{"zeta", "zz top"})) << "re-sorted";
    EXPECT_EQ(tree.NodeData(inner)->Path(), at("base/zz top/inner"));
    EXPECT_EQ(tree.SelectionLocator().Path(), at("base/zz top"));
}

TEST_F(ShellTree, ARefusedRenameKeepsTheNameAndSaysWhy) {
    make_dir("base/a");
    make_dir("base/b");
    auto& tree = tree_at("base", opts({kwstoAutoFill}));
    Node* a = child_named(root(), "a");
    ASSERT_TRUE(tree.EditNode(a));
    tree.EditText = "b";
    tree.EndEdit(false);
    EXPECT_EQ(a->Text, "a");
    EXPECT_TRUE(fs::exists(at("base/a")));
    ASSERT_EQ(boxes_->boxes().size(), 1u);
    EXPECT_EQ(boxes_->boxes()[0].request.type, forms::DialogType::warning);
    EXPECT_FALSE(tree.IgnoreNextNotification()) << "no change of ours is coming";
    for (const char* bad : {"x/y", "..", ""}) {
        ASSERT_TRUE(tree.EditNode(a));
        tree.EditText = bad;
        tree.EndEdit(false);
        EXPECT_EQ(a->Text, "a") << bad;
    }
}

TEST_F(ShellTree, AnUnchangedEditRenamesNothingAndKeepsEveryByte) {
    const std::vector<std::string> names = {"bad\xFFname", "line\nbreak", "  lead", "trail  ", "tab\tin"};
    for (const auto& n : names) make_dir("base/" + n);
    auto& tree = tree_at("base", opts({kwstoAutoFill, kwstoDefaultKeyHandling}));
    for (const auto& n : names) {
        Node* node = child_named(root(), shell::display_text(n));
        ASSERT_NE(node, nullptr) << n;
        tree.ClickNode(node);
        tree.key_down(forms::keys::f2);
        ASSERT_TRUE(tree.IsEditing()) << n;
        tree.key_down(forms::keys::enter);  // nothing typed
        EXPECT_FALSE(tree.IsEditing());
        EXPECT_TRUE(fs::is_directory(at("base/" + n))) << n;
        EXPECT_FALSE(tree.IgnoreNextNotification()) << "no change is coming";
    }
    std::vector<std::string> on_disk;
    for (const auto& e : fs::directory_iterator(at("base"))) on_disk.push_back(e.path().filename().string());
    std::vector<std::string> expected = names;
    std::sort(on_disk.begin(), on_disk.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(on_disk, expected);
    EXPECT_TRUE(boxes_->boxes().empty());
    // A typed name renames; the blanks the name began with stay, those typed at the end go.
    ASSERT_TRUE(tree.EditNode(child_named(root(), "  lead")));
    EXPECT_EQ(tree.EditText, "  lead");
    tree.EditText = "  leader  ";
    tree.EndEdit(false);
    EXPECT_TRUE(fs::is_directory(at("base/  leader")));
    EXPECT_FALSE(fs::exists(at("base/  lead")));
}

TEST_F(ShellTree, TheHomeFolderAndTheFoldersAboveItCannotBeRenamedOrDeleted) {
    make_dir("base/inner/home/docs");
    ::setenv("HOME", at("base/inner/home").c_str(), 1);  // the fixture puts the real one back
    auto& tree = tree_at("base", opts({kwstoAutoFill, kwstoDefaultKeyHandling}));
    Node* inner = child_named(root(), "inner");
    ASSERT_NE(inner, nullptr);
    Node* home = open({"inner", "home"});
    ASSERT_NE(home, nullptr);
    Node* docs = open({"inner", "home", "docs"});
    ASSERT_NE(docs, nullptr);
    boxes_->set_default_box_answer(forms::mr_yes);
    for (Node* kept : {inner, home}) {
        tree.ClickNode(kept);
        tree.key_down(forms::keys::f2);
        EXPECT_FALSE(tree.IsEditing()) << kept->Text;
        tree.key_down(forms::keys::del);
    }
    EXPECT_TRUE(fs::is_directory(at("base/inner/home/docs")));
    EXPECT_TRUE(boxes_->boxes().empty()) << "nothing was offered, so nothing was asked";
    tree.ClickNode(docs);
    tree.key_down(forms::keys::f2);
    EXPECT_TRUE(tree.IsEditing()) << "below home all is as usual";
}

TEST_F(ShellTree, NothingToRenameAtTheRootOrInAReadOnlyTree) {
    make_dir("base/a");
    auto& tree = tree_at("base", opts({kwstoAutoFill, kwstoDefaultKeyHandling}));
    tree.ClickNode(root());
    tree.key_down(forms::keys::f2);
    EXPECT_FALSE(tree.IsEditing());
    tree.ReadOnly = true;
    EXPECT_FALSE(tree.EditNode(child_named(root(), "a")));
    tree.ReadOnly = false;
    ASSERT_TRUE(tree.EditNode(child_named(root(), "a")));
    tree.key_down(forms::keys::escape);
    EXPECT_FALSE(tree.IsEditing());
    EXPECT_TRUE(fs::exists(at("base/a")));
}

TEST_F(ShellTree, ANewFolderIsMadeBelowTheSelectionAndOpensForRenaming) {
    make_dir("base/a/New Folder");
    auto& tree = tree_at("base", opts({kwstoAutoFill}));
    tree.ClickNode(child_named(root(), "a"));
    ASSERT_TRUE(tree.CreateFolderHere());
    EXPECT_TRUE(fs::is_directory(at("base/a/New Folder (2)")));
    ASSERT_TRUE(tree.IsEditing());
    EXPECT_EQ(tree.EditingNode()->Text, "New Folder (2)");
    EXPECT_EQ(tree.EditText, "New Folder (2)");
    EXPECT_EQ(slept_, std::vector<unsigned>{1000});
    tree.EditText = "Methods";
    tree.EndEdit(false);
    EXPECT_TRUE(fs::is_directory(at("base/a/Methods")));
    EXPECT_EQ(texts(child_named(root(), "a")), (std::vector<std::string>{"Methods", "New Folder"}));
}

TEST_F(ShellTree, NoNewFolderWhereThereIsNoPath) {
    auto& tree = tree_at("base", opts({kwstoAutoFill}));
    tree.BaseFolder().Clear();
    tree.ClickNode(root());  // the desktop
    EXPECT_FALSE(tree.CreateFolderHere());
    EXPECT_FALSE(tree.IgnoreNextNotification());
}

TEST_F(ShellTree, DeleteGoesToTheTrashOnlyWhenThePersonSaysYes) {
    make_dir("base/a/inner");
    make_file("base/a/inner/data.txt", "keep me");
    auto& tree = tree_at("base", opts({kwstoAutoFill, kwstoDefaultKeyHandling}));
    tree.ClickNode(child_named(root(), "a"));
    boxes_->answer_next_box(forms::mr_no);
    tree.key_down(forms::keys::del);
    ASSERT_EQ(boxes_->boxes().size(), 1u);
    EXPECT_EQ(boxes_->boxes()[0].request.type, forms::DialogType::confirmation);
    EXPECT_TRUE(fs::exists(at("base/a/inner/data.txt")));
    EXPECT_NE(child_named(root(), "a"), nullptr);

    boxes_->answer_next_box(forms::mr_yes);
    tree.key_down(forms::keys::del, {.shift = true});  // Shift+Del acts the same
    EXPECT_FALSE(fs::exists(at("base/a")));
    EXPECT_EQ(child_named(root(), "a"), nullptr);
    const std::string trashed = data_home_ + "/Trash/files/a/inner/data.txt";
    ASSERT_TRUE(fs::exists(trashed)) << "the folder is in the trash, whole";
    EXPECT_NE(read_file(data_home_ + "/Trash/info/a.trashinfo").find("Path="), std::string::npos);
    EXPECT_EQ(tree.Selected, root());
}

TEST_F(ShellTree, HomeAndTheRootCannotBeDeleted) {
    auto& tree = tree_at("base", opts({kwstoAutoFill}));
    tree.BaseFolder().Clear();
    Node* home = child_named(root(), "Home");
    ASSERT_NE(home, nullptr);
    EXPECT_FALSE(tree.InvokeNodeVerb(home, "delete"));
    EXPECT_TRUE(fs::is_directory(home_));
    EXPECT_FALSE(tree.InvokeNodeVerb(root(), "delete")) << "the root has no verbs";
    Node* system = open({"Computer", "File System"});
    ASSERT_NE(system, nullptr);
    EXPECT_FALSE(tree.InvokeNodeVerb(system, "delete"));
    for (const auto& b : boxes_->boxes()) EXPECT_NE(b.request.type, forms::DialogType::confirmation);
}

// ---- the context menu
// --------------------------------------------------------------------------------------

// A person at a pop-up menu: records it and picks the item `choose` names.
struct MenuPerson {
    explicit MenuPerson(std::function<int(TKwPopupMenu&, const TKwMenuTracking&)> choose) {
        SetMenuTracker([this, choose](TKwMenuTracking& tracking) {
            ++shown;
            where = tracking.screen_point;
            captions.clear();
            for (const auto& i : tracking.popup.Items) captions.push_back(StripAccelerator(i.Caption));
            return choose(tracking.popup, tracking);
        });
    }
    ~MenuPerson() { SetMenuTracker({}); }
    int shown = 0;
    forms::Point where;
    std::vector<std::string> captions;
};

int id_of(const TKwPopupMenu& menu, const std::string& caption) {
    for (const auto& i : menu.Items)
        if (StripAccelerator(i.Caption) == caption) return i.Id;
    return 0;
}

TEST_F(ShellTree, TheContextMenuRenamesAndDeletes) {
    make_dir("base/a");
    auto& tree = tree_at("base", opts({kwstoAutoFill, kwstoContextMenus}));
    Node* a = child_named(root(), "a");
    std::string pick = "Rename";
    std::vector<std::string> hints;
    tree.OnPopupHint = [&](forms::Component&, const std::string& hint) { hints.push_back(hint); };
    MenuPerson person([&](TKwPopupMenu& menu, const TKwMenuTracking& events) {
        const int id = id_of(menu, pick);
        if (events.select) events.select(id);
        return id;
    });
    tree.RightClick(a, point_of(a));
    EXPECT_EQ(person.shown, 1);
    EXPECT_NE(std::find(person.captions.begin(), person.captions.end(), "Rename"), person.captions.end());
    EXPECT_TRUE(tree.IsEditing());
    EXPECT_EQ(tree.EditingNode(), a);
    EXPECT_FALSE(hints.empty());
    EXPECT_FALSE(tree.Modal());
    tree.EndEdit(true);
    EXPECT_TRUE(tree.MenuHandled()) << "no ordinary menu follows the shell's";
    tree.RightButtonUp();

    pick = "Delete";
    boxes_->answer_next_box(forms::mr_yes);
    tree.RightClick(a, point_of(a));
    EXPECT_FALSE(fs::exists(at("base/a")));
    EXPECT_EQ(child_named(root(), "a"), nullptr);
}

TEST_F(ShellTree, AReadOnlyTreeOffersNoRename) {
    make_dir("base/a");
    auto& tree = tree_at("base", opts({kwstoAutoFill, kwstoContextMenus}));
    tree.ReadOnly = true;
    MenuPerson person([](TKwPopupMenu&, const TKwMenuTracking&) { return 0; });
    Node* a = child_named(root(), "a");
    tree.RightClick(a, point_of(a));
    ASSERT_EQ(person.shown, 1);
    EXPECT_EQ(std::find(person.captions.begin(), person.captions.end(), "Rename"), person.captions.end());
}

TEST_F(ShellTree, SendToCopiesTheFolderToTheChosenEntry) {
    make_dir("base/report/2024");
    make_file("base/report/2024/r.txt", "numbers");
    make_dir("backup");
    fs::create_directories(data_home_ + "/zor/SendTo");
    ::symlink(at("backup").c_str(), (data_home_ + "/zor/SendTo/Backup").c_str());
    auto& tree = tree_at("base", opts({kwstoAutoFill, kwstoContextMenus}));
    Node* report = child_named(root(), "report");
    MenuPerson person([](TKwPopupMenu& menu, const TKwMenuTracking& events) {
        for (auto& item : menu.Items) {
            if (!item.IsSubmenu) continue;
            TKwPopupMenu sub{item.Submenu};
            events.init_popup(sub);  // the Send To submenu opens
            for (const auto& entry : sub.Items)
                if (entry.Caption == "Backup") return entry.Id;
        }
        return 0;
    });
    tree.RightClick(report, point_of(report));
    EXPECT_EQ(person.shown, 1);
    std::ifstream copied(at("backup/report/2024/r.txt"));
    std::string text;
    std::getline(copied, text);
    EXPECT_EQ(text, "numbers");
    EXPECT_TRUE(fs::exists(at("base/report/2024/r.txt"))) << "Send To copies";
}

TEST_F(ShellTree, TheSendToItemsAreOwnerDrawnWithTheirIconsAndTypingChoosesOne) {
    make_dir("base/report");
    make_dir("backup");
    make_dir("box");
    fs::create_directories(data_home_ + "/zor/SendTo");
    ::symlink(at("backup").c_str(), (data_home_ + "/zor/SendTo/Backup").c_str());
    ::symlink(at("box").c_str(), (data_home_ + "/zor/SendTo/Box.folder").c_str());
    make_file("home/.local/share/zor/SendTo/Mail.desktop", "x");
    auto& tree = tree_at("base", opts({kwstoAutoFill, kwstoContextMenus}));
    Node* report = child_named(root(), "report");
    std::vector<TKwMenuItemSize> sizes;
    std::vector<TKwMenuItemDrawing> drawings;
    forms::Canvas canvas;
    std::vector<std::uint32_t> answers;
    MenuPerson person([&](TKwPopupMenu& menu, const TKwMenuTracking& events) {
        for (auto& item : menu.Items) {
            if (!item.IsSubmenu) continue;
            TKwPopupMenu sub{item.Submenu};
            events.init_popup(sub);
            for (auto& entry : sub.Items) {
                TKwMenuItemSize size;
                if (events.measure_item && events.measure_item(entry, canvas, size)) sizes.push_back(size);
                TKwMenuItemDrawing drawing;
                drawing.Rect = {0, 20 * static_cast<int>(drawings.size()), 120,
                                20 * static_cast<int>(drawings.size()) + 20};
                drawing.Selected = entry.Caption == "Box.folder";
                if (events.draw_item && events.draw_item(entry, canvas, drawing)) drawings.push_back(drawing);
            }
            // Typing b with the first entry highlighted: two begin with B, the next one is
            // chosen; m runs the only one.
            sub.Items[0].Hilite = true;
            if (events.menu_char) {
                answers.push_back(events.menu_char('b', sub));
                answers.push_back(events.menu_char('m', sub));
            }
        }
        return 0;
    });
    tree.RightClick(report, point_of(report));
    ASSERT_EQ(person.shown, 1);
    ASSERT_EQ(sizes.size(), 3u);
    EXPECT_EQ(sizes[1].Width, canvas.TextWidth("Box") + 32);
    ASSERT_EQ(drawings.size(), 3u);
    const auto texts = canvas.calls_of(forms::CanvasOp::text_out);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[1].text, "Box");
    EXPECT_EQ(texts[1].points[0], (forms::Point{32, 22}));
    EXPECT_EQ(texts[1].brush.Color, clHighlight);
    EXPECT_EQ(texts[0].brush.Color, clMenu);
    EXPECT_EQ(drawings[1].Icon, shell::icon_folder);
    EXPECT_EQ(drawings[1].IconAt, (forms::Point{8, 22}));
    EXPECT_EQ(answers, (std::vector<std::uint32_t>{(MNC_SELECT << 16) | 1u, (MNC_EXECUTE << 16) | 2u}));
}

TEST_F(ShellTree, WithoutAPersonAMenuIsNotGuessed) {
    make_dir("base/a");
    auto& tree = tree_at("base", opts({kwstoAutoFill, kwstoContextMenus}));
    Node* a = child_named(root(), "a");
    EXPECT_THROW(tree.ShowShellContextMenu(a, {0, 0}), forms::NoInteractionProvider);
    EXPECT_FALSE(tree.Modal());
}

// ---- drag and drop
// --------------------------------------------------------------------------------------------

class ShellTreeDrag : public ShellTree {
  protected:
    void SetUp() override {
        ShellTree::SetUp();
        make_dir("base/src");
        make_dir("base/dst");
        make_file("base/src/file.txt", "payload");
        tree_at("base", opts({kwstoAutoFill, kwstoIncludeNonFolders, kwstoOleDrag, kwstoOleDrop}));
        src_ = open({"src"});
        file_ = child_named(src_, "file.txt");
        dst_ = child_named(root(), "dst");
        ASSERT_NE(file_, nullptr);
        ASSERT_NE(dst_, nullptr);
    }
    // A person drags `node` to `target` holding `keys`, then lets go.
    void drag(Node* node, Node* target, std::uint32_t keys) {
        const forms::Point p = point_of(target);
        std::vector<shell::DragStep> steps{
            {tree_->WindowHandle(), {p.x, p.y}, shell::MK_LBUTTON | keys, false},
            {tree_->WindowHandle(), {p.x, p.y}, shell::MK_LBUTTON | keys, false},
            {tree_->WindowHandle(), {p.x, p.y}, keys, false},
        };
        std::size_t next = 0;
        shell::set_drag_input([&]() -> std::optional<shell::DragStep> {
            if (next >= steps.size()) return std::nullopt;
            return steps[next++];
        });
        tree_->begin_drag(node, false);
        shell::set_drag_input({});
    }
    Node* src_ = nullptr;
    Node* file_ = nullptr;
    Node* dst_ = nullptr;
};

TEST_F(ShellTreeDrag, CtrlCopiesAFileToAnotherFolder) {
    drag(file_, dst_, shell::MK_CONTROL);
    EXPECT_TRUE(fs::exists(at("base/src/file.txt")));
    EXPECT_TRUE(fs::exists(at("base/dst/file.txt")));
    EXPECT_FALSE(tree_->Modal());
    Node* dst = child_named(root(), "dst");
    tree_->expand(dst);
    EXPECT_NE(child_named(dst, "file.txt"), nullptr) << "the tree was refreshed after the drop";
}

TEST_F(ShellTreeDrag, APlainDragOnOneDeviceMovesAndAClashIsAsked) {
    drag(file_, dst_, 0);
    EXPECT_FALSE(fs::exists(at("base/src/file.txt")));
    EXPECT_TRUE(fs::exists(at("base/dst/file.txt")));
    // Another file of that name, dragged there too: the person keeps both.
    make_file("base/src/file.txt", "second");
    tree_->RefreshTree();
    Node* again = child_named(child_named(root(), "src"), "file.txt");
    ASSERT_NE(again, nullptr);
    boxes_->answer_next_box(forms::mr_no);
    drag(again, child_named(root(), "dst"), 0);
    ASSERT_EQ(boxes_->boxes().size(), 1u);
    EXPECT_TRUE(fs::exists(at("base/src/file.txt"))) << "answered no: left where it was";
    boxes_->answer_next_box(forms::mr_yes);
    again = child_named(child_named(root(), "src"), "file.txt");
    drag(again, child_named(root(), "dst"), 0);
    EXPECT_FALSE(fs::exists(at("base/src/file.txt")));
    std::ifstream first(at("base/dst/file.txt")), second(at("base/dst/file (2).txt"));
    std::string a, b;
    std::getline(first, a);
    std::getline(second, b);
    EXPECT_EQ(a, "payload");
    EXPECT_EQ(b, "second");
}

TEST_F(ShellTreeDrag, TheRootAndAFolderItselfRefuseTheDrop) {
    drag(file_, root(), shell::MK_CONTROL);
    EXPECT_FALSE(fs::exists(at("base/file.txt")));
    drag(src_, src_, shell::MK_CONTROL);
    EXPECT_EQ(fs::directory_iterator(at("base/src"))->path().filename(), "file.txt");
    EXPECT_TRUE(fs::exists(at("base/src/file.txt")));
}

TEST_F(ShellTreeDrag, AChangeSeenDuringADragIsRefreshedWhenTheDragEnds) {
    int steps = 0;
    shell::set_drag_input([&]() -> std::optional<shell::DragStep> {
        if (steps++ == 0) {
            // Another program makes a folder while the person drags.
            make_dir("base/during");
            tree_->ChangeNotify();
            EXPECT_TRUE(tree_->Modal());
            EXPECT_TRUE(tree_->PendingRefresh());
            EXPECT_FALSE(tree_->RefreshTimer().enabled());
            return shell::DragStep{tree_->WindowHandle(), {1, 1}, shell::MK_LBUTTON, false};
        }
        return std::nullopt;  // the drag is given up
    });
    tree_->begin_drag(file_, false);
    shell::set_drag_input({});
    EXPECT_FALSE(tree_->Modal());
    EXPECT_FALSE(tree_->PendingRefresh());
    EXPECT_NE(child_named(root(), "during"), nullptr);
}

TEST_F(ShellTreeDrag, RestingOnAFolderOpensIt) {
    make_dir("base/dst/deeper");
    tree_->RefreshTree();
    Node* dst = child_named(root(), "dst");
    ASSERT_FALSE(dst->Expanded);
    EXPECT_EQ(tree_->OwnerWindow(), form_.get());
    std::vector<forms::Form*> owners;
    tree_->OnFillStart = [&](forms::Component&) { owners.push_back(tree_->OwnerWindow()); };
    std::uint32_t clock = 1000;
    tree_->TickCount = [&] { return clock; };
    auto data = com::ComPtr<shell::IDataObject>::share(new TDataObject_shtv(tree_->NodeData(file_)));
    const forms::Point p = point_of(dst);
    std::uint32_t effect = shell::DROPEFFECT_COPY;
    tree_->TreeDragEnter(data.get(), shell::MK_LBUTTON, p, &effect);
    clock += 300;
    effect = shell::DROPEFFECT_COPY;
    tree_->TreeDragOver(shell::MK_LBUTTON, p, &effect);
    EXPECT_FALSE(dst->Expanded);
    EXPECT_EQ(tree_->DropTarget, dst);
    clock += 200;  // past the hover time
    effect = shell::DROPEFFECT_COPY;
    tree_->TreeDragOver(shell::MK_LBUTTON, p, &effect);
    EXPECT_TRUE(dst->Expanded);
    EXPECT_NE(child_named(dst, "deeper"), nullptr);
    EXPECT_EQ(owners, std::vector<forms::Form*>{nullptr});  // no owner while the drag opens it
    EXPECT_EQ(tree_->OwnerWindow(), form_.get());
    tree_->TreeDragLeave();
    EXPECT_EQ(tree_->DropTarget, nullptr);
}

TEST_F(ShellTreeDrag, DropEffectsFollowTheItem) {
    EXPECT_EQ(tree_->DragEffects(file_),
              shell::DROPEFFECT_COPY | shell::DROPEFFECT_MOVE | shell::DROPEFFECT_LINK);
    fs::remove(at("base/src/file.txt"));
    EXPECT_EQ(tree_->DragEffects(file_), shell::DROPEFFECT_NONE) << "an item that is gone allows nothing";
}

TEST_F(ShellTreeDrag, ADropTargetIsRegisteredOnlyWithTheOptionAndDragsNeedTheirs) {
    EXPECT_TRUE(shell::drop_target_of(tree_->WindowHandle()));
    EXPECT_FALSE(tree_->DragDisabled);
    tree_->SetOptions(opts({kwstoAutoFill}));
    EXPECT_FALSE(shell::drop_target_of(tree_->WindowHandle()));
    EXPECT_TRUE(tree_->DragDisabled);
    tree_->SetOptions(opts({kwstoAutoFill, kwstoOleDrag}));
    EXPECT_FALSE(tree_->DragDisabled);
}

// ---- the "Pidl" property
// -------------------------------------------------------------------------------------

// One item of a list as the namespace encodes it: size, kind, a zero, the payload, a zero.
std::vector<std::uint8_t> encoded_item(std::uint8_t kind, const std::string& payload) {
    const std::size_t cb = 4 + payload.size() + 1;
    std::vector<std::uint8_t> out;
    out.reserve(cb);
    for (std::uint8_t b :
         {static_cast<std::uint8_t>(cb & 0xFF), static_cast<std::uint8_t>(cb >> 8), kind, std::uint8_t{0}})
        out.push_back(b);
    for (char c : payload) out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(0);
    return out;
}

TEST_F(ShellTree, TheBaseFolderStreamsAsThePidlProperty) {
    make_dir("home/docs/x");
    tree_ = form_->add<TKwShellTree>("tree");
    EXPECT_FALSE(tree_->Designing) << "no designer here: design-time behaviour stays off";
    EXPECT_FALSE(tree_->Loading);
    TKwShellLocator where;
    where.SetPath(home_ + "/docs");
    tree_->SetBaseFolder(where);
    std::vector<std::uint8_t> bytes;
    tree_->BaseFolder().WritePidl(bytes);
    std::vector<std::uint8_t> list;
    for (const auto& item : {encoded_item(0x20, home_), encoded_item(0x30, "docs")})
        for (std::uint8_t b : item) list.push_back(b);
    list.push_back(0);
    list.push_back(0);
    std::vector<std::uint8_t> expected;
    expected.push_back(0);  // kind 0: an item-ID list
    for (int shift = 0; shift < 32; shift += 8)
        expected.push_back(static_cast<std::uint8_t>(list.size() >> shift));
    for (std::uint8_t b : list) expected.push_back(b);
    EXPECT_EQ(bytes, expected);

    // Read back into another tree's base folder: the same root.
    auto* other = form_->add<TKwShellTree>("other");
    TKwShellLocator read;
    std::size_t used = 0;
    ASSERT_TRUE(read.ReadPidl(bytes.data(), bytes.size(), used));
    EXPECT_EQ(used, bytes.size());
    other->SetBaseFolder(read);
    ASSERT_FALSE(other->roots().empty());
    EXPECT_EQ(other->roots().front()->Text, "docs");
    EXPECT_EQ(texts(other->roots().front().get()), std::vector<std::string>{"x"});
}

// ---- drawing, wheel
// ------------------------------------------------------------------------------------------------

TEST_F(ShellTree, CustomDrawEventsGetTheNodeAndItsData) {
    make_dir("base/a");
    auto& tree = tree_at("base", opts({kwstoAutoFill}));
    Node* a = child_named(root(), "a");
    std::vector<std::string> seen;
    tree.OnCustomDrawSh = [&](forms::Component&, TKwCustomDraw& cd, Node* node, TKwShTreeData* data) {
        EXPECT_EQ(cd.Stage(), 4);
        seen.push_back(node->Text + " " + data->Path());
        cd.Font.bold = true;
    };
    TKwCustomDrawInfo pre{CDDS_PREPAINT};
    EXPECT_EQ(tree.CustomDraw(pre), CDRF_NOTIFYITEMDRAW);
    TKwCustomDrawInfo item{CDDS_ITEMPREPAINT, reinterpret_cast<std::intptr_t>(a)};
    EXPECT_EQ(tree.CustomDraw(item), CDRF_NOTIFYITEMDRAW | CDRF_NEWFONT);
    EXPECT_EQ(seen, std::vector<std::string>{"a " + at("base/a")});
    EXPECT_GT(tree.NodeImageIndex(a, false), 0);
}

TEST_F(ShellTree, TheWheelScrollsThreeRowsANotch) {
    for (int i = 0; i < 40; ++i) make_dir("base/f" + std::to_string(100 + i));
    auto& tree = tree_at("base", opts({kwstoAutoFill}));
    tree.SetBounds(0, 0, 200, 160);  // ten rows
    tree.MouseWheel(-120);
    EXPECT_EQ(tree.TopRow, 3);
    tree.MouseWheel(240);
    EXPECT_EQ(tree.TopRow, 0);
    tree.MouseWheel(-120 * 100);
    EXPECT_EQ(tree.TopRow, tree.RowCount() - 10);
    EXPECT_EQ(tree.GetNodeAt(5, 5), tree.NodeAtRow(tree.TopRow));
}

TEST_F(ShellTree, TheWheelFollowsThePersonsSettingAndReachesTheTreeFromAList) {
    for (int i = 0; i < 40; ++i) make_dir("base/f" + std::to_string(100 + i));
    auto& tree = tree_at("base", opts({kwstoAutoFill}));
    tree.SetBounds(0, 0, 200, 160);  // ten rows
    auto* list = form_->add<TKwShellList>("list");
    list->SetBounds(200, 0, 300, 160);
    // Over the tree, a list's wheel turns the tree.
    list->MouseWheel(-120, &tree);
    EXPECT_EQ(tree.TopRow, 3);
    EXPECT_EQ(list->TopIndex, 0);
    // A screen at a time, and five lines a notch.
    SetWheelScrollLines(-1);
    tree.MouseWheel(-120);
    EXPECT_EQ(tree.TopRow, 13);
    SetWheelScrollLines(5);
    tree.MouseWheel(120);
    EXPECT_EQ(tree.TopRow, 8);
    SetWheelScrollLines(3);
}

}  // namespace
}  // namespace shellctl
