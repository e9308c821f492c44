#include "maker/maker.h"

#include <cstring>

#include "droplet_version.h"
#include "maker/droplet_image.h"
#include "maker/maker_files.h"
#include "settings/byte_order.h"
#include "settings/droplet_settings.h"
#include "settings/json_text.h"
#include "settings/settings_block.h"
#include "system/utf8.h"

namespace {

const char kUsage[] =
    "Usage: droplet-maker [--from DROPLET] [options] OUTPUT\n"
    "       droplet-maker --show DROPLET\n"
    "Writes OUTPUT, a copy of a droplet with these batch options stamped into it:\n"
    "\n"
    "  --from DROPLET       the droplet to copy (default: the one beside droplet-maker)\n"
    "  --host NAME          the host application's name\n"
    "  --action FILE        action data: the file's bytes (at most 1 MiB)\n"
    "  --flag OvrO|Ovrd|Fldr  set that flag (may be repeated)\n"
    "  --save-and-close     save and close each document\n"
    "  --save-to FOLDER     save into FOLDER, an absolute Windows path\n"
    "  --name PART          a file-naming component, in order, at most six: a\n"
    "                       component name (name, lowerCaseExtension, yyyymmdd, ...)\n"
    "                       or text:TEXT (with --save-to)\n"
    "  --compat macintosh|windows|unix  a compatibility switch (with --save-to)\n"
    "  --suppress-warnings  suppress the host's warnings\n"
    "  --log FILE           log errors to FILE, an absolute Windows path\n"
    "  --recursive          a dropped folder stands for the files in it and its subfolders\n"
    "  --keep-going         a file that fails is reported at the end; the others go on\n"
    "  --check              only count the damaged values; change nothing, send nothing\n"
    "  --report             after a run that succeeded, say what was repaired\n"
    "  --send all|repaired|none  which files go to the host: every one (the\n"
    "                       default), the repaired ones, or none (repair in place\n"
    "                       only; the host editor need not be installed)\n"
    "  --force              replace OUTPUT if it exists\n"
    "  --show DROPLET       print a droplet's settings as JSON\n"
    "  -h, --help, /?, --version\n"
    "\n"
    "OUTPUT's file name (without .exe) is the title of the droplet's messages;\n"
    "a Windows droplet's name ends in .exe. Keep the droplets you make in a\n"
    "folder of your own, not in the folder droplet-maker is installed in.\n"
#ifdef _WIN32
    "See droplet-maker.txt beside droplet-maker.exe.\n";
#else
    "See droplet-maker(1).\n";
#endif

#ifdef _WIN32
const char kDropletProgram[] = "droplet.exe";
#else
const char kDropletProgram[] = "droplet";
#endif

// Far more than any droplet, with the largest block: what --from may be.
constexpr uint64_t kLargestDroplet = 64u << 20;

const char* const kFlags[] = {"OvrO", "Ovrd", "Fldr"};
const char* const kCompat[] = {"macintosh", "windows", "unix"};

// One refused argument: the option it concerns and why.
struct Refusal {
  std::string option, reason;
  bool refused() const { return !option.empty(); }
};

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// The UTF-16 form of a UTF-8 text; false when the text is not UTF-8 (the
// codec carries such bytes as lone surrogates, which valid UTF-8 never gives).
bool Widen(const std::string& text, std::u16string* wide) {
  uint32_t error = 0;
  int n = Utf8ToWide(text.c_str(), -1, nullptr, 0, &error);
  if (n <= 0) return false;
  wide->assign(static_cast<size_t>(n), u'\0');
  if (Utf8ToWide(text.c_str(), -1, wide->data(), n, &error) != n) return false;
  wide->pop_back();
  for (size_t i = 0; i < wide->size(); ++i) {
    char16_t c = (*wide)[i];
    if (c >= 0xD800 && c <= 0xDBFF)
      ++i;  // a pair
    else if (c >= 0xDC00 && c <= 0xDFFF)
      return false;
  }
  return true;
}

// A path record (12 header bytes, the path, its terminator) in units.
std::u16string PathRecordOf(const std::u16string& path) {
  return std::u16string(12 / sizeof(char16_t), u'\0') + path + u'\0';
}

struct Request {
  std::string from, output, show;
  bool force = false;
  std::string host, actionFile;
  bool hostGiven = false, actionGiven = false, saveAndClose = false, saveToGiven = false;
  bool logGiven = false;
  int names = 0;
  std::string firstCompat;  // for the message when --save-to is missing
  std::string names_[kNamingSlotCount];
  std::u16string folder, log;
  DropletSettings settings;
};

Refusal CheckPath(const std::string& option, const std::string& value, std::u16string* wide) {
  if (!Widen(value, wide)) return {option, Quoted(value) + " is not valid UTF-8"};
  if (wide->size() > kBlockPathCapacity)
    return {option, "the path has " + std::to_string(wide->size()) + " characters, more than the " +
                        std::to_string(kBlockPathCapacity) + " a droplet carries"};
  if (!IsAbsoluteWindowsPath(wide->c_str()))
    return {option, Quoted(value) +
                        " is not an absolute Windows path: a drive path (D:\\Folder) or a UNC "
                        "path (\\\\server\\share\\Folder), without / * ? \" < > | or control "
                        "characters"};
  return {};
}

Refusal TakeName(Request& r, const std::string& value) {
  if (r.names == kNamingSlotCount) return {"--name", "more than six naming components"};
  NamingComponent& slot = r.settings.namingSlots[r.names];
  std::string& text = r.names_[r.names];
  if (value.compare(0, 5, "text:") == 0) {
    text = value.substr(5);
    if (!IsPortableText(text.c_str()))
      return {"--name", "text " + Quoted(text) +
                            " holds characters outside printable ASCII, which code pages "
                            "differ in"};
    if (text.size() > kNamingTextCapacity)
      return {"--name", "text of " + std::to_string(text.size()) + " characters, more than " +
                            std::to_string(kNamingTextCapacity)};
    if (!IsNamingText(text.c_str()))
      return {"--name", "text " + Quoted(text) +
                            " holds a character no file name holds (\\ / : * ? \" < > |)"};
    slot = {kCustomTextCode, nullptr};
  } else {
    int code = 1;
    while (code <= 18 && value != kNamingComponentNames[code]) ++code;
    if (code > 18) {
      std::string known;
      for (int c = 1; c <= 18; ++c) known += std::string(kNamingComponentNames[c]) + ", ";
      return {"--name",
              "unknown component " + Quoted(value) + " (one of " + known + "or text:TEXT)"};
    }
    slot = {code, nullptr};
  }
  ++r.names;
  return {};
}

bool SetOne(const char* const (&names)[3], const std::string& value, bool* const (&fields)[3]) {
  for (int i = 0; i < 3; ++i)
    if (value == names[i]) return *fields[i] = true;
  return false;
}

// The settings that an option alone turns on, and --show names as it.
struct SwitchOption {
  const char* name;
  bool DropletSettings::*field;
};
const SwitchOption kSwitches[] = {{"suppress-warnings", &DropletSettings::suppressWarnings},
                                  {"recursive", &DropletSettings::recursive},
                                  {"keep-going", &DropletSettings::keepGoing},
                                  {"check", &DropletSettings::check},
                                  {"report", &DropletSettings::report}};

bool* Switch(DropletSettings& s, const std::string& arg) {
  for (const SwitchOption& o : kSwitches)
    if (arg.size() > 2 && arg.compare(0, 2, "--") == 0 &&
        arg.compare(2, std::string::npos, o.name) == 0)
      return &(s.*o.field);
  return nullptr;
}

// Reads the options into r, checking each value as it comes.
Refusal ReadOptions(const std::vector<std::string>& args, Request& r, bool* help, bool* version) {
  DropletSettings& s = r.settings;
  bool options = true;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options && (arg == "-h" || arg == "/?")) {
      *help = true;
      return {};
    }
    if (!options || arg.empty() || arg[0] != '-') {
      if (!r.output.empty())
        return {"OUTPUT", "one output file only, not " + Quoted(arg) + " as well"};
      r.output = arg;
      continue;
    }
    if (arg == "--") {
      options = false;
      continue;
    }
    if (arg == "--help" || arg == "--version") {
      *(arg == "--help" ? help : version) = true;
      return {};
    }
    if (arg == "--force")
      r.force = true;
    else if (arg == "--save-and-close")
      r.saveAndClose = true;
    else if (bool* on = Switch(s, arg))
      *on = true;
    else {
      static const char* const kValued[] = {"--from", "--show",    "--host", "--action", "--flag",
                                            "--name", "--save-to", "--log",  "--compat", "--send"};
      bool valued = false;
      for (const char* v : kValued) valued = valued || arg == v;
      if (!valued) return {arg, "unknown option (see droplet-maker --help)"};
      if (i + 1 == args.size()) return {arg, "needs a value"};
      const std::string& value = args[++i];
      auto once = [&](bool* given) {
        bool first = !*given;
        *given = true;
        return first;
      };
      bool fromGiven = !r.from.empty(), showGiven = !r.show.empty();
      if (arg == "--from" || arg == "--show") {
        if (value.empty()) return {arg, "needs a file"};
        if (!once(arg == "--from" ? &fromGiven : &showGiven)) return {arg, "given twice"};
        (arg == "--from" ? r.from : r.show) = value;
      } else if (arg == "--host") {
        if (!once(&r.hostGiven)) return {arg, "given twice"};
        if (!IsHostName(value.c_str()))
          return {arg, Quoted(value) +
                           " is not a host name: a letter, then letters, digits "
                           "and dots, at most " +
                           std::to_string(kHostNameCapacity) + " characters"};
        r.host = value;
      } else if (arg == "--action") {
        if (!once(&r.actionGiven)) return {arg, "given twice"};
        r.actionFile = value;
      } else if (arg == "--flag") {
        if (!SetOne(kFlags, value, {&s.flagOvrO, &s.flagOvrd, &s.flagFldr}))
          return {arg, "unknown flag " + Quoted(value) + " (OvrO, Ovrd or Fldr)"};
      } else if (arg == "--compat") {
        if (!SetOne(kCompat, value, {&s.compatMacintosh, &s.compatWindows, &s.compatUnix}))
          return {arg, "unknown switch " + Quoted(value) + " (macintosh, windows or unix)"};
      } else if (arg == "--send") {
        if (!SendFromName(value.c_str(), &s.send))
          return {arg, "unknown value " + Quoted(value) + " (all, repaired or none)"};
      } else if (arg == "--name") {
        if (Refusal no = TakeName(r, value); no.refused()) return no;
      } else if (arg == "--save-to") {
        if (!once(&r.saveToGiven)) return {arg, "given twice"};
        if (Refusal no = CheckPath(arg, value, &r.folder); no.refused()) return no;
      } else if (arg == "--log") {
        if (!once(&r.logGiven)) return {arg, "given twice"};
        if (Refusal no = CheckPath(arg, value, &r.log); no.refused()) return no;
        if (r.log.back() == u'\\') return {arg, Quoted(value) + " names a folder, not a file"};
      }
    }
  }
  if (!r.show.empty()) {
    if (args.size() != 2) return {"--show", "takes a droplet and no other options"};
    return {};
  }
  if (r.names > 0 && !r.saveToGiven) return {"--name", "only together with --save-to"};
  if ((s.compatMacintosh || s.compatWindows || s.compatUnix) && !r.saveToGiven)
    return {"--compat", "only together with --save-to"};
  if (r.saveToGiven && r.saveAndClose)
    return {"--save-to",
            "not together with --save-and-close: a droplet saves into a folder or "
            "saves and closes"};
  if (r.output.empty())
    return {"OUTPUT", "missing (droplet-maker [--from DROPLET] [options] OUTPUT)"};
  return {};
}

// The droplet named by option, with its settings block found.
Refusal ReadDroplet(const std::string& option, const std::string& name, std::vector<uint8_t>* bytes,
                    DropletImage* image) {
  std::string why;
  uint64_t size = 0;
  if (!ReadInput(name, kLargestDroplet, bytes, &size, &why))
    return {option, "cannot read " + Quoted(name) + ": " + why};
  if (size > kLargestDroplet)
    return {option, Quoted(name) + " is not a droplet: it has " + std::to_string(size) +
                        " bytes, more than the " + std::to_string(kLargestDroplet) +
                        " a droplet has"};
  if (!FindSettingsBlock(*bytes, image, &why))
    return {option, Quoted(name) + " is not a droplet: " + why};
  return {};
}

// The settings a droplet runs with: the defaults, then its block.
Refusal ReadSettings(const std::string& name, const std::vector<uint8_t>& bytes,
                     const DropletImage& image) {
  ApplyDropletDefaults();
  if (ApplySettingsBlock(&bytes[image.blockOffset], image.blockSize, &Settings) != 0)
    return {"--show", "the settings block of " + Quoted(name) + " is damaged"};
  return {};
}

void AppendText(std::string& json, const char* text) {
  std::u16string wide;
  for (const char* p = text; *p != 0; ++p)
    wide += static_cast<char16_t>(static_cast<unsigned char>(*p));
  AppendJsonText(json, wide.data(), wide.size());
}

void AppendPath(std::string& json, const PathRecord* record) {
  if (record == nullptr) {
    json += "null";
    return;
  }
  std::u16string path = PathOfRecord(record);
  AppendJsonText(json, path.data(), path.size());
}

// A JSON list of the names whose switch is on, in their order.
void AppendNames(std::string& json, const bool (&on)[3], const char* const (&names)[3]) {
  json += '[';
  const char* comma = "";
  for (int i = 0; i < 3; ++i) {
    if (!on[i]) continue;
    json += comma;
    json += '"';
    json += names[i];
    json += '"';
    comma = ",";
  }
  json += ']';
}

// The settings under the option names, on one line.
std::string SettingsJson(const DropletSettings& s) {
  std::string json = "{\"host\":";
  AppendText(json, s.hostName);
  json += ",\"action\":\"";
  static const char kDigits[] = "0123456789abcdef";
  for (uint32_t i = 0; i < s.actionDataLength; ++i) {
    json += kDigits[s.actionData[i] >> 4];
    json += kDigits[s.actionData[i] & 15];
  }
  json += "\",\"flag\":";
  const bool flags[] = {s.flagOvrO, s.flagOvrd, s.flagFldr};
  AppendNames(json, flags, kFlags);
  json += ",\"save-and-close\":";
  json += s.destinationMode == 2 ? "true" : "false";
  json += ",\"save-to\":";
  AppendPath(json, s.destinationMode == 3 ? s.destinationFolder : nullptr);
  json += ",\"name\":[";
  const char* comma = "";
  for (const NamingComponent& slot : s.namingSlots) {
    if (slot.code == 0) break;
    json += comma;
    comma = ",";
    std::string part = IsPredefinedComponent(slot.code)
                           ? kNamingComponentNames[slot.code]
                           : "text:" + std::string(slot.text != nullptr ? slot.text : "");
    AppendText(json, part.c_str());
  }
  json += "],\"compat\":";
  const bool compat[] = {s.compatMacintosh, s.compatWindows, s.compatUnix};
  AppendNames(json, compat, kCompat);
  json += ",\"suppress-warnings\":";
  json += s.suppressWarnings ? "true" : "false";
  json += ",\"log\":";
  AppendPath(json, s.logErrors ? s.logFile : nullptr);
  for (const SwitchOption& o : kSwitches)
    if (o.field != &DropletSettings::suppressWarnings)
      json += std::string(",\"") + o.name + "\":" + (s.*o.field ? "true" : "false");
  return json + ",\"send\":\"" + SendName(s.send) + "\"}\n";
}

int Refuse(FILE* err, const Refusal& no) {
  std::fprintf(err, "droplet-maker: %s: %s\n", no.option.c_str(), no.reason.c_str());
  return 2;
}

// A Windows program runs from a double click only with this ending.
bool EndsInExe(const std::string& name) {
  if (name.size() < 4) return false;
  std::string end = name.substr(name.size() - 4);
  for (char& c : end) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return end == ".exe";
}

}  // namespace

int MakerMain(const std::vector<std::string>& args, const std::string& self, FILE* out, FILE* err) {
  Request r;
  bool help = false, version = false;
  if (Refusal no = ReadOptions(args, r, &help, &version); no.refused()) return Refuse(err, no);
  if (help || version) {
    std::fputs(help ? kUsage : "droplet-maker " DROPLET_VERSION "\n", out);
    return std::fflush(out) == 0 && !std::ferror(out) ? 0 : 1;
  }

  std::vector<uint8_t> bytes;
  DropletImage image;
  if (!r.show.empty()) {
    if (Refusal no = ReadDroplet("--show", r.show, &bytes, &image); no.refused())
      return Refuse(err, no);
    if (Refusal no = ReadSettings(r.show, bytes, image); no.refused()) return Refuse(err, no);
    std::fputs(SettingsJson(Settings).c_str(), out);
    return std::fflush(out) == 0 && !std::ferror(out) ? 0 : 1;
  }

  // The settings to stamp; texts and paths point into r, which outlives them.
  DropletSettings& s = r.settings;
  s.hostName = r.hostGiven ? r.host.c_str() : nullptr;
  for (int i = 0; i < r.names; ++i)
    if (s.namingSlots[i].code == kCustomTextCode) s.namingSlots[i].text = r.names_[i].c_str();
  s.destinationMode = r.saveToGiven ? 3 : r.saveAndClose ? 2 : 1;
  std::u16string folder = PathRecordOf(r.folder), log = PathRecordOf(r.log);
  if (r.saveToGiven) s.destinationFolder = reinterpret_cast<const PathRecord*>(folder.data());
  s.logErrors = r.logGiven;
  if (r.logGiven) s.logFile = reinterpret_cast<const PathRecord*>(log.data());

  std::vector<uint8_t> action;
  if (r.actionGiven) {
    std::string why;
    uint64_t size = 0;
    if (!ReadInput(r.actionFile, kActionDataCapacity, &action, &size, &why))
      return Refuse(err, {"--action", "cannot read " + Quoted(r.actionFile) + ": " + why});
    if (size > kActionDataCapacity)
      return Refuse(
          err, {"--action", Quoted(r.actionFile) + " has " + std::to_string(size) +
                                " bytes, more than the " + std::to_string(kActionDataCapacity) +
                                " a droplet holds"});
    s.actionData = action.data();
    s.actionDataLength = static_cast<uint32_t>(action.size());
  }

  std::string from = r.from.empty() ? self + kDropletProgram : r.from;
  if (Refusal no = ReadDroplet("--from", from, &bytes, &image); no.refused())
    return Refuse(err, no);
  if (image.isSigned)
    return Refuse(
        err, {"--from", Quoted(from) + " is signed, and stamping drops the signature: make the "
                                       "droplet from an unsigned one, then sign the output"});
  if (image.checksumOffset != 0 && !EndsInExe(r.output))
    return Refuse(err, {"OUTPUT", Quoted(r.output) +
                                      " does not end in .exe, which a Windows droplet needs to "
                                      "run (try " +
                                      Quoted(r.output + ".exe") + ")"});
  // A droplet takes a block of a version it does not read for a damaged
  // one and touches nothing: refused here rather than made.
  uint32_t needs = BlockVersionFor(s);
  uint32_t reads = BlockVersionsRead(&bytes[image.blockOffset], image.blockSize);
  if (needs > reads)
    return Refuse(
        err, {"--send", Quoted(from) + " reads settings of versions 1 to " + std::to_string(reads) +
                            " only and cannot take this one: make the droplet from a "
                            "droplet of this release"});
  if (SameFile(r.output, from))
    return Refuse(err, {"OUTPUT", Quoted(r.output) + " is the --from droplet itself"});
  if (!r.force && FileExists(r.output))
    return Refuse(err, {"OUTPUT", Quoted(r.output) + " already exists (--force replaces it)"});

  std::vector<uint8_t> block(kSettingsBlockSize);
  if (!EncodeSettingsBlock(s, block.data(), block.size()))
    return Refuse(err, {"OUTPUT", "the settings do not form a valid block"});
  size_t used = CarryVersionsRead(block.data(), block.size(), reads);
  std::string why;
  if (!StampBlock(&bytes, image, block.data(), used, &why))
    return Refuse(err, {"--from", Quoted(from) + " cannot take these settings: " + why});
  if (!PublishFile(r.output, bytes, from, r.force, &why)) {
    std::fprintf(err, "droplet-maker: cannot write %s: %s\n", Quoted(r.output).c_str(),
                 why.c_str());
    return 1;
  }
  return 0;
}
