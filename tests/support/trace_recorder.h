// Records the trace texts emitted while it lives.
#pragma once

#include <string>
#include <vector>

#include "messages/trace.h"

class TraceRecorder {
 public:
  TraceRecorder() : previous_(SetTraceSink(&Record)) { Texts().clear(); }
  ~TraceRecorder() { SetTraceSink(previous_); }
  TraceRecorder(const TraceRecorder&) = delete;
  TraceRecorder& operator=(const TraceRecorder&) = delete;

  const std::vector<std::string>& texts() const { return Texts(); }
  bool Has(const std::string& text) const {
    for (const std::string& t : Texts())
      if (t == text) return true;
    return false;
  }

 private:
  static std::vector<std::string>& Texts() {
    static std::vector<std::string> texts;
    return texts;
  }
  static void Record(const char* text) { Texts().push_back(text); }
  TraceSink previous_;
};
