// A list of 8-bit strings with an optional objects column: the Items of list and combo boxes,
// the Lines of memos, and a plain working list for code that needs one.
//
// Indices are 0-based; an index out of range throws std::out_of_range (the lists are used as
// arrays by the core and a silent wrong index would hide a bug). With `sorted` set, add()
// inserts at the place that keeps the list in order (letters compared without regard to case,
// as the system compares names), and insert() at a position is refused.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::forms {

class StringList {
  public:
    // What changed, for the control that owns the list (a combo box keeps its selection on
    // the item it had).
    enum class Change { inserted, deleted, cleared, replaced, reordered };
    using Listener = std::function<void(Change, int index)>;

    StringList() = default;
    StringList(std::initializer_list<std::string> items);
    // Copies the strings and objects, not the listener nor the sorted flag.
    StringList(const StringList& other);
    StringList& operator=(const StringList& other);

    bool sorted = false;
    // Sorted lists: whether add() of a text already present (without regard to case) is
    // ignored. Off by default.
    bool ignore_duplicates = false;

    int count() const { return static_cast<int>(items_.size()); }
    bool empty() const { return items_.empty(); }
    const std::string& operator[](int index) const;
    const std::string& at(int index) const { return (*this)[index]; }
    void set(int index, std::string text);  // replaces the text, keeps the object
    std::intptr_t object(int index) const;
    void set_object(int index, std::intptr_t object);

    // Appends (or inserts in order when sorted); returns the index it went to, or -1 when a
    // sorted list ignores a duplicate.
    int add(std::string text, std::intptr_t object = 0);
    void add_strings(const StringList& other);
    void insert(int index, std::string text, std::intptr_t object = 0);
    void erase(int index);  // the Delete of the lists
    void clear();
    void move(int from, int to);
    void exchange(int a, int b);
    void sort();

    // First index whose text equals `text` without regard to letter case, or -1.
    int index_of(std::string_view text) const;
    // First index whose text equals `text` exactly, or -1.
    int index_of_exact(std::string_view text) const;
    int index_of_object(std::intptr_t object) const;

    // The lines joined, each followed by CR LF; set_text splits at CR LF, LF or CR.
    std::string text() const;
    void set_text(std::string_view text);
    // "a,b,c"; texts holding a comma, blank or quote are quoted.
    std::string comma_text() const;

    const std::vector<std::string>& strings() const { return items_; }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

    bool operator==(const StringList& other) const { return items_ == other.items_; }

    // One listener (the owning control); called after each change.
    void set_listener(Listener listener) { listener_ = std::move(listener); }

  private:
    void check(int index, const char* what) const;
    void notify(Change change, int index);
    int sorted_position(std::string_view text) const;

    std::vector<std::string> items_;
    std::vector<std::intptr_t> objects_;
    Listener listener_;
};

}  // namespace platform::forms
