// The host objects over the host's COM automation server (Windows only):
// calls at the method-table positions of the host's calling contract.
#pragma once

#include "host/host_objects.h"

// Wraps the IDispatch pointer that activation returned. The wrapper and the
// interface pointers are never released: the process ends after the request.
HostObject* WrapComObject(void* dispatch);
