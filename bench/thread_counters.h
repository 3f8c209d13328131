// CPU time and wake-ups of the threads of a process, by thread name, from /proc: what the
// benchmarks of a whole run report per step or per atom.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace bench {

struct ThreadCounters {
    double cpu_ns = 0;   // time on a CPU
    double wakeups = 0;  // times it went to sleep and was woken (voluntary context switches): a
                         // measure that does not depend on how loaded the machine is
};

// pid 0: this process.
inline std::map<std::string, ThreadCounters> thread_counters(pid_t pid = 0) {
    std::map<std::string, ThreadCounters> out;
    const std::filesystem::path tasks =
        "/proc/" + (pid ? std::to_string(pid) : std::string("self")) + "/task";
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator(tasks, ec)) {
        std::string name;
        std::ifstream(task.path() / "comm") >> name;
        ThreadCounters& c = out[name];
        double ns = 0;
        std::ifstream(task.path() / "schedstat") >> ns;
        c.cpu_ns += ns;
        std::ifstream status(task.path() / "status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0) c.wakeups += std::stod(line.substr(24));
    }
    return out;
}

// What each thread spent between two readings, added into `into`.
inline void add_difference(std::map<std::string, ThreadCounters>& into,
                           const std::map<std::string, ThreadCounters>& before,
                           const std::map<std::string, ThreadCounters>& after) {
    for (const auto& [name, c] : after) {
        const auto it = before.find(name);
        into[name].cpu_ns += c.cpu_ns - (it == before.end() ? 0.0 : it->second.cpu_ns);
        into[name].wakeups += c.wakeups - (it == before.end() ? 0.0 : it->second.wakeups);
    }
}

inline ThreadCounters sum(const std::map<std::string, ThreadCounters>& by_thread) {
    ThreadCounters total;
    for (const auto& [name, c] : by_thread) {
        total.cpu_ns += c.cpu_ns;
        total.wakeups += c.wakeups;
    }
    return total;
}

}  // namespace bench
