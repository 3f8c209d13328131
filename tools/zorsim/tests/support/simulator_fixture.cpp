#include "simulator_fixture.h"

#include <cstdlib>
#include <fstream>

namespace zorsim::test {

std::vector<std::string> read_lines(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

Options SimulatorTest::options() {
    Options o;
    o.transcript_path = (dir_ / "transcript.txt").string();
    o.executed_path = (dir_ / "executed.txt").string();
    o.downloads_path = (dir_ / "downloads.txt").string();
    o.instrument.default_atom_ms = 0;
    return o;
}

void SimulatorTest::start(Options o) {
    sim_ = std::make_unique<Simulator>(std::move(o));
    const std::string error = sim_->open();
    ASSERT_EQ(error, "");
    sim_->start();
    host_ = std::make_unique<HostLink>(sim_->slave_path());
    ASSERT_TRUE(host_->is_open());
}

void SimulatorTest::TearDown() {
    host_.reset();
    if (sim_) sim_->stop();
    sim_.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

}  // namespace zorsim::test
