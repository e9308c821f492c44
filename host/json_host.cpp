#include "host/json_host.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "host/request_json.h"
#include "system/system.h"

namespace {

inline constexpr int32_t kOk = 0;
inline constexpr int32_t kInvalidArgument = static_cast<int32_t>(0x80070057u);
inline constexpr int32_t kNoInterface = static_cast<int32_t>(0x80004002u);

struct JsonHost;

using Item = RequestItem;

Item Text(Item::Kind kind, uint32_t key, HostString text) {
  return Item::Received(kind, key, text, HostStringByteLength(text));
}

class JsonDescriptor final : public HostDescriptor {
 public:
  std::vector<Item> items;

  int32_t SetTextItem(uint32_t key, HostString text) override {
    return Add(Text(Item::kText, key, text));
  }
  int32_t SetBooleanItem(uint32_t key, int32_t value) override {
    return Add(Item::Of(Item::kBoolean, key, 0, value != 0 ? 1u : 0u));
  }
  int32_t SetListItem(uint32_t key, HostList* list) override;
  int32_t SetObjectItem(uint32_t key, uint32_t classId, HostDescriptor* descriptor) override;
  int32_t SetEnumItem(uint32_t key, uint32_t typeId, uint32_t valueId) override {
    return Add(Item::Of(Item::kEnum, key, typeId, valueId));
  }
  int32_t SetPathItem(uint32_t key, HostString path) override {
    return Add(Text(Item::kPath, key, path));
  }
  int32_t SetDataItem(uint32_t key, HostString bytes) override {
    return Add(Text(Item::kData, key, bytes));
  }

 private:
  int32_t Add(const Item& item) {
    items.push_back(item);
    return kOk;
  }
};

class JsonList final : public HostList {
 public:
  std::vector<Item> items;

  int32_t AddObjectItem(uint32_t classId, HostDescriptor* descriptor) override {
    if (descriptor == nullptr) return kInvalidArgument;
    items.push_back(
        Item::Of(Item::kObject, 0, classId, 0, &static_cast<JsonDescriptor*>(descriptor)->items));
    return kOk;
  }
  int32_t AddPathItem(HostString path) override {
    items.push_back(Text(Item::kPath, 0, path));
    return kOk;
  }
};

int32_t JsonDescriptor::SetListItem(uint32_t key, HostList* list) {
  if (list == nullptr) return kInvalidArgument;
  return Add(Item::Of(Item::kList, key, 0, 0, &static_cast<JsonList*>(list)->items));
}

int32_t JsonDescriptor::SetObjectItem(uint32_t key, uint32_t classId, HostDescriptor* descriptor) {
  if (descriptor == nullptr) return kInvalidArgument;
  return Add(
      Item::Of(Item::kObject, key, classId, 0, &static_cast<JsonDescriptor*>(descriptor)->items));
}

class JsonControl final : public HostControl {
 public:
  explicit JsonControl(JsonHost& host) : host_(host) {}
  int32_t PlayEvent(uint32_t event, HostDescriptor* request, int32_t dialogMode,
                    HostDescriptor** result) override;
  int32_t TypeIdOfString(HostString name, uint32_t* id) override;

 private:
  JsonHost& host_;
};

class JsonApplication final : public HostApplication, public HostObject {
 public:
  explicit JsonApplication(JsonHost& host) : host_(host) {}
  int32_t QueryInterface(const Guid& iid, HostApplication** application) override {
    *application = iid == kHostApplicationIid ? this : nullptr;
    return *application != nullptr ? kOk : kNoInterface;
  }
  int32_t MakeControlObject(HostControl** control) override;
  int32_t MakeDescriptor(HostDescriptor** descriptor) override;
  int32_t MakeList(HostList** list) override;

 private:
  JsonHost& host_;
};

// One host with every object it ever made.
struct JsonHost {
  explicit JsonHost(std::string* capture) : out(capture), application(*this) {}
  std::string* out;  // null: standard output
  JsonApplication application;
  std::vector<std::unique_ptr<JsonControl>> controls;
  std::vector<std::unique_ptr<JsonDescriptor>> descriptors;
  std::vector<std::unique_ptr<JsonList>> lists;
  std::vector<std::u16string> names;  // identifier n names names[n - 1]
  int lookups = 0;
};

// Every host lives until exit and goes with the process's static objects.
std::vector<std::unique_ptr<JsonHost>>& Arena() {
  static std::vector<std::unique_ptr<JsonHost>> hosts;
  return hosts;
}

int32_t JsonApplication::MakeControlObject(HostControl** control) {
  host_.controls.push_back(std::make_unique<JsonControl>(host_));
  *control = host_.controls.back().get();
  return kOk;
}

int32_t JsonApplication::MakeDescriptor(HostDescriptor** descriptor) {
  host_.descriptors.push_back(std::make_unique<JsonDescriptor>());
  *descriptor = host_.descriptors.back().get();
  return kOk;
}

int32_t JsonApplication::MakeList(HostList** list) {
  host_.lists.push_back(std::make_unique<JsonList>());
  *list = host_.lists.back().get();
  return kOk;
}

int32_t JsonControl::TypeIdOfString(HostString name, uint32_t* id) {
  if (name == nullptr || id == nullptr) return kInvalidArgument;
  ++host_.lookups;
  std::u16string text(name, HostStringByteLength(name) / 2);
  for (size_t i = 0; i < host_.names.size(); ++i) {
    if (host_.names[i] == text) {
      *id = static_cast<uint32_t>(i + 1);
      return kOk;
    }
  }
  host_.names.push_back(text);
  *id = static_cast<uint32_t>(host_.names.size());
  return kOk;
}

int32_t JsonControl::PlayEvent(uint32_t event, HostDescriptor* request, int32_t dialogMode,
                               HostDescriptor**) {
  if (request == nullptr) return kInvalidArgument;
  const std::vector<std::u16string>& names = host_.names;
  std::string document =
      RequestJson(event, dialogMode, host_.lookups, &static_cast<JsonDescriptor*>(request)->items,
                  [&names](uint32_t id) {
                    return id >= 1 && id <= names.size() ? &names[id - 1] : nullptr;
                  }) +
      "\n";
  if (host_.out != nullptr) {
    *host_.out += document;
    return kOk;
  }
  // A document that does not reach its reader (a full disk, a closed
  // stream, a reader gone) is a request not carried out.
  SysHandle out = Sys().GetStdHandle(kStdOutputHandle);
  uint32_t done = 0;
  if (out != kInvalidHandle &&
      Sys().WriteFile(out, document.data(), static_cast<uint32_t>(document.size()), &done) &&
      done == document.size())
    return kOk;
  // Reported as a broken connection is (the RPC facility): the reader may
  // have part of it. The write's own code stays in the low 16 bits.
  return static_cast<int32_t>(0x80010000u | (Sys().GetLastError() & 0xFFFF));
}

}  // namespace

HostObject* CreateJsonHostInto(std::string* out) {
  Arena().push_back(std::make_unique<JsonHost>(out));
  return &Arena().back()->application;
}

HostObject* CreateJsonHost() { return CreateJsonHostInto(nullptr); }
