// A run over the fake System and a recording host, with the settings reset
// to their defaults for each test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "driver/driver.h"
#include "settings/droplet_settings.h"
#include "driver/file_arguments.h"
#include "host/run.h"
#include "messages/messages.h"
#include "messages/process_state.h"
#include "messages/run_tally.h"
#include "tests/support/fake_system.h"
#include "tests/support/recording_host.h"
#include "tests/support/trace_recorder.h"

// The droplet's own path with the platform's separator, so that the driver
// finds its caption.
inline void PlaceDroplet(FakeSystem& fake) {
  fake.modulePath = std::u16string(u"C:") + kModulePathSeparator + u"Tools" +
                    kModulePathSeparator + u"Repair.exe";
}

class HostRun : public ::testing::Test {
 protected:
  HostRun() : scope_(fake), saved_(Settings) {
    Settings = DropletSettings();
    ApplyDropletDefaults();
    CurrentMessage = msg::kConnect;
    CurrentFile = nullptr;
    FilesChanged = false;
    ResetTally();
    HostStage = RequestStage::kConnecting;
    fake.hostObject = &host;
    PlaceDroplet(fake);
  }
  ~HostRun() override { Settings = saved_; }

  int32_t Run(std::string tail) { return RunDroplet(tail.data(), WalkFileArguments); }

  // The whole droplet: the one box it shows ("" when none) and its exit value.
  std::string DropletBox(std::string tail) {
    EXPECT_EQ(DropletMain(nullptr, tail.data(), RunDroplet), 1);
    if (fake.boxes.empty()) return "";
    EXPECT_EQ(fake.boxes.size(), 1u);
    return U8(fake.boxes[0].text);
  }

  FakeSystem fake;
  ScopedSystem scope_;
  DropletSettings saved_;
  RecordingHost host;
  TraceRecorder traces;
};

inline const std::string kDamaged = "/Values [ --.-00000";
inline const std::string kRepaired = "/Values [ 1.0000000";
