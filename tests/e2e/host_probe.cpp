// Drives the stand-in host through the droplet's COM host wrappers, the way
// the run does, with every kind of item: proves the server, its type
// library and the wrappers against each other without the rest of the
// droplet. Prints each step's result; exits 0 when every call succeeded.
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <cstdio>

#include "host/com_host.h"

namespace {

int gFailures = 0;

int32_t Check(const char* step, int32_t result) {
  std::printf("%s 0x%08lx\n", step, static_cast<unsigned long>(result));
  if (result < 0) ++gFailures;
  return result;
}

HostString Text(const wchar_t* text) { return reinterpret_cast<HostString>(SysAllocString(text)); }

uint32_t Lookup(HostControl* control, const wchar_t* name) {
  uint32_t id = 0;
  Check("TypeIdOfString", control->TypeIdOfString(Text(name), &id));
  return id;
}

}  // namespace

int main() {
  CLSID clsid;
  if (Check("OleInitialize", OleInitialize(nullptr)) < 0) return 1;
  if (Check("CLSIDFromProgID", CLSIDFromProgID(L"Pixmantle.Application.7", &clsid)) < 0) return 1;
  void* dispatch = nullptr;
  if (Check("CoCreateInstance",
            CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, &dispatch)) < 0)
    return 1;
  HostApplication* application = nullptr;
  Check("QueryInterface", WrapComObject(dispatch)->QueryInterface(kHostApplicationIid, &application));
  if (application == nullptr) return 1;
  HostControl* control = nullptr;
  HostDescriptor* request = nullptr;
  HostList* files = nullptr;
  Check("MakeControlObject", application->MakeControlObject(&control));
  Check("MakeDescriptor", application->MakeDescriptor(&request));
  Check("MakeList", application->MakeList(&files));
  if (control == nullptr || request == nullptr || files == nullptr) return 1;

  Check("AddPathItem", files->AddPathItem(Text(L"C:\\probe\\one \"1\".psd")));
  Check("SetListItem", request->SetListItem(FourCC("File"), files));
  // An even count: Wine's marshaler rounds a byte string up to whole units.
  const char bytes[] = {0x00, 0x7F, static_cast<char>(0xFF), 0x41};
  Check("SetDataItem",
        request->SetDataItem(FourCC("null"), reinterpret_cast<HostString>(SysAllocStringByteLen(
                                                 bytes, sizeof bytes))));
  Check("SetBooleanItem", request->SetBooleanItem(FourCC("OvrO"), 1));
  Check("SetPathItem", request->SetPathItem(FourCC("T   "), Text(L"C:\\out")));

  HostDescriptor* rules = nullptr;
  HostList* components = nullptr;
  HostDescriptor* component = nullptr;
  HostDescriptor* textComponent = nullptr;
  application->MakeDescriptor(&rules);
  application->MakeList(&components);
  application->MakeDescriptor(&component);
  application->MakeDescriptor(&textComponent);
  Check("SetEnumItem", component->SetEnumItem(Lookup(control, L"component"),
                                              Lookup(control, L"fileNamingComponent"),
                                              Lookup(control, L"name")));
  Check("SetTextItem", textComponent->SetTextItem(Lookup(control, L"textKey"), nullptr));
  Check("AddObjectItem",
        components->AddObjectItem(Lookup(control, L"fileNamingComponents"), component));
  Check("AddObjectItem",
        components->AddObjectItem(Lookup(control, L"fileNamingComponents"), textComponent));
  Check("SetListItem", rules->SetListItem(Lookup(control, L"fileNamingComponents"), components));
  uint32_t rulesId = Lookup(control, L"fileNamingRules");
  Check("SetObjectItem", request->SetObjectItem(rulesId, rulesId, rules));

  HostDescriptor* result = nullptr;
  application->MakeDescriptor(&result);
  HostDescriptor* passed = result;
  Check("PlayEvent", control->PlayEvent(FourCC("BtcF"), request, 2, &result));
  std::printf("result descriptor %s\n", result == passed ? "kept" : "replaced");
  return gFailures == 0 ? 0 : 1;
}
