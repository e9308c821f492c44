#include "messages/trace.h"

#include "system/system.h"

namespace {

#ifdef DROPLET_TRACE_OUTPUT
void DebugOutputSink(const char* text) { Sys().OutputDebugStringA(text); }
TraceSink CurrentTraceSink = DebugOutputSink;
#else
TraceSink CurrentTraceSink = nullptr;
#endif

}  // namespace

void TraceHook(const char* text) {
  if (CurrentTraceSink != nullptr && text != nullptr) CurrentTraceSink(text);
}

TraceSink SetTraceSink(TraceSink sink) {
  TraceSink previous = CurrentTraceSink;
  CurrentTraceSink = sink;
  return previous;
}
