#include "host/json_host.h"

#include "host/json_text.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "system/system.h"

namespace {

inline constexpr int32_t kOk = 0;
inline constexpr int32_t kInvalidArgument = static_cast<int32_t>(0x80070057u);
inline constexpr int32_t kNoInterface = static_cast<int32_t>(0x80004002u);
// Deeper nesting than the droplet ever builds is cut, so that a descriptor
// set inside itself cannot recurse without end.
inline constexpr int kMaxDepth = 32;

class JsonDescriptor;
class JsonList;
struct JsonHost;

struct Item {
  enum Kind { kText, kBoolean, kList, kObject, kEnum, kPath, kData } kind;
  uint32_t key = 0;     // descriptor items only
  uint32_t type = 0;    // class of an object, type of an enumeration
  uint32_t value = 0;   // boolean, enumeration value
  HostString text = nullptr;
  JsonList* list = nullptr;
  JsonDescriptor* descriptor = nullptr;
};

class JsonDescriptor final : public HostDescriptor {
 public:
  std::vector<Item> items;

  int32_t SetTextItem(uint32_t key, HostString text) override {
    return Add({Item::kText, key, 0, 0, text});
  }
  int32_t SetBooleanItem(uint32_t key, int32_t value) override {
    return Add({Item::kBoolean, key, 0, value != 0 ? 1u : 0u});
  }
  int32_t SetListItem(uint32_t key, HostList* list) override;
  int32_t SetObjectItem(uint32_t key, uint32_t classId, HostDescriptor* descriptor) override;
  int32_t SetEnumItem(uint32_t key, uint32_t typeId, uint32_t valueId) override {
    return Add({Item::kEnum, key, typeId, valueId});
  }
  int32_t SetPathItem(uint32_t key, HostString path) override {
    return Add({Item::kPath, key, 0, 0, path});
  }
  int32_t SetDataItem(uint32_t key, HostString bytes) override {
    return Add({Item::kData, key, 0, 0, bytes});
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
    Item item{Item::kObject, 0, classId};
    item.descriptor = static_cast<JsonDescriptor*>(descriptor);
    items.push_back(item);
    return kOk;
  }
  int32_t AddPathItem(HostString path) override {
    items.push_back({Item::kPath, 0, 0, 0, path});
    return kOk;
  }
};

int32_t JsonDescriptor::SetListItem(uint32_t key, HostList* list) {
  if (list == nullptr) return kInvalidArgument;
  Item item{Item::kList, key};
  item.list = static_cast<JsonList*>(list);
  return Add(item);
}

int32_t JsonDescriptor::SetObjectItem(uint32_t key, uint32_t classId,
                                      HostDescriptor* descriptor) {
  if (descriptor == nullptr) return kInvalidArgument;
  Item item{Item::kObject, key, classId};
  item.descriptor = static_cast<JsonDescriptor*>(descriptor);
  return Add(item);
}

// Writes the request as JSON.
class Writer {
 public:
  Writer(const std::vector<std::u16string>& names, std::string* out) : names_(names), out_(*out) {}

  void Text(const char16_t* units, size_t count) { AppendJsonText(out_, units, count); }

  void Counted(HostString text) {
    if (text == nullptr) {
      out_ += "null";
      return;
    }
    Text(text, HostStringByteLength(text) / 2);
  }

  // A string identifier by its name; anything else as four characters.
  void Key(uint32_t key) {
    if (key >= 1 && key <= names_.size()) {
      const std::u16string& name = names_[key - 1];
      Text(name.data(), name.size());
      return;
    }
    char16_t chars[4];
    for (int i = 0; i < 4; ++i) chars[i] = static_cast<char16_t>((key >> (24 - 8 * i)) & 0xFF);
    Text(chars, 4);
  }

  void Items(const std::vector<Item>& items, bool keyed, int depth) {
    out_ += '[';
    for (size_t i = 0; i < items.size(); ++i) {
      if (i != 0) out_ += ',';
      One(items[i], keyed, depth);
    }
    out_ += ']';
  }

  std::string& out() { return out_; }

 private:
  void One(const Item& item, bool keyed, int depth) {
    static const char* const kKinds[] = {"text", "boolean", "list", "object",
                                         "enum", "path",    "data"};
    out_ += '{';
    if (keyed) {
      out_ += "\"key\":";
      Key(item.key);
      out_ += ',';
    }
    out_ += "\"kind\":\"";
    out_ += kKinds[item.kind];
    out_ += '"';
    switch (item.kind) {
      case Item::kObject:
        out_ += ",\"class\":";
        Key(item.type);
        break;
      case Item::kEnum:
        out_ += ",\"type\":";
        Key(item.type);
        break;
      default:
        break;
    }
    out_ += ",\"value\":";
    switch (item.kind) {
      case Item::kText:
      case Item::kPath:
        Counted(item.text);
        break;
      case Item::kBoolean:
        out_ += item.value != 0 ? "true" : "false";
        break;
      case Item::kEnum:
        Key(item.value);
        break;
      case Item::kData:
        Hex(item.text);
        break;
      case Item::kList:
        if (depth < kMaxDepth) Items(item.list->items, false, depth + 1);
        else out_ += "null";
        break;
      case Item::kObject:
        if (depth < kMaxDepth) Items(item.descriptor->items, true, depth + 1);
        else out_ += "null";
        break;
    }
    out_ += '}';
  }

  void Hex(HostString bytes) {
    if (bytes == nullptr) {
      out_ += "null";
      return;
    }
    static const char kDigits[] = "0123456789abcdef";
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    uint32_t n = HostStringByteLength(bytes);
    out_ += '"';
    for (uint32_t i = 0; i < n; ++i) {
      out_ += kDigits[p[i] >> 4];
      out_ += kDigits[p[i] & 15];
    }
    out_ += '"';
  }

  const std::vector<std::u16string>& names_;
  std::string& out_;
};

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
  std::string document;
  Writer writer(host_.names, &document);
  document += "{\"event\":";
  writer.Key(event);
  document += ",\"dialogMode\":" + std::to_string(dialogMode);
  document += ",\"typeIdLookups\":" + std::to_string(host_.lookups);
  document += ",\"items\":";
  writer.Items(static_cast<JsonDescriptor*>(request)->items, true, 0);
  document += "}\n";
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
  return static_cast<int32_t>(0x80070000u | (Sys().GetLastError() & 0xFFFF));
}

}  // namespace

HostObject* CreateJsonHostInto(std::string* out) {
  Arena().push_back(std::make_unique<JsonHost>(out));
  return &Arena().back()->application;
}

HostObject* CreateJsonHost() { return CreateJsonHostInto(nullptr); }
