// Linux entry: the same droplet over the POSIX System.
#include <cstdio>

#include "driver/command_tail.h"
#include "driver/driver.h"
#include "driver/posix_options.h"
#include "host/json_host.h"
#include "host/run.h"
#include "messages/error_box.h"
#include "messages/messages.h"
#include "messages/run_tally.h"
#include "settings/droplet_settings.h"
#include "settings/settings_block.h"
#include "system/posix_system.h"

namespace {

bool Verbose = false;
PosixRunOptions Options;
PosixSystem* Posix = nullptr;

// Each file's line, as it is done: a check's count on standard output (a
// sound document's only when verbose); with verbose, what the repair did on
// standard error; a failure the run goes on past as the error box has it,
// without the context line: the run's end says what became of the files.
// Standard output otherwise stays the request alone.
void PrintFileLine(const FileOutcome& file) {
  const char* path = file.path != nullptr ? file.path : "";
  if (file.code != 0) {
    if (Settings.keepGoing || Settings.check) ShowErrorBox(file.code, false);
  } else if (Settings.check) {
    if (file.damaged > 0 || Verbose)
      std::printf("%s: %llu\n", path, static_cast<unsigned long long>(file.damaged));
  } else if (Verbose) {
    if (file.damaged > 0)
      std::fprintf(stderr, "%s: %llu repaired\n", path,
                   static_cast<unsigned long long>(file.damaged));
    else
      std::fprintf(stderr, "%s: sound\n", path);
  }
}

// The settings as the defaults and the block left them: the options add to
// what a made droplet's block turns on (it never turns them off). The
// embedded request host then answers to the identifier the run forms from
// them, so that the two cannot drift apart.
void SettingsReady(DropletSettings& settings) {
  settings.recursive = settings.recursive || Options.recursive;
  settings.keepGoing = settings.keepGoing || Options.keepGoing;
  settings.check = settings.check || Options.check;
  settings.report = settings.report || Options.verbose;
  char16_t progId[256];
  int n = 0;
  for (const char* p = settings.hostName; *p != 0 && n < kHostNameCapacity; ++p)
    progId[n++] = static_cast<char16_t>(static_cast<unsigned char>(*p));
  for (const char* p = kIdentifierSuffix; *p != 0; ++p) progId[n++] = static_cast<char16_t>(*p);
  progId[n] = 0;
  Posix->RegisterHost(progId, kJsonHostClsid, []() -> void* { return CreateJsonHost(); });
}

}  // namespace

int main(int argc, char** argv) {
  // The options first; what remains in argv are the files.
  if (int done = ReadPosixOptions(&argc, argv, stdout, stderr, &Options); done >= 0) return done;

  // Static: the settings hook reaches it through Posix while main runs.
  static PosixSystem system;
  InstallSystem(&system);
  Posix = &system;

  // The walk receives every argument exactly as the shell passed it. Nothing
  // here may end the process other than by returning 1: the tail is made
  // through the System, whose allocation reports failure as no memory.
  int refused = 0;
  char* tail = TailFromArguments(argc, argv, &refused);
  if (tail == nullptr) {
    if (refused != 0)
      std::fprintf(stderr,
                   "droplet: cannot pass a file name that starts with a double quote or holds "
                   "both a double quote and a space: %s\n",
                   argv[refused]);
    InstallSystem(nullptr);
    return 1;
  }

  Verbose = Options.verbose;
  FileDone = PrintFileLine;
  int exitValue = DropletMain(nullptr, tail, RunDroplet, OwnSettingsBlock(), ExitStyle::kUnixTool,
                              OwnSettingsBlockSize(), SettingsReady);
  system.Release(tail);
  InstallSystem(nullptr);
  std::fflush(stdout);
  return exitValue;
}
