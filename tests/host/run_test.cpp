// The run: connection before any file, its traces, and every way it ends.
#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "messages/error_box.h"
#include "tests/host/host_fixture.h"

namespace {

using Lines = std::vector<std::string>;

std::string Message(const char* format, int code) {
  char text[256];
  std::snprintf(text, sizeof text, format, code);
  return text;
}

// The lines a box adds to its message: the failing file, as given, on its
// own line (Windows) or leading the message (Linux); a connection's context.
std::string WithFile(const std::string& message, const std::string& file) {
  return kFileBelowMessage ? message + "\n" + file : file + ": " + message;
}
const std::string kNoChange = "\nNo file was changed.";
const std::string kNotFound = "\nThe file was not found; it may have been moved, renamed or deleted.";
const std::string kNotInstalled =
    "\nThe host editor does not appear to be installed. No file was changed.";
// What became of the request, then of the files, after the host failed.
std::string HostContext(const char* request, int files) {
  return std::string("\nThe host editor ") + request + " " + std::to_string(files) +
         (files == 1 ? " file was" : " files were") + " repaired in place.";
}
const char* kStopped = "stopped before the request was sent.";
const char* kRefused = "refused the request.";
const char* kClosed = "closed while taking the request; it may have received part of it.";
// A file failed after others were repaired.
std::string Before(int files) {
  return "\n" + std::to_string(files) + (files == 1 ? " file before this one was" :
                                                       " files before this one were") +
         " repaired in place; nothing was sent to the host editor.";
}

class Connection : public HostRun {
 protected:
  Connection() { fake.AddFile(u"C:\\a.psd", kDamaged); }
  bool FileTouched() { return fake.Calls(Op::CreateFileW) + fake.Calls(Op::CreateFileA) != 0; }
  // Connection and host-side traces, without the repair pass's own.
  Lines RunTraces() {
    Lines out;
    for (const std::string& t : traces.texts())
      if (t != "CBuffer\n" && t != "CFileAccess\n" && t != "Repair Done\n") out.push_back(t);
    return out;
  }
};

TEST_F(Connection, SuccessfulRunTracesEveryStepInOrder) {
  ASSERT_EQ(Run("C:\\a.psd"), 0);
  EXPECT_EQ(RunTraces(),
            (Lines{"C:\\a.psd", "\n", "OleInitialize\n", "CLSIDFromProgID\n",
                   "CLSID=12345678-9abc-def0- 1 2- 3 4 5 6 7 8\n", "CoCreateInstance\n",
                   "QueryInterface\n", "MakeControlObject\n", "MakeDescriptor\n",
                   "MakeDescriptor\n", "MakeList\n", "C:\\a.psd", "\n", "Adding path\n",
                   "err=0\n"}));
  EXPECT_EQ(U8(fake.progId), "Pixmantle.Application.7");
  EXPECT_EQ(fake.createContext, 4u);
  EXPECT_TRUE(fake.createIid == kDispatchIid);
  EXPECT_EQ(host.calls[0], "QueryInterface");
  EXPECT_EQ(fake.LiveAllocations(), 0);
}

TEST_F(Connection, IdentifierFollowsTheHostName) {
  Settings.hostName = "Other";
  ASSERT_EQ(Run(""), 0);
  EXPECT_EQ(U8(fake.progId), "Other.Application.7");
}

TEST_F(Connection, LaunchFailureShowsTheLaunchMessageWithCode5) {
  fake.createResult = kServerExecFailure;
  EXPECT_EQ(DropletBox("C:\\a.psd"), Message(msg::kLaunch, 5) + kNoChange);
  EXPECT_FALSE(FileTouched());
  EXPECT_EQ(host.plays, 0);
  EXPECT_TRUE(traces.Has("err=80080005\n"));
}

// Every connection step that fails is reported with its own code; none
// touches a file or reaches the host.
TEST_F(Connection, FailedConnectionStepsAreReported) {
  struct Case {
    const char* what;
    int32_t* field;
    int32_t result;
    int code;
    const std::string& context;
  };
  FakeSystem* f = &fake;
  // A host that is not registered at all (its identifier, class or program
  // unknown) is said to be missing; no file is changed either way.
  for (Case c : {Case{"OleInitialize", &f->oleResult, static_cast<int32_t>(0x8001010Eu), 0x010E,
                      kNoChange},
                 Case{"CLSIDFromProgID", &f->clsidResult, kClassStringInvalid, 0x01F3,
                      kNotInstalled},
                 Case{"CoCreateInstance", &f->createResult, kClassNotRegistered, 0x0154,
                      kNotInstalled},
                 Case{"program missing", &f->createResult, kRegistryKeyMissing, 338,
                      kNotInstalled},
                 Case{"CoCreateInstance low 0", &f->createResult,
                      static_cast<int32_t>(0x80070000u), -1, kNoChange}}) {
    SCOPED_TRACE(c.what);
    fake.oleResult = fake.clsidResult = fake.createResult = 0;
    fake.boxes.clear();
    *c.field = c.result;
    char expectedTrace[32];
    std::snprintf(expectedTrace, sizeof expectedTrace, "err=%x\n", static_cast<unsigned>(c.result));
    EXPECT_EQ(DropletBox("C:\\a.psd"), Message(msg::kConnect, c.code) + c.context);
    EXPECT_TRUE(traces.Has(expectedTrace));
  }
  EXPECT_FALSE(FileTouched());
  EXPECT_EQ(host.calls, Lines{});
}

TEST_F(Connection, NoObjectFromActivationIsNeverCalled) {
  fake.hostObject = nullptr;
  EXPECT_EQ(DropletBox("C:\\a.psd"), Message(msg::kConnect, -1) + kNoChange);
  EXPECT_FALSE(FileTouched());
}

TEST_F(Connection, FailedOrEmptyQueryIsReported) {
  host.FailAt("QueryInterface", 1, static_cast<int32_t>(0x80004002u));
  // A host registered for the other kind of program answers so.
  EXPECT_EQ(DropletBox("C:\\a.psd"), Message(msg::kConnect, 0x4002) + "\nThe host editor may be " +
                                          (sizeof(void*) == 8 ? "registered for 32-bit programs only. Use the 32-bit droplet (the x86"
                                                              : "registered for 64-bit programs only. Use the 64-bit droplet (the x64") +
                                          " download) instead." + kNoChange);
  EXPECT_FALSE(FileTouched());

  RecordingHost empty;
  empty.FailAt("QueryInterface", 1, 0);
  fake.hostObject = &empty;
  fake.boxes.clear();
  EXPECT_EQ(DropletBox("C:\\a.psd"), Message(msg::kConnect, -1) + kNoChange);
  EXPECT_FALSE(FileTouched());
}

TEST_F(Connection, IdentifierConversionFailure) {
  fake.FailAt(Op::Allocate, 1, kErrorNotEnoughMemory);
  EXPECT_EQ(Run("C:\\a.psd"), 2);
  EXPECT_STREQ(CurrentMessage, msg::kConnect);
  EXPECT_EQ(fake.Calls(Op::OleInitialize), 0);
  EXPECT_FALSE(FileTouched());
  EXPECT_TRUE(traces.Has("err=0\n"));
}

TEST_F(Connection, PathCopiesThatCannotBeAllocated) {
  static const char16_t record[] = u"\0\0\0\0\0\0D:\\Out";
  Settings.destinationMode = 3;
  Settings.destinationFolder = reinterpret_cast<const PathRecord*>(record);
  fake.FailAt(Op::Allocate, 2, kErrorNotEnoughMemory);
  EXPECT_EQ(Run("C:\\a.psd"), 2);

  Settings.destinationMode = 1;
  Settings.logErrors = true;
  Settings.logFile = reinterpret_cast<const PathRecord*>(record);
  fake.FailAt(Op::Allocate, 4, kErrorNotEnoughMemory);
  EXPECT_EQ(Run("C:\\a.psd"), 2);
  EXPECT_FALSE(FileTouched());
  EXPECT_EQ(fake.Calls(Op::OleInitialize), 0);
  EXPECT_EQ(fake.LiveAllocations(), 0);
}

// A host object that is not obtained, or a call that the host fails (a host
// that refuses, or whose process is gone, or stays busy), before, during or
// after the walk, ends the run with the connection message and the call's
// code: nothing is called through the object, no later file is touched,
// nothing is played. Only a rejected call is tried again: for 60 s from its
// first rejection, however the clock wraps.
TEST_F(Connection, HostObjectsNotObtainedOrCallsFailed) {
  std::vector<uint32_t> schedule = {50, 100, 200, 400, 800};
  schedule.insert(schedule.end(), 58, 1000);
  schedule.push_back(450);
  struct Case {
    const char* operation;
    int nth;
    uint32_t result;
    bool leaveNothing;
    int code;
    int filesTouched;
    std::string context;  // what became of the request and of the files
    int times = 1;        // how often the call fails in a row
  };
  // Before the walk nothing is changed; in the walk or the request's filling
  // the host stopped before it; the request itself was refused (a failure
  // result, or the host busy throughout) or cut off (an RPC failure).
  for (Case c : {Case{"MakeControlObject", 1, 0x80004005u, false, 0x4005, 0, kNoChange},
                 Case{"MakeControlObject", 1, 0, true, -1, 0, kNoChange},
                 Case{"MakeDescriptor", 1, 0x8007000Eu, true, 0x000E, 0, kNoChange},
                 Case{"MakeList", 1, 0, true, -1, 0, kNoChange},
                 Case{"MakeDescriptor", 2, 0x80004005u, false, 0x4005, 2, HostContext(kStopped, 2)},
                 Case{"TypeIdOfString", 1, 0x80020009u, false, 0x0009, 2, HostContext(kStopped, 2)},
                 Case{"AddPathItem", 1, 0x800706BEu, false, 0x06BE, 1, HostContext(kStopped, 1)},
                 Case{"PlayEvent", 1, 0x80004005u, false, 0x4005, 2, HostContext(kRefused, 2)},
                 Case{"PlayEvent", 1, 0x800706BEu, false, 0x06BE, 2, HostContext(kClosed, 2)},
                 Case{"PlayEvent", 1, 0x80010108u, false, 0x0108, 2, HostContext(kClosed, 2)},
                 Case{"MakeControlObject", 1, 0x80010001u, true, 1, 0, kNoChange, 1000},  // busy
                 Case{"AddPathItem", 1, 0x8001010Au, true, 0x010A, 1, HostContext(kStopped, 1),
                      1000},
                 Case{"PlayEvent", 1, 0x80010001u, true, 1, 2, HostContext(kRefused, 2), 1000}}) {
    SCOPED_TRACE(std::string(c.operation) + " " + std::to_string(c.nth));
    FakeSystem local;
    ScopedSystem scope(local);
    local.AddFile(u"C:\\a.psd", kDamaged);
    local.AddFile(u"C:\\b.psd", kDamaged);
    local.tickCount = 0xFFFFF000u;
    PlaceDroplet(local);
    RecordingHost failing;
    failing.FailAt(c.operation, c.nth, static_cast<int32_t>(c.result), c.leaveNothing, c.times);
    local.hostObject = &failing;
    std::string tail = "C:\\a.psd C:\\b.psd";
    FilesChanged = false;
    EXPECT_EQ(DropletMain(nullptr, tail.data(), RunDroplet), 1);
    ASSERT_EQ(local.boxes.size(), 1u);
    EXPECT_EQ(U8(local.boxes[0].text), Message(msg::kConnect, c.code) + c.context);
    EXPECT_EQ(local.sleeps, c.times > 1 ? schedule : std::vector<uint32_t>{});
    if (c.times > 1) {
      EXPECT_EQ(failing.Count(c.operation), 65);
    }
    EXPECT_EQ(failing.plays, 0);
    EXPECT_EQ(local.Contents(u"C:\\a.psd"), c.filesTouched >= 1 ? kRepaired : kDamaged);
    EXPECT_EQ(local.Contents(u"C:\\b.psd"), c.filesTouched >= 2 ? kRepaired : kDamaged);
  }
}

// A call the host rejected never ran: it is made again, alone, after pauses
// of 50, 100 and 200 ms, and the run goes on as if it had been taken at once.
// A success other than 0 is a success.
TEST_F(Connection, RejectedCallsAreRetriedUntilTaken) {
  auto run = [](const char* operation, int32_t result, RecordingHost& host, FakeSystem& system) {
    system.AddFile(u"C:\\a.psd", kDamaged);
    system.hostObject = &host;
    if (std::string(operation) == "CoCreateInstance")
      for (int nth = 1; nth <= 3; ++nth) system.FailAt(Op::CoCreateInstance, nth, result);
    else if (*operation != 0)
      host.FailAt(operation, 1, result, true, 3);
    system.createResult = 1;  // S_FALSE
    TraceRecorder traces;
    std::string tail = "C:\\a.psd";
    EXPECT_EQ(RunDroplet(tail.data(), WalkFileArguments), 0);
    EXPECT_EQ(system.Contents(u"C:\\a.psd"), kRepaired);
    return traces.texts();
  };
  FakeSystem plainSystem;
  RecordingHost plain;
  Lines plainTraces;
  {
    ScopedSystem scope(plainSystem);
    plainTraces = run("", 0, plain, plainSystem);
  }
  for (const char* operation : {"CoCreateInstance", "QueryInterface", "MakeControlObject",
                                "MakeList", "AddPathItem", "TypeIdOfString", "SetBooleanItem",
                                "SetDataItem", "PlayEvent"}) {
    for (uint32_t rejection : {0x80010001u, 0x8001010Au}) {
      SCOPED_TRACE(std::string(operation) + " " + std::to_string(rejection));
      FakeSystem local;
      ScopedSystem scope(local);
      RecordingHost busy;
      EXPECT_EQ(run(operation, static_cast<int32_t>(rejection), busy, local), plainTraces);
      EXPECT_EQ(local.sleeps, (std::vector<uint32_t>{50, 100, 200}));
      EXPECT_EQ(busy.playedRequest, plain.playedRequest);
      int again = std::string(operation) == "CoCreateInstance" ? 0 : 3;
      EXPECT_EQ(busy.Count(operation), plain.Count(operation) + again);
      EXPECT_EQ(busy.calls.size(), plain.calls.size() + again);
    }
  }
}


TEST_F(Connection, NamingObjectsNotObtained) {
  static const char16_t record[] = u"\0\0\0\0\0\0D:\\Out";
  Settings.destinationMode = 3;
  Settings.destinationFolder = reinterpret_cast<const PathRecord*>(record);
  // The rules descriptor, the components list, a component descriptor, the
  // result descriptor.
  struct Case {
    const char* operation;
    int nth;
  };
  for (Case c : {Case{"MakeDescriptor", 2}, Case{"MakeList", 2}, Case{"MakeDescriptor", 5},
                 Case{"MakeDescriptor", 9}}) {
    SCOPED_TRACE(std::string(c.operation) + " " + std::to_string(c.nth));
    RecordingHost failing;
    failing.FailAt(c.operation, c.nth, 0, true);
    fake.hostObject = &failing;
    CurrentMessage = msg::kConnect;
    EXPECT_EQ(Run(""), -1);
    EXPECT_STREQ(CurrentMessage, msg::kConnect);
    EXPECT_EQ(failing.plays, 0);
  }
}

// A name, text or counted string that cannot be made is never sent.
TEST_F(Connection, TextsThatCannotBeMadeEndWithOutOfMemory) {
  static const char16_t record[] = u"\0\0\0\0\0\0D:\\Out";
  Settings.destinationMode = 3;
  Settings.destinationFolder = reinterpret_cast<const PathRecord*>(record);
  Settings.namingSlots[0] = {19, "text"};
  struct Case {
    const char* what;
    Op op;
    int nth;
  };
  // Conversions: the identifier and the token take two calls each (length,
  // then text); the first name's conversion is the sixth. Allocations: the
  // identifier, the folder copy, the repair's buffer, then the first name.
  for (Case c : {Case{"path string", Op::SysAllocString, 1},
                 Case{"data", Op::SysAllocStringByteLen, 1},
                 Case{"folder", Op::SysAllocString, 2},
                 Case{"name", Op::SysAllocString, 3},
                 Case{"slot text", Op::SysAllocString, 4},
                 Case{"name conversion", Op::MultiByteToWideChar, 6},
                 Case{"name allocation", Op::Allocate, 4}}) {
    SCOPED_TRACE(c.what);
    FakeSystem local;
    ScopedSystem scope(local);
    local.AddFile(u"C:\\a.psd", kDamaged);
    RecordingHost recording;
    local.hostObject = &recording;
    local.FailAt(c.op, c.nth, kErrorNotEnoughMemory);
    CurrentMessage = msg::kConnect;
    std::string tail = "C:\\a.psd";
    EXPECT_EQ(RunDroplet(tail.data(), WalkFileArguments), -41);
    EXPECT_STREQ(CurrentMessage, msg::kOutOfMemory);
    EXPECT_EQ(recording.plays, 0);
    EXPECT_EQ(local.Contents(u"C:\\a.psd"), kRepaired);  // the failure came after the repair
    for (const std::string& call : recording.calls)
      EXPECT_EQ(call.find("<absent>"), std::string::npos) << call;
  }
}

TEST_F(Connection, SecondOfThreeFilesFailsToOpen) {
  fake.AddFile(u"C:\\c.psd", kDamaged);
  // The box names the file that failed, as the user gave it.
  EXPECT_EQ(DropletBox("C:\\a.psd C:\\b.psd C:\\c.psd"),
            WithFile(Message(msg::kOpen, 2), "C:\\b.psd") + kNotFound + Before(1));
  EXPECT_EQ(fake.Contents(u"C:\\a.psd"), kRepaired);
  EXPECT_EQ(fake.Contents(u"C:\\c.psd"), kDamaged);
  EXPECT_EQ(host.plays, 0);
  EXPECT_EQ(host.Count("AddPathItem"), 1);
}

TEST_F(Connection, ConversionFailureIsReportedAndNothingIsSent) {
  fake.AddFile(u"C:\\b.psd", kDamaged);
  // Identifier: two calls; first token: two; the second token's length query fails.
  fake.FailAt(Op::MultiByteToWideChar, 5, kErrorNoUnicodeTranslation);
  EXPECT_EQ(DropletBox("C:\\a.psd C:\\b.psd"),
            WithFile(Message(msg::kOpen, 1113), "C:\\b.psd") + Before(1));
  EXPECT_EQ(host.plays, 0);
  EXPECT_EQ(fake.Contents(u"C:\\a.psd"), kRepaired);
  EXPECT_EQ(fake.Contents(u"C:\\b.psd"), kDamaged);
}

// What the user sees while the droplet works: nothing in a run's first 2 s
// (the fake clock moves on with each read when slow), the wait for a busy
// host at once, the lines as they change, nothing where no dialog can be
// made. Cancel stops the run before the next file or during a wait: nothing
// is sent, files repaired so far keep their repairs and one box says so
// (none when nothing changed), exit value 1.
// A folder walk and a check show theirs too (a check "Checking"), a failure
// a walk goes on past counts as done, and any box comes after the stop.
TEST_F(Connection, ProgressShownAfterTwoSecondsOrAtOnceAndCancelSendsNothing) {
  const std::string waiting = "Waiting for the host editor to accept the request\u2026 | ";
  auto bigLines = [](const std::string& verb, const std::string& file, int done) {
    std::string count = std::to_string(done) + (done == 1 ? " file done" : " files done");
    std::string line = verb + " " + file + " | " + count;
    return Lines{line, line + "; 8 MiB of this file", line + "; 9 MiB of this file"};
  };
  const Lines big = bigLines("Repairing", "C:\\big.psd", 0);
  auto then = [](Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const Lines large = then(big, {"Repairing C:\\b.psd | 1 file done", "stop"});
  // Found files are named by full paths, joined with the system's separator.
  const std::string d = std::string("C:\\d") + static_cast<char>(kModulePathSeparator);
  const Lines found = bigLines("Repairing", d + "big.psd", 0);
  struct Case {
    const char* what;
    const char* busy;  // the host call rejected, times in a row
    int times;
    bool slow, noDialog;
    int cancelAt;
    Lines shown;
    bool bigRepaired = true, bRepaired = true, played = true;
    const char* options = "";  // k: keep going, c: check, r: recursive (the tail is then C:\d)
    const char* tail = "C:\\big.psd C:\\b.psd";
  };
  for (const Case& c : std::initializer_list<Case>{
           {"a quick run", nullptr, 0, false, false, 0, {}},
           {"a large file", nullptr, 0, true, false, 0, then({"start Repair"}, large)},
           {"busy while connecting", "MakeControlObject", 3, false, false, 0,
            {"start Repair", waiting, "stop"}},
           {"busy while listing", "AddPathItem", 3, false, false, 0,
            {"start Repair", waiting + "1 file done", "Repairing C:\\b.psd | 1 file done", "stop"}},
           {"busy, then a large file", "MakeControlObject", 3, true, false, 0,
            then({"start Repair", waiting, "stop", "start Repair"}, large)},
           {"no dialog to be had", "MakeControlObject", 3, true, true, 0, {"start failed"}},
           {"cancel while connecting", "MakeControlObject", 1000, false, false, 1,
            {"start Repair", waiting, "stop"}, false, false, false},
           {"cancel before the next file", nullptr, 0, true, false, 1,
            then(then({"start Repair"}, big), {"stop", "box"}), true, false, false},
           {"cancel while the request waits", "PlayEvent", 1000, false, false, 1,
            {"start Repair", waiting + "2 files done", "stop", "box"}, true, true, false},
           {"a report after the files", nullptr, 0, true, false, 0,
            then({"start Repair"}, then(large, {"box"})), true, true, true, "k"},
           {"a folder", nullptr, 0, true, false, 0,
            then(then({"start Repair"}, found), {"Repairing " + d + "e" + d.back() + "b.psd | 1 file done", "stop"}),
            true, true, true, "r"},
           {"cancel before a subfolder", nullptr, 0, true, false, 1,
            then(then({"start Repair"}, found), {"stop", "box"}), true, false, false, "r"},
           {"cancel after a failure the walk went past", nullptr, 0, true, false, 1,
            then(then({"start Repair"}, bigLines("Repairing", "C:\\big.psd", 1)), {"stop", "box"}),
            true, false, false, "k", "C:\\gone.psd C:\\big.psd C:\\b.psd"},
           {"a check", nullptr, 0, true, false, 0,
            then(then({"start Repair"}, bigLines("Checking", "C:\\big.psd", 0)),
                 {"Checking C:\\b.psd | 1 file done", "stop", "box"}),
            false, false, false, "c"},
           {"cancel during a check", nullptr, 0, true, false, 1,
            then(then({"start Repair"}, bigLines("Checking", "C:\\big.psd", 0)), {"stop"}), false,
            false, false, "c"},
       }) {
    SCOPED_TRACE(c.what);
    FakeSystem local;
    ScopedSystem scope(local);
    PlaceDroplet(local);
    Settings.keepGoing = std::strchr(c.options, 'k') != nullptr;
    Settings.report = Settings.keepGoing;
    Settings.check = std::strchr(c.options, 'c') != nullptr;
    Settings.recursive = std::strchr(c.options, 'r') != nullptr;
    std::u16string bigPath = Settings.recursive ? u"C:\\d\\big.psd" : u"C:\\big.psd";
    std::u16string bPath = Settings.recursive ? u"C:\\d\\e\\b.psd" : u"C:\\b.psd";
    local.AddSparseFile(bigPath, 9 << 20, {{5 << 20, kDamaged}});  // 144 chunks
    local.AddFile(bPath, kDamaged);
    RecordingHost recording;
    if (c.busy != nullptr) recording.FailAt(c.busy, 1, 0x80010001, true, c.times);
    local.hostObject = &recording;
    local.ticksPerRead = c.slow ? 100 : 0;
    local.progressFails = c.noDialog;
    local.cancelAt = c.cancelAt;
    std::string tail = Settings.recursive ? "C:\\d" : c.tail;
    EXPECT_EQ(DropletMain(nullptr, tail.data(), RunDroplet), 1);
    EXPECT_EQ(local.boxes.size(), c.shown.empty() || c.shown.back() != "box" ? 0u : 1u);
    EXPECT_EQ(local.progress, c.shown);
    if (c.cancelAt != 0 && !local.boxes.empty()) {
      EXPECT_EQ(U8(local.boxes[0].text),
                std::string("Stopped. ") + (c.bRepaired ? "2 files were" : "1 file was") +
                    " repaired in place; nothing was sent to the host editor.");
    }
    // The bar fills with the large file's share read, once its MiB show (8
    // of 9 MiB, a chunk at a time), and stands empty again for the next file.
    auto shows = [&c](const std::string& text) {
      return std::any_of(c.shown.begin(), c.shown.end(),
                         [&text](const std::string& line) { return line.find(text) != line.npos; });
    };
    Lines bar;
    if (shows("8 MiB of this file"))
      bar = {"88%", "89%", "90%", "90%", "91%", "92%", "93%", "93%", "94%",
             "95%", "95%", "96%", "97%", "97%", "98%", "99%", "100%"};
    if (!bar.empty() && shows("b.psd |")) bar.push_back("empty");
    EXPECT_EQ(local.bar, bar);
    EXPECT_EQ(local.Contents(bigPath, 5 << 20, 19) == kRepaired, c.bigRepaired);
    EXPECT_EQ(local.Contents(bPath) == kRepaired, c.bRepaired);
    EXPECT_EQ(recording.plays != 0, c.played);
  }
}

// The ends of a run with the options on: what is sent, and the one box.
TEST_F(Connection, KeepGoingSendsTheOthersAndNamesEachFailure) {
  Settings.keepGoing = true;
  const std::string title = " files could not be repaired; the others were repaired and sent to "
                            "the host editor.";
  const std::string names[] = {"C:\\a.psd", "C:\\b.psd", "C:\\c.psd"};
  for (const std::string& failing : names) {
    FakeSystem local;
    ScopedSystem scope(local);
    PlaceDroplet(local);
    RecordingHost recording;
    local.hostObject = &recording;
    for (const std::string& name : names)
      if (name != failing) local.AddFile(U16(name), kDamaged);
    std::string tail = names[0] + " " + names[1] + " " + names[2];
    EXPECT_EQ(DropletMain(nullptr, tail.data(), RunDroplet), 1);
    ASSERT_EQ(local.boxes.size(), 1u);
    EXPECT_EQ(U8(local.boxes[0].text),
              "1 of 3" + title + "\n" + failing + ": " + Message(msg::kOpen, 2));
    EXPECT_EQ(local.boxes[0].style, kMessageBoxWarningOk);
    EXPECT_EQ(recording.plays, 1);
    EXPECT_EQ(recording.Count("AddPathItem"), 2);
  }
  // None succeeded: nothing is sent. Past ten, the box counts the rest.
  std::string tail;
  for (int i = 0; i < 12; ++i) tail += " C:\\missing" + std::to_string(i) + ".psd";
  std::string box = DropletBox(tail);
  EXPECT_EQ(host.plays, 0);
  EXPECT_EQ(box.substr(0, box.find('\n')),
            "None of the 12 files could be repaired; nothing was sent to the host editor.");
  EXPECT_NE(box.find("\nC:\\missing9.psd: " + Message(msg::kOpen, 2) + "\nand 2 more"),
            std::string::npos);
  // The host refused the request after the walk: the error box alone; its
  // context counts the files the walk went past, and it names them.
  fake.boxes.clear();
  fake.AddFile(u"C:\\b.psd", kDamaged);
  host.FailAt("PlayEvent", 1, static_cast<int32_t>(0x80004005u), false);
  EXPECT_EQ(DropletBox("C:\\a.psd C:\\gone.psd C:\\b.psd"),
            Message(msg::kConnect, 0x4005) +
                "\nThe host editor refused the request. 2 files were repaired in place; 1 could "
                "not be repaired.\n\nThese could not be repaired:\nC:\\gone.psd: " +
                Message(msg::kOpen, 2));
  EXPECT_EQ(fake.boxes.size(), 1u);
}

// A check reaches no host and changes no file (a read-only one included);
// it counts tokens across the 64 KiB border too. Unix tool exit values are
// as cmp has them: 0 sound, 1 damaged, 2 unreadable.
TEST_F(Connection, ACheckCountsWithoutTheHost) {
  Settings.check = true;
  fake.createResult = kClassNotRegistered;
  std::string straddling(70000, 'a');
  straddling.replace(65536 - 7, kDamaged.size(), kDamaged);
  fake.AddFile(u"C:\\s.psd", straddling + kDamaged).readOnly = true;
  fake.AddFile(u"C:\\b.psd", "sound");
  // Its own words for a file it cannot read, and then a warning.
  const std::string gone = "\nC:\\gone.psd: " + Message(msg::kCheckRead, 2);
  for (auto [tail, box, exitValue] :
       {std::tuple<std::string, std::string, int>{"C:\\b.psd", "The 1 document is sound.", 0},
        {"C:\\b.psd C:\\gone.psd", "The 1 document is sound." + gone, 2},
        {"C:\\a.psd C:\\b.psd C:\\s.psd C:\\gone.psd",
         "2 of 3 documents need repair (3 damaged values):\nC:\\a.psd: 1\nC:\\s.psd: 2" + gone, 2},
        {"C:\\a.psd", "1 of 1 document needs repair (1 damaged value):\nC:\\a.psd: 1", 1}}) {
    fake.boxes.clear();
    EXPECT_EQ(DropletBox(tail), box);
    EXPECT_EQ(fake.boxes[0].style, exitValue == 2 ? kMessageBoxWarningOk : kMessageBoxInformationOk);
    EXPECT_EQ(DropletMain(nullptr, tail.data(), RunDroplet, nullptr, ExitStyle::kUnixTool),
              exitValue);
  }
  EXPECT_EQ(fake.Calls(Op::OleInitialize) + fake.Calls(Op::CoCreateInstance), 0);
  EXPECT_EQ(fake.LogOf("WriteFile"), Lines{});
}

TEST_F(Connection, AReportSaysWhatWasRepaired) {
  Settings.report = true;
  fake.AddFile(u"C:\\b.psd", kDamaged + kDamaged);
  fake.AddFile(u"C:\\c.psd", "sound");
  EXPECT_EQ(DropletBox("C:\\a.psd C:\\b.psd C:\\c.psd"),
            "Repaired 3 damaged values in 2 of 3 documents; all 3 were sent to the host editor.");
  EXPECT_EQ(fake.boxes[0].style, kMessageBoxInformationOk);
  fake.boxes.clear();
  EXPECT_EQ(DropletBox("C:\\a.psd C:\\c.psd"),
            "All 2 documents were sent to the host editor; none needed repair.");
  fake.boxes.clear();  // a run that failed shows its failure, not a report
  EXPECT_EQ(DropletBox("C:\\gone.psd"), WithFile(Message(msg::kOpen, 2), "C:\\gone.psd") + kNotFound + kNoChange);
}

// Send chooses what reaches the host: the repaired documents only (a run
// that repaired nothing sends nothing), or none, with no host contacted at
// all (here none is registered). The report and keep-going boxes say so.
TEST_F(Connection, SendChoosesWhatGoesToTheHost) {
  const std::string all = "C:\\a.psd C:\\b.psd C:\\c.psd",
                    nothing = "; nothing was sent to the host editor.";
  const std::string gone = "\nC:\\gone.psd: " + Message(msg::kOpen, 2),
                    failed = "1 of 3 files could not be repaired; of the others, 1 was repaired and 1 "
                             "needed no repair";
  const struct Case {
    SendFiles send;
    bool keepGoing, hostMissing, aRepaired;
    std::string tail, box;
    int listed;  // -1: no request
  } cases[] = {
      {SendFiles::kRepaired, false, false, true, all,
       "Repaired 3 damaged values in 2 of 3 documents; the 2 repaired documents were sent to the "
       "host editor.",
       2},
      {SendFiles::kRepaired, false, false, false, "C:\\c.psd",
       "The 1 document is sound" + nothing, -1},
      {SendFiles::kRepaired, false, true, false, all,
       Message(msg::kConnect, 0x0154) + kNotInstalled, -1},
      {SendFiles::kNone, false, true, true, all,
       "Repaired 3 damaged values in 2 of 3 documents" + nothing, -1},
      {SendFiles::kRepaired, true, false, true, "C:\\a.psd C:\\gone.psd C:\\c.psd",
       failed + ", and the 1 repaired document was sent to the host editor." + gone, 1},
      {SendFiles::kNone, true, true, true, "C:\\a.psd C:\\gone.psd C:\\c.psd",
       failed + nothing + gone, -1},
      {SendFiles::kRepaired, true, false, false, "C:\\gone.psd C:\\c.psd",
       "1 of 2 files could not be repaired; the other needed no repair" + nothing + gone, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.box);
    FakeSystem local;
    ScopedSystem scope(local);
    PlaceDroplet(local);
    RecordingHost recording;
    local.hostObject = &recording;
    if (c.hostMissing) local.createResult = kClassNotRegistered;
    local.AddFile(u"C:\\a.psd", kDamaged);
    local.AddFile(u"C:\\b.psd", kDamaged + kDamaged);
    local.AddFile(u"C:\\c.psd", "sound");
    Settings.send = c.send;
    Settings.keepGoing = c.keepGoing;
    Settings.report = true;
    std::string tail = c.tail;
    EXPECT_EQ(DropletMain(nullptr, tail.data(), RunDroplet), 1);
    ASSERT_EQ(local.boxes.size(), 1u);
    EXPECT_EQ(U8(local.boxes[0].text), c.box);
    EXPECT_EQ(recording.plays, c.listed >= 0 ? 1 : 0);
    EXPECT_EQ(recording.Count("AddPathItem"), c.listed > 0 ? c.listed : 0);
    EXPECT_EQ(local.Contents(u"C:\\a.psd") == kRepaired, c.aRepaired);
    EXPECT_EQ(local.Calls(Op::OleInitialize) == 0, c.send == SendFiles::kNone);
  }
}

// An empty drop on a droplet with options says what to drop on it, named by
// its caption, and reaches no host; the specified droplet plays its empty
// request as before.
TEST_F(Connection, AnEmptyDropExplainsItself) {
#ifdef _WIN32
  const std::string any = "Drop documents or folders on \"Repair\" ",
                    docs = "Drop documents on \"Repair\" ";
#else
  const std::string any = "Give documents or folders to \"Repair\" ",
                    docs = "Give documents to \"Repair\" ";
#endif
  const struct Case {
    void (*set)(DropletSettings&);
    std::string box;
  } cases[] = {
      {[](DropletSettings& s) { s.check = s.recursive = true; },
       any + "to find the damaged ones; nothing is changed."},
      {[](DropletSettings& s) {
         s.recursive = true;
         s.send = SendFiles::kRepaired;
       },
       any +
           "to repair them; the repaired ones are sent to the host editor."},
      {[](DropletSettings& s) { s.send = SendFiles::kNone; },
       docs + "to repair them in place; nothing is sent to the host editor."},
      {[](DropletSettings& s) { s.report = true; },
       docs + "to repair them and send them to the host editor."},
      {[](DropletSettings&) {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.box);
    ApplyDropletDefaults();
    Settings.check = Settings.recursive = Settings.report = false;
    Settings.send = SendFiles::kAll;
    c.set(Settings);
    fake.boxes.clear();
    EXPECT_EQ(DropletBox("  "), c.box);
    if (!c.box.empty()) {
      EXPECT_EQ(fake.boxes[0].style, kMessageBoxInformationOk);
    }
    std::string again;
    EXPECT_EQ(DropletMain(nullptr, again.data(), RunDroplet, nullptr, ExitStyle::kUnixTool),
              c.box.empty() ? 0 : 2);
  }
  EXPECT_EQ(fake.Calls(Op::OleInitialize), 2);  // the specified droplet's two runs alone
  EXPECT_EQ(host.plays, 2);

  // Folders that held no file say so, and no empty request goes out.
  fake.AddFolder(u"C:\\e");
  fake.AddFolder(u"C:\\f\\g");
  for (bool check : {true, false}) {
    Settings.check = check;
    Settings.recursive = true;
    fake.boxes.clear();
    EXPECT_EQ(DropletBox("C:\\e"), "No files were found in C:\\e.");
    EXPECT_EQ(fake.boxes[0].style, kMessageBoxInformationOk);
    fake.boxes.clear();
    EXPECT_EQ(DropletBox("C:\\e C:\\f"), "No files were found in C:\\e or in 1 other folder.");
  }
  EXPECT_EQ(host.plays, 2);
}

// A box with no room for every entry names the file that has them all, and
// offers to open it; one that lists them all leaves no file behind; a list
// that cannot be written is said so, with its code, under an OK button.
TEST_F(Connection, TheWholeListIsInAFileWhenTheBoxHasNoRoom) {
  const std::string sep(1, static_cast<char>(kModulePathSeparator));
  const std::string folder = "C:\\Users\\Ann\\AppData\\Local" + sep + "droplet" + sep + "Reports";
  const std::u16string reports = U16(folder);
  const std::string file = folder + sep + "Repair 2026-12-08 231502";
  const std::string named = "\n\nThe full list is in:\n" + file + ".txt\nOpen the full list?";
  std::string tail = "C:\\sound.psd";
  std::string lines;
  for (int i = 0; i < 40; ++i) {
    std::string name = "C:\\d" + std::to_string(10 + i) + ".psd";
    fake.AddFile(U16(name), kDamaged);
    tail += " " + name;
    lines += name + ": 1 damaged value\r\n";
  }
  fake.AddFile(u"C:\\sound.psd", "sound");
  std::string failures;
  for (int i = 0; i < 12; ++i) {
    tail += " C:\\gone" + std::to_string(10 + i) + ".psd";
    failures += "C:\\gone" + std::to_string(10 + i) + ".psd: " + Message(msg::kOpen, 2) + "\r\n";
  }
  const std::string heading = "\xEF\xBB\xBFRepair: every damaged document and every file that failed\r\n";
  const std::string checked = "40 of 41 documents need repair (40 damaged values):";
  struct Case {
    const char* name;
    bool check;
    size_t files;  // of the tail: the sound one, the damaged ones, the missing ones
    std::function<void(FakeSystem&)> setup;
    std::string boxEnd;  // what follows the lists
    uint32_t style;
    std::string contents;  // of the kept file; "" when none is left
    const char* keptAs = ".txt";
  };
  auto none = [](FakeSystem&) {};
  const Case cases[] = {
      {"a check of 40 damaged files", true, 41, none, named, kMessageBoxInformationOk | 4,
       heading + lines + "\r\nTotals: 41 files; 40 with damaged values (40 damaged values); 0 failed.\r\n"},
      {"a check whose entries fit", true, 4, none, "", kMessageBoxInformationOk, ""},
      {"keep going past 12 failures", false, 53, none, named, kMessageBoxWarningOk | 4,
       heading + lines + failures +
           "\r\nTotals: 53 files; 40 with damaged values (40 damaged values); 12 failed.\r\n"},
      {"a name taken in the same second", true, 41,
       [&](FakeSystem& f) {
         f.CreateDirectoryW(U16(folder.substr(0, folder.rfind(sep))).c_str());
         f.CreateDirectoryW(reports.c_str());
         f.CloseHandle(f.CreateFileW(U16(file + ".txt").c_str(), kGenericWrite, 0, kCreateNew, 0));
       },
       "\n\nThe full list is in:\n" + file + " (2).txt\nOpen the full list?",
       kMessageBoxInformationOk | 4,
       heading + lines + "\r\nTotals: 41 files; 40 with damaged values (40 damaged values); 0 failed.\r\n",
       " (2).txt"},
      {"no folder for it", true, 41, [](FakeSystem& f) { f.FailAt(Op::CreateDirectoryW, 2, 5); },
       "\n\nThe full list could not be written (Error code 5).", kMessageBoxInformationOk, ""},
      {"a full disk", true, 41, [](FakeSystem& f) { f.FailAt(Op::WriteFile, 30, 112); },
       "\n\nThe full list could not be written (Error code 112).", kMessageBoxInformationOk, ""},
      {"no local folder", true, 41, [](FakeSystem& f) { f.localAppData.clear(); },
       "\n\nThe full list could not be written (Error code 203).", kMessageBoxInformationOk, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSystem local;
    ScopedSystem scope(local);
    PlaceDroplet(local);
    local.AddFolder(local.localAppData);
    local.hostObject = &host;
    local.AddFile(u"C:\\sound.psd", "sound");
    for (int i = 0; i < 40; ++i) local.AddFile(U16("C:\\d" + std::to_string(10 + i) + ".psd"), kDamaged);
    c.setup(local);
    Settings.check = c.check;
    Settings.keepGoing = !c.check;
    std::string run = tail;
    size_t at = 0;
    for (size_t n = 0; n < c.files && at != std::string::npos; ++n) at = run.find(' ', at + 1);
    if (at != std::string::npos) run.resize(at);
    local.boxAnswer = kIdYes;
    DropletMain(nullptr, run.data(), RunDroplet);
    ASSERT_EQ(local.boxes.size(), 1u);
    std::string box = U8(local.boxes[0].text);
    EXPECT_EQ(box.substr(0, box.find('\n')),
              c.check ? (c.files == 4 ? "3 of 4 documents need repair (3 damaged values):" : checked)
                      : "12 of 53 files could not be repaired; of the others, 40 were repaired "
                        "and 1 needed no repair, and all 41 were sent to the host editor.");
    EXPECT_EQ(box.substr(box.size() - std::min(box.size(), c.boxEnd.size() + 8)),
              box.substr(box.size() - std::min(box.size(), c.boxEnd.size() + 8), 8) + c.boxEnd);
    EXPECT_EQ(local.boxes[0].style, c.style);
    FakeSystem::Node* kept = local.Find(reports);
    size_t left = kept == nullptr ? 0 : kept->children.size();
    if (c.contents.empty()) {
      EXPECT_EQ(left, 0u);
      EXPECT_TRUE(local.opened.empty());
    } else {
      EXPECT_EQ(local.Contents(U16(file + c.keptAs)), c.contents);
      EXPECT_EQ(local.opened, std::vector<std::u16string>{U16(file + c.keptAs)});
    }
  }
  // No: nothing opens. Yes, when no program opens it: a second box says so.
  for (int answer : {7, kIdYes}) {
    FakeSystem local;
    ScopedSystem scope(local);
    PlaceDroplet(local);
    local.AddFolder(local.localAppData);
    for (int i = 0; i < 40; ++i) local.AddFile(U16("C:\\d" + std::to_string(10 + i) + ".psd"), kDamaged);
    local.AddFile(u"C:\\sound.psd", "sound");
    local.FailAt(Op::ShellExecuteOpen, 1, 31);
    local.boxAnswer = answer;
    Settings.check = true;
    std::string run = tail.substr(0, tail.find(" C:\\gone"));
    DropletMain(nullptr, run.data(), RunDroplet);
    ASSERT_EQ(local.boxes.size(), answer == kIdYes ? 2u : 1u);
    EXPECT_EQ(local.Calls(Op::ShellExecuteOpen), answer == kIdYes ? 1 : 0);
    if (answer == kIdYes) {
      EXPECT_EQ(U8(local.boxes[1].text), "The full list could not be opened (Error code 31).");
      EXPECT_EQ(local.boxes[1].style, kMessageBoxWarningOk);
    }
    EXPECT_EQ(local.Find(reports)->children.size(), 1u);  // the list stays for later
  }
}

}  // namespace
