// telvora-phone's commands on lab lines: the JSON lines they print, their
// exit status and their one-line errors.

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tapi/lab_line.h"
#include "tapi/tapi.h"
#include "tools/phone_command.h"

namespace telvora::tools::test {
namespace {

using Json = nlohmann::json;

class PhoneCommandTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (QCoreApplication::instance() == nullptr) {
      static int argc = 1;
      static char name[] = "tools_tests";
      static char* argv[] = {name, nullptr};
      new QCoreApplication(argc, argv);
    }
  }

  void SetUp() override { Lines(2); }
  void TearDown() override { tapi::SetDeviceFactory({}); }

  void Lines(int count) {
    tapi::SetDeviceFactory([count] {
      tapi::DeviceSet set;
      for (int i = 0; i < count; ++i) {
        set.lines.push_back(std::make_unique<tapi::LabLine>(tapi::LabLine::DefaultCaps(i, false)));
      }
      return set;
    });
  }

  int Run(std::vector<std::string> args) {
    args.insert(args.begin(), "telvora-phone");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    out_.str("");
    err_.str("");
    return RunPhoneCommand(static_cast<int>(argv.size()), argv.data(), out_, err_);
  }

  std::vector<Json> Output() const {
    std::vector<Json> lines;
    std::istringstream in(out_.str());
    for (std::string line; std::getline(in, line);) lines.push_back(Json::parse(line));
    return lines;
  }

  std::ostringstream out_, err_;
};

TEST_F(PhoneCommandTest, LinesPrintsOneObjectPerLineDevice) {
  ASSERT_EQ(Run({"lines"}), 0) << err_.str();
  const auto lines = Output();
  ASSERT_EQ(lines.size(), 2u);
  for (int i = 0; i < 2; ++i) {
    const Json& l = lines[static_cast<std::size_t>(i)];
    EXPECT_EQ(l["event"], "line");
    EXPECT_EQ(l["id"], i);
    EXPECT_EQ(l["name"], "Telvora Lab Line " + std::to_string(i));
    EXPECT_EQ(l["caps"], 0x3F);
    EXPECT_EQ(l["addresses"], 1);
    EXPECT_TRUE(l["t"].is_number());
  }
  // "t" first, with three decimals.
  EXPECT_EQ(out_.str().rfind("{\"t\":0.", 0), 0u);
  EXPECT_EQ(out_.str().find(",\"event\":\"line\""), std::string("{\"t\":0.000").size());
}

TEST_F(PhoneCommandTest, DialPrintsTheStatesAndEndsWhenTheCallIsIdle) {
  ASSERT_EQ(Run({"dial", "5551234", "--line", "1", "--media", "data", "--hangup-after", "0.1", "--timeout", "3000"}),
            0)
      << err_.str();
  std::vector<std::string> seen;
  for (const Json& l : Output()) {
    if (l["event"] == "line-state") seen.push_back(l["state"].get<std::string>());
    if (l["event"] == "call-state") seen.push_back(l["state"].get<std::string>());
    if (l["event"] == "result") seen.push_back(l["op"].get<std::string>() + "=" + std::to_string(l["code"].get<int>()));
  }
  ASSERT_EQ(seen.size(), 10u);
  EXPECT_EQ(std::vector<std::string>(seen.begin(), seen.begin() + 8),
            (std::vector<std::string>{"lsActivated", "LineActive=0", "DialNumber=0", "csDialing", "csProceeding",
                                      "csRingBack", "csConnected", "csWaitingDisconnection"}));
  // Hangup lets pending notifications run once, so the call may already be
  // idle when its result is printed.
  std::vector<std::string> last(seen.begin() + 8, seen.end());
  std::sort(last.begin(), last.end());
  EXPECT_EQ(last, (std::vector<std::string>{"Hangup=0", "csDisconnected"}));
  for (const Json& l : Output()) {
    if (l["event"] == "call-state" && l["state"] == "csConnected") {
      EXPECT_EQ(l["param1"], 1);
    }
  }
  EXPECT_EQ(err_.str(), "");
}

TEST_F(PhoneCommandTest, ErrorsExitWithTwoAndOneLine) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{}, "telvora-phone: missing command (lines or dial)\n"},
      {{"ring"}, "telvora-phone: unknown command ring\n"},
      {{"dial"}, "telvora-phone: dial needs a NUMBER\n"},
      {{"dial", "1", "--media", "video"}, "telvora-phone: invalid value for --media: video\n"},
      {{"dial", "1", "--line"}, "telvora-phone: --line needs a value\n"},
      {{"dial", "1", "--line", "7"}, "telvora-phone: LineActive failed (102): Bad line device ID.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(Run(c.args), 2);
    EXPECT_EQ(err_.str(), c.message);
  }
}

TEST_F(PhoneCommandTest, DialThatNeverEndsStopsAtTheTimeOut) {
  EXPECT_EQ(Run({"dial", "5551234", "--timeout", "200"}), 2);
  EXPECT_EQ(err_.str(), "telvora-phone: the call did not end within 200 ms\n");
}

}  // namespace
}  // namespace telvora::tools::test
