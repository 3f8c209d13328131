// The instrument's configuration text: sections "[LISTS]", "[CLASSES]", "[OBJECTS]" and "[ATOMS]"
// of ";"-separated records. zorsim serves the lines as they are and reads them into a small model
// for its own use (which commands are atoms, what they take, which objects exist). While reading it
// checks the text against the host reader's rules and its table sizes and notes every problem, so a
// broken file is reported when zorsim starts, not as a puzzling failure in the driver.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zorsim {

enum class ValueKind { number, list, text, reference };

struct ListDef {
    int number = 0;
    int maximum = 0;
    std::vector<std::string> items;
};

struct AttributeDef {
    std::string name;
    ValueKind kind = ValueKind::number;
    std::string unit;  // user unit of a number ("" for none)
    double min = 0;    // instrument units, as written
    double max = 0;
    int list = -1;                     // list kind
    std::vector<std::string> classes;  // reference kind
};

struct ClassDef {
    std::string name;
    std::vector<AttributeDef> attributes;
};

struct ObjectDef {
    std::string class_name;
    std::string name;
    std::vector<std::string> values;  // as written, one per attribute
};

struct ParamDef {
    std::string name;
    ValueKind kind = ValueKind::number;  // number, list or reference (an object)
    bool required = true;
    std::string min, max, def, increment;  // as written: instrument units or expressions
    std::string unit;                      // user unit of a number
    int list = -1;
    std::vector<std::string> classes;
};

struct AtomDef {
    std::string name;
    std::vector<ParamDef> params;
};

class ConfigText {
  public:
    ConfigText() = default;
    // Lines end with LF or CR LF; a last line without an end counts, an empty last line does not.
    static ConfigText from_text(std::string_view text);
    static ConfigText from_lines(std::vector<std::string> lines);

    const std::vector<std::string>& lines() const { return lines_; }
    // "line N: ..." for everything the host's reader would refuse or silently change.
    const std::vector<std::string>& problems() const { return problems_; }

    const std::vector<ListDef>& lists() const { return lists_; }
    const std::vector<ClassDef>& classes() const { return classes_; }
    const std::vector<ObjectDef>& objects() const { return objects_; }
    const std::vector<AtomDef>& atoms() const { return atoms_; }

    // Looked up without regard to case; where names repeat the last one wins, as on the host.
    const ListDef* find_list(int number) const;
    const ClassDef* find_class(std::string_view name) const;
    const ObjectDef* find_object(std::string_view name) const;
    const AtomDef* find_atom(std::string_view name) const;
    std::vector<std::string> object_names_of_class(std::string_view class_name) const;

    // Takes an object line "CLASS;name;value;..." as a download: it replaces the object of that
    // name, or is added after the last object. Empty result on success, else why it was refused
    // (the text is then unchanged).
    std::string download_object(std::string_view line);

  private:
    void read();

    std::vector<std::string> lines_;
    std::vector<std::string> problems_;
    std::vector<ListDef> lists_;
    std::vector<ClassDef> classes_;
    std::vector<ObjectDef> objects_;
    std::vector<AtomDef> atoms_;
    std::size_t objects_end_ = 0;  // index of the line after the last object line
};

}  // namespace zorsim
