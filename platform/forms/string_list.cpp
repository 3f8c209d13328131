#include "platform/forms/string_list.h"

#include <algorithm>
#include <stdexcept>

namespace platform::forms {

namespace {

char fold(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Letters a-z folded to A-Z, nothing else: the way the system compares names.
int compare_text(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(fold(a[i]));
        const auto y = static_cast<unsigned char>(fold(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

}  // namespace

StringList::StringList(std::initializer_list<std::string> items) : items_(items), objects_(items.size(), 0) {}

StringList::StringList(const StringList& other) : items_(other.items_), objects_(other.objects_) {}

StringList& StringList::operator=(const StringList& other) {
    if (this == &other) return *this;
    items_ = other.items_;
    objects_ = other.objects_;
    if (sorted) {
        sort();  // notifies
    } else {
        notify(Change::replaced, -1);
    }
    return *this;
}

void StringList::check(int index, const char* what) const {
    if (index < 0 || index >= count()) {
        throw std::out_of_range(std::string("string list ") + what + ": index " + std::to_string(index) +
                                " out of range (count " + std::to_string(count()) + ")");
    }
}

void StringList::notify(Change change, int index) {
    if (listener_) listener_(change, index);
}

const std::string& StringList::operator[](int index) const {
    check(index, "read");
    return items_[static_cast<std::size_t>(index)];
}

void StringList::set(int index, std::string text) {
    check(index, "write");
    items_[static_cast<std::size_t>(index)] = std::move(text);
    notify(Change::replaced, index);
}

std::intptr_t StringList::object(int index) const {
    check(index, "object");
    return objects_[static_cast<std::size_t>(index)];
}

void StringList::set_object(int index, std::intptr_t object) {
    check(index, "object");
    objects_[static_cast<std::size_t>(index)] = object;
}

int StringList::sorted_position(std::string_view text) const {
    // After the last equal item, so equal texts keep the order they were added in.
    auto it = std::upper_bound(
        items_.begin(), items_.end(), text,
        [](std::string_view t, const std::string& item) { return compare_text(t, item) < 0; });
    return static_cast<int>(it - items_.begin());
}

int StringList::add(std::string text, std::intptr_t object) {
    int index = count();
    if (sorted) {
        if (ignore_duplicates && index_of(text) >= 0) return -1;
        index = sorted_position(text);
    }
    items_.insert(items_.begin() + index, std::move(text));
    objects_.insert(objects_.begin() + index, object);
    notify(Change::inserted, index);
    return index;
}

void StringList::add_strings(const StringList& other) {
    for (int i = 0; i < other.count(); ++i)
        add(other.items_[static_cast<std::size_t>(i)], other.objects_[static_cast<std::size_t>(i)]);
}

void StringList::insert(int index, std::string text, std::intptr_t object) {
    if (sorted) throw std::logic_error("string list: insert at a position into a sorted list");
    if (index < 0 || index > count()) check(index, "insert");
    items_.insert(items_.begin() + index, std::move(text));
    objects_.insert(objects_.begin() + index, object);
    notify(Change::inserted, index);
}

void StringList::erase(int index) {
    check(index, "delete");
    items_.erase(items_.begin() + index);
    objects_.erase(objects_.begin() + index);
    notify(Change::deleted, index);
}

void StringList::clear() {
    items_.clear();
    objects_.clear();
    notify(Change::cleared, -1);
}

void StringList::move(int from, int to) {
    check(from, "move");
    check(to, "move");
    if (from == to) return;
    std::string text = std::move(items_[static_cast<std::size_t>(from)]);
    std::intptr_t object = objects_[static_cast<std::size_t>(from)];
    items_.erase(items_.begin() + from);
    objects_.erase(objects_.begin() + from);
    items_.insert(items_.begin() + to, std::move(text));
    objects_.insert(objects_.begin() + to, object);
    notify(Change::reordered, -1);
}

void StringList::exchange(int a, int b) {
    check(a, "exchange");
    check(b, "exchange");
    std::swap(items_[static_cast<std::size_t>(a)], items_[static_cast<std::size_t>(b)]);
    std::swap(objects_[static_cast<std::size_t>(a)], objects_[static_cast<std::size_t>(b)]);
    notify(Change::reordered, -1);
}

void StringList::sort() {
    std::vector<std::size_t> order(items_.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [this](std::size_t a, std::size_t b) { return compare_text(items_[a], items_[b]) < 0; });
    std::vector<std::string> items;
    std::vector<std::intptr_t> objects;
    for (std::size_t i : order) {
        items.push_back(std::move(items_[i]));
        objects.push_back(objects_[i]);
    }
    items_ = std::move(items);
    objects_ = std::move(objects);
    notify(Change::reordered, -1);
}

int StringList::index_of(std::string_view text) const {
    for (int i = 0; i < count(); ++i) {
        if (compare_text(items_[static_cast<std::size_t>(i)], text) == 0) return i;
    }
    return -1;
}

int StringList::index_of_exact(std::string_view text) const {
    for (int i = 0; i < count(); ++i) {
        if (items_[static_cast<std::size_t>(i)] == text) return i;
    }
    return -1;
}

int StringList::index_of_object(std::intptr_t object) const {
    for (int i = 0; i < count(); ++i) {
        if (objects_[static_cast<std::size_t>(i)] == object) return i;
    }
    return -1;
}

std::string StringList::text() const {
    std::string out;
    for (const auto& line : items_) {
        out += line;
        out += "\r\n";
    }
    return out;
}

void StringList::set_text(std::string_view text) {
    items_.clear();
    objects_.clear();
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t end = text.find_first_of("\r\n", i);
        if (end == std::string_view::npos) {
            items_.emplace_back(text.substr(i));
            break;
        }
        items_.emplace_back(text.substr(i, end - i));
        i = end + 1;
        if (text[end] == '\r' && i < text.size() && text[i] == '\n') ++i;
    }
    objects_.assign(items_.size(), 0);
    if (sorted) {
        sort();
    } else {
        notify(Change::replaced, -1);
    }
}

std::string StringList::comma_text() const {
    std::string out;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (i) out += ',';
        const std::string& s = items_[i];
        if (s.find_first_of(", \"") == std::string::npos && !s.empty()) {
            out += s;
            continue;
        }
        out += '"';
        for (char c : s) {
            if (c == '"') out += '"';
            out += c;
        }
        out += '"';
    }
    return out;
}

}  // namespace platform::forms
