// The batch request: the file list and the droplet's batch options in one
// descriptor, played as the 'BtcF' event.
#pragma once

#include <cstdint>

#include "host/host_objects.h"

inline constexpr uint32_t kBatchEvent = FourCC("BtcF");
inline constexpr int32_t kBatchDialogMode = 2;

// The host objects and texts the request is built from. destinationFolder
// is used when the settings' destinationMode is 3, logFile when logErrors.
struct BatchHost {
  HostApplication* application;
  HostControl* control;
  HostDescriptor* request;
  HostList* files;
  const char16_t* destinationFolder;
  const char16_t* logFile;
};

// Fills the request from Settings and plays it. 0 when played.
// A host object that is not obtained, or a call the host fails (after its
// rejections have been retried), ends it with the connection message and
// its code: a request the host holds only in part is never played. A counted
// string, name or text that cannot be made ends it with the out-of-memory
// message and -41. Nothing is played then.
int32_t PlayBatchRequest(const BatchHost& host);

// Asks the host for the identifier of a name, converting and counting the
// name afresh (identifiers are not remembered). 0 or a code as above.
int32_t TypeIdOfName(HostControl* control, const char* name, uint32_t* id);
