#include "driver/zorrun/interaction.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>
#include <thread>
#include <vector>

#include "driver/zorrun/driver_forms.h"
#include "driver/zorrun/interaction_wire.h"
#include "platform/forms/controls.h"
#include "platform/forms/properties.h"
#include "platform/window/window.h"
#include "serial/ansi.h"

namespace zorrun {

namespace forms = platform::forms;
namespace window = platform::window;

namespace {

constexpr unsigned box_answer_bound_ms = 60000;
constexpr int connect_attempts = 50;  // 100 ms apart

void report(const std::string& text) {
    const std::string line = "Zorrun: " + serial::AnsiToUtf8(text) + "\n";
    [[maybe_unused]] const ssize_t written = ::write(2, line.data(), line.size());
}

}  // namespace

const char* dialog_type_name(forms::DialogType type) {
    switch (type) {
        case forms::DialogType::warning:
            return "warning";
        case forms::DialogType::error:
            return "error";
        case forms::DialogType::information:
            return "information";
        case forms::DialogType::confirmation:
            return "confirmation";
        case forms::DialogType::custom:
            return "custom";
    }
    return "custom";
}

std::string button_set_text(const forms::ButtonSet& buttons) {
    static const char* const names[] = {"yes", "no", "ok", "cancel", "abort", "retry", "ignore"};
    std::string text;
    for (forms::DialogButton b : buttons.members()) {
        if (!text.empty()) text += ',';
        text += names[static_cast<int>(b)];
    }
    return text;
}

// ---- HeadlessInteraction ------------------------------------------------------------------

forms::ModalResult HeadlessInteraction::cautious_answer(const forms::ButtonSet& buttons) {
    using forms::DialogButton;
    for (DialogButton b : {DialogButton::cancel, DialogButton::ok, DialogButton::no, DialogButton::abort})
        if (buttons.has(b)) return forms::result_of(b);
    return forms::mr_cancel;
}

forms::ModalResult HeadlessInteraction::answer_box(const forms::MessageBoxRequest& request) {
    const forms::ModalResult answer = cautious_answer(request.buttons);
    report(std::string(dialog_type_name(request.type)) + " box \"" + request.text + "\" answered " +
           std::to_string(answer));
    return answer;
}

void HeadlessInteraction::modal_form_shown(forms::Form& form) {
    report("dialog " + std::string(form.class_name()) + " \"" + form.Caption + "\" closed");
    dialog_state().closed_unanswered = true;
    form.Close();
}

// ---- TestInteraction ----------------------------------------------------------------------

struct TestInteraction::Impl {
    int fd = -1;
    window::WatchId watch = 0;
    std::string input;
    int next_id = 1;
    std::map<int, forms::ModalResult> answers;  // boxes answered, by id
    HeadlessInteraction fallback;

    ~Impl() { close_channel(); }

    void close_channel() {
        if (watch) window::remove_fd_watch(watch);
        watch = 0;
        if (fd >= 0) ::close(fd);
        fd = -1;
    }

    void send(const std::vector<std::string>& fields) {
        if (fd < 0) return;
        std::string line = wire::join(fields) + "\n";
        const char* p = line.data();
        std::size_t left = line.size();
        while (left > 0) {
            const ssize_t n = ::send(fd, p, left, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EAGAIN) {
                pollfd pfd{fd, POLLOUT, 0};
                ::poll(&pfd, 1, 1000);
                continue;
            }
            if (n <= 0) {
                close_channel();
                return;
            }
            p += n;
            left -= static_cast<std::size_t>(n);
        }
    }

    void on_readable() {
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n > 0) {
                input.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
            // The test has gone: nobody will answer the dialog that is showing.
            close_channel();
            for (forms::Form* form : forms::screen().forms())
                if (form->modal() && form->Visible) form->Close();
            break;
        }
        // A request may open a box whose answer comes in a nested loop, which runs this
        // again: each line is taken off the input before it is handled.
        for (;;) {
            const std::size_t end = input.find('\n');
            if (end == std::string::npos) break;
            std::string line = input.substr(0, end);
            input.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!line.empty()) handle(wire::split(line));
        }
    }

    void handle(const std::vector<std::string>& f) {
        const std::string& verb = f[0];
        if (verb == "answer" && f.size() >= 3) {
            // No reply: a test may answer from a thread of its own while it waits for the
            // reply to a request of its main thread.
            answers[std::atoi(f[1].c_str())] = std::atoi(f[2].c_str());
            return;
        }
        std::function<void()> action;
        try {
            if (f.size() < 3) throw forms::FormError("malformed request");
            forms::Component* component = forms::resolve_component(f[1]);
            if (!component) throw forms::FormError("no component " + f[1]);
            if (verb == "get") {
                send({"ok", forms::get_property(*component, f[2])});
                return;
            }
            if (verb == "set" && f.size() >= 4) {
                if (!forms::has_property(*component, f[2])) throw forms::FormError("no property " + f[2]);
                action = [component, name = f[2], value = f[3]] {
                    forms::set_property(*component, name, value);
                };
            } else if (verb == "do") {
                action = [component, name = f[2], argument = f.size() >= 4 ? f[3] : std::string()] {
                    forms::perform_action(*component, name, argument);
                };
            } else if (verb == "result") {
                auto* form = dynamic_cast<forms::Form*>(component);
                if (!form) throw forms::FormError(f[1] + " is no form");
                action = [form, result = std::atoi(f[2].c_str())] {
                    form->modal_result = result;
                    window::post_message(form->handle(), forms::form_msg_wake);
                };
            } else {
                throw forms::FormError("unknown request " + verb);
            }
        } catch (const std::exception& e) {
            send({"error", e.what()});
            return;
        }
        // The reply goes first, so that a box the action opens follows it.
        send({"ok"});
        try {
            action();
        } catch (const std::exception& e) {
            report(std::string("test request failed: ") + e.what());
        }
    }
};

TestInteraction::TestInteraction(const std::string& socket_path) : impl_(std::make_unique<Impl>()) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socket_path.size() >= sizeof address.sun_path) throw std::runtime_error("socket path too long");
    std::memcpy(address.sun_path, socket_path.c_str(), socket_path.size() + 1);
    for (int attempt = 0;; ++attempt) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) throw std::runtime_error("no socket");
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            impl_->fd = fd;
            break;
        }
        ::close(fd);
        if (attempt + 1 >= connect_attempts)
            throw std::runtime_error("cannot reach the test interaction socket " + socket_path);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ::fcntl(impl_->fd, F_SETFL, ::fcntl(impl_->fd, F_GETFL) | O_NONBLOCK);
    Impl* impl = impl_.get();
    impl_->watch = window::add_fd_watch(impl_->fd, POLLIN, [impl](short) { impl->on_readable(); });
    impl_->send({"hello", std::to_string(::getpid())});
}

TestInteraction::~TestInteraction() = default;

bool TestInteraction::connected() const {
    return impl_->fd >= 0;
}

forms::ModalResult TestInteraction::answer_box(const forms::MessageBoxRequest& request) {
    Impl& impl = *impl_;
    if (impl.fd < 0) return impl.fallback.answer_box(request);
    const int id = impl.next_id++;
    impl.send({"box", std::to_string(id), dialog_type_name(request.type), request.caption, request.text,
               button_set_text(request.buttons)});
    const bool answered = window::run_nested_loop_for(
        [&impl, id] { return impl.answers.count(id) > 0 || impl.fd < 0; }, box_answer_bound_ms);
    auto it = impl.answers.find(id);
    if (!answered || it == impl.answers.end()) return impl.fallback.answer_box(request);
    const forms::ModalResult result = it->second;
    impl.answers.erase(it);
    return result;
}

void TestInteraction::modal_form_shown(forms::Form& form) {
    Impl& impl = *impl_;
    if (impl.fd < 0) {
        impl.fallback.modal_form_shown(form);
        return;
    }
    impl.send({"form", std::to_string(impl.next_id++), form.class_name(), form.Caption});
}

std::unique_ptr<forms::InteractionProvider> install_interaction_provider(bool on_display) {
    std::unique_ptr<forms::InteractionProvider> provider;
    const char* path = std::getenv("ZOR_TEST_INTERACTION");
    if (path && *path) {
        provider = std::make_unique<TestInteraction>(path);
    } else if (on_display) {
        provider = std::make_unique<forms::PersonInteraction>();
    } else {
        provider = std::make_unique<HeadlessInteraction>();
    }
    forms::set_interaction_provider(provider.get());
    return provider;
}

}  // namespace zorrun
