// The host editor's automation objects, as the droplet uses them: only the
// operations it calls. Results are HRESULTs (negative means failure); the
// droplet never releases a host object or a counted string it hands over.
#pragma once

#include <cstdint>

#include "system/system.h"

class HostControl;
class HostDescriptor;
class HostList;

// Application interface of the host: {9414F179-C905-11D1-92CC-00600808FC44}.
inline constexpr Guid kHostApplicationIid = {
    0x9414F179, 0xC905, 0x11D1, {0x92, 0xCC, 0x00, 0x60, 0x08, 0x08, 0xFC, 0x44}};
// IDispatch: {00020400-0000-0000-C000-000000000046}.
inline constexpr Guid kDispatchIid = {
    0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

class HostApplication {
 public:
  virtual int32_t MakeControlObject(HostControl** control) = 0;
  virtual int32_t MakeDescriptor(HostDescriptor** descriptor) = 0;
  virtual int32_t MakeList(HostList** list) = 0;

 protected:
  ~HostApplication() = default;
};

// What the activation hands back: an object that can be asked for the
// application interface.
class HostObject {
 public:
  virtual int32_t QueryInterface(const Guid& iid, HostApplication** application) = 0;

 protected:
  ~HostObject() = default;
};

class HostControl {
 public:
  // result is in and out: the caller passes a fresh descriptor.
  virtual int32_t PlayEvent(uint32_t event, HostDescriptor* request, int32_t dialogMode,
                            HostDescriptor** result) = 0;
  virtual int32_t TypeIdOfString(HostString name, uint32_t* id) = 0;

 protected:
  ~HostControl() = default;
};

class HostDescriptor {
 public:
  virtual int32_t SetTextItem(uint32_t key, HostString text) = 0;
  virtual int32_t SetBooleanItem(uint32_t key, int32_t value) = 0;
  virtual int32_t SetListItem(uint32_t key, HostList* list) = 0;
  virtual int32_t SetObjectItem(uint32_t key, uint32_t classId, HostDescriptor* descriptor) = 0;
  virtual int32_t SetEnumItem(uint32_t key, uint32_t typeId, uint32_t valueId) = 0;
  virtual int32_t SetPathItem(uint32_t key, HostString path) = 0;
  virtual int32_t SetDataItem(uint32_t key, HostString bytes) = 0;

 protected:
  ~HostDescriptor() = default;
};

class HostList {
 public:
  virtual int32_t AddObjectItem(uint32_t classId, HostDescriptor* descriptor) = 0;
  virtual int32_t AddPathItem(HostString path) = 0;

 protected:
  ~HostList() = default;
};

// Four-character code, first character in the most significant byte.
constexpr uint32_t FourCC(const char (&code)[5]) {
  return (uint32_t(uint8_t(code[0])) << 24) | (uint32_t(uint8_t(code[1])) << 16) |
         (uint32_t(uint8_t(code[2])) << 8) | uint32_t(uint8_t(code[3]));
}
