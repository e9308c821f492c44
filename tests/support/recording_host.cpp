#include "tests/support/recording_host.h"

#include "tests/support/fake_system.h"

struct Entry {
  std::string line;
  RecordingHost::Descriptor* descriptor = nullptr;
  RecordingHost::List* list = nullptr;
};

class RecordingHost::Descriptor final : public HostDescriptor {
 public:
  Descriptor(RecordingHost& host, std::string name) : host_(host), name(std::move(name)) {}
  RecordingHost& host_;
  std::string name;
  std::vector<Entry> items;

  int32_t Record(const std::string& op, const std::string& args, Entry entry) {
    int32_t result = 0;
    bool nothing = false;
    if (host_.Enter(op, name + "." + op + " " + args, &result, &nothing)) return result;
    items.push_back(entry);
    return 0;
  }
  int32_t SetTextItem(uint32_t key, HostString text) override {
    std::string s = host_.Key(key) + " " + Text(text);
    return Record("SetTextItem", s, {host_.Key(key) + " text " + Text(text)});
  }
  int32_t SetBooleanItem(uint32_t key, int32_t value) override {
    std::string v = std::to_string(value);
    return Record("SetBooleanItem", host_.Key(key) + " " + v,
                  {host_.Key(key) + " boolean " + v});
  }
  int32_t SetListItem(uint32_t key, HostList* list) override;
  int32_t SetObjectItem(uint32_t key, uint32_t classId, HostDescriptor* descriptor) override {
    auto* d = static_cast<Descriptor*>(descriptor);
    return Record("SetObjectItem",
                  host_.Key(key) + " " + host_.Key(classId) + " " + (d ? d->name : "null"),
                  {host_.Key(key) + " object " + host_.Key(classId), d});
  }
  int32_t SetEnumItem(uint32_t key, uint32_t typeId, uint32_t valueId) override {
    std::string s = host_.Key(key) + " " + host_.Key(typeId) + " " + host_.Key(valueId);
    return Record("SetEnumItem", s,
                  {host_.Key(key) + " enum " + host_.Key(typeId) + " " + host_.Key(valueId)});
  }
  int32_t SetPathItem(uint32_t key, HostString path) override {
    return Record("SetPathItem", host_.Key(key) + " " + Text(path),
                  {host_.Key(key) + " path " + Text(path)});
  }
  int32_t SetDataItem(uint32_t key, HostString bytes) override {
    std::string n = bytes ? std::to_string(HostStringByteLength(bytes)) + " bytes" : "null";
    return Record("SetDataItem", host_.Key(key) + " " + n, {host_.Key(key) + " data " + n});
  }
};

class RecordingHost::List final : public HostList {
 public:
  List(RecordingHost& host, std::string name) : host_(host), name(std::move(name)) {}
  RecordingHost& host_;
  std::string name;
  std::vector<Entry> items;

  int32_t AddObjectItem(uint32_t classId, HostDescriptor* descriptor) override {
    auto* d = static_cast<Descriptor*>(descriptor);
    int32_t result = 0;
    bool nothing = false;
    if (host_.Enter("AddObjectItem",
                    name + ".AddObjectItem " + host_.Key(classId) + " " + (d ? d->name : "null"),
                    &result, &nothing))
      return result;
    items.push_back({"object " + host_.Key(classId), d});
    return 0;
  }
  int32_t AddPathItem(HostString path) override {
    int32_t result = 0;
    bool nothing = false;
    if (host_.Enter("AddPathItem", name + ".AddPathItem " + Text(path), &result, &nothing))
      return result;
    items.push_back({"path " + Text(path)});
    return 0;
  }
};

int32_t RecordingHost::Descriptor::SetListItem(uint32_t key, HostList* list) {
  auto* l = static_cast<List*>(list);
  return Record("SetListItem", host_.Key(key) + " " + (l ? l->name : "null"),
                {host_.Key(key) + " list", nullptr, l});
}

class RecordingHost::Control final : public HostControl {
 public:
  Control(RecordingHost& host, std::string name) : host_(host), name(std::move(name)) {}
  RecordingHost& host_;
  std::string name;

  int32_t PlayEvent(uint32_t event, HostDescriptor* request, int32_t dialogMode,
                    HostDescriptor** result) override {
    auto* d = static_cast<Descriptor*>(request);
    auto* r = result ? static_cast<Descriptor*>(*result) : nullptr;
    int32_t hr = 0;
    bool nothing = false;
    if (host_.Enter("PlayEvent",
                    name + ".PlayEvent " + host_.Key(event) + " " + (d ? d->name : "null") + " " +
                        std::to_string(dialogMode) + " " + (r ? r->name : "null"),
                    &hr, &nothing))
      return hr;
    ++host_.plays;
    host_.playedRequest.clear();
    if (d != nullptr) host_.Describe(*d, 0, &host_.playedRequest);
    return 0;
  }
  int32_t TypeIdOfString(HostString text, uint32_t* id) override {
    std::string n = Text(text);
    int32_t hr = 0;
    bool nothing = false;
    if (host_.Enter("TypeIdOfString", name + ".TypeIdOfString " + n, &hr, &nothing)) {
      if (!nothing) *id = host_.IdOf(n);
      return hr;
    }
    *id = host_.IdOf(n);
    return 0;
  }
};

RecordingHost::RecordingHost() = default;
RecordingHost::~RecordingHost() = default;

bool RecordingHost::Enter(const std::string& operation, const std::string& call, int32_t* result,
                          bool* leaveNothing) {
  calls.push_back(call);
  int n = ++counts_[operation];
  for (const Injection& i : injections_) {
    if (i.operation == operation && n >= i.nth && n - i.nth < i.times) {
      *result = i.result;
      *leaveNothing = i.leaveNothing;
      return true;
    }
  }
  return false;
}

void RecordingHost::FailAt(const std::string& operation, int nth, int32_t result,
                           bool leaveNothing, int times) {
  injections_.push_back({operation, nth, result, leaveNothing, times});
}

int RecordingHost::Count(const std::string& operation) const {
  auto it = counts_.find(operation);
  return it == counts_.end() ? 0 : it->second;
}

std::vector<std::string> RecordingHost::CallsFrom(const std::string& prefix) const {
  for (size_t i = 0; i < calls.size(); ++i)
    if (calls[i].compare(0, prefix.size(), prefix) == 0)
      return std::vector<std::string>(calls.begin() + static_cast<long>(i), calls.end());
  return {};
}

uint32_t RecordingHost::IdOf(const std::string& name) {
  for (size_t i = 0; i < names_.size(); ++i)
    if (names_[i] == name) return static_cast<uint32_t>(i + 1);
  names_.push_back(name);
  return static_cast<uint32_t>(names_.size());
}

std::string RecordingHost::Key(uint32_t key) const {
  if (key >= 1 && key <= names_.size()) return names_[key - 1];
  std::string s = "'";
  for (int i = 3; i >= 0; --i) s += static_cast<char>((key >> (8 * i)) & 0xFF);
  return s + "'";
}

std::string RecordingHost::Text(HostString text) {
  if (text == nullptr) return "<absent>";
  return U8(std::u16string(text, HostStringByteLength(text) / 2));
}

void RecordingHost::Describe(const Descriptor& d, int depth, std::vector<std::string>* out) const {
  std::string indent(static_cast<size_t>(depth) * 2, ' ');
  for (const Entry& e : d.items) {
    out->push_back(indent + e.line);
    if (e.descriptor != nullptr) Describe(*e.descriptor, depth + 1, out);
    if (e.list != nullptr) {
      for (const Entry& li : e.list->items) {
        out->push_back(indent + "  " + li.line);
        if (li.descriptor != nullptr) Describe(*li.descriptor, depth + 2, out);
      }
    }
  }
}

int32_t RecordingHost::QueryInterface(const Guid& iid, HostApplication** application) {
  int32_t hr = 0;
  bool nothing = false;
  *application = nullptr;
  if (Enter("QueryInterface", "QueryInterface", &hr, &nothing)) {
    if (!nothing) *application = this;
    return hr;
  }
  if (!(iid == kHostApplicationIid)) return static_cast<int32_t>(0x80004002u);
  *application = this;
  return 0;
}

template <typename Object, typename Interface>
int32_t RecordingHost::Make(const char* operation, const char* prefix,
                            std::vector<std::unique_ptr<Object>>& made, Interface** out) {
  std::string name = prefix + std::to_string(made.size() + 1);
  int32_t hr = 0;
  bool nothing = false;
  if (Enter(operation, operation, &hr, &nothing) && nothing) return hr;
  made.push_back(std::make_unique<Object>(*this, name));
  *out = made.back().get();
  calls.back() += " -> " + name;
  return hr;
}

int32_t RecordingHost::MakeControlObject(HostControl** control) {
  return Make("MakeControlObject", "C", controls_, control);
}

int32_t RecordingHost::MakeDescriptor(HostDescriptor** descriptor) {
  return Make("MakeDescriptor", "D", descriptors_, descriptor);
}

int32_t RecordingHost::MakeList(HostList** list) {
  return Make("MakeList", "L", lists_, list);
}
