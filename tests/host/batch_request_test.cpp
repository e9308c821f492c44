// The request the host receives: its items, their order, the lookups.
#include <string>
#include <vector>

#include "host/batch_request.h"
#include "tests/host/host_fixture.h"

namespace {

using Lines = std::vector<std::string>;

PathRecord* Record(const std::u16string& path) {
  static std::vector<std::vector<char16_t>> records;
  std::vector<char16_t> block(6, 0);  // the 12 header bytes
  block.insert(block.end(), path.begin(), path.end());
  block.push_back(0);
  records.push_back(block);
  return reinterpret_cast<PathRecord*>(records.back().data());
}

class Request : public HostRun {
 protected:
  Request() {
    fake.AddFile(u"C:\\a.psd", kDamaged);
    fake.AddFile(u"C:\\b.psd", "b");
  }
  void DestinationMode3() {
    Settings.destinationMode = 3;
    Settings.destinationFolder = Record(u"D:\\Out");
  }
};

TEST_F(Request, DefaultsWithTwoFiles) {
  ASSERT_EQ(Run("C:\\a.psd C:\\b.psd"), 0);
  EXPECT_EQ(host.plays, 1);
  EXPECT_EQ(host.playedRequest,
            (Lines{"'File' list", "  path C:\\a.psd", "  path C:\\b.psd", "'null' data 0 bytes",
                   "'OvrO' boolean 0", "'Ovrd' boolean 0", "'Fldr' boolean 0", "'SvAn' boolean 0",
                   "suppressWarnings boolean 0"}));
  EXPECT_EQ(host.CallsFrom("D1.SetListItem"),
            (Lines{"D1.SetListItem 'File' L1", "D1.SetDataItem 'null' 0 bytes",
                   "D1.SetBooleanItem 'OvrO' 0", "D1.SetBooleanItem 'Ovrd' 0",
                   "D1.SetBooleanItem 'Fldr' 0", "D1.SetBooleanItem 'SvAn' 0",
                   "C1.TypeIdOfString suppressWarnings", "D1.SetBooleanItem suppressWarnings 0",
                   "MakeDescriptor -> D2", "C1.PlayEvent 'BtcF' D1 2 D2"}));
  EXPECT_EQ(fake.Contents(u"C:\\a.psd"), kRepaired);
}

TEST_F(Request, EmptyTailPlaysAnEmptyFileList) {
  ASSERT_EQ(Run(""), 0);
  ASSERT_EQ(host.plays, 1);
  EXPECT_EQ(host.playedRequest[0], "'File' list");
  EXPECT_EQ(host.playedRequest[1], "'null' data 0 bytes");
}

TEST_F(Request, FlagsAndActionData) {
  static const uint8_t data[] = {1, 2, 3};
  Settings.actionData = data;
  Settings.actionDataLength = 3;
  Settings.flagOvrO = true;
  Settings.flagFldr = true;
  Settings.suppressWarnings = true;
  ASSERT_EQ(Run(""), 0);
  EXPECT_EQ(host.playedRequest,
            (Lines{"'File' list", "'null' data 3 bytes", "'OvrO' boolean 1", "'Ovrd' boolean 0",
                   "'Fldr' boolean 1", "'SvAn' boolean 0", "suppressWarnings boolean 1"}));
}

TEST_F(Request, Mode2SendsSaveAndNothingElse) {
  Settings.destinationMode = 2;
  Settings.destinationFolder = Record(u"D:\\Unused");
  ASSERT_EQ(Run("C:\\b.psd"), 0);
  EXPECT_EQ(host.playedRequest,
            (Lines{"'File' list", "  path C:\\b.psd", "'null' data 0 bytes", "'OvrO' boolean 0",
                   "'Ovrd' boolean 0", "'Fldr' boolean 0", "'SvAn' boolean 1",
                   "suppressWarnings boolean 0"}));
}

TEST_F(Request, Mode3WithSixTextSlotsAtCode0) {
  DestinationMode3();
  ASSERT_EQ(Run("C:\\b.psd"), 0);
  Lines expected = {"'File' list", "  path C:\\b.psd", "'null' data 0 bytes", "'OvrO' boolean 0",
                    "'Ovrd' boolean 0", "'Fldr' boolean 0", "'SvAn' boolean 0",
                    "'T   ' path D:\\Out", "fileNamingRules object fileNamingRules",
                    "  fileNamingComponents list"};
  for (int i = 0; i < 6; ++i) {
    expected.push_back("    object fileNamingComponents");
    expected.push_back("      textKey text <absent>");
  }
  for (const char* line : {"  macintosh boolean 0", "  windows boolean 0", "  unix boolean 0",
                           "suppressWarnings boolean 0"})
    expected.push_back(line);
  EXPECT_EQ(host.playedRequest, expected);
  EXPECT_EQ(host.Count("TypeIdOfString"), 6 * 2 + 1 + 3 + 1 + 1);
}

TEST_F(Request, Mode3MixedSlotsInOrderWith24Lookups) {
  DestinationMode3();
  Settings.compatWindows = true;
  NamingComponent* slots = Settings.namingSlots;
  slots[0] = {1, nullptr};
  slots[1] = {19, "-"};
  slots[2] = {12, nullptr};
  slots[3] = {-1, "x"};
  slots[4] = {18, "ignored"};
  slots[5] = {20, nullptr};
  ASSERT_EQ(Run(""), 0);
  EXPECT_EQ(host.Count("TypeIdOfString"), 24);
  Lines expected = {"D1.SetPathItem 'T   ' D:\\Out",
                    "MakeDescriptor -> D2",
                    "MakeList -> L2",
                    "MakeDescriptor -> D3",
                    "C1.TypeIdOfString component",
                    "C1.TypeIdOfString fileNamingComponent",
                    "C1.TypeIdOfString name",
                    "D3.SetEnumItem component fileNamingComponent name",
                    "C1.TypeIdOfString fileNamingComponents",
                    "L2.AddObjectItem fileNamingComponents D3",
                    "MakeDescriptor -> D4",
                    "C1.TypeIdOfString textKey",
                    "D4.SetTextItem textKey -",
                    "C1.TypeIdOfString fileNamingComponents",
                    "L2.AddObjectItem fileNamingComponents D4",
                    "MakeDescriptor -> D5",
                    "C1.TypeIdOfString component",
                    "C1.TypeIdOfString fileNamingComponent",
                    "C1.TypeIdOfString yyyymmdd",
                    "D5.SetEnumItem component fileNamingComponent yyyymmdd",
                    "C1.TypeIdOfString fileNamingComponents",
                    "L2.AddObjectItem fileNamingComponents D5",
                    "MakeDescriptor -> D6",
                    "C1.TypeIdOfString textKey",
                    "D6.SetTextItem textKey x",
                    "C1.TypeIdOfString fileNamingComponents",
                    "L2.AddObjectItem fileNamingComponents D6",
                    "MakeDescriptor -> D7",
                    "C1.TypeIdOfString component",
                    "C1.TypeIdOfString fileNamingComponent",
                    "C1.TypeIdOfString upperCaseExtension",
                    "D7.SetEnumItem component fileNamingComponent upperCaseExtension",
                    "C1.TypeIdOfString fileNamingComponents",
                    "L2.AddObjectItem fileNamingComponents D7",
                    "MakeDescriptor -> D8",
                    "C1.TypeIdOfString textKey",
                    "D8.SetTextItem textKey <absent>",
                    "C1.TypeIdOfString fileNamingComponents",
                    "L2.AddObjectItem fileNamingComponents D8",
                    "C1.TypeIdOfString fileNamingComponents",
                    "D2.SetListItem fileNamingComponents L2",
                    "C1.TypeIdOfString macintosh",
                    "D2.SetBooleanItem macintosh 0",
                    "C1.TypeIdOfString windows",
                    "D2.SetBooleanItem windows 1",
                    "C1.TypeIdOfString unix",
                    "D2.SetBooleanItem unix 0",
                    "C1.TypeIdOfString fileNamingRules",
                    "D1.SetObjectItem fileNamingRules fileNamingRules D2",
                    "C1.TypeIdOfString suppressWarnings",
                    "D1.SetBooleanItem suppressWarnings 0",
                    "MakeDescriptor -> D9",
                    "C1.PlayEvent 'BtcF' D1 2 D9"};
  EXPECT_EQ(host.CallsFrom("D1.SetPathItem"), expected);
}

TEST_F(Request, CustomTextCodesAndTheLastPredefinedComponent) {
  DestinationMode3();
  const int32_t codes[6] = {0, 19, -1, 20, 18, 1};
  const char* texts[6] = {"zero", "nineteen", "minus", "twenty", "unused", "unused"};
  for (int i = 0; i < 6; ++i) Settings.namingSlots[i] = {codes[i], texts[i]};
  ASSERT_EQ(Run(""), 0);
  Lines components;
  for (const std::string& line : host.playedRequest)
    if (line.rfind("      ", 0) == 0) components.push_back(line.substr(6));
  EXPECT_EQ(components, (Lines{"textKey text zero", "textKey text nineteen", "textKey text minus",
                               "textKey text twenty",
                               "component enum fileNamingComponent upperCaseExtension",
                               "component enum fileNamingComponent name"}));
}

TEST_F(Request, LogErrorsSendsTheLogPathLast) {
  Settings.logErrors = true;
  Settings.logFile = Record(u"D:\\errors.log");
  ASSERT_EQ(Run(""), 0);
  ASSERT_GE(host.playedRequest.size(), 2u);
  EXPECT_EQ(host.playedRequest[host.playedRequest.size() - 2], "suppressWarnings boolean 0");
  EXPECT_EQ(host.playedRequest.back(), "'Log ' path D:\\errors.log");
}

// Every name is converted, counted and released afresh; nothing is left
// allocated by the run.
TEST_F(Request, LookupsGiveBackTheirConversions) {
  DestinationMode3();
  Settings.logErrors = true;
  Settings.logFile = Record(u"D:\\errors.log");
  ASSERT_EQ(Run(""), 0);
  EXPECT_EQ(fake.LiveAllocations(), 0);
}

}  // namespace
