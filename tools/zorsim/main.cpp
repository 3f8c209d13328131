// zorsim: a Zor autosampler on the far end of a pseudo-terminal. See README.md.
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/zorsim/byte_escape.h"
#include "tools/zorsim/config_text.h"
#include "tools/zorsim/control_channel.h"
#include "tools/zorsim/options.h"
#include "tools/zorsim/simulator.h"

namespace {

zorsim::Simulator* running = nullptr;

void on_signal(int) {
    if (running != nullptr) running->request_stop();
}

int check_config(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "zorsim: cannot read %s\n", path.c_str());
        return 2;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto config = zorsim::ConfigText::from_text(text);
    for (const auto& p : config.problems())
        std::printf("%s: %s\n", path.c_str(), zorsim::display_text(p).c_str());
    std::printf("%s: %zu lists, %zu classes, %zu objects, %zu atoms, %zu problems\n", path.c_str(),
                config.lists().size(), config.classes().size(), config.objects().size(),
                config.atoms().size(), config.problems().size());
    return config.problems().empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    zorsim::Options options;
    const std::string error = zorsim::parse_options(std::vector<std::string>(argv + 1, argv + argc), options);
    if (!error.empty()) {
        std::fprintf(stderr, "zorsim: %s\n%s", error.c_str(), zorsim::usage().c_str());
        return 2;
    }
    if (options.help) {
        std::printf("%s", zorsim::usage().c_str());
        return 0;
    }
    if (!options.check_config_path.empty()) return check_config(options.check_config_path);
    if (!options.tell_path.empty()) {
        std::string answer;
        const std::string e = zorsim::tell(options.tell_path, options.tell_line, answer);
        if (!e.empty()) {
            std::fprintf(stderr, "zorsim: %s\n", e.c_str());
            return 2;
        }
        std::printf("%s\n", answer.c_str());
        return answer.rfind("ok", 0) == 0 ? 0 : 1;
    }

    zorsim::Simulator simulator(options);
    if (const std::string e = simulator.open(); !e.empty()) {
        std::fprintf(stderr, "zorsim: %s\n", e.c_str());
        return 1;
    }
    for (const auto& p : simulator.config_problems()) {
        std::fprintf(stderr, "zorsim: configuration: %s\n", zorsim::display_text(p).c_str());
    }

    running = &simulator;
    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    // The first line of standard output tells where the terminal is.
    std::printf("%s\n", simulator.slave_path().c_str());
    std::fflush(stdout);
    simulator.run();
    running = nullptr;
    return 0;
}
