// ReadPosixOptions: which arguments are options, which are files, and what
// is printed and returned for each option.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/posix_options.h"
#include "droplet_version.h"

namespace {

struct Parsed {
  int result = 0;
  std::vector<std::string> files;  // without argv[0]
  bool closedByNull = false;
  std::string out, err;
};

Parsed Parse(std::vector<std::string> words, PosixRunOptions* options = nullptr,
             const char* name = "droplet") {
  PosixRunOptions ignored;
  if (options == nullptr) options = &ignored;
  words.insert(words.begin(), name);
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  char* outText = nullptr;
  char* errText = nullptr;
  size_t outSize = 0, errSize = 0;
  std::FILE* out = open_memstream(&outText, &outSize);
  std::FILE* err = open_memstream(&errText, &errSize);
  char* program = argv.front();
  int argc = static_cast<int>(words.size());
  Parsed p;
  p.result = ReadPosixOptions(&argc, argv.data(), out, err, options);
  std::fclose(out);
  std::fclose(err);
  p.out.assign(outText, outSize);
  p.err.assign(errText, errSize);
  std::free(outText);
  std::free(errText);
  if (p.result < 0) {
    EXPECT_GE(argc, 1);
    EXPECT_EQ(argv.front(), program);
    p.closedByNull = argv[argc] == nullptr;
    for (int i = 1; i < argc; ++i) p.files.push_back(argv[i]);
  }
  return p;
}

using Files = std::vector<std::string>;

TEST(PosixOptions, FilesPassUnchangedAndInOrder) {
  Parsed p = Parse({"a.psd", "./-x.psd", "-", "./--b.psd", "c d.psd", "", "\"q\" r\n"});
  EXPECT_EQ(p.result, -1);
  EXPECT_EQ(p.files, (Files{"a.psd", "./-x.psd", "-", "./--b.psd", "c d.psd", "", "\"q\" r\n"}));
  EXPECT_TRUE(p.closedByNull);
  EXPECT_EQ(p.out, "");
  EXPECT_EQ(p.err, "");

  // No file at all is a usage error: the usage goes to standard error.
  for (Parsed none : {Parse({}), Parse({"--"})}) {
    EXPECT_EQ(none.result, 2);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err.rfind("droplet: no file given\nUsage: droplet", 0), 0u) << none.err;
  }
}

TEST(PosixOptions, HelpAndVersionPrintAndStopWhereverTheyStand) {
  for (const char* word : {"--help", "-h"}) {
    Parsed help = Parse({"a.psd", word, "b.psd"});
    EXPECT_EQ(help.result, 0);
    EXPECT_EQ(help.out.rfind("Usage: droplet", 0), 0u) << help.out;
    EXPECT_NE(help.out.find("-V, --version"), std::string::npos);
    EXPECT_EQ(help.err, "");
  }
  for (const char* word : {"--version", "-V"}) {
    Parsed version = Parse({word, "--help"});
    EXPECT_EQ(version.result, 0);
    EXPECT_EQ(version.out, std::string("droplet ") + DROPLET_VERSION + "\n");
    EXPECT_EQ(version.err, "");
  }
  // After "--", or reached as ./-h, they are files.
  Parsed files = Parse({"--", "-h", "-V"});
  EXPECT_EQ(files.result, -1);
  EXPECT_EQ(files.files, (Files{"-h", "-V"}));
}

TEST(PosixOptions, DoubleDashEndsTheOptions) {
  Parsed p = Parse({"a.psd", "--", "--help", "--version", "--", "--odd"});
  EXPECT_EQ(p.result, -1);
  EXPECT_EQ(p.files, (Files{"a.psd", "--help", "--version", "--", "--odd"}));
  EXPECT_EQ(p.out, "");
}

TEST(PosixOptions, UnknownOptionIsAUsageErrorNotAFile) {
  for (const char* word : {"--odd.psd", "--helpme", "--Version", "---", "--sendall"}) {
    Parsed p = Parse({"a.psd", word, "--help"});
    EXPECT_EQ(p.result, 2) << word;
    EXPECT_EQ(p.out, "") << word;
    EXPECT_NE(p.err.find(std::string("unknown option ") + word), std::string::npos) << p.err;
    EXPECT_NE(p.err.find(std::string("./") + word), std::string::npos) << p.err;
  }
}

// Short options combine in any order; a letter that is not one is a usage
// error, as an unknown long option is; --send takes its value either way.
TEST(PosixOptions, ShortOptionsCombineAndSendTakesAValue) {
  const struct Case {
    std::vector<std::string> words;
    int result;
    bool recursive, keepGoing, verbose, null, sendGiven;
    SendFiles send;
    std::string err;  // the first line on standard error
  } cases[] = {
      {{"-rkv", "a"}, -1, true, true, true, false, false, SendFiles::kAll, ""},
      {{"-r", "-0", "a"}, -1, true, false, false, true, false, SendFiles::kAll, ""},
      {{"--null", "--send=repaired", "a"}, -1, false, false, false, true, true,
       SendFiles::kRepaired, ""},
      {{"--send", "none", "a"}, -1, false, false, false, false, true, SendFiles::kNone, ""},
      {{"-x", "a"}, 2, false, false, false, false, false, SendFiles::kAll,
       "droplet: unknown option -x"},
      {{"-rR", "a"}, 2, true, false, false, false, false, SendFiles::kAll,
       "droplet: unknown option -R"},
      {{"--send=some", "a"}, 2, false, false, false, false, false, SendFiles::kAll,
       "droplet: --send: unknown value 'some' (all, repaired or none)"},
      {{"a", "--send"}, 2, false, false, false, false, false, SendFiles::kAll,
       "droplet: --send needs a value: all, repaired or none"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.words[0]);
    PosixRunOptions o;
    Parsed p = Parse(c.words, &o);
    EXPECT_EQ(p.result, c.result);
    EXPECT_EQ(p.err.substr(0, p.err.find('\n')), c.err);
    if (c.result != -1) continue;
    EXPECT_EQ(p.files, Files{"a"});
    EXPECT_EQ(std::vector<bool>({o.recursive, o.keepGoing, o.verbose, o.null, o.sendGiven}),
              std::vector<bool>({c.recursive, c.keepGoing, c.verbose, c.null, c.sendGiven}));
    EXPECT_EQ(o.send, c.send);
  }
  // -h and -V act inside a word too.
  EXPECT_EQ(Parse({"-rh"}).out.rfind("Usage: droplet", 0), 0u);
  EXPECT_EQ(Parse({"-kV"}).out, std::string("droplet ") + DROPLET_VERSION + "\n");
}

// A made droplet speaks under its own name; with options, given or made, no
// file at all is a run that says what to drop, not a usage error.
TEST(PosixOptions, AMadeDropletUsesItsOwnNameAndMayRunWithNoFile) {
  Parsed p = Parse({"-q"}, nullptr, "/opt/tools/Repair folders");
  EXPECT_EQ(p.err, "Repair folders: unknown option -q\n"
                   "A file whose name starts with - is given as ./-q or after --.\n"
                   "Try 'Repair folders --help'.\n");
  EXPECT_EQ(Parse({}, nullptr, "./Check").err.rfind("Check: no file given\nUsage: Check", 0), 0u);
  for (bool made : {false, true}) {
    PosixRunOptions o;
    o.madeWithOptions = made;
    Parsed none = Parse(made ? std::vector<std::string>{} : std::vector<std::string>{"-r"}, &o);
    EXPECT_EQ(none.result, -1);
    EXPECT_EQ(none.files, Files{});
    EXPECT_TRUE(none.closedByNull);
  }
}

}  // namespace
