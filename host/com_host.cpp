// The host objects over raw COM interface pointers. The droplet declares no
// interfaces of its own: it calls the method-table positions of the host's
// calling contract directly, so it works against whatever type library the
// host registers. Every call is __stdcall with the interface pointer first
// and 32-bit arguments; counted strings are BSTRs.
#include "host/com_host.h"

#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

// Method-table positions of the host's calling contract.
enum : int {
  kQueryInterface = 0,
  kMakeControlObject = 12,
  kMakeDescriptor = 13,
  kMakeList = 14,
  kPlayEvent = 7,
  kTypeIdOfString = 9,
  kSetTextItem = 21,
  kSetBooleanItem = 23,
  kSetListItem = 25,
  kSetObjectItem = 27,
  kSetEnumItem = 31,
  kSetPathItem = 39,
  kSetDataItem = 42,
  kAddObjectItem = 22,
  kAddPathItem = 34,
};

constexpr int32_t kInvalidArgument = static_cast<int32_t>(0x80070057u);
constexpr int32_t kNoInterface = static_cast<int32_t>(0x80004002u);

// The entry at position `slot` of the object's method table, typed as the
// caller states it.
template <typename Fn>
Fn Method(void* object, int slot) {
  void** table = *static_cast<void***>(object);
  return reinterpret_cast<Fn>(table[slot]);
}

using OutCall = int32_t(__stdcall*)(void*, void**);

// Every wrapper remembers the interface pointer it stands for, so that a
// wrapper handed back to the host can be passed as the host's own pointer.
class ComPointer {
 public:
  explicit ComPointer(void* raw) : raw_(raw) {}
  void* raw() const { return raw_; }

 protected:
  ~ComPointer() = default;

 private:
  void* raw_;
};

// The raw pointer behind one of our wrappers; a null object stays null.
// Anything else is not ours to pass on.
template <typename Wrapper, typename Host>
bool Unwrap(Host* object, void** raw) {
  *raw = nullptr;
  if (object == nullptr) return true;
  auto* wrapper = dynamic_cast<Wrapper*>(object);
  if (wrapper == nullptr) return false;
  *raw = wrapper->raw();
  return true;
}

// A wrapper whose allocation failure the caller reports. Wrappers live until
// the process ends, as the objects they hold do, so nothing gives them back
// (and the program needs no throwing allocator).
template <typename Wrapper>
Wrapper* Wrap(void* raw) {
  void* memory = std::malloc(sizeof(Wrapper));
  return memory != nullptr ? new (memory) Wrapper(raw) : nullptr;
}

// Calls a method with one out pointer and wraps what it left there; the out
// argument stays null when the call left nothing.
template <typename Wrapper, typename Host>
int32_t CallAndWrap(void* object, int slot, Host** out) {
  if (out == nullptr) return kInvalidArgument;
  *out = nullptr;
  void* raw = nullptr;
  int32_t result = Method<OutCall>(object, slot)(object, &raw);
  if (raw == nullptr) return result;
  Wrapper* wrapper = Wrap<Wrapper>(raw);
  if (wrapper == nullptr) return kOutOfMemoryResult;
  *out = wrapper;
  return result;
}

class ComList;

class ComDescriptor final : public HostDescriptor, public ComPointer {
 public:
  explicit ComDescriptor(void* raw) : ComPointer(raw) {}

  int32_t SetTextItem(uint32_t key, HostString text) override {
    return Method<int32_t(__stdcall*)(void*, uint32_t, HostString)>(raw(), kSetTextItem)(raw(), key,
                                                                                         text);
  }
  int32_t SetBooleanItem(uint32_t key, int32_t value) override {
    return Method<int32_t(__stdcall*)(void*, uint32_t, int32_t)>(raw(), kSetBooleanItem)(raw(), key,
                                                                                         value);
  }
  int32_t SetListItem(uint32_t key, HostList* list) override;
  int32_t SetObjectItem(uint32_t key, uint32_t classId, HostDescriptor* descriptor) override {
    void* item;
    if (!Unwrap<ComDescriptor>(descriptor, &item)) return kInvalidArgument;
    return Method<int32_t(__stdcall*)(void*, uint32_t, uint32_t, void*)>(raw(), kSetObjectItem)(
        raw(), key, classId, item);
  }
  int32_t SetEnumItem(uint32_t key, uint32_t typeId, uint32_t valueId) override {
    return Method<int32_t(__stdcall*)(void*, uint32_t, uint32_t, uint32_t)>(raw(), kSetEnumItem)(
        raw(), key, typeId, valueId);
  }
  int32_t SetPathItem(uint32_t key, HostString path) override {
    return Method<int32_t(__stdcall*)(void*, uint32_t, HostString)>(raw(), kSetPathItem)(raw(), key,
                                                                                         path);
  }
  int32_t SetDataItem(uint32_t key, HostString bytes) override {
    return Method<int32_t(__stdcall*)(void*, uint32_t, HostString)>(raw(), kSetDataItem)(raw(), key,
                                                                                         bytes);
  }
};

class ComList final : public HostList, public ComPointer {
 public:
  explicit ComList(void* raw) : ComPointer(raw) {}

  int32_t AddObjectItem(uint32_t classId, HostDescriptor* descriptor) override {
    void* item;
    if (!Unwrap<ComDescriptor>(descriptor, &item)) return kInvalidArgument;
    return Method<int32_t(__stdcall*)(void*, uint32_t, void*)>(raw(), kAddObjectItem)(
        raw(), classId, item);
  }
  int32_t AddPathItem(HostString path) override {
    return Method<int32_t(__stdcall*)(void*, HostString)>(raw(), kAddPathItem)(raw(), path);
  }
};

int32_t ComDescriptor::SetListItem(uint32_t key, HostList* list) {
  void* item;
  if (!Unwrap<ComList>(list, &item)) return kInvalidArgument;
  return Method<int32_t(__stdcall*)(void*, uint32_t, void*)>(raw(), kSetListItem)(raw(), key, item);
}

class ComControl final : public HostControl, public ComPointer {
 public:
  explicit ComControl(void* raw) : ComPointer(raw) {}

  int32_t PlayEvent(uint32_t event, HostDescriptor* request, int32_t dialogMode,
                    HostDescriptor** result) override {
    void* requestRaw;
    void* resultRaw = nullptr;
    if (!Unwrap<ComDescriptor>(request, &requestRaw)) return kInvalidArgument;
    if (result != nullptr && !Unwrap<ComDescriptor>(*result, &resultRaw)) return kInvalidArgument;
    void* passed = resultRaw;
    int32_t outcome =
        Method<int32_t(__stdcall*)(void*, uint32_t, void*, int32_t, void**)>(raw(), kPlayEvent)(
            raw(), event, requestRaw, dialogMode, result != nullptr ? &resultRaw : nullptr);
    // The result is in and out: keep our wrapper when the host left the
    // same descriptor there, wrap a new one, or pass on that it left none.
    if (result == nullptr || resultRaw == passed) return outcome;
    *result = nullptr;
    if (resultRaw == nullptr) return outcome;
    ComDescriptor* wrapper = Wrap<ComDescriptor>(resultRaw);
    if (wrapper == nullptr) return kOutOfMemoryResult;
    *result = wrapper;
    return outcome;
  }

  int32_t TypeIdOfString(HostString name, uint32_t* id) override {
    return Method<int32_t(__stdcall*)(void*, HostString, uint32_t*)>(raw(), kTypeIdOfString)(
        raw(), name, id);
  }
};

class ComApplication final : public HostApplication, public ComPointer {
 public:
  explicit ComApplication(void* raw) : ComPointer(raw) {}

  int32_t MakeControlObject(HostControl** control) override {
    return CallAndWrap<ComControl>(raw(), kMakeControlObject, control);
  }
  int32_t MakeDescriptor(HostDescriptor** descriptor) override {
    return CallAndWrap<ComDescriptor>(raw(), kMakeDescriptor, descriptor);
  }
  int32_t MakeList(HostList** list) override {
    return CallAndWrap<ComList>(raw(), kMakeList, list);
  }
};

class ComObject final : public HostObject, public ComPointer {
 public:
  explicit ComObject(void* raw) : ComPointer(raw) {}

  int32_t QueryInterface(const Guid& iid, HostApplication** application) override {
    if (application == nullptr) return kInvalidArgument;
    *application = nullptr;
    void* raw = nullptr;
    int32_t result = Method<int32_t(__stdcall*)(void*, const Guid*, void**)>(
        this->raw(), kQueryInterface)(this->raw(), &iid, &raw);
    // A query that claims success but leaves nothing must not pass for one.
    if (raw == nullptr) return result < 0 ? result : kNoInterface;
    ComApplication* wrapper = Wrap<ComApplication>(raw);
    if (wrapper == nullptr) return kOutOfMemoryResult;
    *application = wrapper;
    return result;
  }
};

}  // namespace

HostObject* WrapComObject(void* dispatch) {
  if (dispatch == nullptr) return nullptr;
  return Wrap<ComObject>(dispatch);
}
