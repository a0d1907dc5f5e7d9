#include "platform/InotifyTree.h"

#include <algorithm>

void FolderTree::Reset(int rootWd) {
    nodes_.clear();
    root_ = rootWd;
    nodes_[rootWd] = Node{};
}

std::vector<int> FolderTree::Descriptors() const {
    std::vector<int> wds;
    wds.reserve(nodes_.size());
    for (const auto& [wd, node] : nodes_) {
        wds.push_back(wd);
    }
    return wds;
}

void FolderTree::Detach(int wd) {
    Node& node = nodes_.at(wd);
    auto parent = nodes_.find(node.Parent);
    if (parent != nodes_.end()) {
        auto child = parent->second.Children.find(node.Name);
        if (child != parent->second.Children.end() && child->second == wd) {
            parent->second.Children.erase(child);
        }
    }
    node.Parent = kNone;
}

bool FolderTree::IsWithin(int wd, int folder) const {
    for (auto node = nodes_.find(wd); node != nodes_.end();
         node = nodes_.find(node->second.Parent)) {
        if (node->first == folder) {
            return true;
        }
    }
    return false;
}

void FolderTree::Place(int wd, int parent, const std::string& name) {
    if (wd == root_ || !Contains(parent) || IsWithin(parent, wd)) {
        return;
    }
    auto known = nodes_.find(wd);
    if (known == nodes_.end()) {
        known = nodes_.emplace(wd, Node{}).first;
    } else {
        Detach(wd);
    }
    known->second.Parent = parent;
    known->second.Name = name;
    auto& children = nodes_.at(parent).Children;
    auto stale = children.find(name);
    if (stale != children.end()) {
        // A folder of this name that is gone already; it waits for its removal detached.
        nodes_.at(stale->second).Parent = kNone;
        stale->second = wd;
    } else {
        children.emplace(name, wd);
    }
}

int FolderTree::ChildNamed(int parent, const std::string& name) const {
    auto node = nodes_.find(parent);
    if (node == nodes_.end()) {
        return kNone;
    }
    auto child = node->second.Children.find(name);
    return child == node->second.Children.end() ? kNone : child->second;
}

bool FolderTree::Location(int wd, int* parent, std::string* name) const {
    auto node = nodes_.find(wd);
    if (node == nodes_.end()) {
        return false;
    }
    *parent = node->second.Parent;
    *name = node->second.Name;
    return true;
}

std::vector<int> FolderTree::Remove(int wd) {
    std::vector<int> removed;
    if (!Contains(wd)) {
        return removed;
    }
    Detach(wd);
    removed.push_back(wd);
    for (size_t next = 0; next < removed.size(); ++next) {
        auto node = nodes_.find(removed[next]);
        for (const auto& [name, child] : node->second.Children) {
            auto grandchild = nodes_.find(child);
            if (grandchild != nodes_.end() && grandchild->second.Parent == removed[next]) {
                removed.push_back(child);
            }
        }
    }
    for (int gone : removed) {
        nodes_.erase(gone);
    }
    if (wd == root_) {
        root_ = kNone;
    }
    return removed;
}

std::string FolderTree::PathOf(int wd) const {
    std::vector<const std::string*> parts;
    for (auto node = nodes_.find(wd); node != nodes_.end() && node->first != root_;
         node = nodes_.find(node->second.Parent)) {
        parts.push_back(&node->second.Name);
    }
    std::string path;
    for (auto part = parts.rbegin(); part != parts.rend(); ++part) {
        if (!path.empty()) {
            path += '/';
        }
        path += **part;
    }
    return path;
}

std::string FolderTree::PathOf(int wd, std::string_view name) const {
    std::string path = PathOf(wd);
    if (!path.empty() && !name.empty()) {
        path += '/';
    }
    path += name;
    return path;
}
