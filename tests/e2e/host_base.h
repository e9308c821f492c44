// Stands in for the header widl would make from host_base.idl: the system
// headers already declare IUnknown and IDispatch.
#pragma once
#include <windows.h>
#include <ole2.h>
