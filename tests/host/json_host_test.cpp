// The embedded request host: the JSON document a played request becomes.
#include <string>

#include "host/json_host.h"
#include "tests/host/host_fixture.h"

namespace {

class JsonRequest : public HostRun {
 protected:
  JsonRequest() { fake.hostObject = CreateJsonHostInto(&document); }
  std::string document;
};

TEST_F(JsonRequest, DefaultsWithTwoFiles) {
  fake.AddFile(u"C:\\a.psd", kDamaged);
  fake.AddFile(u"C:\\b c.psd", "b");
  ASSERT_EQ(Run("C:\\a.psd \"C:\\b c.psd\""), 0);
  EXPECT_EQ(document,
            "{\"event\":\"BtcF\",\"dialogMode\":2,\"typeIdLookups\":1,\"items\":["
            "{\"key\":\"File\",\"kind\":\"list\",\"value\":["
            "{\"kind\":\"path\",\"value\":\"C:\\\\a.psd\"},"
            "{\"kind\":\"path\",\"value\":\"C:\\\\b c.psd\"}]},"
            "{\"key\":\"null\",\"kind\":\"data\",\"value\":\"\"},"
            "{\"key\":\"OvrO\",\"kind\":\"boolean\",\"value\":false},"
            "{\"key\":\"Ovrd\",\"kind\":\"boolean\",\"value\":false},"
            "{\"key\":\"Fldr\",\"kind\":\"boolean\",\"value\":false},"
            "{\"key\":\"SvAn\",\"kind\":\"boolean\",\"value\":false},"
            "{\"key\":\"suppressWarnings\",\"kind\":\"boolean\",\"value\":false}]}\n");
}

TEST_F(JsonRequest, NamingRulesDataAndLog) {
  static const uint8_t data[] = {0x00, 0x7f, 0xff};
  static const char16_t folder[] = u"\0\0\0\0\0\0D:\\Out";
  static const char16_t log[] = u"\0\0\0\0\0\0D:\\e.log";
  Settings.actionData = data;
  Settings.actionDataLength = 3;
  Settings.destinationMode = 3;
  Settings.destinationFolder = reinterpret_cast<const PathRecord*>(folder);
  Settings.logErrors = true;
  Settings.logFile = reinterpret_cast<const PathRecord*>(log);
  Settings.compatUnix = true;
  Settings.namingSlots[0] = {1, nullptr};
  Settings.namingSlots[1] = {19, "-v\"2\\"};
  ASSERT_EQ(Run(""), 0);
  // One enumerated slot (4 lookups), five text slots (2 each), then 1 + 3 + 1 + 1.
  std::string textSlot = "{\"kind\":\"object\",\"class\":\"fileNamingComponents\",\"value\":["
                         "{\"key\":\"textKey\",\"kind\":\"text\",\"value\":null}]}";
  EXPECT_EQ(document,
            "{\"event\":\"BtcF\",\"dialogMode\":2,\"typeIdLookups\":20,\"items\":["
            "{\"key\":\"File\",\"kind\":\"list\",\"value\":[]},"
            "{\"key\":\"null\",\"kind\":\"data\",\"value\":\"007fff\"},"
            "{\"key\":\"OvrO\",\"kind\":\"boolean\",\"value\":false},"
            "{\"key\":\"Ovrd\",\"kind\":\"boolean\",\"value\":false},"
            "{\"key\":\"Fldr\",\"kind\":\"boolean\",\"value\":false},"
            "{\"key\":\"SvAn\",\"kind\":\"boolean\",\"value\":false},"
            "{\"key\":\"T   \",\"kind\":\"path\",\"value\":\"D:\\\\Out\"},"
            "{\"key\":\"fileNamingRules\",\"kind\":\"object\",\"class\":\"fileNamingRules\","
            "\"value\":[{\"key\":\"fileNamingComponents\",\"kind\":\"list\",\"value\":["
            "{\"kind\":\"object\",\"class\":\"fileNamingComponents\",\"value\":["
            "{\"key\":\"component\",\"kind\":\"enum\",\"type\":\"fileNamingComponent\","
            "\"value\":\"name\"}]},"
            "{\"kind\":\"object\",\"class\":\"fileNamingComponents\",\"value\":["
            "{\"key\":\"textKey\",\"kind\":\"text\",\"value\":\"-v\\\"2\\\\\"}]}," +
                textSlot + "," + textSlot + "," + textSlot + "," + textSlot +
                "]},"
                "{\"key\":\"macintosh\",\"kind\":\"boolean\",\"value\":false},"
                "{\"key\":\"windows\",\"kind\":\"boolean\",\"value\":false},"
                "{\"key\":\"unix\",\"kind\":\"boolean\",\"value\":true}]},"
                "{\"key\":\"suppressWarnings\",\"kind\":\"boolean\",\"value\":false},"
                "{\"key\":\"Log \",\"kind\":\"path\",\"value\":\"D:\\\\e.log\"}]}\n");
}

TEST_F(JsonRequest, TextsBecomeUtf8WithEscapes) {
  // A control character, DEL, a character outside the BMP and a byte that is
  // not UTF-8 (a lone surrogate in the UTF-16 form); a folder with a line end
  // and a lone high surrogate.
  static const char16_t folder[] = {0, 0, 0, 0, 0, 0, u'D', u':', u'\n', 0xD800, 0};
  Settings.destinationMode = 3;
  Settings.destinationFolder = reinterpret_cast<const PathRecord*>(folder);
  std::string name = "C:\\a\x01\x7f\xc3\xa9\xf0\x9f\x98\x80\xff.psd";
  fake.AddFile(U16(name), "x");
  ASSERT_EQ(Run("\"" + name + "\""), 0);
  for (std::string expected : {"\"C:\\\\a\\u0001\x7f\xc3\xa9\xf0\x9f\x98\x80\\udcff.psd\"",
                               "\"D:\\u000a\\ud800\""})
    EXPECT_NE(document.find(expected), std::string::npos) << expected << "\n" << document;
}

}  // namespace
