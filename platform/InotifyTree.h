#pragma once
// The watched folders as a tree of nodes keyed by inotify watch descriptor. Each node knows only
// its parent and its own name, so renaming a folder is one update however large its subtree is,
// and a path is always built from the current parent chain.
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class FolderTree {
  public:
    static constexpr int kNone = -1;

    // Forgets every node and makes wd the root (the watched folder, whose path is empty).
    void Reset(int rootWd);
    int Root() const { return root_; }
    bool Contains(int wd) const { return nodes_.count(wd) != 0; }
    size_t Size() const { return nodes_.size(); }
    std::vector<int> Descriptors() const;

    // Places folder wd as the child `name` of parent: adds it, or moves it there when it is
    // already known. A stale child of the same name is detached (it stays until removed).
    void Place(int wd, int parent, const std::string& name);
    // The descriptor of parent's child folder `name`, or kNone.
    int ChildNamed(int parent, const std::string& name) const;
    // Where wd sits: false for an unknown descriptor.
    bool Location(int wd, int* parent, std::string* name) const;
    // True when wd is folder or lies below it.
    bool IsWithin(int wd, int folder) const;
    // Removes wd and every folder below it; returns the removed descriptors (wd first).
    std::vector<int> Remove(int wd);

    // Path of wd relative to the root ("" for the root itself), '/' between components.
    std::string PathOf(int wd) const;
    // Path of the entry `name` inside folder wd.
    std::string PathOf(int wd, std::string_view name) const;

  private:
    struct Node {
        int Parent = kNone;
        std::string Name;
        std::unordered_map<std::string, int> Children;
    };
    void Detach(int wd);

    int root_ = kNone;
    std::unordered_map<int, Node> nodes_;
};
