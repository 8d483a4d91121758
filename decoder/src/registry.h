// A registry of modules of one kind: private copies of their descriptors with identifiers,
// newest first.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace svd {

template <typename Descriptor>
class Registry {
 public:
  struct Entry {
    int32_t id;
    Descriptor descriptor;
  };

  // Copies the descriptor; the first module gets 0, each later one the newest id + 1.
  const Entry& Add(const Descriptor& descriptor) {
    const int32_t id = entries_.empty() ? 0 : entries_.back()->id + 1;
    entries_.push_back(std::make_unique<Entry>(Entry{id, descriptor}));
    return *entries_.back();
  }

  const Entry* FindId(int32_t id) const {
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
      if ((*it)->id == id) return it->get();
    return nullptr;
  }

  // The newest entry for which accepts(descriptor) holds.
  template <typename Accepts>
  const Entry* FindFirst(Accepts accepts) const {
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
      if (accepts((*it)->descriptor)) return it->get();
    return nullptr;
  }

  std::size_t size() const { return entries_.size(); }

 private:
  // Entries keep their address: instances hold a pointer to their module's identifier.
  std::vector<std::unique_ptr<Entry>> entries_;
};

}  // namespace svd
