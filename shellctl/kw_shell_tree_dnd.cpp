// The shell tree's drag and drop: a node dragged out through the in-process drag loop, and
// drops onto nodes forwarded to the drop target of the item under the pointer, with
// auto-scroll and expansion of a folder the pointer rests on.
#include "shellctl/kw_shell_tree.h"

namespace shellctl {

namespace forms = platform::forms;
namespace shell = platform::shell;
namespace com = platform::com;
using Node = forms::TreeNode;

namespace {

constexpr unsigned kScrollInterval = 100;
constexpr int kScrollMarginY = 20;

shell::POINTL pointl(forms::Point p) {
    return {p.x, p.y};
}

}  // namespace

// ---- the drag source ------------------------------------------------------------------------------------

void TKwCustomShellTree::begin_drag(Node* node, bool right_button) {
    ensure_reachable("drag from");
    // A window made without drags (no kwstoOleDrag) never reports one starting.
    if (DragDisabled || !Has(kwstoOleDrag) || !node) return;
    drag_node_ = node;
    DropTarget = node;
    auto* data = NodeData(node);
    if (data && data->Parent()) BeginOleDrag(right_button);
    drag_node_ = nullptr;
    DropTarget = nullptr;
}

HRESULT TKwCustomShellTree::BeginOleDrag(bool right_button) {
    if (!drag_node_) return com::E_UNEXPECTED;
    modal_ = true;
    HRESULT hr = shell::DRAGDROP_S_CANCEL;
    try {
        auto data = com::ComPtr<shell::IDataObject>::share(new TDataObject_shtv(NodeData(drag_node_)));
        const std::uint32_t effects = DragEffects(drag_node_);
        auto source = CreateDropSource(right_button);
        std::uint32_t effect = shell::DROPEFFECT_NONE;
        hr = shell::do_drag_drop(data.get(), source.get(), effects, &effect);
    } catch (...) {
        modal_ = false;
        pending_refresh_ = false;
        throw;
    }
    const bool refresh = hr == shell::DRAGDROP_S_DROP || pending_refresh_;
    modal_ = false;
    pending_refresh_ = false;
    if (refresh) RefreshTree();
    return hr;
}

com::ComPtr<shell::IDropSource> TKwCustomShellTree::CreateDropSource(bool right_button) {
    return com::ComPtr<shell::IDropSource>::share(new TDropSource_shlvtv(right_button ? 1 : 0));
}

std::uint32_t TKwCustomShellTree::DragEffects(Node* node) {
    // What the item's folder allows; an item it cannot answer for allows nothing.
    auto* data = NodeData(node);
    if (!data) return shell::DROPEFFECT_NONE;
    const FolderPtr parent = data->ParentFolder();
    if (!parent) return shell::DROPEFFECT_NONE;
    constexpr std::uint32_t mask = shell::SFGAO_CANCOPY | shell::SFGAO_CANMOVE | shell::SFGAO_CANLINK;
    return parent->attributes_of(data->RelativeIdList(), mask) & mask;
}

// ---- the drop target -------------------------------------------------------------------------------------

namespace {

// A node that takes drops: a shell node below the root, whose item has a drop target.
com::ComPtr<shell::IDropTarget> target_of(TKwCustomShellTree& tree, Node* node) {
    auto* data = tree.NodeData(node);
    if (!data || !data->Parent()) return {};
    com::ComPtr<shell::IDropTarget> target;
    if (com::failed(data->GetDropTarget(target))) return {};
    return target;
}

}  // namespace

HRESULT TKwCustomShellTree::TreeDragEnter(shell::IDataObject* data, std::uint32_t keys, forms::Point point,
                                          std::uint32_t* effect) {
    if (!effect) return com::E_INVALIDARG;
    last_scroll_tick_ = Now();
    drag_data_ = com::ComPtr<shell::IDataObject>::share(data);
    drag_keys_ = keys;
    Node* node = GetNodeAt(point.x, point.y);
    if (!NodeData(node) || !NodeData(node)->Parent()) {
        DropTarget = drag_node_;
        *effect = shell::DROPEFFECT_NONE;
    } else {
        DropTarget = node;
        if (auto target = target_of(*this, node)) {
            target->DragEnter(data, keys, pointl(point), effect);
            target->DragLeave();
        } else {
            *effect = shell::DROPEFFECT_NONE;
        }
    }
    hover_point_ = point;
    hover_start_ = Now();
    return com::S_OK;
}

HRESULT TKwCustomShellTree::TreeDragOver(std::uint32_t keys, forms::Point point, std::uint32_t* effect) {
    if (!effect) return com::E_INVALIDARG;
    Node* node = GetNodeAt(point.x, point.y);
    auto target = target_of(*this, node);
    if (target && drag_data_) {
        DropTarget = node;
        const std::uint32_t allowed = *effect;
        target->DragEnter(drag_data_.get(), keys, pointl(point), effect);
        *effect = allowed;
        target->DragOver(keys, pointl(point), effect);
        target->DragLeave();
    } else {
        DropTarget = NodeData(node) && NodeData(node)->Parent() ? node : drag_node_;
        *effect = shell::DROPEFFECT_NONE;
    }
    DragAutoScroll(point);
    *effect |= shell::DROPEFFECT_SCROLL;
    return com::S_OK;
}

HRESULT TKwCustomShellTree::TreeDragLeave() {
    drag_data_.reset();
    DropTarget = nullptr;
    return com::S_OK;
}

HRESULT TKwCustomShellTree::TreeDrop(shell::IDataObject* data, std::uint32_t keys, forms::Point point,
                                     std::uint32_t* effect) {
    if (!effect) return com::E_INVALIDARG;
    // Nothing raises out of a drop into the drag loop: a failure is no effect.
    try {
        Node* node = GetNodeAt(point.x, point.y);
        if (auto target = target_of(*this, node)) {
            keys |= drag_keys_ & (shell::MK_LBUTTON | shell::MK_RBUTTON);
            const std::uint32_t allowed = *effect;
            target->DragEnter(data, keys, pointl(point), effect);
            *effect = allowed;
            target->DragOver(keys, pointl(point), effect);
            *effect &= GetAllowedDropEffects(data);
            HRESULT hr = com::S_OK;
            {
                const TKwHourglass hourglass;
                hr = target->Drop(data, keys, pointl(point), effect);
            }
            if (com::failed(hr)) *effect = shell::DROPEFFECT_NONE;
            RefreshTree();
        } else {
            *effect = shell::DROPEFFECT_NONE;
        }
    } catch (const Exception& e) {
        *effect = shell::DROPEFFECT_NONE;
        HandleException(e);
    }
    DropTarget = nullptr;
    drag_data_.reset();
    return com::S_OK;
}

void TKwCustomShellTree::DragAutoScroll(forms::Point point) {
    const std::uint32_t t = Now();
    if (t - last_scroll_tick_ > kScrollInterval) {
        bool scrolled = false;
        // Horizontal scrolling needs rows wider than the tree; the headless tree has none.
        if (point.y < kScrollMarginY) {
            scrolled = ScrollLines(-1);
        } else if (point.y > Height - kScrollMarginY) {
            scrolled = ScrollLines(1);
        }
        if (scrolled) {
            hover_start_ = t;
            last_scroll_tick_ = t;
        }
    }
    const auto& hover = HoverSettings();
    const int hx = hover_point_.x, hy = hover_point_.y;
    const forms::Rect rest{hx - hover.Width / 2, hy - hover.Height / 2, hx + hover.Width, hy + hover.Height};
    if (!rest.contains(point)) {
        hover_point_ = point;
        hover_start_ = t;
        return;
    }
    if (t - hover_start_ <= hover.Time) return;
    if (Node* node = GetNodeAt(hover_point_.x, hover_point_.y); node && !node->Expanded) {
        ++hover_expansion_;
        try {
            ExpandNode(node);
        } catch (const Exception&) {
            node->HasChildren = false;  // an empty drive, say: no button, no box
        }
        --hover_expansion_;
        if (!node->Expanded || node->count() == 0) node->HasChildren = false;
    }
    hover_point_ = point;
    hover_start_ = t;
}

// ---- TDropTarget_shtv
// ------------------------------------------------------------------------------------------

// The drag gives screen points; the tree finds its nodes by client points.
HRESULT TDropTarget_shtv::DragEnter(shell::IDataObject* data, std::uint32_t keys, shell::POINTL pt,
                                    std::uint32_t* effect) {
    return tree_->TreeDragEnter(data, keys, tree_->screen_to_client({pt.x, pt.y}), effect);
}

HRESULT TDropTarget_shtv::DragOver(std::uint32_t keys, shell::POINTL pt, std::uint32_t* effect) {
    return tree_->TreeDragOver(keys, tree_->screen_to_client({pt.x, pt.y}), effect);
}

HRESULT TDropTarget_shtv::DragLeave() {
    return tree_->TreeDragLeave();
}

HRESULT TDropTarget_shtv::Drop(shell::IDataObject* data, std::uint32_t keys, shell::POINTL pt,
                               std::uint32_t* effect) {
    return tree_->TreeDrop(data, keys, tree_->screen_to_client({pt.x, pt.y}), effect);
}

}  // namespace shellctl
