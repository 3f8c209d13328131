// zorhost: loads the zorsetup plug-in as the host data system does and works with its methods.
//
//   zorhost register [LIBRARY]            registers the plug-in's classes (DllRegisterServer)
//   zorhost new DOCUMENT --template NAME  a new method from the template, saved into DOCUMENT
//   zorhost show DOCUMENT                 opens DOCUMENT and lists the method the editor shows
//   zorhost print DOCUMENT [--pdf FILE]   opens DOCUMENT and prints its pages (text lines), or
//                                         into the PDF file FILE (where the Qt backend is built)
//   zorhost vial DOCUMENT VIAL            ValidateVial and GetNextVial of VIAL ("Tray1:5")
//   zorhost trays                         GetTrayInformation: the trays and their vial counts
//   zorhost menu                          the in-place menu: caption and command id of each item
//   zorhost command ID                    runs an in-place menu command (14998 reset, 14997
//                                         reload configuration, 14996 Task Weaver)
//   zorhost tray TRAY                     the tray dialog (VisualizeList); prints the vials chosen
//   zorhost config                        the configuration dialog (LaunchConfigDialog)
//
// Message boxes of the plug-in are printed on standard error; without --answer they are
// answered with the button that changes nothing (No, Cancel, Abort, OK for information),
// --answer yes|no|ok|cancel (repeatable) answers the next boxes in order.
// Exit codes: 0 done, 1 the plug-in refused or failed, 2 a bad command line.
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/com/com.h"
#include "platform/forms/interaction.h"
#include "platform/forms/message_dialog.h"
#include "tools/zorhost/host.h"
#include "plugin/unattended.h"
#ifdef ZORHOST_PDF
#include "platform/forms_qt/pdf_device_context.h"
#endif

namespace {

namespace com = platform::com;
namespace forms = platform::forms;

class Answers final : public forms::InteractionProvider {
public:
    std::deque<forms::ModalResult> queue;
    forms::ModalResult answer_box(const forms::MessageBoxRequest& request) override {
        std::fprintf(stderr, "box: %s\n", request.text.c_str());
        if (!queue.empty()) {
            const auto r = queue.front();
            queue.pop_front();
            return r;
        }
        return zorsetup::unattended_answer(request);
    }
    void modal_form_shown(forms::Form& form) override { form.modal_result = forms::mr_cancel; }
};

int usage() {
    std::fprintf(stderr,
                 "usage: zorhost register [LIBRARY] | new DOCUMENT --template NAME | show DOCUMENT |\n"
                 "       print DOCUMENT [--pdf FILE] | vial DOCUMENT VIAL | trays | tray TRAY | config | menu |\n"
                 "       command ID   [--answer A]...\n");
    return 2;
}

int failed_with(const char* what, std::int32_t hr) {
    std::fprintf(stderr, "zorhost: %s failed: %s\n", what, com::hresult_text(hr).c_str());
    return 1;
}

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

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    std::string template_name;
    std::string pdf_file;
    Answers answers;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--template" || a == "--answer" || a == "--pdf") && i + 1 < argc) {
            const std::string v = argv[++i];
            if (a == "--template") {
                template_name = v;
            } else if (a == "--pdf") {
                pdf_file = v;
            } else {
                const forms::ModalResult r = v == "yes" ? forms::mr_yes : v == "no" ? forms::mr_no
                                             : v == "ok" ? forms::mr_ok : forms::mr_cancel;
                answers.queue.push_back(r);
            }
        } else {
            args.push_back(a);
        }
    }
    if (args.empty()) return usage();
#ifndef ZORHOST_PDF
    if (!pdf_file.empty()) {
        std::fprintf(stderr, "zorhost: this build has no Qt, so it cannot print into a PDF file\n");
        return 1;
    }
#endif
    forms::set_interaction_provider(&answers);
    const std::string& command = args[0];

    if (command == "register") {
        const std::string library = args.size() > 1 ? args[1] : ZORSETUP_LIBRARY_PATH;
        const com::HRESULT hr = zorhost::register_plugin(library);
        return com::failed(hr) ? failed_with("DllRegisterServer", hr) : 0;
    }

    int code = 0;
    {
        zorhost::Host host;
        if (!host.ok()) {
            std::fprintf(stderr, "zorhost: %s\n", host.error().c_str());
            return 1;
        }
        if (command == "new" && args.size() == 2 && !template_name.empty()) {
            if (const auto hr = host.new_document(); hr != 0) return failed_with("New", hr);
            if (!host.choose_template(template_name)) {
                std::fprintf(stderr, "zorhost: the editor offers no template \"%s\"\n", template_name.c_str());
                return 1;
            }
            if (const auto hr = host.save_document(args[1]); hr != 0) return failed_with("Save", hr);
            for (const auto& line : host.shown_method()) std::printf("%s\n", line.c_str());
        } else if ((command == "show" || command == "print") && args.size() == 2) {
            if (const auto hr = host.open_document(args[1]); hr != 0) return failed_with("Open", hr);
            if (command == "show") {
                for (const auto& line : host.shown_method()) std::printf("%s\n", line.c_str());
                std::printf("modified: %s\n", host.setup().IsModified() ? "yes" : "no");
#ifdef ZORHOST_PDF
            } else if (!pdf_file.empty()) {
                code = print_pdf(host, args[1], pdf_file);
#endif
            } else {
                int pages = 0;
                const auto lines = host.print_pages(&pages);
                std::printf("pages: %d\n", pages);
                for (const auto& line : lines) std::printf("%s\n", line.c_str());
            }
        } else if (command == "vial" && args.size() == 3) {
            if (const auto hr = host.open_document(args[1]); hr != 0) return failed_with("Open", hr);
            const std::u16string vial = com::utf16_from_cp1252(args[2]);
            const std::u16string tray = com::utf16_from_cp1252(args[2].substr(0, args[2].find(':')));
            std::printf("ValidateVial: %s\n", com::hresult_text(host.info().ValidateVial(vial.c_str(), tray.c_str(), 0)).c_str());
            com::Bstr next;
            const auto hr = host.info().GetNextVial(next.put(), vial.c_str(), tray.c_str());
            std::printf("GetNextVial: %s %s\n", com::hresult_text(hr).c_str(), next.text().c_str());
        } else if (command == "trays" && args.size() == 1) {
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
                std::printf("%s %u\n", name.text().c_str(), static_cast<unsigned>(size));
            }
            com::safe_array_destroy(names);
            com::safe_array_destroy(sizes);
        } else if (command == "tray" && args.size() == 2) {
            com::SAFEARRAY* positions = nullptr;
            com::SAFEARRAY* types = nullptr;
            com::BSTR tray = com::bstr_from_text(args[1]);
            const auto hr = host.info().VisualizeList(host.host_window(), 0, &positions, &types, &tray);
            std::printf("VisualizeList: %s\n", com::hresult_text(hr).c_str());
            std::int32_t upper = -1;
            if (hr == 0) com::safe_array_get_ubound(positions, 1, &upper);
            for (std::int32_t i = 0; i <= upper; ++i) {
                com::Bstr vial;
                std::int32_t type = 0;
                com::safe_array_get_element(positions, &i, vial.put());
                com::safe_array_get_element(types, &i, &type);
                std::printf("%s %d\n", vial.text().c_str(), static_cast<int>(type));
            }
            com::safe_array_destroy(positions);
            com::safe_array_destroy(types);
            com::sys_free_string(tray);
        } else if (command == "config" && args.size() == 1) {
            com::ComPtr<zorsetup::Config> config;
            const auto hr = com::co_create_instance(zorsetup::CLSID_TConfig, nullptr, com::CLSCTX_INPROC_SERVER,
                                                    zorsetup::Config::iid, config.put_void());
            if (com::failed(hr)) return failed_with("creating TConfig", hr);
            std::printf("LaunchConfigDialog: %s\n", com::hresult_text(config->LaunchConfigDialog(host.host_window())).c_str());
        } else if (command == "menu" && args.size() == 1) {
            for (const auto& [caption, id] : host.in_place_menu()) std::printf("%d %s\n", static_cast<int>(id), caption.c_str());
        } else if (command == "command" && args.size() == 2) {
            host.setup().ExecuteCommand(std::atoi(args[1].c_str()));
        } else {
            code = usage();
        }
        host.close();
    }
    forms::set_interaction_provider(nullptr);
    return code;
}
