// The test's end of Zorrun's interaction channel (see driver/zorrun/interaction.h): a unix
// socket that the test listens on and Zorrun connects to when ZOR_TEST_INTERACTION names it.
//
// A reader thread takes Zorrun's lines. Boxes go to the box handler (run on the reader
// thread, so a box that Zorrun shows inside a bus call the test is waiting for is answered
// all the same); a handler that gives no answer leaves the box to the test's main thread
// (next_event, then answer). Dialogs ("form" events) always go to the main thread. Requests
// (get, set, act, set_result) are made from the main thread and wait for their reply.
// Every wait is bounded.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zorrun_test {

struct InteractionEvent {
    std::string kind;  // "hello", "box", "form"
    int id = 0;
    // box: type, caption, text, buttons; form: class, caption.
    std::string type, caption, text, buttons, form_class;
};

class InteractionChannel {
  public:
    explicit InteractionChannel(std::string socket_path);
    ~InteractionChannel();
    const std::string& path() const { return path_; }

    // Waits for Zorrun to connect.
    bool wait_connected(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    bool connected() const;

    // Answers boxes on the reader thread: return a modal result, or nothing to leave the box
    // to the main thread. The default answers nothing.
    using BoxHandler = std::function<std::optional<int>(const InteractionEvent&)>;
    void set_box_handler(BoxHandler handler);

    // The next box or form (hello is not reported), or nothing when none came in time.
    std::optional<InteractionEvent> next_event(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // Every box seen so far (also the ones the handler answered), in order.
    std::vector<InteractionEvent> boxes() const;

    void answer(int box_id, int modal_result);
    // Requests by component path ("Tnew_syr.warning_text"); nothing on failure or time-out.
    std::optional<std::string> get(const std::string& path, const std::string& property);
    bool set(const std::string& path, const std::string& property, const std::string& value);
    bool act(const std::string& path, const std::string& action, const std::string& argument = "");
    bool set_result(const std::string& form_path, int modal_result);

  private:
    std::optional<std::vector<std::string>> request(const std::vector<std::string>& fields);
    void send(const std::vector<std::string>& fields);
    void reader();

    std::string path_;
    int listen_fd_ = -1;
    int fd_ = -1;
    int wake_[2] = {-1, -1};
    std::thread thread_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::mutex request_mutex_;
    bool connected_ = false;
    bool closed_ = false;
    BoxHandler box_handler_;
    std::deque<InteractionEvent> events_;
    std::deque<std::vector<std::string>> replies_;
    std::vector<InteractionEvent> boxes_;
};

}  // namespace zorrun_test
