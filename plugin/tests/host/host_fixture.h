// A host of our own for libzorsetup.so: loads it through the COM layer as the data system does
// (a fresh load for each test), with a folder, settings store and boxes of each test's own.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/com/bus.h"
#include "platform/com/com.h"
#include "platform/com/tests/private_bus.h"
#include "platform/forms/application.h"
#include "platform/forms/common_controls.h"
#include "platform/forms/form.h"
#include "platform/forms/interaction.h"
#include "platform/forms/list_controls.h"
#include "platform/forms/menus.h"
#include "platform/forms/standard_controls.h"
#include "platform/registry/registry.h"
#include "platform/testing/message_loop.h"
#include "platform/testing/temp_tree.h"
#include "platform/window/window.h"
#include "plugin/host_interfaces.h"

namespace zorsetup_host_test {

namespace com = platform::com;
namespace forms = platform::forms;
namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Lines = std::vector<std::string>;
using com::BSTR;
using com::SAFEARRAY;

inline constexpr com::CLSID clsid_izor = com::guid("{763BDB62-6812-11D2-883E-3C8B00C10000}");
inline constexpr const char* settings_key = "\\SOFTWARE\\Hox\\Zor\\Task Weaver\\1";

// What an uninitialised [out] pointer may hold.
template <class T>
T garbage() {
    return reinterpret_cast<T>(std::uintptr_t{0xDEADBEE0});
}

using zor_testing::pump_until;

inline Lines read_lines(const fs::path& path) {
    Lines lines;
    std::ifstream in(path, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

inline void write_lines(const fs::path& path, const Lines& lines) {
    std::ofstream out(path, std::ios::binary);
    for (const auto& line : lines) out << line << "\r\n";
}

template <class T>
T* find(forms::Form& form, const char* name) {
    auto* c = dynamic_cast<T*>(form.find_component(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

class ZorsetupHost : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = zor_testing::make_temp_folder("zorsetup-host");
        ASSERT_FALSE(folder_.empty());
        setenv("ZOR_REGISTRY", (folder_ / "registry.db").c_str(), 1);
        setenv("XDG_DATA_HOME", (folder_ / "data").c_str(), 1);
        platform::registry::reset_store();
        fs::copy_file(fs::path(ZOR_EXAMPLES_DIR) / "zor_config.pol", folder_ / "latest_zor.pol");
        platform::registry::Registry settings(platform::registry::HKEY_CURRENT_USER);
        ASSERT_TRUE(settings.open_key(settings_key, true));
        settings.write_string("Method Folder", folder_.string());
        settings.write_integer("Port", 1);
        settings.write_integer("Framing timeout (msec)", 1000);
        ASSERT_TRUE(settings.open_key(std::string(settings_key) + "\\Driver startup", true));
        settings.write_integer("Append to log", 1);
        boxes_ = std::make_unique<forms::ScriptedInteraction>();
        boxes_->set_box_handler([](const forms::MessageBoxRequest& r) {
            return r.type == forms::DialogType::error ? forms::mr_cancel : forms::mr_ok;
        });
        void* library = dlopen(ZORSETUP_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        auto reg = reinterpret_cast<com::HRESULT (*)()>(dlsym(library, "DllRegisterServer"));
        ASSERT_NE(reg, nullptr);
        ASSERT_EQ(reg(), com::S_OK);
        dlclose(library);
    }
    void TearDown() override {
        unload();
        boxes_.reset();
        platform::registry::reset_store();
        unsetenv("ZOR_REGISTRY");
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    // The library's classes, as the host makes them (the library is loaded then).
    void load() {
        ASSERT_EQ(com::co_create_instance(zorsetup::CLSID_TZorSetup, nullptr, com::CLSCTX_INPROC_SERVER,
                                          zorsetup::Izorsetup::iid, setup_.put_void()),
                  com::S_OK);
        info_ = setup_.query<zorsetup::ZorAsInfo>();
        as_config_ = setup_.query<zorsetup::AsConfig>();
        ASSERT_EQ(com::co_create_instance(zorsetup::CLSID_TConfig, nullptr, com::CLSCTX_INPROC_SERVER,
                                          zorsetup::Config::iid, config_.put_void()),
                  com::S_OK);
        ASSERT_TRUE(info_ && as_config_ && config_);
    }
    void unload() {
        info_.reset();
        as_config_.reset();
        setup_.reset();
        config_.reset();
        com::co_free_unused_libraries();
    }

    Lines box_texts() const {
        Lines texts;
        for (const auto& b : boxes_->boxes()) texts.push_back(b.request.text);
        return texts;
    }
    Lines log_lines() const { return read_lines(folder_ / "tsk_weav.log"); }
    bool logged(const std::string& text) const {
        for (const auto& line : log_lines())
            if (line.find(text) != std::string::npos) return true;
        return false;
    }
    // The example configuration with one line changed before the library loads.
    void edit_configuration(const std::string& prefix, const std::string& line) {
        Lines config = read_lines(folder_ / "latest_zor.pol");
        bool found = false;
        for (auto& l : config)
            if (l.rfind(prefix, 0) == 0) l = line, found = true;
        ASSERT_TRUE(found) << prefix;
        write_lines(folder_ / "latest_zor.pol", config);
    }

    fs::path folder_;
    std::unique_ptr<forms::ScriptedInteraction> boxes_;
    com::ComPtr<zorsetup::Izorsetup> setup_;
    com::ComPtr<zorsetup::ZorAsInfo> info_;
    com::ComPtr<zorsetup::AsConfig> as_config_;
    com::ComPtr<zorsetup::Config> config_;
};

// VisualizeList with the given vials and tray; `act` is the person at the dialog.
struct VisualizeResult {
    com::HRESULT result = 0;
    Lines positions;
    std::vector<std::int32_t> types;
    std::string tray;
};

inline VisualizeResult visualize(zorsetup::ZorAsInfo& info, forms::ScriptedInteraction& boxes,
                                 const Lines& vials, const std::string& tray,
                                 std::function<void(forms::Form&)> act) {
    SAFEARRAY* positions =
        com::safe_array_create_vector(com::VT_BSTR, 0, static_cast<std::uint32_t>(vials.size()));
    SAFEARRAY* types = com::safe_array_create_vector(com::VT_I4, 0, static_cast<std::uint32_t>(vials.size()));
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(vials.size()); ++i) {
        com::Bstr v(vials[static_cast<std::size_t>(i)]);
        com::safe_array_put_element(positions, &i, v.get());
        const std::int32_t t = 0;
        com::safe_array_put_element(types, &i, &t);
    }
    BSTR name = com::bstr_from_text(tray);
    if (act) boxes.on_next_form(std::move(act));
    VisualizeResult r;
    r.result = info.VisualizeList(0, 0, &positions, &types, &name);
    std::int32_t high = -1;
    com::safe_array_get_ubound(positions, 1, &high);
    for (std::int32_t i = 0; i <= high; ++i) {
        com::Bstr v;
        com::safe_array_get_element(positions, &i, v.put());
        r.positions.push_back(v.text());
        std::int32_t t = -1;
        com::safe_array_get_element(types, &i, &t);
        r.types.push_back(t);
    }
    r.tray = com::text_from_bstr(name);
    com::safe_array_destroy(positions);
    com::safe_array_destroy(types);
    com::sys_free_string(name);
    return r;
}

}  // namespace zorsetup_host_test
