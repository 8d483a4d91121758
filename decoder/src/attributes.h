// Named text or integer attributes with watchers: the status store (emptied at every input
// open) and the global store of the decoder.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "module.h"

namespace svd {

class AttributeStore {
 public:
  // 0, or -901 when the name exists with the other kind.
  int32_t SetText(const char* name, const char* value);
  int32_t SetInteger(const char* name, int32_t value);
  // 0 and the value (text valid until the attribute changes), or -900 when absent.
  int32_t Get(const char* name, AttributeValue* value) const;
  // 0, or -900 when absent.
  int32_t Remove(const char* name);
  // Drops every attribute; watchers stay attached.
  void Clear();
  std::size_t size() const { return entries_.size(); }

  int32_t Attach(const char* name, AttributeWatcher watcher, void* user);
  // 0, or -900 when no such watcher is attached.
  int32_t Detach(const char* name, AttributeWatcher watcher, void* user);

 private:
  struct Entry {
    std::string name;
    AttributeKind kind;
    std::string text;
    int32_t integer;
  };
  struct Watch {
    std::string name;
    AttributeWatcher watcher;
    void* user;
  };

  Entry* Find(const char* name);
  int32_t Set(const char* name, AttributeKind kind, const char* text, int32_t integer);
  void Notify(const std::string& name, const AttributeValue* value);

  // A list: other entries coming and going never move a text that Get handed out.
  std::list<Entry> entries_;
  std::vector<Watch> watches_;
};

}  // namespace svd
