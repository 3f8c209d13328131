// Storage and Stream handles over the in-memory tree.
#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/storage/cfb_tree.h"

namespace platform::storage {

using detail::Node;

namespace {

// Version 3 keeps stream sizes in 32 bits.
constexpr std::uint64_t kMaxStreamSize = std::numeric_limits<std::uint32_t>::max();

StgResult check_handle(const std::shared_ptr<Node>& node, const std::shared_ptr<detail::Access>& access,
                       bool write) {
    if (!node || !access) return StgResult(StgError::invalid_argument, "the handle is empty");
    if (node->destroyed) {
        return StgResult(StgError::not_found,
                         "element \"" + detail::to_utf8(node->name) + "\" was destroyed");
    }
    if (write && access->closed) {
        return StgResult(StgError::access_denied, "the compound file was closed");
    }
    if (write && !access->writable) {
        return StgResult(StgError::access_denied, "the compound file is open read-only");
    }
    return {};
}

void mark_destroyed(Node& node) {
    std::vector<Node*> stack{&node};
    while (!stack.empty()) {
        Node* n = stack.back();
        stack.pop_back();
        n->destroyed = true;
        for (auto& c : n->children) stack.push_back(c.get());
    }
}

}  // namespace

// ---- Stream ----

std::string Stream::name() const {
    return node_ ? detail::to_utf8(node_->name) : std::string();
}

StgResult Stream::check_writable() const {
    return check_handle(node_, access_, true);
}

std::size_t Stream::read(void* buffer, std::size_t n) {
    if (!node_ || n == 0) return 0;
    const auto& data = node_->data;
    if (position_ >= data.size()) return 0;
    std::size_t count = std::min<std::uint64_t>(n, data.size() - position_);
    std::memcpy(buffer, data.data() + position_, count);
    position_ += count;
    return count;
}

StgResult Stream::write(const void* data, std::size_t n) {
    if (auto r = check_writable(); !r) return r;
    if (n == 0) return {};
    if (data == nullptr) return StgResult(StgError::invalid_argument, "write from a null buffer");
    if (position_ > kMaxStreamSize || n > kMaxStreamSize - position_) {
        return StgResult(StgError::invalid_argument, "a stream holds at most 4 GiB - 1 bytes");
    }
    auto& bytes = node_->data;
    std::uint64_t end = position_ + n;
    if (end > bytes.size()) bytes.resize(static_cast<std::size_t>(end), 0);
    std::memcpy(bytes.data() + position_, data, n);
    position_ = end;
    return {};
}

StgResult Stream::seek(std::uint64_t position) {
    if (auto r = check_handle(node_, access_, false); !r) return r;
    position_ = position;
    return {};
}

StgOr<std::uint64_t> Stream::seek(std::int64_t offset, SeekOrigin origin) {
    if (auto r = check_handle(node_, access_, false); !r) return r;
    std::uint64_t base = origin == SeekOrigin::begin     ? 0
                         : origin == SeekOrigin::current ? position_
                                                         : static_cast<std::uint64_t>(node_->data.size());
    std::uint64_t target = 0;
    if (offset < 0) {
        auto back = static_cast<std::uint64_t>(-(offset + 1)) + 1;  // no overflow at INT64_MIN
        if (back > base) {
            return StgResult(StgError::invalid_argument, "seek to before the start of the stream");
        }
        target = base - back;
    } else {
        auto ahead = static_cast<std::uint64_t>(offset);
        if (ahead > std::numeric_limits<std::uint64_t>::max() - base) {
            return StgResult(StgError::invalid_argument, "seek past the largest position");
        }
        target = base + ahead;
    }
    position_ = target;
    return target;
}

std::uint64_t Stream::size() const {
    return node_ ? node_->data.size() : 0;
}

StgResult Stream::set_size(std::uint64_t size) {
    if (auto r = check_writable(); !r) return r;
    if (size > kMaxStreamSize) {
        return StgResult(StgError::invalid_argument, "a stream holds at most 4 GiB - 1 bytes");
    }
    node_->data.resize(static_cast<std::size_t>(size), 0);
    return {};
}

std::vector<std::uint8_t> Stream::read_all() const {
    return node_ ? node_->data : std::vector<std::uint8_t>();
}

// ---- Storage ----

std::string Storage::name() const {
    return node_ ? detail::to_utf8(node_->name) : std::string();
}

std::array<std::uint8_t, 16> Storage::clsid() const {
    return node_ ? node_->clsid : std::array<std::uint8_t, 16>{};
}

StgResult Storage::check_writable() const {
    return check_handle(node_, access_, true);
}

StgOr<Storage> Storage::open_storage(std::string_view name) const {
    if (auto r = check_handle(node_, access_, false); !r) return r;
    auto key = detail::element_name(name);
    if (!key) return key.result();
    auto child = detail::find_child(*node_, *key);
    if (!child) {
        return StgResult(StgError::not_found,
                         "no storage \"" + std::string(name) + "\" in \"" + this->name() + "\"");
    }
    if (!child->is_storage) {
        return StgResult(StgError::not_found, "\"" + std::string(name) + "\" is a stream, not a storage");
    }
    return Storage(child, access_);
}

StgOr<Storage> Storage::create_storage(std::string_view name) {
    if (auto r = check_writable(); !r) return r;
    auto key = detail::element_name(name);
    if (!key) return key.result();
    std::size_t at = 0;
    if (detail::find_child(*node_, *key, &at)) {
        return StgResult(StgError::already_exists,
                         "\"" + std::string(name) + "\" already exists in \"" + this->name() + "\"");
    }
    auto child = std::make_shared<Node>();
    child->name = *key;
    child->is_storage = true;
    child->created = child->modified = detail::filetime_now();
    node_->children.insert(node_->children.begin() + static_cast<std::ptrdiff_t>(at), child);
    return Storage(child, access_);
}

StgOr<Stream> Storage::open_stream(std::string_view name) const {
    if (auto r = check_handle(node_, access_, false); !r) return r;
    auto key = detail::element_name(name);
    if (!key) return key.result();
    auto child = detail::find_child(*node_, *key);
    if (!child) {
        return StgResult(StgError::not_found,
                         "no stream \"" + std::string(name) + "\" in \"" + this->name() + "\"");
    }
    if (child->is_storage) {
        return StgResult(StgError::not_found, "\"" + std::string(name) + "\" is a storage, not a stream");
    }
    return Stream(child, access_);
}

StgOr<Stream> Storage::create_stream(std::string_view name, bool replace_existing) {
    if (auto r = check_writable(); !r) return r;
    auto key = detail::element_name(name);
    if (!key) return key.result();
    std::size_t at = 0;
    if (auto existing = detail::find_child(*node_, *key, &at)) {
        if (!replace_existing) {
            return StgResult(StgError::already_exists,
                             "\"" + std::string(name) + "\" already exists in \"" + this->name() + "\"");
        }
        mark_destroyed(*existing);
        node_->children.erase(node_->children.begin() + static_cast<std::ptrdiff_t>(at));
    }
    auto child = std::make_shared<Node>();
    child->name = *key;
    node_->children.insert(node_->children.begin() + static_cast<std::ptrdiff_t>(at), child);
    return Stream(child, access_);
}

StgResult Storage::destroy_element(std::string_view name) {
    if (auto r = check_writable(); !r) return r;
    auto key = detail::element_name(name);
    if (!key) return key.result();
    std::size_t at = 0;
    auto existing = detail::find_child(*node_, *key, &at);
    if (!existing) {
        return StgResult(StgError::not_found,
                         "no element \"" + std::string(name) + "\" in \"" + this->name() + "\"");
    }
    mark_destroyed(*existing);
    node_->children.erase(node_->children.begin() + static_cast<std::ptrdiff_t>(at));
    return {};
}

std::vector<ElementInfo> Storage::elements() const {
    std::vector<ElementInfo> out;
    if (!node_) return out;
    out.reserve(node_->children.size());
    for (const auto& c : node_->children) {
        out.push_back({detail::to_utf8(c->name), c->is_storage ? ElementKind::storage : ElementKind::stream,
                       c->is_storage ? 0 : static_cast<std::uint64_t>(c->data.size())});
    }
    return out;
}

}  // namespace platform::storage
