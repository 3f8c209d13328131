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

std::int32_t create_stream(stg::IStorage& storage, std::u16string_view name, com::ComPtr<stg::IStream>& stream) {
    return storage.CreateStream(std::u16string(name).c_str(), create_mode, 0, 0, stream.put());
}

}  // namespace

Lines split_wide_buffer(std::u16string_view units) {
    Lines lines;
    std::u16string line;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        if (u == 13 || u == 10) {
            lines.push_back(com::cp1252_from_utf16(line));
            line.clear();
            if (u == 13 && i + 1 < units.size() && units[i + 1] == 10) ++i;
        } else {
            line.push_back(u);
        }
    }
    return lines;
}

std::int32_t write_stream_line(stg::IStream& stream, std::string_view text) {
    std::u16string units = com::utf16_from_cp1252(text);
    units.push_back(13);
    units.push_back(10);
    std::u16string_view all(units);
    std::string bytes;
    bytes.reserve(all.size() * 2);
    for (char16_t u : all) {
        bytes.push_back(static_cast<char>(u & 0xFF));
        bytes.push_back(static_cast<char>(u >> 8));
    }
    std::uint32_t written = 0;
    const std::int32_t hr = stream.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &written);
    if (com::failed(hr)) return hr;
    return written == bytes.size() ? 0 : com::STG_E_MEDIUMFULL;
}

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
    putils::append_log("zorsetup : zorsetup : stream_to_strings - (stg.OpenStream  - Result := " +
                       std::to_string(hr) + ")");
    if (com::failed(hr) || !stream) {
        putils::show_error("cant open stream " + std::string(name));
        return com::failed(hr) ? hr : com::E_FAIL;
    }
    std::string bytes;
    char chunk[40000];
    for (;;) {
        std::uint32_t got = 0;
        const std::int32_t r = stream->Read(chunk, sizeof chunk, &got);
        if (com::failed(r)) {
            putils::show_error("cant read stream " + std::string(name));
            return r;
        }
        if (got == 0) break;
        bytes.append(chunk, got);
    }
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                         (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    lines = split_wide_buffer(units);
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
    std::int32_t hr = create_stream(storage, u"Text", text);
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
    hr = create_stream(storage, u"Data", data);
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
    std::int32_t hr = stream_to_strings(storage, "Data", data);
    if (hr != 0) return hr;
    Lines text;
    hr = stream_to_strings(storage, "Text", text);
    if (hr != 0) return hr;
    if (data.empty() || text.empty()) {
        putils::show_error(std::string("The document holds no method: its stream ") +
                           (data.empty() ? "\"Data\"" : "\"Text\"") + " has no line.");
        return com::STG_E_DOCFILECORRUPT;
    }
    const std::string syringe = data.front();
    data.erase(data.begin());
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

}  // namespace zorsetup
