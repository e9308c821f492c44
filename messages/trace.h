// Debug trace points. Their output is off: the texts go to a sink that is
// empty in shipping builds; tests install a recorder, and a build option
// (DROPLET_TRACE_OUTPUT) sends them to the debugger output or standard error.
#pragma once

using TraceSink = void (*)(const char* text);

void TraceHook(const char* text);

// Installs a sink (nullptr switches tracing off) and returns the previous one.
TraceSink SetTraceSink(TraceSink sink);
