#include "host/request_json.h"

#include "settings/json_text.h"

namespace {

// Deeper nesting than the droplet ever builds is cut, so that a descriptor
// set inside itself cannot recurse without end.
constexpr int kMaxDepth = 32;

class Writer {
 public:
  Writer(const RequestNameOf& nameOf, std::string& out) : nameOf_(nameOf), out_(out) {}

  // A string identifier by its name; anything else as four characters.
  void Key(uint32_t key) {
    if (const std::u16string* name = nameOf_(key)) {
      AppendJsonText(out_, name->data(), name->size());
      return;
    }
    char16_t chars[4];
    for (int i = 0; i < 4; ++i) chars[i] = static_cast<char16_t>((key >> (24 - 8 * i)) & 0xFF);
    AppendJsonText(out_, chars, 4);
  }

  void Items(const std::vector<RequestItem>* items, bool keyed, int depth) {
    if (items == nullptr || depth > kMaxDepth) {
      out_ += "null";
      return;
    }
    out_ += '[';
    for (size_t i = 0; i < items->size(); ++i) {
      if (i != 0) out_ += ',';
      One((*items)[i], keyed, depth);
    }
    out_ += ']';
  }

 private:
  void One(const RequestItem& item, bool keyed, int depth) {
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
    if (item.kind == RequestItem::kObject || item.kind == RequestItem::kEnum) {
      out_ += item.kind == RequestItem::kObject ? ",\"class\":" : ",\"type\":";
      Key(item.type);
    }
    out_ += ",\"value\":";
    switch (item.kind) {
      case RequestItem::kText:
      case RequestItem::kPath:
        if (item.absent)
          out_ += "null";
        else
          AppendJsonText(out_, item.text.data(), item.text.size());
        break;
      case RequestItem::kBoolean: out_ += item.value != 0 ? "true" : "false"; break;
      case RequestItem::kEnum: Key(item.value); break;
      case RequestItem::kData: Hex(item); break;
      case RequestItem::kList:
      case RequestItem::kObject:
        Items(item.items, item.kind == RequestItem::kObject, depth + 1);
        break;
    }
    out_ += '}';
  }

  void Hex(const RequestItem& item) {
    if (item.absent) {
      out_ += "null";
      return;
    }
    static const char kDigits[] = "0123456789abcdef";
    out_ += '"';
    for (unsigned char byte : item.bytes) {
      out_ += kDigits[byte >> 4];
      out_ += kDigits[byte & 15];
    }
    out_ += '"';
  }

  const RequestNameOf& nameOf_;
  std::string& out_;
};

}  // namespace

RequestItem RequestItem::Of(Kind kind, uint32_t key, uint32_t type, uint32_t value,
                            const std::vector<RequestItem>* items) {
  RequestItem item;
  item.kind = kind, item.key = key, item.type = type, item.value = value, item.items = items;
  return item;
}

RequestItem RequestItem::Received(Kind kind, uint32_t key, const char16_t* text,
                                  size_t byteLength) {
  RequestItem item = Of(kind, key);
  item.absent = text == nullptr;
  if (text == nullptr) return item;
  if (kind == kData)
    item.bytes.assign(reinterpret_cast<const char*>(text), byteLength);
  else
    item.text.assign(text, byteLength / 2);
  return item;
}

std::string RequestJson(uint32_t event, int32_t dialogMode, long typeIdLookups,
                        const std::vector<RequestItem>* items, const RequestNameOf& nameOf) {
  std::string document = "{\"event\":";
  Writer writer(nameOf, document);
  writer.Key(event);
  document += ",\"dialogMode\":" + std::to_string(dialogMode);
  document += ",\"typeIdLookups\":" + std::to_string(typeIdLookups);
  document += ",\"items\":";
  writer.Items(items, true, 0);
  document += '}';
  return document;
}
