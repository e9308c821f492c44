#include "host/run.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "host/batch_request.h"
#include "host/host_call.h"
#include "host/host_objects.h"
#include "messages/error_box.h"
#include "messages/messages.h"
#include "messages/process_state.h"
#include "messages/progress.h"
#include "messages/report_file.h"
#include "messages/run_tally.h"
#include "messages/summary_boxes.h"
#include "messages/text_conversion.h"
#include "messages/trace.h"
#include "settings/droplet_settings.h"
#include "system/system.h"
#include "system/text16.h"

namespace {

inline constexpr int kIdentifierCapacity = 256;

// A copy of a path record's text in an allocation of its own; nullptr when
// the allocation fails.
char16_t* CopyPath(const PathRecord* record) {
  const char16_t* path = PathOfRecord(record);
  size_t n = static_cast<size_t>(TextLength(path));
  auto* copy = static_cast<char16_t*>(Sys().Allocate((n + 1) * sizeof(char16_t)));
  if (copy != nullptr) std::memcpy(copy, path, (n + 1) * sizeof(char16_t));
  return copy;
}

void TraceClassId(const Guid& id) {
  char text[80];
  std::snprintf(text, sizeof text, "CLSID=%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x\n",
                static_cast<unsigned>(id.data1), static_cast<unsigned>(id.data2),
                static_cast<unsigned>(id.data3), id.data4[0], id.data4[1], id.data4[2], id.data4[3],
                id.data4[4], id.data4[5], id.data4[6], id.data4[7]);
  TraceHook(text);
}

struct RunState {
  char16_t* identifier = nullptr;
  char16_t* destinationFolder = nullptr;
  char16_t* logFile = nullptr;
  int32_t lastConnectionResult = 0;
};

int32_t Connect(RunState& state, HostApplication** application) {
  TraceHook("OleInitialize\n");
  int32_t r = state.lastConnectionResult = Sys().OleInitialize();
  if (r < 0) return ConnectionFailure(r);

  TraceHook("CLSIDFromProgID\n");
  Guid clsid = {};
  r = state.lastConnectionResult = Sys().CLSIDFromProgID(state.identifier, &clsid);
  if (r < 0) return ConnectionFailure(r);
  TraceClassId(clsid);

  TraceHook("CoCreateInstance\n");
  // Every System the droplet installs makes the activated object a
  // HostObject (on Windows through the COM wrapper the entry hands it).
  void* activated = nullptr;
  r = state.lastConnectionResult = CallHost(
      [&] { return Sys().CoCreateInstance(clsid, kContextLocalServer, kDispatchIid, &activated); });
  auto* object = static_cast<HostObject*>(activated);
  if (r == kServerExecFailure) {
    CurrentMessage = msg::kLaunch;
    return r;
  }
  if (r < 0 || object == nullptr) return ConnectionFailure(r);

  TraceHook("QueryInterface\n");
  r = state.lastConnectionResult =
      CallHost([&] { return object->QueryInterface(kHostApplicationIid, application); });
  if (r < 0 || *application == nullptr) return ConnectionFailure(r);
  return 0;
}

// A run with options on folders that held no file says so, and sends no
// empty request; the specified droplet plays even an empty one.
bool NothingFound() {
  if (!HasRunOptions(Settings) || Tally.files > 0 || Tally.named == 0) return false;
  ShowNothingFoundBox();
  return true;
}

// A check reaches no host: it scans the files, read-only, and says what it
// found. Exit values as cmp has them: 0 all sound, 1 damaged, 2 unreadable.
int32_t Check(char* tail, WalkProc walk) {
  if (int32_t walked = walk(tail, nullptr); walked != 0) return walked;
  if (int32_t r = ProgressHandOver(); r != 0) return r;  // cancelled: no box
  if (NothingFound()) return 0;
  if (FileDone == nullptr) ShowCheckBox();
  Tally.summaryShown = true;
  Tally.exitChosen = true;
  Tally.exitValue = Tally.failures > 0 ? 2 : Tally.damagedFiles > 0 ? 1 : 0;
  return 0;
}

// The files the settings hand to the host: every one that succeeded, the
// repaired ones, or none.
uint32_t FilesToSend() {
  switch (Settings.send) {
    case SendFiles::kAll: return SucceededFiles();
    case SendFiles::kRepaired: return Tally.damagedFiles;
    case SendFiles::kNone: break;
  }
  return 0;
}

// The end of a walk that went on past failed files: the files that
// succeeded are sent, if there are any to send, and one box says what failed.
int32_t KeepGoingEnd(const BatchHost* host) {
  uint32_t sent = host != nullptr ? FilesToSend() : 0;
  if (sent > 0)
    if (int32_t r = PlayBatchRequest(*host); r != 0) {
      // Said now, while the full list is kept: the box may name its file.
      ShowErrorBox(r);
      Tally.summaryShown = true;
      return r;
    }
  ShowKeepGoingBox(Settings.send == SendFiles::kAll, sent);
  Tally.exitChosen = true;
  Tally.exitValue = 1;
  return 0;
}

// Repair in place only: no host is needed, so none is contacted.
int32_t RepairOnly(char* tail, WalkProc walk) {
  if (int32_t walked = walk(tail, nullptr); walked != 0) return walked;
  if (int32_t r = ProgressHandOver(); r != 0) return r;  // cancelled: no box
  if (NothingFound()) return 0;
  if (Tally.failures > 0) return KeepGoingEnd(nullptr);
  if (Settings.report) ShowReportBox(false, 0);
  return 0;
}

bool HoldsNoFile(const char* tail) {
  while (*tail == ' ') ++tail;
  return *tail == 0;
}

// A droplet with options, started with nothing to work on, says what it is
// for instead of connecting to play an empty request: no host, nothing sent.
int32_t EmptyDrop() {
  const DropletSettings& s = Settings;
  const char* purpose = "to repair them and send them to the host editor.";
  if (s.check)
    purpose = "to find the damaged ones; nothing is changed.";
  else if (s.send == SendFiles::kRepaired)
    purpose = "to repair them; the repaired ones are sent to the host editor.";
  else if (s.send == SendFiles::kNone)
    purpose = "to repair them in place; nothing is sent to the host editor.";
  ShowEmptyDropBox(s.recursive, purpose);
  Tally.exitChosen = true;
  Tally.exitValue = 2;  // as a Unix tool given no file
  return 0;
}

int32_t Run(char* tail, WalkProc walk, RunState& state) {
  const DropletSettings& s = Settings;
  // The specified droplet plays an empty request for an empty drop.
  if (HasRunOptions(s) && HoldsNoFile(tail)) return EmptyDrop();
  if (s.check) return Check(tail, walk);
  if (s.send == SendFiles::kNone) return RepairOnly(tail, walk);

  char identifier[kIdentifierCapacity];
  std::snprintf(identifier, sizeof identifier, "%s%s", s.hostName, kIdentifierSuffix);
  if (int code = ToWideAlloc(identifier, &state.identifier); code != 0) return code;

  if (s.destinationMode == 3) {
    if (s.destinationFolder == nullptr) return 2;
    state.destinationFolder = CopyPath(s.destinationFolder);
    if (state.destinationFolder == nullptr) return 2;
  }
  if (s.logErrors) {
    if (s.logFile == nullptr) return 2;
    state.logFile = CopyPath(s.logFile);
    if (state.logFile == nullptr) return 2;
  }

  HostApplication* application = nullptr;
  if (int32_t r = Connect(state, &application); r != 0 || application == nullptr)
    return r != 0 ? r : ConnectionFailure(0);

  BatchHost host = {application, nullptr, nullptr, nullptr, state.destinationFolder, state.logFile};
  TraceHook("MakeControlObject\n");
  int32_t r = CallHost([&] { return application->MakeControlObject(&host.control); });
  if (r < 0 || host.control == nullptr) return ConnectionFailure(r);
  TraceHook("MakeDescriptor\n");
  r = CallHost([&] { return application->MakeDescriptor(&host.request); });
  if (r < 0 || host.request == nullptr) return ConnectionFailure(r);
  TraceHook("MakeDescriptor\n");
  r = CallHost([&] { return application->MakeList(&host.files); });
  if (r < 0 || host.files == nullptr) return ConnectionFailure(r);
  TraceHook("MakeList\n");
  HostStage = RequestStage::kListing;

  if (int32_t walked = walk(tail, host.files); walked != 0) return walked;
  // Nothing is sent, and no box shown, while the progress is up or after a cancel.
  if (r = ProgressHandOver(); r != 0) return r;
  if (NothingFound()) return 0;
  if (Tally.failures > 0) return KeepGoingEnd(&host);
  // The specified droplet plays even an empty request; one that sends only
  // what it repaired has nothing to say when nothing needed it.
  uint32_t sent = FilesToSend();
  if (s.send == SendFiles::kAll || sent > 0) r = PlayBatchRequest(host);
  if (r == 0 && s.report) ShowReportBox(s.send == SendFiles::kAll, sent);
  return r;
}

}  // namespace

int32_t RunDroplet(char* tail, WalkProc walk) {
  TraceHook(tail);
  TraceHook("\n");

  ResetTally();
  // Only the check and keep-going boxes list files.
  ReportBegin(Settings.check || Settings.keepGoing);
  RunState state;
  ProgressBegin(Settings.check);
  int32_t result = Run(tail, walk, state);
  ProgressEnd();
  ReportEnd();

  char text[80];
  std::snprintf(text, sizeof text, "err=%x\n", static_cast<unsigned>(state.lastConnectionResult));
  TraceHook(text);
  for (char16_t* text : {state.identifier, state.destinationFolder, state.logFile})
    if (text != nullptr) Sys().Release(text);
  return result;
}
