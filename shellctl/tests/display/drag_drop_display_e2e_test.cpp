// Drag and drop on a screen (run under xvfb-run): a person drags files out of the shell list to
// another program, from another program onto a folder of the list and of the tree (Ctrl
// copies, Shift moves), and within the program from the list onto a folder of the tree; a
// folder of the tree that the pointer rests on during a drag opens. The other program is a
// real second process (drop_peer) that shows its own window.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTreeWidget>
#include <filesystem>

#include "platform/forms/controls.h"
#include "platform/testing/child_environment.h"
#include "shellctl/kw_shell_list.h"
#include "shellctl/kw_shell_tree.h"
#include "shellctl/tests/display/screen_person.h"
#include "shellctl/tests/shellctl_test_support.h"

namespace shellctl {
namespace {

namespace forms = platform::forms;
namespace fs = std::filesystem;

// The other program: its window at (x, y), 200 by 150; what it printed comes back in lines.
class Peer {
  public:
    Peer(const std::string& mode, int x, int y, const std::vector<std::string>& paths = {})
        : at_(x + 100, y + 75) {
        int out[2];
        if (::pipe(out) != 0) return;
        std::vector<std::string> args{DROP_PEER, mode, std::to_string(x), std::to_string(y)};
        args.insert(args.end(), paths.begin(), paths.end());
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        // Under the leak checker the peer's libraries report their own leaks at exit.
        const zor_testing::ChildEnvironment environment({"ASAN_OPTIONS=detect_leaks=0"});
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            ::close(out[1]);
            ::execve(argv[0], argv.data(), environment.envp());
            ::_exit(127);
        }
        ::close(out[1]);
        out_ = out[0];
    }
    ~Peer() {
        if (pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) ::close(out_);
    }
    // The middle of its window.
    QPoint centre() const { return at_; }
    // True once its window shows.
    bool ready() {
        while (true) {
            const std::size_t end = text_.find('\n');
            if (end != std::string::npos) {
                const bool is_ready = text_.substr(0, end) == "ready";
                text_.erase(0, end + 1);
                return is_ready;
            }
            if (!read_some()) return false;
        }
    }
    // Everything it printed after "ready", once it ended.
    std::string printed() {
        while (read_some()) {
        }
        return text_;
    }

  private:
    bool read_some() {
        pollfd p{out_, POLLIN, 0};
        if (out_ < 0 || ::poll(&p, 1, 20000) <= 0) return false;
        char buffer[512];
        const ssize_t n = ::read(out_, buffer, sizeof buffer);
        if (n <= 0) return false;
        text_.append(buffer, static_cast<std::size_t>(n));
        return true;
    }
    QPoint at_;
    pid_t pid_ = -1;
    int out_ = -1;
    std::string text_;
};

// A press at `from`, a drag in steps to `to` (holding `key` from the first step on, when
// given), a rest there of `rest` seconds, and the release.
std::vector<std::string> drag(QPoint from, QPoint to, const std::string& key = "",
                              const std::string& rest = "0.5") {
    const auto move = [](QPoint p) {
        return "mousemove --sync " + std::to_string(p.x()) + " " + std::to_string(p.y());
    };
    std::vector<std::string> steps{move(from), "mousedown 1", "sleep 0.2", move(from + QPoint(12, 6))};
    if (!key.empty()) steps.push_back("keydown " + key);
    constexpr int n = 12;
    for (int i = 1; i <= n; ++i) {
        steps.push_back(move(from + (to - from) * i / n));
        steps.push_back("sleep 0.05");
    }
    steps.push_back("sleep " + rest);
    steps.push_back("mouseup 1");
    if (!key.empty()) steps.push_back("keyup " + key);
    steps.push_back("sleep 0.5");
    return steps;
}

// A dialog with the shell tree on the left and the shell list on the right.
class Browser : public forms::Form {
  public:
    Browser() : Form("Tdrag_host") {
        Caption = "Browser";
        BorderStyle = forms::FormBorderStyle::dialog;
        ClientWidth = 560;
        ClientHeight = 260;
        tree = add<TKwShellTree>("tree");
        tree->SetBounds(0, 0, 220, 220);
        list = add<TKwShellList>("list");
        list->SetBounds(230, 0, 330, 220);
        list->ViewStyle = forms::ViewStyle::report;
        auto* close = add<forms::Button>("close");
        close->SetBounds(480, 228, 75, 25);
        close->Caption = "Close";
        close->Cancel = true;
        close->modal_result = forms::mr_cancel;
    }
    TKwShellTree* tree;
    TKwShellList* list;
};

class DragDropOnScreen : public testing::TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        person = std::make_unique<testing::ScreenPerson>();
        if (!person->on_screen()) GTEST_SKIP() << "no display (this test runs under xvfb-run)";
        make_dir("lab/methods/old");
        make_dir("lab/protocols/archive");
        make_file("lab/methods/gradient.zor");
        make_file("lab/methods/wash.zor", "wash");
        make_dir("outside");
        make_file("outside/sample.txt", "sample");
        make_file("outside/other.txt", "other");
        host = forms::make_form<Browser>();
        TKwShellLocator base;
        base.SetPath(at("lab"));
        host->tree->SetBaseFolder(base);
        host->list->Locator().SetPath(at("lab/methods"));
    }
    void TearDown() override {
        host.reset();
        person.reset();
        forms::reset_forms_state_for_tests();
        TempTree::TearDown();
    }
    // Shows the form; then the middle of the list's row or the tree's node named `name`.
    void show(forms::Form& form) {
        window = person->shown(form);
        list = qobject_cast<QTreeWidget*>(person->backend().widget_of(*host->list));
        tree = qobject_cast<QTreeWidget*>(person->backend().widget_of(*host->tree));
        ASSERT_NE(list, nullptr);
        ASSERT_NE(tree, nullptr);
    }
    static QPoint centre_of(QTreeWidget* w, const std::string& name) {
        for (QTreeWidgetItemIterator it(w); *it; ++it) {
            if ((*it)->text(0).toStdString() != name) continue;
            const QRect r = w->visualItemRect(*it);
            return w->viewport()->mapToGlobal(QPoint(r.left() + 30, r.center().y()));
        }
        ADD_FAILURE() << name << " is not shown";
        return {};
    }
    forms::TreeNode* node_named(const std::string& name) const {
        std::vector<forms::TreeNode*> open;
        for (const auto& n : host->tree->roots()) open.push_back(n.get());
        while (!open.empty()) {
            forms::TreeNode* n = open.back();
            open.pop_back();
            if (n->Text == name) return n;
            for (const auto& c : n->children()) open.push_back(c.get());
        }
        return nullptr;
    }

    std::unique_ptr<testing::ScreenPerson> person;
    forms::FormPtr<Browser> host;
    QWidget* window = nullptr;
    QTreeWidget* list = nullptr;
    QTreeWidget* tree = nullptr;
};

TEST_F(DragDropOnScreen, a_file_dragged_out_of_the_list_reaches_another_program_as_its_uri) {
    Peer peer("take", 1000, 100);
    ASSERT_TRUE(peer.ready());
    person->on_form = [&](forms::Form& form) {
        show(form);
        auto steps = drag(centre_of(list, "wash.zor"), peer.centre());
        steps.push_back(testing::keys_to(*window, "Escape"));
        person->act(steps);
    };
    host->ShowModal();
    EXPECT_TRUE(person->acted());
    const std::string got = peer.printed();
    const std::string uri = "uri file://" + at("lab/methods/wash.zor");
    EXPECT_NE(got.find("format text/uri-list\n"), std::string::npos) << got;
    EXPECT_NE(got.find(uri + "\n"), std::string::npos) << got;
    // The shell's own format travels too, for another instance of the program.
    EXPECT_NE(got.find("format application/x-zor-clipboard;format=shell%20idlist%20array\n"),
              std::string::npos)
        << got;
    // A plain drag of a file the list may move proposes the move, and the other program took it.
    EXPECT_NE(got.find("action move\n"), std::string::npos) << got;
}

TEST_F(DragDropOnScreen, files_from_another_program_are_copied_with_ctrl_and_moved_with_shift) {
    Peer copied("offer", 1000, 100, {at("outside/sample.txt")});
    Peer moved("offer", 1000, 400, {at("outside/other.txt")});
    ASSERT_TRUE(copied.ready());
    ASSERT_TRUE(moved.ready());
    person->on_form = [&](forms::Form& form) {
        show(form);
        auto steps = drag(copied.centre(), centre_of(list, "old"), "ctrl");
        const auto onto_tree = drag(moved.centre(), centre_of(tree, "protocols"), "shift");
        steps.insert(steps.end(), onto_tree.begin(), onto_tree.end());
        steps.push_back(testing::keys_to(*window, "Escape"));
        person->act(steps);
    };
    host->ShowModal();
    EXPECT_TRUE(person->acted());
    EXPECT_EQ(read_file(at("lab/methods/old/sample.txt")), "sample");
    EXPECT_TRUE(fs::exists(at("outside/sample.txt")));
    EXPECT_EQ(read_file(at("lab/protocols/other.txt")), "other");
    EXPECT_FALSE(fs::exists(at("outside/other.txt")));
    EXPECT_NE(copied.printed().find("action copy\n"), std::string::npos);
    EXPECT_NE(moved.printed().find("action move\n"), std::string::npos);
}

TEST_F(DragDropOnScreen, a_file_dragged_from_the_list_onto_a_folder_of_the_tree_moves_there) {
    person->on_form = [&](forms::Form& form) {
        show(form);
        auto steps = drag(centre_of(list, "wash.zor"), centre_of(tree, "protocols"));
        steps.push_back(testing::keys_to(*window, "Escape"));
        person->act(steps);
    };
    host->ShowModal();
    EXPECT_TRUE(person->acted());
    EXPECT_EQ(read_file(at("lab/protocols/wash.zor")), "wash");
    EXPECT_FALSE(fs::exists(at("lab/methods/wash.zor")));
    // The list refreshed after the drop: the moved file is gone from it.
    for (const auto& item : host->list->Items) EXPECT_NE(item.Caption, "wash.zor");
    EXPECT_EQ(host->list->Items.size(), 2u);
}

TEST_F(DragDropOnScreen, resting_on_a_closed_folder_of_the_tree_during_a_drag_opens_it) {
    person->on_form = [&](forms::Form& form) {
        show(form);
        forms::TreeNode* protocols = node_named("protocols");
        ASSERT_NE(protocols, nullptr);
        ASSERT_FALSE(protocols->Expanded);
        // The drag rests on the folder, then ends on the list's own background: no drop.
        auto steps = drag(centre_of(list, "wash.zor"), centre_of(tree, "protocols"), "", "1.5");
        steps.erase(steps.end() - 2, steps.end());
        const QPoint background = list->viewport()->mapToGlobal(QPoint(60, list->viewport()->height() - 10));
        steps.insert(steps.end(), {"mousemove --sync " + std::to_string(background.x()) + " " +
                                       std::to_string(background.y()),
                                   "sleep 0.3", "mouseup 1", "sleep 0.5"});
        steps.push_back(testing::keys_to(*window, "Escape"));
        person->act(steps);
    };
    host->ShowModal();
    EXPECT_TRUE(person->acted());
    forms::TreeNode* protocols = node_named("protocols");
    ASSERT_NE(protocols, nullptr);
    EXPECT_TRUE(protocols->Expanded);
    EXPECT_NE(node_named("archive"), nullptr);
    EXPECT_TRUE(fs::exists(at("lab/methods/wash.zor")));
}

}  // namespace
}  // namespace shellctl
