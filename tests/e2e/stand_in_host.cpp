// The stand-in host: a COM local server with the host's four automation
// interfaces (stand_in_host.idl) that records every request played on it as
// one JSON line, in the schema of the Linux request host, plus the number of
// TypeIdOfString calls.
//
//   stand_in_host.exe /register [server path]   registers the class, the
//       programmatic identifier, the type library and the interfaces
//       (the server path defaults to this program)
//   stand_in_host.exe /unregister                removes the identifier and class
//   stand_in_host.exe -Embedding                 serves (COM starts it so)
//
// The record file is named by the environment variable STAND_IN_HOST_RECORD
// or else by the registry value HKCU\Software\StandInHost\RecordPath.
// The server exits when its objects are released or after its lifetime
// (STAND_IN_HOST_LIFETIME seconds, 60 by default), whichever comes first.
// With STAND_IN_HOST_ACTIVATION=empty its class factory answers success and
// gives no object, as a broken host may. STAND_IN_HOST_FAULT makes it a host
// that is busy, refuses or dies:
//   busy:N               its message filter rejects calls on the four host
//                        interfaces for N ms after the first one; the record
//                        counts them as "rejectedCalls"
//   refuse               PlayEvent answers E_FAIL
//   die-in-request       the process ends inside PlayEvent
//   die-after-first-add  the process ends inside the first AddPathItem, once
//                        the path is added
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "host/request_json.h"
#include "stand_in_host.h"

namespace {

const CLSID kServerClsid = {
    0x9BDBD312, 0x36FE, 0x4B4A, {0xA3, 0xB2, 0xC2, 0x38, 0x88, 0x43, 0x7C, 0x98}};
const IID kApplicationIid = {
    0x9414F179, 0xC905, 0x11D1, {0x92, 0xCC, 0x00, 0x60, 0x08, 0x08, 0xFC, 0x44}};
const IID kControlIid = {
    0x94721D98, 0x31C3, 0x4474, {0x89, 0xA6, 0xFF, 0x7B, 0x57, 0xEC, 0x41, 0xB7}};
const IID kDescriptorIid = {
    0xBAFEDB88, 0x871B, 0x46B0, {0x9D, 0x96, 0x2D, 0xA0, 0x16, 0x7E, 0x79, 0xD3}};
const IID kListIid = {
    0xFAE5C938, 0x7B5A, 0x4B51, {0xA4, 0xD6, 0xFF, 0xDC, 0x14, 0xA8, 0xAB, 0x4A}};
// Asked only in process, to find our own object behind an interface pointer
// the client handed back.
const IID kSelfIid = {
    0x1D0C5B3E, 0x6E0A, 0x4E43, {0x9B, 0x39, 0x5E, 0x47, 0x0F, 0x2B, 0x61, 0x0C}};

const wchar_t kProgId[] = L"Pixmantle.Application.7";
const wchar_t kClsidText[] = L"{9BDBD312-36FE-4B4A-A3B2-C23888437C98}";

DWORD gMainThread = 0;
LONG gLiveObjects = 0;
bool gHadObjects = false;
long gTypeIdLookups = 0;
long gRejectedCalls = 0;
std::map<std::u16string, long> gIdsByName;
std::map<uint32_t, std::u16string> gNamesById;
ITypeLib* gTypeLib = nullptr;

void ObjectCreated() {
  ++gLiveObjects;
  gHadObjects = true;
}

void ObjectDestroyed() {
  if (--gLiveObjects == 0) PostThreadMessageW(gMainThread, WM_QUIT, 0, 0);
}

// ---- JSON ------------------------------------------------------------------

RequestItem Received(RequestItem::Kind kind, long key, BSTR text) {
  return RequestItem::Received(kind, static_cast<uint32_t>(key),
                               reinterpret_cast<const char16_t*>(text), SysStringByteLen(text));
}

RequestItem Nested(RequestItem::Kind kind, long key, long type,
                   const std::vector<RequestItem>& items) {
  return RequestItem::Of(kind, static_cast<uint32_t>(key), static_cast<uint32_t>(type), 0, &items);
}

std::wstring RecordPath() {
  wchar_t path[1024];
  DWORD n = GetEnvironmentVariableW(L"STAND_IN_HOST_RECORD", path, 1024);
  if (n > 0 && n < 1024) return path;
  DWORD size = sizeof path;
  if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\StandInHost", L"RecordPath", RRF_RT_REG_SZ,
                   nullptr, path, &size) == ERROR_SUCCESS)
    return path;
  return L"";
}

void Record(const std::string& line) {
  std::wstring path = RecordPath();
  if (path.empty()) return;
  FILE* file = _wfopen(path.c_str(), L"ab");
  if (file == nullptr) return;
  std::fputs(line.c_str(), file);
  std::fputs("\n", file);
  std::fclose(file);
}

// ---- Faults ----------------------------------------------------------------

std::string Fault() {
  const char* fault = std::getenv("STAND_IN_HOST_FAULT");
  return fault != nullptr ? fault : "";
}

void DieIf(const char* fault) {
  if (Fault() == fault) ExitProcess(3);
}

bool IsHostInterface(REFIID iid) {
  return IsEqualIID(iid, kApplicationIid) || IsEqualIID(iid, kControlIid) ||
         IsEqualIID(iid, kDescriptorIid) || IsEqualIID(iid, kListIid);
}

// IUnknown of an object that lives as long as the server: nothing to count.
template <typename Interface>
class Lasting : public Interface {
 public:
  explicit Lasting(const IID& iid) : iid_(iid) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, iid_)) {
      *out = this;
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

 private:
  IID iid_;
};

// Busy as a host with a modal dialog open: every call on a host interface is
// turned away unrun, from the first one for the given time.
class BusyFilter final : public Lasting<IMessageFilter> {
 public:
  explicit BusyFilter(DWORD milliseconds)
      : Lasting(IID_IMessageFilter), busyFor_(milliseconds) {}
  DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD,
                                             LPINTERFACEINFO call) override {
    if (call == nullptr || !IsHostInterface(call->iid)) return SERVERCALL_ISHANDLED;
    DWORD now = GetTickCount();
    if (!started_) {
      started_ = true;
      since_ = now;
    }
    if (now - since_ >= busyFor_) return SERVERCALL_ISHANDLED;
    ++gRejectedCalls;
    return SERVERCALL_REJECTED;
  }
  DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD) override { return ~0u; }
  DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override {
    return PENDINGMSG_WAITDEFPROCESS;
  }

 private:
  DWORD busyFor_;
  bool started_ = false;
  DWORD since_ = 0;
};

// A call at a position the droplet must never use.
HRESULT Unexpected(const char* interfaceName, int slot) {
  char line[128];
  std::snprintf(line, sizeof line, "{\"unexpectedCall\":\"%s\",\"slot\":%d}", interfaceName, slot);
  Record(line);
  return E_NOTIMPL;
}

// ---- Objects ---------------------------------------------------------------

// IUnknown and IDispatch for one of the host interfaces, from the type
// library embedded in this program.
template <typename Interface>
class Dispatchable : public Interface {
 public:
  explicit Dispatchable(const IID& iid) : iid_(iid) { ObjectCreated(); }
  virtual ~Dispatchable() { ObjectDestroyed(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, kSelfIid)) {
      *out = this;  // no reference: an in-process peek only
      return S_OK;
    }
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, iid_)) {
      *out = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (index != 0) return DISP_E_BADINDEX;
    return gTypeLib->GetTypeInfoOfGuid(iid_, info);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    ITypeInfo* info = nullptr;
    HRESULT hr = gTypeLib->GetTypeInfoOfGuid(iid_, &info);
    if (FAILED(hr)) return hr;
    hr = DispGetIDsOfNames(info, names, count, ids);
    info->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception,
                                   UINT* argError) override {
    ITypeInfo* info = nullptr;
    HRESULT hr = gTypeLib->GetTypeInfoOfGuid(iid_, &info);
    if (FAILED(hr)) return hr;
    hr = DispInvoke(static_cast<Interface*>(this), info, id, flags, params, result, exception,
                    argError);
    info->Release();
    return hr;
  }

 private:
  IID iid_;
  ULONG references_ = 1;
};

template <typename Impl, typename Interface>
Impl* Self(Interface* object) {
  if (object == nullptr) return nullptr;
  void* self = nullptr;
  if (FAILED(object->QueryInterface(kSelfIid, &self))) return nullptr;
  return static_cast<Impl*>(static_cast<Interface*>(self));
}

class List;

class Descriptor final : public Dispatchable<IHostDescriptor> {
 public:
  Descriptor() : Dispatchable(kDescriptorIid) {}
  ~Descriptor() override;

  const std::vector<RequestItem>& items() const { return items_; }

#define FILLER(n) \
  HRESULT STDMETHODCALLTYPE Filler##n() override { return Unexpected("IHostDescriptor", 1##n - 100); }
  FILLER(07) FILLER(08) FILLER(09) FILLER(10) FILLER(11) FILLER(12) FILLER(13) FILLER(14)
  FILLER(15) FILLER(16) FILLER(17) FILLER(18) FILLER(19) FILLER(20) FILLER(22) FILLER(24)
  FILLER(26) FILLER(28) FILLER(29) FILLER(30) FILLER(32) FILLER(33) FILLER(34) FILLER(35)
  FILLER(36) FILLER(37) FILLER(38) FILLER(40) FILLER(41)
#undef FILLER

  HRESULT STDMETHODCALLTYPE SetTextItem(long key, BSTR text) override {
    return Add(Received(RequestItem::kText, key, text));
  }
  HRESULT STDMETHODCALLTYPE SetBooleanItem(long key, long value) override {
    // Any nonzero value is true: a 1 crosses as 1, not as VARIANT_TRUE.
    return Add(RequestItem::Of(RequestItem::kBoolean, static_cast<uint32_t>(key), 0, value != 0));
  }
  HRESULT STDMETHODCALLTYPE SetListItem(long key, IHostList* list) override;
  HRESULT STDMETHODCALLTYPE SetObjectItem(long key, long classId,
                                          IHostDescriptor* descriptor) override {
    Descriptor* item = Self<Descriptor>(descriptor);
    if (item == nullptr) return E_INVALIDARG;
    item->AddRef();
    children_.push_back(item);
    return Add(Nested(RequestItem::kObject, key, classId, item->items_));
  }
  HRESULT STDMETHODCALLTYPE SetEnumItem(long key, long typeId, long valueId) override {
    return Add(RequestItem::Of(RequestItem::kEnum, static_cast<uint32_t>(key),
                               static_cast<uint32_t>(typeId), static_cast<uint32_t>(valueId)));
  }
  HRESULT STDMETHODCALLTYPE SetPathItem(long key, BSTR path) override {
    return Add(Received(RequestItem::kPath, key, path));
  }
  HRESULT STDMETHODCALLTYPE SetDataItem(long key, BSTR bytes) override {
    return Add(Received(RequestItem::kData, key, bytes));
  }

 private:
  HRESULT Add(const RequestItem& item) {
    items_.push_back(item);
    return S_OK;
  }

  std::vector<RequestItem> items_;
  std::vector<IUnknown*> children_;
};

class List final : public Dispatchable<IHostList> {
 public:
  List() : Dispatchable(kListIid) {}
  ~List() override {
    for (Descriptor* d : objects_) d->Release();
  }

  const std::vector<RequestItem>& items() const { return elements_; }

#define FILLER(n) \
  HRESULT STDMETHODCALLTYPE Filler##n() override { return Unexpected("IHostList", 1##n - 100); }
  FILLER(07) FILLER(08) FILLER(09) FILLER(10) FILLER(11) FILLER(12) FILLER(13) FILLER(14)
  FILLER(15) FILLER(16) FILLER(17) FILLER(18) FILLER(19) FILLER(20) FILLER(21) FILLER(23)
  FILLER(24) FILLER(25) FILLER(26) FILLER(27) FILLER(28) FILLER(29) FILLER(30) FILLER(31)
  FILLER(32) FILLER(33)
#undef FILLER

  HRESULT STDMETHODCALLTYPE AddObjectItem(long classId, IHostDescriptor* descriptor) override {
    Descriptor* item = Self<Descriptor>(descriptor);
    if (item == nullptr) return E_INVALIDARG;
    item->AddRef();
    objects_.push_back(item);
    elements_.push_back(Nested(RequestItem::kObject, 0, classId, item->items()));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE AddPathItem(BSTR path) override {
    elements_.push_back(Received(RequestItem::kPath, 0, path));
    DieIf("die-after-first-add");
    return S_OK;
  }

 private:
  std::vector<RequestItem> elements_;
  std::vector<Descriptor*> objects_;
};

Descriptor::~Descriptor() {
  for (IUnknown* child : children_) child->Release();
}

HRESULT STDMETHODCALLTYPE Descriptor::SetListItem(long key, IHostList* list) {
  List* item = Self<List>(list);
  if (item == nullptr) return E_INVALIDARG;
  item->AddRef();
  children_.push_back(item);
  return Add(Nested(RequestItem::kList, key, 0, item->items()));
}

class Control final : public Dispatchable<IHostControl> {
 public:
  Control() : Dispatchable(kControlIid) {}

  HRESULT STDMETHODCALLTYPE Filler08() override { return Unexpected("IHostControl", 8); }

  HRESULT STDMETHODCALLTYPE PlayEvent(long eventCode, IHostDescriptor* request, long dialogMode,
                                      IHostDescriptor** result) override {
    DieIf("die-in-request");
    if (Fault() == "refuse") return E_FAIL;
    Descriptor* descriptor = Self<Descriptor>(request);
    std::string rejected;
    if (Fault().rfind("busy:", 0) == 0)
      rejected = ",\"rejectedCalls\":" + std::to_string(gRejectedCalls);
    std::string line = RequestJson(
        static_cast<uint32_t>(eventCode), dialogMode, gTypeIdLookups,
        descriptor != nullptr ? &descriptor->items() : nullptr, [](uint32_t id) {
          auto found = gNamesById.find(id);
          return found != gNamesById.end() ? &found->second : nullptr;
        });
    line.insert(line.size() - 1, rejected);
    Record(line);
    (void)result;  // the result descriptor stays as the caller passed it
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE TypeIdOfString(BSTR name, long* id) override {
    ++gTypeIdLookups;
    if (id == nullptr) return E_POINTER;
    std::u16string text;
    if (name != nullptr) text.assign(reinterpret_cast<const char16_t*>(name), SysStringLen(name));
    auto found = gIdsByName.find(text);
    if (found == gIdsByName.end()) {
      // Small numbers never collide with the four-character codes.
      long next = 1000 + static_cast<long>(gIdsByName.size());
      found = gIdsByName.emplace(text, next).first;
      gNamesById.emplace(next, text);
    }
    *id = found->second;
    return S_OK;
  }
};

class Application final : public Dispatchable<IHostApplication> {
 public:
  Application() : Dispatchable(kApplicationIid) {}

#define FILLER(n) \
  HRESULT STDMETHODCALLTYPE Filler##n() override { return Unexpected("IHostApplication", 1##n - 100); }
  FILLER(07) FILLER(08) FILLER(09) FILLER(10) FILLER(11)
#undef FILLER

  HRESULT STDMETHODCALLTYPE MakeControlObject(IHostControl** control) override {
    *control = new Control;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE MakeDescriptor(IHostDescriptor** descriptor) override {
    *descriptor = new Descriptor;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE MakeList(IHostList** list) override {
    *list = new List;
    return S_OK;
  }
};

// Serves one activation: the class object is withdrawn after the first
// instance, so every client gets a fresh server with a fresh record.
DWORD gRegistration = 0;
const UINT kRevoke = WM_APP + 1;

bool EmptyActivation() {
  const char* mode = std::getenv("STAND_IN_HOST_ACTIVATION");
  return mode != nullptr && std::string(mode) == "empty";
}

class Factory final : public Lasting<IClassFactory> {
 public:
  Factory() : Lasting(IID_IClassFactory) {}
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    if (EmptyActivation()) {
      gHadObjects = true;  // served: end once the class object is withdrawn
      PostThreadMessageW(gMainThread, kRevoke, 0, 0);
      return S_OK;
    }
    auto* application = new Application;
    HRESULT hr = application->QueryInterface(iid, out);
    application->Release();
    PostThreadMessageW(gMainThread, kRevoke, 0, 0);
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

// ---- Registration ----------------------------------------------------------

bool SetKey(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  HKEY handle;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle,
                      nullptr) != ERROR_SUCCESS)
    return false;
  LONG status = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                               static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(handle);
  return status == ERROR_SUCCESS;
}

int Register(const wchar_t* self, const wchar_t* serverPath) {
  ITypeLib* library = nullptr;
  HRESULT hr = LoadTypeLibEx(self, REGKIND_REGISTER, &library);
  if (FAILED(hr)) {
    std::fprintf(stderr, "stand_in_host: type library not registered: 0x%08lx\n", hr);
    return 2;
  }
  library->Release();
  std::wstring clsidKey = std::wstring(L"CLSID\\") + kClsidText;
  std::wstring server = L"\"" + std::wstring(serverPath) + L"\"";
  bool ok = SetKey(clsidKey, nullptr, L"Stand-in host") &&
            SetKey(clsidKey + L"\\LocalServer32", nullptr, server) &&
            SetKey(clsidKey + L"\\ProgID", nullptr, kProgId) &&
            SetKey(kProgId, nullptr, L"Stand-in host") &&
            SetKey(std::wstring(kProgId) + L"\\CLSID", nullptr, kClsidText);
  if (!ok) {
    std::fprintf(stderr, "stand_in_host: registry keys not written\n");
    return 2;
  }
  return 0;
}

int Unregister() {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
  RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + kClsidText).c_str());
  return 0;
}

int Serve(const wchar_t* self) {
  gMainThread = GetCurrentThreadId();
  MSG message;
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue exists from here
  if (FAILED(OleInitialize(nullptr))) return 2;
  if (FAILED(LoadTypeLibEx(self, REGKIND_NONE, &gTypeLib))) return 2;
  if (Fault().rfind("busy:", 0) == 0) {
    static BusyFilter filter(static_cast<DWORD>(std::atol(Fault().c_str() + 5)));
    if (FAILED(CoRegisterMessageFilter(&filter, nullptr))) return 2;
  }

  UINT lifetime = 60;
  if (const char* text = std::getenv("STAND_IN_HOST_LIFETIME")) lifetime = std::atoi(text);
  SetTimer(nullptr, 0, lifetime * 1000, nullptr);

  static Factory factory;
  if (FAILED(CoRegisterClassObject(kServerClsid, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                   &gRegistration)))
    return 2;

  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.hwnd == nullptr && message.message == WM_TIMER) break;
    if (message.hwnd == nullptr && message.message == kRevoke) {
      if (gRegistration != 0) CoRevokeClassObject(gRegistration);
      gRegistration = 0;
      if (gHadObjects && gLiveObjects == 0) break;
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  if (gRegistration != 0) CoRevokeClassObject(gRegistration);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  if (argc >= 2 && lstrcmpiW(argv[1], L"/register") == 0)
    return Register(self, argc >= 3 ? argv[2] : self);
  if (argc >= 2 && lstrcmpiW(argv[1], L"/unregister") == 0) return Unregister();
  for (int i = 1; i < argc; ++i)
    if (lstrcmpiW(argv[i], L"-Embedding") == 0 || lstrcmpiW(argv[i], L"/Embedding") == 0)
      return Serve(self);
  std::fprintf(stderr, "usage: stand_in_host /register [server path] | /unregister | -Embedding\n");
  return 2;
}
