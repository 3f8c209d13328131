#include "plugin/host_document.h"

#include "platform/com/text.h"
#include "plugin/editing.h"
#include "plugin/method_editor.h"
#include "utilities/form_helpers.h"
#include "utilities/log.h"
#include "utilities/message_boxes.h"
#include "utilities/text.h"

namespace zorsetup {

namespace stg = platform::storage;
namespace com = platform::com;

namespace {

constexpr std::uint32_t read_mode = stg::STGM_READ | stg::STGM_SHARE_EXCLUSIVE;
// Read-write, share-exclusive, and replace what is there.
constexpr std::uint32_t create_mode = stg::STGM_READWRITE | stg::STGM_SHARE_EXCLUSIVE | stg::STGM_CREATE;

std::int32_t create_stream(stg::IStorage& storage, std::string_view name, com::ComPtr<stg::IStream>& stream) {
    return storage.CreateStream(com::utf16_from_cp1252(name).c_str(), create_mode, 0, 0, stream.put());
}

}  // namespace

std::int32_t strings_to_stream(const Lines& lines, stg::IStream& stream) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::int32_t hr = write_stream_line(stream, lines[i]);
        if (hr != 0) {
            putils::show_error("couldnt write string " + std::to_string(i + 1));
            return hr;
        }
    }
    return 0;
}

std::int32_t stream_to_strings(stg::IStorage& storage, std::string_view name, Lines& lines) {
    lines.clear();
    com::ComPtr<stg::IStream> stream;
    const std::u16string wide = com::utf16_from_cp1252(name);
    const std::int32_t hr = storage.OpenStream(wide.c_str(), nullptr, read_mode, 0, stream.put());
    putils::append_log(
        "zorsetup : zorsetup : stream_to_strings - (stg.OpenStream  - Result := " + std::to_string(hr) + ")");
    if (com::failed(hr) || !stream) {
        putils::show_error("cant open stream " + std::string(name));
        return com::failed(hr) ? hr : com::E_FAIL;
    }
    std::vector<std::uint8_t> bytes;
    if (const std::int32_t r = stg::read_stream_bytes(*stream.get(), bytes); com::failed(r)) {
        putils::show_error("cant read stream " + std::string(name));
        return r;
    }
    lines = stg::method_stream_lines(bytes);
    return 0;
}

Lines text_stream_lines(Tmethod_editor& editor) {
    Lines lines{editor.selected_template()};
    for (const std::string& line : editor.method_descrip_box->Lines) lines.push_back(line);
    return lines;
}

Lines data_stream_lines(Tmethod_editor& editor) {
    Lines lines{putils::combo_text(*editor.syringe_box)};
    for (const std::string& step : editor.current_method->Items) lines.push_back(step);
    add_used_macros(lines, 1);
    return lines;
}

std::int32_t save_method_document(Tmethod_editor& editor, stg::IStorage& storage) {
    if (!editor.commit_step()) return 1;
    com::ComPtr<stg::IStream> text;
    std::int32_t hr = create_stream(storage, stg::text_stream_name, text);
    if (com::failed(hr)) {
        putils::show_error("couldnt create text stream");
        return hr;
    }
    const Lines text_lines = text_stream_lines(editor);
    hr = write_stream_line(*text.get(), text_lines.front());
    if (hr != 0) {
        putils::show_error("couldnt write method name");
        return hr;
    }
    hr = strings_to_stream(Lines(text_lines.begin() + 1, text_lines.end()), *text.get());
    if (hr != 0) return hr;
    text.reset();
    com::ComPtr<stg::IStream> data;
    hr = create_stream(storage, stg::data_stream_name, data);
    if (com::failed(hr)) {
        putils::show_error("couldnt create data stream");
        return hr;
    }
    hr = strings_to_stream(data_stream_lines(editor), *data.get());
    // Only what was written whole counts as saved.
    if (hr == 0) editor.snapshot_method();
    return hr;
}

std::int32_t open_method_document(Tmethod_editor& editor, stg::IStorage& storage) {
    Lines data;
    std::int32_t hr = stream_to_strings(storage, stg::data_stream_name, data);
    if (hr != 0) return hr;
    Lines text;
    hr = stream_to_strings(storage, stg::text_stream_name, text);
    if (hr != 0) return hr;
    if (data.empty() || text.empty()) {
        putils::show_error(std::string("The document holds no method: its stream ") +
                           (data.empty() ? "\"Data\"" : "\"Text\"") + " has no line.");
        return com::STG_E_DOCFILECORRUPT;
    }
    std::string syringe;
    stg::take_syringe_line(data, syringe);
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (putils::is_macro_line(data[i])) {
            data.resize(i);
            break;
        }
    }
    const std::string template_name = text.front();
    text.erase(text.begin());

    editor.new_method("");
    for (std::string& step : data) editor.current_method->Items.add(std::move(step));
    if (!syringe.empty()) {
        int index = editor.syringe_box->Items.index_of(syringe);
        if (index < 0) {
            // Kept as the document has it, so the next Save does not store another syringe.
            putils::show_error("The method's syringe " + quoted(syringe) + " is not in the configuration.");
            index = editor.syringe_box->Items.add(syringe);
        }
        editor.syringe_box->ItemIndex = index;
    }
    const int template_index = editor.method_select_box->Items.index_of(template_name);
    if (template_index >= 0) editor.method_select_box->ItemIndex = template_index;
    for (std::string& line : text) editor.method_descrip_box->Lines.add(std::move(line));
    editor.refresh_step_list();
    if (editor.method_box->Items.count() > 0) editor.method_box->ItemIndex = 0;
    editor.show_step();
    editor.snapshot_method();
    return 0;
}

void new_method_document(Tmethod_editor& editor) {
    editor.new_method("");
    // The new, empty method is what the host holds now: untouched, it has nothing to save.
    editor.snapshot_method();
}

}  // namespace zorsetup
