// Linux entry: the same droplet over the POSIX System.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "driver/driver.h"
#include "driver/file_arguments.h"
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
    // With -0 a NUL ends the name, as grep -Z has it: any name can be read back.
    if (file.damaged > 0 || Verbose) {
      std::fputs(path, stdout);
      if (Options.null)
        std::fputc('\0', stdout);
      else
        std::fputs(": ", stdout);
      std::printf("%llu\n", static_cast<unsigned long long>(file.damaged));
    }
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
  if (Options.sendGiven) settings.send = Options.send;  // the command line wins
  char16_t progId[256];
  int n = 0;
  for (const char* p = settings.hostName; *p != 0 && n < kHostNameCapacity; ++p)
    progId[n++] = static_cast<char16_t>(static_cast<unsigned char>(*p));
  for (const char* p = kIdentifierSuffix; *p != 0; ++p) progId[n++] = static_cast<char16_t>(*p);
  progId[n] = 0;
  Posix->RegisterHost(progId, kJsonHostClsid, []() -> void* { return CreateJsonHost(); });
}

// A check's counts are its answer: lost to a full or closed output, the run
// has not done what was asked (exit 2, as for a document it could not read).
int CheckOutputLost(const char* name) {
  errno = 0;
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return 0;
  int error = errno;
  std::fprintf(stderr, "%s: cannot write to standard output: %s\n", name,
               error != 0 ? std::strerror(error) : "write error");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // A made droplet with options takes no file at all as a question: the run
  // then says what to drop on it.
  DropletSettings own;
  Options.madeWithOptions =
      ApplySettingsBlock(OwnSettingsBlock(), OwnSettingsBlockSize(), &own) == 0 &&
      HasRunOptions(own);
  const char* name = ProgramName(argc > 0 ? argv[0] : nullptr);
  // The options first; what remains in argv are the files.
  if (int done = ReadPosixOptions(&argc, argv, stdout, stderr, &Options); done >= 0) return done;

  // Static: the settings hook reaches it through Posix while main runs.
  static PosixSystem system;
  InstallSystem(&system);
  Posix = &system;

  // Every argument is one path, exactly as the shell passed it, whatever it
  // holds: the walk takes them as they are, never through a command line.
  SetArgumentPaths(argv + 1, argc - 1);
  char files[] = "(arguments)";
  char none[] = "";
  Verbose = Options.verbose;
  FileDone = PrintFileLine;
  int exitValue =
      DropletMain(nullptr, argc > 1 ? files : none, RunDroplet, OwnSettingsBlock(),
                  ExitStyle::kUnixTool, OwnSettingsBlockSize(), SettingsReady, WalkArgumentPaths);
  InstallSystem(nullptr);
  if (Settings.check)
    if (int lost = CheckOutputLost(name); lost != 0) return lost;
  std::fflush(stdout);
  return exitValue;
}
