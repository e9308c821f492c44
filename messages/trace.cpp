#include "messages/trace.h"

#include "system/system.h"

namespace {

#ifdef DROPLET_TRACE_OUTPUT
void DebugOutputSink(const char* text) { Sys().OutputDebugStringA(text); }
TraceSink gSink = DebugOutputSink;
#else
TraceSink gSink = nullptr;
#endif

}  // namespace

void TraceHook(const char* text) {
  if (gSink != nullptr && text != nullptr) gSink(text);
}

TraceSink SetTraceSink(TraceSink sink) {
  TraceSink previous = gSink;
  gSink = sink;
  return previous;
}
