// The modem provider end to end: the service drives a ModemLine whose serial
// device is a pseudo-terminal answered by a scripted modem.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "support/modem_peer.h"
#include "support/temp_dir.h"
#include "tapi/device_config_block.h"
#include "tapi/modem_line.h"
#include "tapi/uucp_lock.h"
#include "tapi_test_support.h"

namespace telvora::tapi::test {
namespace {

using testing::ModemPeer;
using Outcome = ModemPeer::Outcome;
using std::chrono::milliseconds;

constexpr DWORD kVoice = LINEMEDIAMODE_INTERACTIVEVOICE;
constexpr DWORD kData = LINEMEDIAMODE_DATAMODEM;

class ModemLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QtApp();
    Recorder::Get().Clear();
    const char* old = std::getenv("XDG_CONFIG_HOME");
    saved_xdg_ = old ? std::optional<std::string>(old) : std::nullopt;
    ::setenv("XDG_CONFIG_HOME", (dir_.path() / "config").c_str(), 1);
    std::filesystem::create_directories(dir_.path() / "lock");
    // The configured device is a link to the pseudo-terminal, so that a test
    // can bring "the same" device back on a new one.
    device_ = (dir_.path() / "modem0").string();
    PointDeviceAt(peer_->SlavePath());
    SetDeviceFactory([this] {
      DeviceSet set;
      set.lines.push_back(std::make_unique<ModemLine>(Options()));
      return set;
    });
    DWORD version = kApiVersion22, devices = 0;
    ASSERT_EQ(lineInitializeExW(&app_, nullptr, &Recorder::Callback, nullptr, &devices, &version, nullptr), 0);
    ASSERT_EQ(devices, 1u);
  }

  void TearDown() override {
    if (app_ != 0) lineShutdown(app_);
    SetDeviceFactory({});
    Recorder::Get().Clear();
    if (saved_xdg_) {
      ::setenv("XDG_CONFIG_HOME", saved_xdg_->c_str(), 1);
    } else {
      ::unsetenv("XDG_CONFIG_HOME");
    }
  }

  ModemOptions Options() const {
    ModemOptions o;
    o.device = device_;
    o.lock_dir = (dir_.path() / "lock").string();
    o.command_timeout_ms = command_timeout_ms_;
    o.dial_timeout_ms = dial_timeout_ms_;
    o.dial_settle_ms = 30;
    o.escape_guard_ms = 40;
    o.abort_wait_ms = 300;
    o.ring_gap_ms = 300;
    return o;
  }

  void PointDeviceAt(const std::string& target) {
    std::error_code ec;
    std::filesystem::remove(device_, ec);
    std::filesystem::create_symlink(target, device_);
  }

  std::string LockPath() const { return (dir_.path() / "lock").string() + "/" + UucpLock::LockFileName(device_); }

  HLINE Open() {
    HLINE line = 0;
    EXPECT_EQ(lineOpen(app_, 0, &line, kApiVersion22, 0, 0x77, LINECALLPRIVILEGE_OWNER | LINECALLPRIVILEGE_MONITOR,
                       kVoice | kData, nullptr),
              0);
    return line;
  }

  // Starts a call; *call is filled when the reply arrives.
  LONG Dial(HLINE line, HCALL* call, const char* number, DWORD media) {
    LINECALLPARAMS params{};
    params.dwTotalSize = sizeof params;
    params.dwBearerMode = LINEBEARERMODE_VOICE;
    params.dwMediaMode = media;
    params.dwAddressMode = LINEADDRESSMODE_ADDRESSID;
    return lineMakeCall(line, call, number, 0, &params);
  }

  bool WaitState(const HCALL& call, DWORD state, milliseconds timeout = milliseconds(4000)) {
    return WaitUntil([&] {
      const auto states = Recorder::Get().StatesOf(call);
      return call != 0 && !states.empty() && states.back() == state;
    }, timeout);
  }

  DWORD LastMode(HCALL call) {
    DWORD mode = 0;
    for (const Received& r : Recorder::Get().Of(LINE_CALLSTATE)) {
      if (r.device == call) mode = static_cast<DWORD>(r.p2);
    }
    return mode;
  }

  // Drops the call and waits for it to be idle; true when it went well.
  bool DropAndWait(HCALL call) {
    const LONG request = lineDrop(call, nullptr, 0);
    if (request <= 0) return false;
    if (!WaitState(call, LINECALLSTATE_IDLE)) return false;
    return ReplyResult(Recorder::Get().ReplyTo(request)) == 0 && lineDeallocateCall(call) == 0;
  }

  void SetSpeaker(DWORD volume, DWORD mode, DWORD options = MDM_TONE_DIAL) {
    ModemSettings settings;
    settings.speaker_volume = volume;
    settings.speaker_mode = mode;
    settings.preferred_options = options;
    const auto block = EncodeDeviceConfig(settings);
    ASSERT_EQ(lineSetDevConfig(0, block.data(), static_cast<DWORD>(block.size()), "comm/datamodem"), 0);
  }

  // Starts the service again, its modem with these time-outs.
  void Reinitialise(int command_timeout_ms, int dial_timeout_ms) {
    lineShutdown(app_);
    app_ = 0;
    command_timeout_ms_ = command_timeout_ms;
    dial_timeout_ms_ = dial_timeout_ms;
    DWORD version = kApiVersion22, devices = 0;
    ASSERT_EQ(lineInitializeExW(&app_, nullptr, &Recorder::Callback, nullptr, &devices, &version, nullptr), 0);
  }

  // A new modem on a new pseudo-terminal behind the configured device.
  void ReplacePeer(const ModemPeer::Behaviour& behaviour) {
    peer_ = std::make_unique<ModemPeer>();
    peer_->SetBehaviour(behaviour);
    PointDeviceAt(peer_->SlavePath());
  }

  int command_timeout_ms_ = 300;
  int dial_timeout_ms_ = 1500;
  telvora::testing::TempDir dir_;
  std::optional<std::string> saved_xdg_;
  std::unique_ptr<ModemPeer> peer_ = std::make_unique<ModemPeer>();
  std::string device_;
  HLINEAPP app_ = 0;
};

TEST_F(ModemLineTest, VoiceDialResetsAppliesTheSpeakerAndDialsWithSemicolon) {
  struct Case {
    DWORD volume, mode;
    const char *volume_command, *mode_command;
  };
  const Case cases[] = {
      {MDMVOL_LOW, MDMSPKR_OFF, "ATL1", "ATM0"},
      {MDMVOL_MEDIUM, MDMSPKR_DIAL, "ATL2", "ATM1"},
      {MDMVOL_HIGH, MDMSPKR_ON, "ATL3", "ATM2"},
      {MDMVOL_LOW, MDMSPKR_CALLSETUP, "ATL1", "ATM3"},
  };
  const HLINE line = Open();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode_command);
    SetSpeaker(c.volume, c.mode);
    const auto before = peer_->Commands().size();
    HCALL call = 0;
    const LONG request = Dial(line, &call, "555 1234", kVoice);
    ASSERT_GT(request, 0);
    ASSERT_TRUE(WaitState(call, LINECALLSTATE_CONNECTED));
    EXPECT_EQ(ReplyResult(Recorder::Get().ReplyTo(request)), 0);
    EXPECT_EQ(Recorder::Get().StatesOf(call),
              (std::vector<DWORD>{LINECALLSTATE_DIALING, LINECALLSTATE_PROCEEDING, LINECALLSTATE_CONNECTED}));
    const auto all = peer_->Commands();
    const std::vector<std::string> sent(all.begin() + static_cast<long>(before), all.end());
    EXPECT_EQ(sent, (std::vector<std::string>{"ATZ", "ATE0", c.volume_command, c.mode_command, "ATDT5551234;"}));
    ASSERT_TRUE(DropAndWait(call));
    EXPECT_EQ(peer_->Commands().back(), "ATH");
  }
}

TEST_F(ModemLineTest, DataDialOutcomesBecomeCallStates) {
  struct Case {
    const char* name;
    Outcome outcome;
    bool numeric, echo, garbage;
    DWORD state, mode;
  };
  const Case cases[] = {
      {"connect", Outcome::kConnect, false, false, false, LINECALLSTATE_CONNECTED, 0},
      {"connect numeric", Outcome::kConnect, true, false, false, LINECALLSTATE_CONNECTED, 0},
      {"busy", Outcome::kBusy, false, true, false, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_BUSY},
      {"busy numeric", Outcome::kBusy, true, true, false, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_BUSY},
      {"no dial tone", Outcome::kNoDialtone, false, false, true, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NODIALTONE},
      {"no dial tone numeric", Outcome::kNoDialtone, true, false, true, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NODIALTONE},
      {"no answer", Outcome::kNoAnswer, false, false, false, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NOANSWER},
      {"no carrier", Outcome::kNoCarrier, true, true, true, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NOANSWER},
      {"error", Outcome::kError, false, false, false, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_BADADDRESS},
  };
  const HLINE line = Open();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ModemPeer::Behaviour b;
    b.outcome = c.outcome;
    b.numeric = c.numeric;
    b.echo = c.echo;
    b.garbage = c.garbage;
    b.result_delay_ms = 20;
    peer_->SetBehaviour(b);
    HCALL call = 0;
    ASSERT_GT(Dial(line, &call, "5551234", kData), 0);
    ASSERT_TRUE(WaitState(call, c.state));
    EXPECT_EQ(LastMode(call), c.mode);
    const auto states = Recorder::Get().StatesOf(call);
    EXPECT_EQ(states.front(), LINECALLSTATE_DIALING);
    EXPECT_TRUE(peer_->WaitForCommand("ATDT5551234", milliseconds(100)));
    for (const std::string& command : peer_->Commands()) EXPECT_NE(command, "ATDT5551234;");
    ASSERT_TRUE(DropAndWait(call));
  }
}

TEST_F(ModemLineTest, VoiceDialOnAModemIgnoringTheSemicolonWaitsForCallProgress) {
  ModemPeer::Behaviour b;
  b.ignore_semicolon = true;
  b.outcome = Outcome::kConnect;
  b.result_delay_ms = 50;
  peer_->SetBehaviour(b);
  const HLINE line = Open();
  HCALL call = 0;
  ASSERT_GT(Dial(line, &call, "5551234", kVoice), 0);
  ASSERT_TRUE(WaitState(call, LINECALLSTATE_CONNECTED));
  EXPECT_EQ(Recorder::Get().StatesOf(call), (std::vector<DWORD>{LINECALLSTATE_DIALING, LINECALLSTATE_CONNECTED}));
  EXPECT_TRUE(peer_->Online());
  // The modem went on line: hanging up needs the escape sequence first.
  ASSERT_TRUE(DropAndWait(call));
  EXPECT_NE(peer_->Received().find("+++"), std::string::npos);
  EXPECT_EQ(peer_->Commands().back(), "ATH");
  EXPECT_FALSE(peer_->Online());
}

TEST_F(ModemLineTest, HangUpWhileDialingAbortsTheDialAndSendsATH) {
  for (bool needs_ath : {false, true}) {
    SCOPED_TRACE(needs_ath ? "abort needs ATH" : "any character aborts");
    ModemPeer::Behaviour b;
    b.outcome = Outcome::kSilence;
    b.abort_needs_ath = needs_ath;
    peer_->SetBehaviour(b);
    const HLINE line = Open();
    HCALL call = 0;
    ASSERT_GT(Dial(line, &call, "5551234", kData), 0);
    ASSERT_TRUE(WaitState(call, LINECALLSTATE_DIALING));
    ASSERT_TRUE(peer_->WaitForCommand("ATDT", milliseconds(1000)));
    ASSERT_TRUE(DropAndWait(call));
    EXPECT_FALSE(peer_->Dialling());
    EXPECT_EQ(peer_->Commands().back(), "ATH");
    ASSERT_EQ(lineClose(line), 0);
  }
}

TEST_F(ModemLineTest, HangUpRightAfterTheDialWaitsForTheModemToTakeIt) {
  ModemPeer::Behaviour b;
  b.outcome = Outcome::kSilence;
  peer_->SetBehaviour(b);
  const HLINE line = Open();
  HCALL call = 0;
  ASSERT_GT(Dial(line, &call, "5551234", kData), 0);
  ASSERT_TRUE(WaitUntil([&] { return call != 0; }));
  ASSERT_TRUE(DropAndWait(call));
  // The abort came no sooner than the dial's head start after the dial.
  ASSERT_TRUE(peer_->DialHeadStart());
  EXPECT_GE(*peer_->DialHeadStart(), milliseconds(Options().dial_settle_ms / 2));
  const std::string received = peer_->Received();
  const auto dial = received.find("ATDT5551234\r");
  ASSERT_NE(dial, std::string::npos);
  EXPECT_NE(received.find("ATH\r", dial), std::string::npos);
  EXPECT_FALSE(peer_->Dialling());
}

TEST_F(ModemLineTest, ConnectedDataCallHangsUpWithEscapeAndATH) {
  peer_->SetBehaviour({});
  const HLINE line = Open();
  HCALL call = 0;
  ASSERT_GT(Dial(line, &call, "5551234", kData), 0);
  ASSERT_TRUE(WaitState(call, LINECALLSTATE_CONNECTED));
  // The data channel of a connected call can be had, and must be closed.
  std::vector<std::uint8_t> buf(256);
  auto* id = reinterpret_cast<VARSTRING*>(buf.data());
  id->dwTotalSize = 256;
  ASSERT_EQ(lineGetID(0, 0, call, LINECALLSELECT_CALL, id, "comm/datamodem"), 0);
  int fd;
  std::memcpy(&fd, buf.data() + id->dwStringOffset, sizeof fd);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(::close(fd), 0);

  ASSERT_TRUE(DropAndWait(call));
  const std::string received = peer_->Received();
  const auto escape = received.find("+++");
  ASSERT_NE(escape, std::string::npos);
  EXPECT_NE(received.find("ATH\r", escape), std::string::npos);
}

TEST_F(ModemLineTest, RemoteHangUpOfAConnectedCallIsANormalDisconnect) {
  peer_->SetBehaviour({});
  const HLINE line = Open();
  HCALL call = 0;
  ASSERT_GT(Dial(line, &call, "5551234", kData), 0);
  ASSERT_TRUE(WaitState(call, LINECALLSTATE_CONNECTED));
  peer_->RemoteHangUp();
  ASSERT_TRUE(WaitState(call, LINECALLSTATE_DISCONNECTED));
  EXPECT_EQ(LastMode(call), LINEDISCONNECTMODE_NORMAL);
  ASSERT_TRUE(DropAndWait(call));
}

TEST_F(ModemLineTest, ModemThatNeverAnswersFailsTheRequestInsteadOfHanging) {
  ModemPeer::Behaviour b;
  b.silent = true;
  peer_->SetBehaviour(b);
  const HLINE line = Open();
  HCALL call = 0;
  const LONG request = Dial(line, &call, "5551234", kData);
  ASSERT_GT(request, 0);
  ASSERT_TRUE(WaitUntil([&] { return Recorder::Get().ReplyTo(request) != nullptr; }, milliseconds(3000)));
  EXPECT_EQ(ReplyResult(Recorder::Get().ReplyTo(request)), LINEERR_OPERATIONFAILED);
  EXPECT_EQ(call, 0u);  // no call was made
  EXPECT_EQ(peer_->Commands(), std::vector<std::string>{"ATZ"});
  // The line is still usable once the modem answers again.
  peer_->SetBehaviour({});
  ASSERT_GT(Dial(line, &call, "5551234", kData), 0);
  ASSERT_TRUE(WaitState(call, LINECALLSTATE_CONNECTED));
  ASSERT_TRUE(DropAndWait(call));
}

TEST_F(ModemLineTest, ModemThatStopsAnsweringStillLetsTheCallBeDropped) {
  const HLINE line = Open();
  HCALL call = 0;
  ASSERT_GT(Dial(line, &call, "5551234", kVoice), 0);
  ASSERT_TRUE(WaitState(call, LINECALLSTATE_CONNECTED));
  ModemPeer::Behaviour b;
  b.silent = true;
  peer_->SetBehaviour(b);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(DropAndWait(call));
  EXPECT_EQ(peer_->Commands().back(), "ATH");
  EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(3000));
}

TEST_F(ModemLineTest, ModemSilentAfterTheDialIsHungUpAtTheDialTimeout) {
  ModemPeer::Behaviour b;
  b.outcome = Outcome::kSilence;
  peer_->SetBehaviour(b);
  const HLINE line = Open();
  HCALL call = 0;
  ASSERT_GT(Dial(line, &call, "5551234", kData), 0);
  ASSERT_TRUE(WaitState(call, LINECALLSTATE_DISCONNECTED, milliseconds(4000)));
  EXPECT_EQ(LastMode(call), LINEDISCONNECTMODE_UNAVAIL);
  EXPECT_EQ(peer_->Commands().back(), "ATH");
  ASSERT_TRUE(DropAndWait(call));
}

TEST_F(ModemLineTest, RingsOfferACallThatIsAnsweredWithATA) {
  const HLINE line = Open();
  ASSERT_EQ(lineSetStatusMessages(line, LINEDEVSTATE_RINGING, 0), 0);
  peer_->Ring();
  ASSERT_TRUE(WaitUntil([] { return !Recorder::Get().Of(LINE_LINEDEVSTATE).empty(); }));
  peer_->Ring();
  ASSERT_TRUE(WaitUntil([] { return Recorder::Get().Of(LINE_LINEDEVSTATE).size() == 2; }));
  const auto offered = Recorder::Get().Of(LINE_CALLSTATE);
  ASSERT_EQ(offered.size(), 1u);
  EXPECT_EQ(offered[0].p1, LINECALLSTATE_OFFERING);
  EXPECT_EQ(offered[0].p3, LINECALLPRIVILEGE_OWNER);
  EXPECT_EQ(Recorder::Get().Of(LINE_LINEDEVSTATE)[1].p3, 2u);  // the ring count
  const HCALL call = static_cast<HCALL>(offered[0].device);
  // While a call is offered the modem cannot dial.
  HCALL other = 0;
  EXPECT_EQ(Dial(line, &other, "1", kData), LINEERR_CALLUNAVAIL);

  ASSERT_GT(lineAnswer(call, nullptr, 0), 0);
  ASSERT_TRUE(WaitState(call, LINECALLSTATE_CONNECTED));
  EXPECT_EQ(peer_->Commands().back(), "ATA");
  ASSERT_TRUE(DropAndWait(call));
  EXPECT_NE(peer_->Received().find("+++"), std::string::npos);
}

TEST_F(ModemLineTest, RingsThatStopOrAreRejectedEndTheOfferedCall) {
  Open();
  peer_->Ring();
  ASSERT_TRUE(WaitUntil([] { return !Recorder::Get().Of(LINE_CALLSTATE).empty(); }));
  const HCALL gave_up = static_cast<HCALL>(Recorder::Get().Of(LINE_CALLSTATE)[0].device);
  ASSERT_TRUE(WaitState(gave_up, LINECALLSTATE_IDLE));  // after the ring gap
  ASSERT_EQ(lineDeallocateCall(gave_up), 0);

  peer_->Ring();
  ASSERT_TRUE(WaitUntil([] { return Recorder::Get().Of(LINE_CALLSTATE).size() == 3; }));
  const HCALL rejected = static_cast<HCALL>(Recorder::Get().Of(LINE_CALLSTATE)[2].device);
  ASSERT_NE(rejected, gave_up);
  ASSERT_TRUE(DropAndWait(rejected));
  // Its further rings offer nothing new.
  peer_->Ring();
  Pump(std::chrono::milliseconds(100));
  EXPECT_EQ(Recorder::Get().Of(LINE_CALLSTATE).size(), 4u);
  const auto commands = peer_->Commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "ATA"), 0);
}

TEST_F(ModemLineTest, DangerousDialStringsAreRefusedAndNothingIsWritten) {
  const HLINE line = Open();
  const std::string too_long(37, '5');  // "ATDT" + 37 digits + ";" is 42
  for (const char* number : {"555\r1234", "555\nATH", "555;ATZ", "12A34", "1\"2", "ATDT1", too_long.c_str()}) {
    SCOPED_TRACE(number);
    HCALL call = 0;
    EXPECT_EQ(Dial(line, &call, number, kVoice), LINEERR_INVALADDRESS);
  }
  Pump(milliseconds(100));
  EXPECT_EQ(peer_->Received(), "");
}

TEST_F(ModemLineTest, NumberIsCleanedAndThePlusBecomesTheInternationalPrefix) {
  const HLINE line = Open();
  HCALL call = 0;
  ASSERT_GT(Dial(line, &call, "+98 (21) 555-12,34#", kVoice), 0);
  ASSERT_TRUE(WaitState(call, LINECALLSTATE_CONNECTED));
  EXPECT_TRUE(peer_->WaitForCommand("ATDT00982155512,34#;", milliseconds(100)));
  ASSERT_TRUE(DropAndWait(call));
  // Pulse dialling when the configuration does not ask for tone.
  SetSpeaker(MDMVOL_LOW, MDMSPKR_DIAL, 0);
  ASSERT_GT(Dial(line, &call, "W123", kVoice), 0);
  ASSERT_TRUE(WaitState(call, LINECALLSTATE_CONNECTED));
  EXPECT_TRUE(peer_->WaitForCommand("ATDPW123;", milliseconds(100)));
  ASSERT_TRUE(DropAndWait(call));
}

TEST_F(ModemLineTest, DeviceThatDisappearsClosesTheLineAndReopensCleanly) {
  const HLINE line = Open();
  HCALL call = 0;
  ASSERT_GT(Dial(line, &call, "5551234", kData), 0);
  ASSERT_TRUE(WaitState(call, LINECALLSTATE_CONNECTED));
  ASSERT_TRUE(std::filesystem::exists(LockPath()));

  peer_->Vanish();
  ASSERT_TRUE(WaitUntil([] { return !Recorder::Get().Of(LINE_CLOSE).empty(); }));
  EXPECT_EQ(Recorder::Get().Of(LINE_CLOSE)[0].device, line);
  EXPECT_EQ(Recorder::Get().StatesOf(call).back(), LINECALLSTATE_IDLE);
  EXPECT_FALSE(std::filesystem::exists(LockPath()));
  EXPECT_EQ(lineClose(line), LINEERR_INVALLINEHANDLE);
  EXPECT_EQ(lineDeallocateCall(call), LINEERR_INVALCALLHANDLE);

  // While it is gone, opening says so; once back, everything works again.
  HLINE again = 0;
  EXPECT_EQ(lineOpen(app_, 0, &again, kApiVersion22, 0, 0, LINECALLPRIVILEGE_OWNER, kData, nullptr),
            LINEERR_NODEVICE);
  peer_ = std::make_unique<ModemPeer>();
  PointDeviceAt(peer_->SlavePath());
  again = Open();
  HCALL second = 0;
  ASSERT_GT(Dial(again, &second, "5551234", kData), 0);
  ASSERT_TRUE(WaitState(second, LINECALLSTATE_CONNECTED));
  ASSERT_TRUE(DropAndWait(second));
}

TEST_F(ModemLineTest, PortLockedByALiveProcessIsBusyAndAStaleLockIsTakenOver) {
  // A live holder: our parent process.
  {
    std::ofstream lock(LockPath());
    lock << "      " << ::getppid() << "\n";
  }
  HLINE line = 0;
  EXPECT_EQ(lineOpen(app_, 0, &line, kApiVersion22, 0, 0, LINECALLPRIVILEGE_OWNER, kData, nullptr),
            LINEERR_ALLOCATED);
  EXPECT_EQ(peer_->Received(), "");

  // A dead holder: a child that has exited.
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  {
    std::ofstream lock(LockPath(), std::ios::trunc);
    lock << "      " << child << "\n";
  }
  line = Open();
  std::ifstream lock(LockPath());
  long holder = 0;
  lock >> holder;
  EXPECT_EQ(holder, ::getpid());
  ASSERT_EQ(lineClose(line), 0);
  EXPECT_FALSE(std::filesystem::exists(LockPath()));
}

TEST_F(ModemLineTest, DeviceConfigurationIsKeptInThePlatformStore) {
  SetSpeaker(MDMVOL_HIGH, MDMSPKR_OFF);
  ASSERT_EQ(lineShutdown(app_), 0);
  DWORD version = kApiVersion22, devices = 0;
  ASSERT_EQ(lineInitializeExW(&app_, nullptr, &Recorder::Callback, nullptr, &devices, &version, nullptr), 0);
  std::vector<std::uint8_t> buf(2048);
  auto* config = reinterpret_cast<VARSTRING*>(buf.data());
  config->dwTotalSize = 2048;
  ASSERT_EQ(lineGetDevConfig(0, config, "comm/datamodem"), 0);
  EXPECT_EQ(config->dwStringFormat, STRINGFORMAT_BINARY);
  ASSERT_EQ(config->dwStringSize, kDeviceConfigSize);
  EXPECT_EQ(config->dwStringOffset, sizeof(VARSTRING));  // callers take the block at byte 24
  const std::uint8_t* block = buf.data() + config->dwStringOffset;
  DWORD subtype, volume, mode;
  std::memcpy(&subtype, block + 48, 4);
  std::memcpy(&volume, block + 84, 4);
  std::memcpy(&mode, block + 88, 4);
  EXPECT_EQ(subtype, PST_MODEM);
  EXPECT_EQ(volume, MDMVOL_HIGH);
  EXPECT_EQ(mode, MDMSPKR_OFF);
  // A block too short for the modem settings is refused.
  EXPECT_EQ(lineSetDevConfig(0, block, 60, "comm/datamodem"), LINEERR_INVALPARAM);
  EXPECT_EQ(lineSetDevConfig(0, block, kDeviceConfigSize, "wave/in"), LINEERR_INVALDEVICECLASS);
}

TEST_F(ModemLineTest, ResultsInPiecesOrAfterNoiseStillDecideTheCall) {
  struct Case {
    const char* name;
    bool trickle;
    std::string noise;
    Outcome outcome;
    DWORD state, mode;
  };
  const Case cases[] = {
      {"busy in pieces", true, "", Outcome::kBusy, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_BUSY},
      {"connect in pieces", true, "", Outcome::kConnect, LINECALLSTATE_CONNECTED, 0},
      {"binary noise", false, std::string("\x00\xff\x80\x1b[2J\x7f\x00", 9), Outcome::kNoAnswer,
       LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NOANSWER},
      {"binary noise in pieces", true, std::string("\x00\xfe\x03", 3), Outcome::kConnect, LINECALLSTATE_CONNECTED, 0},
      {"a long run of noise", false, std::string(20000, '~'), Outcome::kBusy, LINECALLSTATE_DISCONNECTED,
       LINEDISCONNECTMODE_BUSY},
  };
  const HLINE line = Open();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ModemPeer::Behaviour b;
    b.outcome = c.outcome;
    b.trickle = c.trickle;
    b.noise = c.noise;
    peer_->SetBehaviour(b);
    HCALL call = 0;
    const LONG request = Dial(line, &call, "5551234", kData);
    ASSERT_GT(request, 0);
    ASSERT_TRUE(WaitState(call, c.state));
    EXPECT_EQ(ReplyResult(Recorder::Get().ReplyTo(request)), 0);
    EXPECT_EQ(LastMode(call), c.mode);
    ASSERT_TRUE(DropAndWait(call));
  }
}

TEST_F(ModemLineTest, DeviceThatDisappearsAtAnyStepEndsTheCallAndClosesTheLine) {
  struct Case {
    const char* name;
    std::string vanish_on;  // the command the device disappears at
    bool drop;              // the call is connected and then dropped
  };
  const Case cases[] = {
      {"while resetting", "ATZ", false},
      {"while setting the speaker", "ATL", false},
      {"while dialling", "ATD", false},
      {"while hanging up", "ATH", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ModemPeer::Behaviour b;
    b.outcome = Outcome::kSilence;
    if (!c.drop) b.vanish_on = c.vanish_on;
    if (c.drop) b.outcome = Outcome::kConnect;
    ReplacePeer(b);
    const std::size_t closes = Recorder::Get().Of(LINE_CLOSE).size();
    const HLINE line = Open();
    HCALL call = 0;
    const LONG request = Dial(line, &call, "5551234", kData);
    ASSERT_GT(request, 0);
    LONG drop = 0;
    if (c.drop) {
      ASSERT_TRUE(WaitState(call, LINECALLSTATE_CONNECTED));
      b.vanish_on = c.vanish_on;
      peer_->SetBehaviour(b);
      drop = lineDrop(call, nullptr, 0);
      ASSERT_GT(drop, 0);
    }
    // The provider notices, whatever it was waiting for: no request is left
    // without its reply, a call that was made ends idle, the line closes
    // and its lock goes.
    ASSERT_TRUE(WaitUntil([&] { return Recorder::Get().Of(LINE_CLOSE).size() > closes; }));
    ASSERT_TRUE(WaitUntil([&] { return Recorder::Get().ReplyTo(request) != nullptr; }));
    if (c.drop) {
      ASSERT_TRUE(WaitUntil([&] { return Recorder::Get().ReplyTo(drop) != nullptr; }));
    }
    if (ReplyResult(Recorder::Get().ReplyTo(request)) == 0) {
      ASSERT_NE(call, 0u);
      EXPECT_TRUE(WaitState(call, LINECALLSTATE_IDLE));
    }
    EXPECT_TRUE(WaitUntil([&] { return !std::filesystem::exists(LockPath()); }));
    EXPECT_EQ(lineClose(line), LINEERR_INVALLINEHANDLE);
  }
}

TEST_F(ModemLineTest, ServiceCallsReturnWhileTheModemKeepsTheWorkerWaiting) {
  // Long time-outs: a service call that waited for the worker would take
  // seconds; the calling (GUI) thread must get its answer at once.
  constexpr int kCommandTimeoutMs = 6000;
  ASSERT_NO_FATAL_FAILURE(Reinitialise(kCommandTimeoutMs, 2 * kCommandTimeoutMs));
  ModemPeer::Behaviour b;
  b.silent = true;
  peer_->SetBehaviour(b);
  const HLINE line = Open();
  HCALL call = 0;
  const auto start = std::chrono::steady_clock::now();
  const LONG request = Dial(line, &call, "5551234", kData);
  ASSERT_GT(request, 0);
  ASSERT_TRUE(peer_->WaitForCommand("ATZ", milliseconds(2000)));  // the worker now waits for an answer
  EXPECT_EQ(lineClose(line), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(kCommandTimeoutMs / 3));
}

}  // namespace
}  // namespace telvora::tapi::test
