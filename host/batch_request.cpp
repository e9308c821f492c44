#include "host/batch_request.h"

#include "host/host_call.h"
#include "messages/messages.h"
#include "messages/process_state.h"
#include "messages/text_conversion.h"
#include "settings/droplet_settings.h"
#include "system/system.h"

namespace {

template <typename T>
int32_t Obtained(int32_t result, T* object) {
  return result < 0 || object == nullptr ? ConnectionFailure(result) : 0;
}

// A counted string of an ANSI text; an absent text gives an absent string.
int32_t CountedText(const char* text, HostString* counted) {
  *counted = nullptr;
  if (text == nullptr) return 0;
  char16_t* wide = nullptr;
  if (ToWideAlloc(text, &wide) != 0 || wide == nullptr) return OutOfMemoryFailure();
  *counted = Sys().SysAllocString(wide);
  Sys().Release(wide);
  return *counted != nullptr ? 0 : OutOfMemoryFailure();
}

int32_t CountedPath(const char16_t* path, HostString* counted) {
  *counted = Sys().SysAllocString(path);
  return *counted != nullptr ? 0 : OutOfMemoryFailure();
}

int32_t MakeDescriptor(HostApplication* application, HostDescriptor** descriptor) {
  *descriptor = nullptr;
  int32_t result = CallHost([&] { return application->MakeDescriptor(descriptor); });
  return Obtained(result, *descriptor);
}

int32_t MakeList(HostApplication* application, HostList** list) {
  *list = nullptr;
  int32_t result = CallHost([&] { return application->MakeList(list); });
  return Obtained(result, *list);
}

// One component descriptor per naming slot, added to the components list.
int32_t AddComponent(const BatchHost& host, const NamingComponent& slot, HostList* components) {
  HostDescriptor* component;
  if (int32_t r = MakeDescriptor(host.application, &component); r != 0) return r;
  uint32_t key, type, value, classId;
  if (IsPredefinedComponent(slot.code)) {
    if (int32_t r = TypeIdOfName(host.control, "component", &key); r != 0) return r;
    if (int32_t r = TypeIdOfName(host.control, "fileNamingComponent", &type); r != 0) return r;
    if (int32_t r = TypeIdOfName(host.control, kNamingComponentNames[slot.code], &value); r != 0)
      return r;
    if (int32_t r = Sent([&] { return component->SetEnumItem(key, type, value); }); r != 0)
      return r;
  } else {
    if (int32_t r = TypeIdOfName(host.control, "textKey", &key); r != 0) return r;
    HostString text;
    if (int32_t r = CountedText(slot.text, &text); r != 0) return r;
    if (int32_t r = Sent([&] { return component->SetTextItem(key, text); }); r != 0) return r;
  }
  if (int32_t r = TypeIdOfName(host.control, "fileNamingComponents", &classId); r != 0) return r;
  return Sent([&] { return components->AddObjectItem(classId, component); });
}

int32_t SetNamingRules(const BatchHost& host) {
  const DropletSettings& s = Settings;
  HostDescriptor* rules;
  HostList* components;
  if (int32_t r = MakeDescriptor(host.application, &rules); r != 0) return r;
  if (int32_t r = MakeList(host.application, &components); r != 0) return r;
  for (const NamingComponent& slot : s.namingSlots)
    if (int32_t r = AddComponent(host, slot, components); r != 0) return r;

  uint32_t key;
  if (int32_t r = TypeIdOfName(host.control, "fileNamingComponents", &key); r != 0) return r;
  if (int32_t r = Sent([&] { return rules->SetListItem(key, components); }); r != 0) return r;
  const struct {
    const char* name;
    bool value;
  } compat[] = {
      {"macintosh", s.compatMacintosh}, {"windows", s.compatWindows}, {"unix", s.compatUnix}};
  for (const auto& c : compat) {
    if (int32_t r = TypeIdOfName(host.control, c.name, &key); r != 0) return r;
    if (int32_t r = Sent([&] { return rules->SetBooleanItem(key, c.value ? 1 : 0); }); r != 0)
      return r;
  }
  if (int32_t r = TypeIdOfName(host.control, "fileNamingRules", &key); r != 0) return r;
  return Sent([&] { return host.request->SetObjectItem(key, key, rules); });
}

}  // namespace

int32_t TypeIdOfName(HostControl* control, const char* name, uint32_t* id) {
  *id = 0;
  HostString counted;
  if (int32_t r = CountedText(name, &counted); r != 0) return r;
  return Sent([&] { return control->TypeIdOfString(counted, id); });
}

int32_t PlayBatchRequest(const BatchHost& host) {
  const DropletSettings& s = Settings;
  HostDescriptor* request = host.request;

  if (int32_t r = Sent([&] { return request->SetListItem(FourCC("File"), host.files); }); r != 0)
    return r;
  HostString data =
      Sys().SysAllocStringByteLen(reinterpret_cast<const char*>(s.actionData), s.actionDataLength);
  if (data == nullptr) return OutOfMemoryFailure();
  if (int32_t r = Sent([&] { return request->SetDataItem(FourCC("null"), data); }); r != 0)
    return r;
  const struct {
    uint32_t key;
    bool value;
  } flags[] = {{FourCC("OvrO"), s.flagOvrO},
               {FourCC("Ovrd"), s.flagOvrd},
               {FourCC("Fldr"), s.flagFldr},
               {FourCC("SvAn"), s.destinationMode == 2}};
  for (const auto& f : flags)
    if (int32_t r = Sent([&] { return request->SetBooleanItem(f.key, f.value ? 1 : 0); }); r != 0)
      return r;

  if (s.destinationMode == 3) {
    HostString folder;
    if (int32_t r = CountedPath(host.destinationFolder, &folder); r != 0) return r;
    if (int32_t r = Sent([&] { return request->SetPathItem(FourCC("T   "), folder); }); r != 0)
      return r;
    if (int32_t r = SetNamingRules(host); r != 0) return r;
  }

  uint32_t key;
  if (int32_t r = TypeIdOfName(host.control, "suppressWarnings", &key); r != 0) return r;
  if (int32_t r = Sent([&] { return request->SetBooleanItem(key, s.suppressWarnings ? 1 : 0); });
      r != 0)
    return r;

  if (s.logErrors) {
    HostString log;
    if (int32_t r = CountedPath(host.logFile, &log); r != 0) return r;
    if (int32_t r = Sent([&] { return request->SetPathItem(FourCC("Log "), log); }); r != 0)
      return r;
  }

  HostDescriptor* result;
  if (int32_t r = MakeDescriptor(host.application, &result); r != 0) return r;
  int32_t played = CallHost(
      [&] { return host.control->PlayEvent(kBatchEvent, request, kBatchDialogMode, &result); });
  if (played < 0) HostStage = IsHostGone(played) ? RequestStage::kClosed : RequestStage::kRefused;
  return played < 0 || played == kRunCancelled ? ConnectionFailure(played) : 0;
}
