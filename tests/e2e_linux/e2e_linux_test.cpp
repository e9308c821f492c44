// Runs the built droplet on real files in a temporary folder and checks what
// a user sees: the repaired bytes, the JSON request, the message, the exit value.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/sparse_document.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

std::string gDroplet;

const std::string kDamaged = "/Values [ --.-00000";
const std::string kRepaired = "/Values [ 1.0000000";

struct Outcome {
  int exitValue = -1;
  std::string out, err;
};

std::string Quote(const std::string& text) {
  std::string q = "'";
  for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string Read(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void Write(const fs::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary) << bytes;
}

class DropletRun : public ::testing::Test {
 protected:
  DropletRun() {
    char pattern[] = "/tmp/droplet-e2e-XXXXXX";
    folder = mkdtemp(pattern);
  }
  ~DropletRun() override { fs::remove_all(folder); }

  // Runs the droplet (or another program) from inside the test's folder; io
  // redirects its standard input and output (by default none to read, and
  // the output kept).
  Outcome Run(const std::vector<std::string>& args, const std::string& program = gDroplet,
              std::string io = "") {
    std::string command = "cd " + Quote(folder.string()) + " && " + Quote(program);
    for (const std::string& a : args) command += " " + Quote(a);
    if (io.empty()) io = "</dev/null >" + Quote((folder / "stdout").string());
    command += " " + io + " 2>" + Quote((folder / "stderr").string());
    Outcome o;
    int status = std::system(command.c_str());
    o.exitValue = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    o.out = Read(folder / "stdout");
    o.err = Read(folder / "stderr");
    fs::remove(folder / "stdout");
    fs::remove(folder / "stderr");
    return o;
  }

  // Runs the droplet as from a terminal with no redirection: a pseudo-
  // terminal is its standard input, output and error. Gives the exit value
  // and what it wrote to the terminal. A droplet that waited for a key here
  // would never end (the test's own timeout then fails it).
  Outcome RunInTerminal(const std::vector<std::string>& args) {
    Outcome o;
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return o;
    std::string terminal = ptsname(master);
    std::vector<char*> argv = {gDroplet.data()};
    std::vector<std::string> copies(args);
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
      setsid();
      int slave = open(terminal.c_str(), O_RDWR);  // the session's terminal
      if (slave < 0) _exit(126);
      dup2(slave, 0);
      dup2(slave, 1);
      dup2(slave, 2);
      if (slave > 2) close(slave);
      close(master);
      execv(argv[0], argv.data());
      _exit(127);
    }
    // Read until the terminal's last holder is gone (then read fails with EIO).
    char buffer[4096];
    for (;;) {
      ssize_t n = read(master, buffer, sizeof buffer);
      if (n > 0) {
        o.out.append(buffer, static_cast<size_t>(n));
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else {
        break;
      }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    close(master);
    o.exitValue = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return o;
  }

  fs::path folder;
};

TEST_F(DropletRun, TwoFilesAreRepairedAndSentAsOneRequest) {
  // A token straddling the 64 KiB border, one near the start, one at the end.
  std::string first(70000, 'a');
  first.replace(100, kDamaged.size(), kDamaged);
  first.replace(65536 - 7, kDamaged.size(), kDamaged);
  first += kDamaged;
  std::string second = "no token here " + kDamaged.substr(0, 18);
  Write(folder / "first.psd", first);
  Write(folder / "second file.psd", second);

  Outcome o = Run({(folder / "first.psd").string(), (folder / "second file.psd").string()});
  EXPECT_EQ(o.exitValue, 0);
  EXPECT_EQ(o.err, "");

  std::string repaired = first;
  for (size_t at : {size_t(100), size_t(65536 - 7), first.size() - kDamaged.size()})
    repaired.replace(at, kRepaired.size(), kRepaired);
  EXPECT_EQ(Read(folder / "first.psd"), repaired);
  EXPECT_EQ(Read(folder / "second file.psd"), second);

  json request = json::parse(o.out);
  json expected = {
      {"event", "BtcF"},
      {"dialogMode", 2},
      {"typeIdLookups", 1},
      {"items",
       {{{"key", "File"},
         {"kind", "list"},
         {"value",
          {{{"kind", "path"}, {"value", (folder / "first.psd").string()}},
           {{"kind", "path"}, {"value", (folder / "second file.psd").string()}}}}},
        {{"key", "null"}, {"kind", "data"}, {"value", ""}},
        {{"key", "OvrO"}, {"kind", "boolean"}, {"value", false}},
        {{"key", "Ovrd"}, {"kind", "boolean"}, {"value", false}},
        {{"key", "Fldr"}, {"kind", "boolean"}, {"value", false}},
        {{"key", "SvAn"}, {"kind", "boolean"}, {"value", false}},
        {{"key", "suppressWarnings"}, {"kind", "boolean"}, {"value", false}}}}};
  EXPECT_EQ(request, expected) << o.out;
}

const std::string kOpenMessage =
    "The droplet was unable to open the file for repair. Please try again. (Error code ";
const std::string kNoChange = "droplet: No file was changed.\n";
// The plain-words lines below a failure's message.
const std::string kNotFound =
    "droplet: The file was not found; it may have been moved, renamed or deleted.\n";
std::string Why(const std::string& reason) { return "droplet: " + reason + "\n"; }

TEST_F(DropletRun, MissingFileIsNamedWithTheOpenMessageAndNothingIsSent) {
  Write(folder / "a.psd", kDamaged);
  Write(folder / "c.psd", kDamaged);
  std::string missing = (folder / "missing.psd").string();
  Outcome o = Run({(folder / "a.psd").string(), missing, (folder / "c.psd").string()});
  EXPECT_EQ(o.exitValue, 1);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err, "droplet: " + missing + ": " + kOpenMessage +
                       "2.)\n" + kNotFound + "droplet: 1 file before this one was repaired in place; nothing was "
                       "sent to the host editor.\n");
  EXPECT_EQ(Read(folder / "a.psd"), kRepaired);
  EXPECT_EQ(Read(folder / "c.psd"), kDamaged);
}

// A document of 5 GiB (sparse, so it costs no disk) is repaired throughout,
// past 2 GiB and 4 GiB and at its very end, and then sent.
TEST_F(DropletRun, AFiveGibDocumentIsRepairedAndSent) {
  namespace doc = sparse_document;
  if (doc::kTooSlowHere) GTEST_SKIP() << "a 5 GiB pass is left to the optimised builds";
  doc::Document document(folder, kDamaged);
  ASSERT_TRUE(document.made);
  const fs::path& file = document.file;
  Outcome o = Run({file.string()});
  EXPECT_EQ(o.exitValue, 0);
  EXPECT_EQ(o.err, "");
  for (uint64_t at : doc::kTokens) {
    std::string want = doc::Around(kRepaired, at);
    EXPECT_EQ(doc::BytesAt(file, at - 8, static_cast<uint32_t>(want.size())), want) << at;
  }
  EXPECT_EQ(fs::file_size(file), doc::kSize);
  EXPECT_EQ(json::parse(o.out)["items"][0]["value"][0]["value"], file.string());
}

// Files the droplet must refuse, each named with its code; nothing changes.
TEST_F(DropletRun, HeldSocketAndLookAlikeFilesAreRefusedByName) {
  // Held by another program with a POSIX record lock (lockf).
  Write(folder / "held.psd", kDamaged);
  int held = open((folder / "held.psd").c_str(), O_RDWR);
  ASSERT_EQ(lockf(held, F_LOCK, 0), 0);
  Outcome o = Run({"held.psd"});
  close(held);
  EXPECT_EQ(o.exitValue, 1);
  EXPECT_EQ(o.err, "droplet: held.psd: " + kOpenMessage + "32.)\n" +
                       Why("Another program is using the file. Close it there, then try again.") + kNoChange);
  EXPECT_EQ(Read(folder / "held.psd"), kDamaged);

  // A socket: refused as every file that is not a regular one is.
  int s = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  std::string socketPath = (folder / "socket.psd").string();
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
  ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  o = Run({"socket.psd"});
  close(s);
  EXPECT_EQ(o.exitValue, 1);
  EXPECT_EQ(o.err, "droplet: socket.psd: " + kOpenMessage + "5.)\n" +
                       Why("It is not a file but a device, a pipe or a socket.") + kNoChange);

  // A name with a double quote, a backslash and brackets means only itself:
  // beside it lie the names a pattern or case-blind reading would reach.
  const std::string named = "[aA\\a]*\"";
  for (const char* decoy : {"A]*\"", "[aA\\A]*\"", "[aA\\a]x\"", "a]*\""})
    Write(folder / decoy, kDamaged);
  o = Run({named});
  EXPECT_EQ(o.exitValue, 1);
  EXPECT_EQ(o.err, "droplet: " + named + ": " + kOpenMessage + "2.)\n" + kNotFound + kNoChange);
  Write(folder / named, kDamaged);
  o = Run({named});
  EXPECT_EQ(o.exitValue, 0) << o.err;
  EXPECT_EQ(json::parse(o.out)["items"][0]["value"][0]["value"], (folder / named).string());
  EXPECT_EQ(Read(folder / named), kRepaired);
  for (const char* decoy : {"A]*\"", "[aA\\A]*\"", "[aA\\a]x\"", "a]*\""})
    EXPECT_EQ(Read(folder / decoy), kDamaged) << decoy;
}

// The host receives full paths: a relative name, and one deeper than the
// Windows capacities (600 bytes), where the droplet itself also runs.
TEST_F(DropletRun, RelativeAndLongNamesReachTheHostAsFullPaths) {
  fs::path deep = fs::path(std::string(200, 'd')) / std::string(200, 'e') / std::string(200, 'f');
  fs::create_directories(folder / deep);
  Write(folder / deep / "x.psd", kDamaged);
  Write(folder / "b.psd", kDamaged);
  Outcome o = Run({"b.psd", "./" + (deep / "x.psd").string()});
  EXPECT_EQ(o.exitValue, 0) << o.err;
  json files = json::parse(o.out)["items"][0]["value"];
  EXPECT_EQ(files[0]["value"], (folder / "b.psd").string());
  EXPECT_EQ(files[1]["value"], (folder / deep / "x.psd").string());
  EXPECT_GT(files[1]["value"].get<std::string>().size(), 600u);
  EXPECT_EQ(Read(folder / deep / "x.psd"), kRepaired);

  // Run from that folder, the droplet still calls itself by its own name.
  fs::copy_file(gDroplet, folder / deep / "droplet");
  o = Run({"missing.psd"}, (folder / deep / "droplet").string());
  EXPECT_EQ(o.exitValue, 1);
  EXPECT_EQ(o.err, "droplet: missing.psd: " + kOpenMessage + "2.)\n" + kNotFound + kNoChange);

  // A working folder deeper than any full path the droplet holds: refused
  // by name (206), not sent as typed. A final "." names a folder, never the
  // file before it. Either way the file is left as it was.
  std::string g(200, 'g');
  o = Run({"-c",
           "top=$PWD; for i in $(seq 24); do mkdir " + g + " && cd " + g +
               " || exit 9; done; printf %s \"$1\" >x.psd; \"$0\" x.psd; r=$?; "
               "[ \"$(cat x.psd)\" = \"$1\" ] || r=9; cd \"$top\" && rm -rf " +
               g + "; exit $r",
           gDroplet, kDamaged},
          "/bin/bash");  // whose cd goes deeper than PATH_MAX
  EXPECT_EQ(o.exitValue, 1);
  EXPECT_EQ(o.err, "droplet: x.psd: " + kOpenMessage + "206.)\n" +
                       Why("The path is too long. Move the file to a folder with a shorter path, then try again.") + kNoChange);
  Write(folder / "b.psd", kDamaged);
  o = Run({"b.psd/."});
  EXPECT_EQ(o.exitValue, 1);
  EXPECT_EQ(o.err, "droplet: b.psd/.: " + kOpenMessage + "3.)\n" +
                       Why("The folder holding the file was not found; it may have been moved, renamed or deleted.") + kNoChange);
  EXPECT_EQ(Read(folder / "b.psd"), kDamaged);
}

// The droplet reads no standard input: in a loop over names read from a
// pipe every file is repaired, and a pipe that never closes does not hold
// it up (were it read, the test's timeout would end it).
TEST_F(DropletRun, StandardInputIsLeftAlone) {
  for (const char* name : {"one.psd", "two.psd", "three.psd"}) Write(folder / name, kDamaged);
  Outcome o = Run({"-c",
                   "printf 'one.psd\\ntwo.psd\\nthree.psd\\n' | "
                   "while read -r f; do \"$0\" \"$f\" >/dev/null || exit 9; done",
                   gDroplet},
                  "/bin/sh");
  EXPECT_EQ(o.exitValue, 0) << o.err;
  for (const char* name : {"one.psd", "two.psd", "three.psd"})
    EXPECT_EQ(Read(folder / name), kRepaired) << name;

  // Descriptor 9, which the shell hands on, holds a pipe's end for the droplet.
  int never[2];
  ASSERT_EQ(pipe(never), 0);
  dup2(never[0], 9);  // the write end stays open all along
  Write(folder / "a.psd", kDamaged);
  o = Run({"a.psd"}, gDroplet, "<&9 >/dev/null");
  close(9);
  close(never[0]);
  close(never[1]);
  EXPECT_EQ(o.exitValue, 0) << o.err;
  EXPECT_EQ(Read(folder / "a.psd"), kRepaired);
}

// Started from a terminal, the droplet does its job and ends by itself, as
// the Windows program (which has no console) does; it reads no key.
TEST_F(DropletRun, FromATerminalItEndsByItself) {
  Write(folder / "a.psd", "x" + kDamaged);
  Outcome o = RunInTerminal({(folder / "a.psd").string()});
  EXPECT_EQ(o.exitValue, 0);
  EXPECT_EQ(Read(folder / "a.psd"), "x" + kRepaired);
  json request = json::parse(o.out);
  EXPECT_EQ(request["items"][0]["value"][0]["value"], (folder / "a.psd").string());
}

// A request that cannot be written out is a request the host did not carry
// out: the connection message with the write's Windows code, never a silent
// end, and never a signal that ends the droplet unseen.
TEST_F(DropletRun, ARequestThatCannotBeWrittenIsReported) {
  int broken[2];
  ASSERT_EQ(pipe(broken), 0);
  close(broken[0]);  // the reader has gone
  dup2(broken[1], 9);
  close(broken[1]);
  for (auto [io, code] : {std::pair{">/dev/full", 112}, {">&-", 6}, {">&9", 232}}) {
    SCOPED_TRACE(io);
    Write(folder / "a.psd", kDamaged);
    Outcome o = Run({"a.psd"}, gDroplet, std::string("</dev/null ") + io);
    EXPECT_EQ(o.exitValue, 1);  // not 141: no signal ends it unseen
    EXPECT_EQ(o.err, "droplet: The droplet was unable to connect. Please try again. (Error code " +
                         std::to_string(code) +
                         ".)\ndroplet: The host editor closed while taking the request; it may "
                         "have received part of it. 1 file was repaired in place.\n");
    EXPECT_EQ(Read(folder / "a.psd"), kRepaired);
  }
  close(9);
}

// A repair past the file size limit (ulimit -f) fails for that file with
// code 223; the signal that would end the whole run unseen is ignored.
TEST_F(DropletRun, AFileOverTheSizeLimitFailsAloneWithCode223) {
  std::string big(1 << 20, 'x');
  big.replace(big.size() - 100, kDamaged.size(), kDamaged);
  Write(folder / "big.psd", big);
  Write(folder / "small.psd", kDamaged);
  Outcome o = Run({"-c", "ulimit -f 100 && exec \"$0\" -k big.psd small.psd", gDroplet},
                  "/bin/sh");
  EXPECT_EQ(o.exitValue, 1);  // not 153: SIGXFSZ
  EXPECT_NE(o.err.find("big.psd: The droplet was unable to write the file for repair. Please "
                       "try again. (Error code 223.)"),
            std::string::npos)
      << o.err;
  EXPECT_EQ(Read(folder / "big.psd"), big);
  EXPECT_EQ(Read(folder / "small.psd"), kRepaired);
  EXPECT_NE(o.out.find("small.psd"), std::string::npos);
}

// A tree as archives hold them: nested folders, a dot file, a symbolic link
// that loops, one out of the tree, and a folder the droplet cannot read
// (where the test does not run as root, who reads every folder). Each row
// runs the droplet on a fresh copy with and without the options.
TEST_F(DropletRun, ATreeWithAndWithoutTheOptions) {
  bool unreadable = geteuid() != 0;
  fs::path tree = folder / "tree";
  auto make = [&] {
    fs::remove_all(tree);
    fs::remove_all(folder / "outside");
    for (const char* sub : {"tree/sub/deep", "tree/locked", "outside"})
      fs::create_directories(folder / sub);
    for (const char* name : {"sub/c.psd", "sub/deep/d.psd", "locked/l.psd", ".dot.psd"})
      Write(tree / name, kDamaged);
    Write(tree / "a.psd", kDamaged + " " + kDamaged);
    Write(tree / "B.psd", "sound");
    Write(folder / "outside" / "o.psd", kDamaged);
    fs::create_directory_symlink("..", tree / "sub" / "loop");
    fs::create_directory_symlink("../outside", tree / "out");
    fs::permissions(tree / "locked", fs::perms::none);
  };
  std::string t = tree.string(), locked = t + "/locked";
  std::string lockedLine = "droplet: " + locked + ": " + kOpenMessage + "5.)\n" +
                           Why("Access to the folder was denied: your account may not open it.");
  // Found files in order: by bytes, "B" before "a"; the dot file and the
  // links are neither listed nor followed.
  std::vector<std::string> found = {t + "/B.psd", t + "/a.psd", t + "/sub/c.psd",
                                    t + "/sub/deep/d.psd"};
  if (!unreadable) found.insert(found.begin() + 2, locked + "/l.psd");
  std::string damagedLines = t + "/a.psd: 2\n" + (unreadable ? "" : locked + "/l.psd: 1\n") +
                             t + "/sub/c.psd: 1\n" + t + "/sub/deep/d.psd: 1\n";
  std::string summary = unreadable ? "droplet: 1 of 5 files could not be repaired; the others were "
                                     "repaired and sent to the host editor.\n"
                                   : "";
  struct Case {
    std::vector<std::string> options;
    int exitValue;
    bool sent, repaired;
    std::string out, err;  // out: for a run that sends, the listed files are compared instead
  } cases[] = {
      {{}, 1, false, false, "", "droplet: tree: " + kOpenMessage + "5.)\n" +
           Why("tree is a folder; use -r to work on the documents in it.") + kNoChange},
      {{"-r"}, unreadable ? 1 : 0, !unreadable, !unreadable, "",
       unreadable ? lockedLine + "droplet: 2 files before this one were repaired in place; nothing "
                                 "was sent to the host editor.\n"
                  : ""},
      {{"-r", "-k"}, unreadable ? 1 : 0, true, true, "", unreadable ? lockedLine + summary : ""},
      {{"-r", "--check"}, unreadable ? 2 : 1, false, false, damagedLines,
       unreadable ? lockedLine : ""},
      {{"--check", "-v", "-r"}, unreadable ? 2 : 1, false, false, t + "/B.psd: 0\n" + damagedLines,
       unreadable ? lockedLine : ""},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& o : c.options) line += o + " ";
    SCOPED_TRACE(line);
    make();
    std::vector<std::string> args = c.options;
    args.push_back("tree");
    Outcome o = Run(args);
    fs::permissions(tree / "locked", fs::perms::owner_all);
    EXPECT_EQ(o.exitValue, c.exitValue);
    EXPECT_EQ(o.err, c.err);
    if (c.sent) {
      json request = json::parse(o.out);
      std::vector<std::string> listed;
      for (const json& item : request["items"][0]["value"]) listed.push_back(item["value"]);
      EXPECT_EQ(listed, found);
    } else {
      EXPECT_EQ(o.out, c.out);
    }
    EXPECT_EQ(Read(tree / "sub" / "deep" / "d.psd"), c.repaired ? kRepaired : kDamaged);
    EXPECT_EQ(Read(tree / ".dot.psd"), kDamaged);
    EXPECT_EQ(Read(folder / "outside" / "o.psd"), kDamaged);
  }

  // -v reports each file on standard error and sums the run up; standard
  // output stays the request alone.
  make();
  fs::permissions(tree / "locked", fs::perms::owner_all);
  Outcome o = Run({"-v", "-r", "tree"});
  EXPECT_EQ(o.exitValue, 0);
  EXPECT_EQ(o.err, t + "/B.psd: sound\n" + t + "/a.psd: 2 repaired\n" + locked +
                       "/l.psd: 1 repaired\n" + t + "/sub/c.psd: 1 repaired\n" + t +
                       "/sub/deep/d.psd: 1 repaired\n"
                       "droplet: Repaired 5 damaged values in 4 of 5 documents; all 5 were sent "
                       "to the host editor.\n");
  EXPECT_EQ(json::parse(o.out)["event"], "BtcF");
}

// --send chooses what the request holds; every argument is one name,
// whatever it holds (a quote and a space, a leading quote, a newline).
TEST_F(DropletRun, SendChoosesWhatTheRequestHolds) {
  const std::vector<std::string> damaged = {"a \"b\" c.psd", "\"lead.psd", "new\nline.psd"};
  auto make = [&] {
    for (const std::string& name : damaged) Write(folder / name, kDamaged);
    Write(folder / "s.psd", "sound");
  };
  std::vector<std::string> all = damaged;
  all.push_back("s.psd");
  const struct Case {
    std::vector<std::string> args;
    int exitValue;
    std::vector<std::string> listed;  // empty: no request at all
    std::string err;
  } cases[] = {
      {all, 0, all, ""},
      {{"--send=repaired", damaged[0], damaged[1], damaged[2], "s.psd"}, 0, damaged, ""},
      {{"--send", "repaired", "s.psd"}, 0, {}, ""},
      {{"-v", "--send=repaired", "s.psd"}, 0, {},
       "s.psd: sound\ndroplet: The 1 document is sound; nothing was sent to the host editor.\n"},
      {{"--send=none", "-v", damaged[0], "s.psd"}, 0, {},
       damaged[0] + ": 1 repaired\ns.psd: sound\ndroplet: Repaired 1 damaged value in 1 of 2 "
       "documents; nothing was sent to the host editor.\n"},
      {{"-k", "--send=repaired", "gone.psd", damaged[1], "s.psd"}, 1, {damaged[1]},
       "droplet: gone.psd: " + kOpenMessage + "2.)\n" + kNotFound + "droplet: 1 of 3 files could not be "
       "repaired; of the others, 1 was repaired and 1 needed no repair, and the 1 repaired "
       "document was sent to the host editor.\n"},
      {{"--send=sometimes", "s.psd"}, 2, {},
       "droplet: --send: unknown value 'sometimes' (all, repaired or none)\nTry 'droplet "
       "--help'.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    make();
    Outcome o = Run(c.args);
    EXPECT_EQ(o.exitValue, c.exitValue);
    EXPECT_EQ(o.err, c.err);
    std::vector<std::string> listed;
    json request = o.out.empty() ? json::object() : json::parse(o.out);
    if (!o.out.empty())
      for (const json& item : request["items"][0]["value"])
        listed.push_back(fs::path(item["value"].get<std::string>()).filename().string());
    EXPECT_EQ(listed, c.listed);
    bool touched = c.exitValue != 2;
    for (const std::string& name : damaged) {
      if (std::find(c.args.begin(), c.args.end(), name) != c.args.end()) {
        EXPECT_EQ(Read(folder / name), touched ? kRepaired : kDamaged) << name;
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <droplet>\n", argv[0]);
    return 2;
  }
  gDroplet = fs::absolute(argv[1]).string();
  return RUN_ALL_TESTS();
}
