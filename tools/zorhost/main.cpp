// zorhost: loads the zorsetup plug-in as the host data system does and works with its methods.
//
//   zorhost register [LIBRARY]            registers the plug-in's classes (DllRegisterServer)
//   zorhost new DOCUMENT --template NAME  a new method from the template, saved into DOCUMENT;
//                                         nothing is saved when the editor refuses the template
//   zorhost show DOCUMENT                 opens DOCUMENT and lists the method the editor shows
//   zorhost print DOCUMENT [--pdf FILE]   opens DOCUMENT and prints its pages (text lines), or
//                                         into the PDF file FILE (where the Qt backend is built)
//   zorhost vial VIAL                     ValidateVial and GetNextVial of VIAL ("Tray1:5")
//   zorhost trays                         GetTrayInformation: the trays and their vial counts
//   zorhost limits [VOLUME]               ProvideInjectionVolumeLimits: the injection volumes the
//                                         mounted syringe takes; with VOLUME, whether it is one
//   zorhost menu                          the in-place menu: caption and command id of each item
//   zorhost command ID                    runs an in-place menu command (14998 reset, 14997
//                                         reload configuration, 14996 Task Weaver)
//   zorhost tray TRAY                     the tray dialog (VisualizeList); prints the vials chosen
//   zorhost config                        the configuration dialog (LaunchConfigDialog)
//   zorhost edit DOCUMENT [--template NAME]
//                                         on a display: the host window with the method editor
//                                         (a new method from the template when DOCUMENT does
//                                         not exist yet), a File menu and the in-place menu
//   zorhost --help                        this list
//
// On a display (and built with Qt), edit, tray and config show the plug-in's windows, dialogs
// and boxes to the person at the screen, unless --answer is given. Otherwise message boxes of
// the plug-in are printed on standard error; without --answer they are answered with the
// button that changes nothing (No, Cancel, Abort, OK for information), --answer
// yes|no|ok|cancel (repeatable) answers the next boxes in order, and dialogs are cancelled.
// The plug-in's texts are Windows-1252; zorhost writes them in UTF-8 and takes its arguments in
// UTF-8.
// Exit codes: 0 done, 1 the plug-in refused or failed, 2 a bad command line.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/com/com.h"
#include "platform/forms/interaction.h"
#include "platform/forms/message_dialog.h"
#include "platform/registry/registry.h"
#include "plugin/unattended.h"
#include "tools/zorhost/driver_job.h"
#include "tools/zorhost/host.h"
#ifdef ZORHOST_PDF
#include "platform/forms_qt/pdf_device_context.h"
#include "platform/forms_qt/qt_session.h"
#include "tools/zorhost/host_window.h"
#endif

namespace {

namespace com = platform::com;
namespace forms = platform::forms;

// The plug-in's Windows-1252 text as the terminal reads it.
std::string shown(const std::string& cp1252) {
    return com::utf8_from_cp1252(cp1252);
}
void print_line(const std::string& cp1252) {
    std::printf("%s\n", shown(cp1252).c_str());
}

class Answers final : public forms::InteractionProvider {
  public:
    std::deque<forms::ModalResult> queue;
    forms::ModalResult answer_box(const forms::MessageBoxRequest& request) override {
        std::fprintf(stderr, "box: %s\n", shown(request.text).c_str());
        if (!queue.empty()) {
            const auto r = queue.front();
            queue.pop_front();
            return r;
        }
        return zorsetup::unattended_answer(request);
    }
    void modal_form_shown(forms::Form& form) override { form.modal_result = forms::mr_cancel; }
};

constexpr const char* usage_text =
    "usage: zorhost register [LIBRARY] | new DOCUMENT --template NAME | show DOCUMENT |\n"
    "       print DOCUMENT [--pdf FILE] | vial VIAL | trays | limits [VOLUME] | tray TRAY | config |\n"
    "       menu | command ID | edit DOCUMENT [--template NAME] | --help\n"
    "       [--answer yes|no|ok|cancel]...\n";

int usage() {
    std::fputs(usage_text, stderr);
    return 2;
}

// The words each command takes after its name (the least and the most).
bool arity_fits(const std::string& command, std::size_t words) {
    static const std::map<std::string, std::pair<std::size_t, std::size_t>> arity = {
        {"register", {0, 1}}, {"new", {1, 1}},   {"show", {1, 1}},    {"print", {1, 1}},
        {"vial", {1, 1}},     {"trays", {0, 0}}, {"limits", {0, 1}},  {"tray", {1, 1}},
        {"config", {0, 0}},   {"menu", {0, 0}},  {"command", {1, 1}}, {"edit", {1, 1}}};
    const auto it = arity.find(command);
    return it != arity.end() && words >= it->second.first && words <= it->second.second;
}

int failed_with(const char* what, std::int32_t hr) {
    std::fprintf(stderr, "zorhost: %s failed: %s\n", what, com::hresult_text(hr).c_str());
    return 1;
}

// A document's Open or Save failed: the file and the reason in words.
int failed_on_document(const zorhost::Host& host) {
    std::fprintf(stderr, "zorhost: %s\n", host.document_failure().c_str());
    return 1;
}

// Zorrun is given the time a clean-up or an upload takes (a full configuration at 9600 baud).
constexpr std::chrono::seconds driver_job_bound{120};

#ifdef ZORHOST_PDF
// Prints the open document into a PDF file; 0, or 1 with the reason on standard error.
int print_pdf(zorhost::Host& host, const std::string& document, const std::string& pdf) {
    platform::forms_qt::PrintingSession qt;
    platform::forms_qt::PdfDeviceContext dc(pdf, std::filesystem::path(document).stem().string());
    const int pages = host.print_to(dc);
    if (!dc.ok()) {
        std::fprintf(stderr, "zorhost: the PDF file %s could not be written\n", pdf.c_str());
        return 1;
    }
    std::printf("pages: %d\n", pages);
    return 0;
}
#endif

// New from a template, saved into the document. A template the editor refuses leaves it with
// no step (it has said why in a box): such a document would only stop a run, so none is saved.
int new_document(zorhost::Host& host, const std::string& document, const std::string& template_name) {
    if (const auto hr = host.new_document(); hr != 0) return failed_with("New", hr);
    if (!host.choose_template(template_name)) {
        std::fprintf(stderr, "zorhost: the editor offers no template \"%s\"\n", shown(template_name).c_str());
        return 1;
    }
    if (host.step_count() == 0) {
        std::fprintf(stderr, "zorhost: the editor took no step from the template \"%s\"; %s is not saved\n",
                     shown(template_name).c_str(), document.c_str());
        return 1;
    }
    if (host.save_document(document) != 0) return failed_on_document(host);
    for (const auto& line : host.shown_method()) print_line(line);
    return 0;
}

int show_trays(zorhost::Host& host) {
    com::SAFEARRAY* names = nullptr;
    com::SAFEARRAY* sizes = nullptr;
    std::int16_t deflt = 0;
    const auto hr = host.info().GetTrayInformation(&names, &sizes, &deflt);
    if (hr != 0) return failed_with("GetTrayInformation", hr);
    std::int32_t upper = -1;
    com::safe_array_get_ubound(names, 1, &upper);
    for (std::int32_t i = 0; i <= upper; ++i) {
        com::Bstr name;
        std::uint16_t size = 0;
        com::safe_array_get_element(names, &i, name.put());
        com::safe_array_get_element(sizes, &i, &size);
        std::printf("%s %u\n", shown(name.text()).c_str(), static_cast<unsigned>(size));
    }
    com::safe_array_destroy(names);
    com::safe_array_destroy(sizes);
    return 0;
}

// The injection volumes the mounted syringe takes, as a host asks before it hands a volume to a
// run; with a volume, whether the syringe takes it (1 when not).
int show_limits(zorhost::Host& host, const std::string& volume_text) {
    char* end = nullptr;
    const double volume = volume_text.empty() ? 0 : std::strtod(volume_text.c_str(), &end);
    if (!volume_text.empty() && (end == volume_text.c_str() || *end != '\0')) return usage();
    // A job Zorrun is still carrying out (the first connection's, an upload) would make the
    // question fail; it is asked once Zorrun is free.
    zorhost::wait_for_driver_job(driver_job_bound);
    double lower = 0, higher = 0, deflt = 0;
    std::int16_t precision = 0;
    const auto hr = host.info().ProvideInjectionVolumeLimits(&lower, &higher, &precision, &deflt);
    std::printf("ProvideInjectionVolumeLimits: %s\n", com::hresult_text(hr).c_str());
    if (hr != 0) {
        std::fprintf(
            stderr, "zorhost: the plug-in gives no injection volume limits (is Zorrun on the instrument?)\n");
        return 1;
    }
    std::printf("lower: %g\nhigher: %g\nprecision: %d\ndefault: %g\n", lower, higher,
                static_cast<int>(precision), deflt);
    if (volume_text.empty()) return 0;
    if (volume < lower || volume > higher) {
        std::printf("volume %g: out of range (%g to %g)\n", volume, lower, higher);
        return 1;
    }
    std::printf("volume %g: within range\n", volume);
    return 0;
}

int show_tray_dialog(zorhost::Host& host, const std::string& tray_name) {
    com::SAFEARRAY* positions = nullptr;
    com::SAFEARRAY* types = nullptr;
    com::BSTR tray = com::bstr_from_text(tray_name);
    const auto hr = host.info().VisualizeList(host.host_window(), 0, &positions, &types, &tray);
    std::printf("VisualizeList: %s\n", com::hresult_text(hr).c_str());
    std::int32_t upper = -1;
    if (hr == 0) com::safe_array_get_ubound(positions, 1, &upper);
    for (std::int32_t i = 0; i <= upper; ++i) {
        com::Bstr vial;
        std::int32_t type = 0;
        com::safe_array_get_element(positions, &i, vial.put());
        com::safe_array_get_element(types, &i, &type);
        std::printf("%s %d\n", shown(vial.text()).c_str(), static_cast<int>(type));
    }
    com::safe_array_destroy(positions);
    com::safe_array_destroy(types);
    com::sys_free_string(tray);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    std::string template_name;
    std::string pdf_file;
    Answers answers;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            // Before anything else: asking how to use it opens no settings store.
            std::fputs(usage_text, stdout);
            return 0;
        }
        if ((a == "--template" || a == "--answer" || a == "--pdf") && i + 1 < argc) {
            const std::string v = argv[++i];
            if (a == "--template") {
                template_name = com::cp1252_from_utf8(v);
            } else if (a == "--pdf") {
                pdf_file = v;
            } else {
                const forms::ModalResult r = v == "yes"  ? forms::mr_yes
                                             : v == "no" ? forms::mr_no
                                             : v == "ok" ? forms::mr_ok
                                                         : forms::mr_cancel;
                answers.queue.push_back(r);
            }
        } else {
            args.push_back(a);
        }
    }
    if (args.empty() || !arity_fits(args[0], args.size() - 1)) return usage();
    const std::string& command = args[0];
    if (command == "new" ? template_name.empty() : !template_name.empty() && command != "edit")
        return usage();
#ifndef ZORHOST_PDF
    if (!pdf_file.empty()) {
        std::fprintf(stderr, "zorhost: this build has no Qt, so it cannot print into a PDF file\n");
        return 1;
    }
#endif
#ifdef ZORHOST_PDF
    // The person at the screen answers what the plug-in shows; the session outlives the host.
    std::unique_ptr<platform::forms_qt::QtSession> qt;
    if ((command == "edit" || command == "tray" || command == "config") && answers.queue.empty())
        qt = zorhost::display_session();
    forms::PersonInteraction person;
    if (qt)
        forms::set_interaction_provider(&person);
    else
#endif
        forms::set_interaction_provider(&answers);

    bool on_display = false;
#ifdef ZORHOST_PDF
    on_display = qt != nullptr;
#endif
    if (command == "edit" && !on_display) {
        std::fprintf(
            stderr,
            "zorhost: edit needs a display (DISPLAY or WAYLAND_DISPLAY), a build with Qt, and no --answer\n");
        return 1;
    }

    // The plug-in keeps its settings in the store and the host finds the plug-in there: a store
    // that cannot be used is named before either looks into it.
    if (!platform::registry::store_available()) {
        std::fprintf(stderr, "zorhost: %s\n", platform::registry::last_store_error().c_str());
        return 1;
    }

    if (command == "register") {
        const std::string library = args.size() > 1 ? args[1] : ZORSETUP_LIBRARY_PATH;
        const com::HRESULT hr = zorhost::register_plugin(library);
        return com::failed(hr) ? failed_with("DllRegisterServer", hr) : 0;
    }

    int code = 0;
    {
        // The dialogs on a display come without the editor, which would be a window of its own
        // there: zorhost shows no host window for them.
        zorhost::Host host(!on_display || command == "edit");
        if (!host.ok()) {
            std::fprintf(stderr, "zorhost: %s\n", host.error().c_str());
            return 1;
        }
        if (command == "new") {
            code = new_document(host, args[1], template_name);
        } else if (command == "edit") {
#ifdef ZORHOST_PDF
            code = zorhost::edit_in_window(host, *qt, args[1], template_name);
#endif
        } else if (command == "show" || command == "print") {
            if (host.open_document(args[1]) != 0) return failed_on_document(host);
            if (command == "show") {
                for (const auto& line : host.shown_method()) print_line(line);
                std::printf("modified: %s\n", host.setup().IsModified() ? "yes" : "no");
#ifdef ZORHOST_PDF
            } else if (!pdf_file.empty()) {
                code = print_pdf(host, args[1], pdf_file);
#endif
            } else {
                int pages = 0;
                const auto lines = host.print_pages(&pages);
                std::printf("pages: %d\n", pages);
                for (const auto& line : lines) print_line(line);
            }
        } else if (command == "vial") {
            const std::string vial_text = com::cp1252_from_utf8(args[1]);
            const std::u16string vial = com::utf16_from_cp1252(vial_text);
            const std::u16string tray = com::utf16_from_cp1252(vial_text.substr(0, vial_text.find(':')));
            std::printf("ValidateVial: %s\n",
                        com::hresult_text(host.info().ValidateVial(vial.c_str(), tray.c_str(), 0)).c_str());
            com::Bstr next;
            const auto hr = host.info().GetNextVial(next.put(), vial.c_str(), tray.c_str());
            std::printf("GetNextVial: %s %s\n", com::hresult_text(hr).c_str(), shown(next.text()).c_str());
        } else if (command == "trays") {
            code = show_trays(host);
        } else if (command == "limits") {
            code = show_limits(host, args.size() > 1 ? args[1] : std::string());
        } else if (command == "tray") {
            code = show_tray_dialog(host, com::cp1252_from_utf8(args[1]));
        } else if (command == "config") {
            com::ComPtr<zorsetup::Config> config;
            const auto hr =
                com::co_create_instance(zorsetup::CLSID_TConfig, nullptr, com::CLSCTX_INPROC_SERVER,
                                        zorsetup::Config::iid, config.put_void());
            if (com::failed(hr)) return failed_with("creating TConfig", hr);
            std::printf("LaunchConfigDialog: %s\n",
                        com::hresult_text(config->LaunchConfigDialog(host.host_window())).c_str());
        } else if (command == "menu") {
            for (const auto& [caption, id] : host.in_place_menu())
                std::printf("%d %s\n", static_cast<int>(id), shown(caption).c_str());
        } else if (command == "command") {
            const int id = std::atoi(args[1].c_str());
            host.setup().ExecuteCommand(id);
            // A reset or an upload is a job Zorrun carries out after the call; when zorhost was
            // its only client, Zorrun would end with the job still queued.
            if (id == 14998 || id == 14997) zorhost::wait_for_driver_job(driver_job_bound);
        }
        host.close();
    }
    forms::set_interaction_provider(nullptr);
    return code;
}
