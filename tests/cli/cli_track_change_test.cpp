// pelmora-cli play across track changes, as a user watching its status lines sees it.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/flac_fixtures.h"
#include "support/run_command.h"
#include "support/temp_dir.h"
#include "support/virtual_devices.h"

namespace {

const std::string kCli = PELMORA_CLI_PATH;

TEST(CliTrackChange, EachTrackStartsAtItsOwnPositionInTheStatusLine) {
  TempDir dir;
  DeviceJson d;
  d.name = "Paced DAC";
  d.formats = {formatJson(0, 24, 4, 2, false, false, 44100, 192000)};
  d.clock = "realtime";
  d.capture = dir.file("dac.raw");
  std::ofstream(dir.file("devices.json")) << devicesJson({d});
  std::string a = makeFlac(dir.path(), "a", FlacSetup{44100, 16, 2, 2.0, {"TITLE=First"}});
  std::string b = makeFlac(dir.path(), "b", FlacSetup{44100, 16, 2, 2.0, {"TITLE=Second"}});
  auto r = runCommand("SONARA_VIRTUAL_DEVICES=" + dir.file("devices.json") + " SONARA_DEFAULTS=" +
                      dir.file("d.plist") + " " + kCli + " play --device 'Paced DAC' " + a + " " + b + " 2>&1");
  ASSERT_EQ(r.status, 0) << r.out;
  // The first status line of the second track shows its start, and the playlist
  // time of the first track before it.
  std::istringstream lines(r.out);
  std::string line;
  std::string first_of_second;
  while (std::getline(lines, line)) {
    if (line.rfind("Second |", 0) == 0) {
      first_of_second = line;
      break;
    }
  }
  ASSERT_FALSE(first_of_second.empty()) << r.out;
  EXPECT_NE(first_of_second.find("| 0:00 / 0:02 | playlist 0:02 / 0:04"), std::string::npos) << r.out;
}

}  // namespace
