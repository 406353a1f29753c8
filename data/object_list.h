#pragma once
// The component root that owned objects derive from, and an owning list of
// them: clearing the list, or destroying it, frees the items.

#include <cstddef>
#include <memory>
#include <vector>

class TComponent {
public:
    virtual ~TComponent() = default;
};

// T derives from TComponent. The list can be declared where T is only
// forward-declared; its typed members are used where T is complete.
template <class T>
class TObjectList {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    T* operator[](int i) const { return static_cast<T*>(items_.at(static_cast<std::size_t>(i)).get()); }
    T* Add(std::unique_ptr<T> item)
    {
        T* raw = item.get();
        items_.push_back(std::unique_ptr<TComponent>(std::move(item)));
        return raw;
    }
    void Clear() { items_.clear(); }

private:
    std::vector<std::unique_ptr<TComponent>> items_;
};
