// The embedded request host for POSIX: builds the request in memory and, when
// the event is played, writes it as one JSON document (docs/request-json.md).
#pragma once

#include <string>

#include "host/host_objects.h"

// Class identifier under which the droplet registers the embedded host.
inline constexpr Guid kJsonHostClsid = {
    0x6A736F6E, 0x686F, 0x7374, {0x8D, 0x21, 0x44, 0x72, 0x6F, 0x70, 0x6C, 0x74}};

// A new host whose documents go to standard output. Its objects live until
// the process ends.
HostObject* CreateJsonHost();

// The same, with each document appended to *out instead (tests).
HostObject* CreateJsonHostInto(std::string* out);
