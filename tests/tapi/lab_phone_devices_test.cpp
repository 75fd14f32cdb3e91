// Phone devices over the lab phone: capabilities, hook switches with their
// replies and state notifications, volume, gain, ringer, lamps, display, and
// the refusals of what the phone lacks.

#include <cstring>

#include "tapi_test_support.h"

namespace telvora::tapi::test {
namespace {

class LabPhoneTest : public LabFixture {
 protected:
  void SetUp() override {
    LabFixture::SetUp();
    DWORD version = kApiVersion22;
    ASSERT_EQ(phoneInitializeExW(&phone_app_, nullptr, &Recorder::Callback, nullptr, &phones_, &version, nullptr), 0);
    ASSERT_EQ(phones_, 1u);
    ASSERT_EQ(phoneOpen(phone_app_, 0, &handle_, kApiVersion22, 0, 0x66, PHONEPRIVILEGE_OWNER), 0);
    ASSERT_EQ(phoneSetStatusMessages(handle_, PHONESTATE_HANDSETHOOKSWITCH | PHONESTATE_SPEAKERHOOKSWITCH |
                                                 PHONESTATE_DISPLAY | PHONESTATE_LAMP | PHONESTATE_RINGMODE,
                                     0, 0),
              0);
  }
  void TearDown() override {
    phoneShutdown(phone_app_);
    LabFixture::TearDown();
  }
  // Waits for the reply of an asynchronous phone request and returns it.
  LONG Reply(LONG request) {
    if (request <= 0) return request;
    WaitUntil([&] { return Recorder::Get().ReplyTo(request, PHONE_REPLY) != nullptr; });
    return ReplyResult(Recorder::Get().ReplyTo(request, PHONE_REPLY));
  }
  PHONESTATUS Status() {
    std::vector<std::uint8_t> buf(512);
    auto* s = reinterpret_cast<PHONESTATUS*>(buf.data());
    s->dwTotalSize = 512;
    EXPECT_EQ(phoneGetStatus(handle_, s), 0);
    return *s;
  }

  LabPhone* lab_phone() { return phone_; }
  HPHONEAPP phone_app_ = 0;
  DWORD phones_ = 0;
  HPHONE handle_ = 0;
};

TEST_F(LabPhoneTest, CapabilitiesDescribeTheLabPhone) {
  std::vector<std::uint8_t> buf(512);
  auto* caps = reinterpret_cast<PHONECAPS*>(buf.data());
  caps->dwTotalSize = 512;
  ASSERT_EQ(phoneGetDevCaps(phone_app_, 0, kApiVersion22, 0, caps), 0);
  EXPECT_EQ(caps->dwHookSwitchDevs, PHONEHOOKSWITCHDEV_HANDSET | PHONEHOOKSWITCHDEV_SPEAKER);
  EXPECT_EQ(caps->dwHandsetHookSwitchModes, 0x0Fu);
  EXPECT_EQ(caps->dwDisplayNumRows, 2u);
  EXPECT_EQ(caps->dwDisplayNumColumns, 16u);
  EXPECT_EQ(caps->dwNumRingModes, 3u);
  EXPECT_EQ(caps->dwNumButtonLamps, 4u);
  EXPECT_EQ(caps->dwStringFormat, STRINGFORMAT_UNICODE);
  DWORD version = 0;
  PHONEEXTENSIONID ext{};
  EXPECT_EQ(phoneNegotiateAPIVersion(phone_app_, 0, kApiVersion13, kApiVersion22, &version, &ext), 0);
  EXPECT_EQ(version, kApiVersion22);
  EXPECT_EQ(phoneNegotiateAPIVersion(phone_app_, 1, kApiVersion13, kApiVersion22, &version, &ext),
            PHONEERR_BADDEVICEID);
  EXPECT_EQ(phoneGetDevCaps(phone_app_, 1, kApiVersion22, 0, caps), PHONEERR_BADDEVICEID);
}

TEST_F(LabPhoneTest, HookSwitchRepliesThenReportsTheNewState) {
  const LONG request = phoneSetHookSwitch(handle_, PHONEHOOKSWITCHDEV_HANDSET, PHONEHOOKSWITCHMODE_MICSPEAKER);
  ASSERT_GT(request, 0);
  EXPECT_EQ(Reply(request), 0);
  ASSERT_TRUE(WaitUntil([] { return !Recorder::Get().Of(PHONE_STATE).empty(); }));
  const auto all = Recorder::Get().All();
  EXPECT_EQ(all[0].message, PHONE_REPLY);
  EXPECT_EQ(all[0].instance, 0x66u);
  EXPECT_EQ(all[1].message, PHONE_STATE);
  EXPECT_EQ(all[1].p1, PHONESTATE_HANDSETHOOKSWITCH);
  EXPECT_EQ(all[1].p2, PHONEHOOKSWITCHMODE_MICSPEAKER);
  EXPECT_EQ(Status().dwHandsetHookSwitchMode, PHONEHOOKSWITCHMODE_MICSPEAKER);
  DWORD off_hook = 0;
  EXPECT_EQ(phoneGetHookSwitch(handle_, &off_hook), 0);
  EXPECT_EQ(off_hook, PHONEHOOKSWITCHDEV_HANDSET);

  // The user puts the handset down.
  lab_phone()->ReplaceHandset();
  ASSERT_TRUE(WaitUntil([] { return Recorder::Get().Of(PHONE_STATE).size() == 2; }));
  EXPECT_EQ(Status().dwHandsetHookSwitchMode, PHONEHOOKSWITCHMODE_ONHOOK);

  // A refused change: the error in the reply, nothing changed.
  lab_phone()->QueueReply({0, PHONEERR_OPERATIONFAILED});
  EXPECT_EQ(Reply(phoneSetHookSwitch(handle_, PHONEHOOKSWITCHDEV_SPEAKER, PHONEHOOKSWITCHMODE_SPEAKER)),
            PHONEERR_OPERATIONFAILED);
  EXPECT_EQ(Status().dwSpeakerHookSwitchMode, PHONEHOOKSWITCHMODE_ONHOOK);

  EXPECT_EQ(phoneSetHookSwitch(handle_, PHONEHOOKSWITCHDEV_HEADSET, PHONEHOOKSWITCHMODE_MIC),
            PHONEERR_INVALHOOKSWITCHDEV);
  EXPECT_EQ(phoneSetHookSwitch(handle_, PHONEHOOKSWITCHDEV_HANDSET, PHONEHOOKSWITCHMODE_MIC | PHONEHOOKSWITCHMODE_SPEAKER),
            PHONEERR_INVALHOOKSWITCHMODE);
}

TEST_F(LabPhoneTest, VolumeGainRingLampAndDisplay) {
  EXPECT_EQ(phoneSetVolume(handle_, PHONEHOOKSWITCHDEV_HANDSET, 32768), 0);
  EXPECT_EQ(phoneSetGain(handle_, PHONEHOOKSWITCHDEV_SPEAKER, 70000), 0);  // above the range: the top
  EXPECT_EQ(phoneSetVolume(handle_, PHONEHOOKSWITCHDEV_HEADSET, 1), PHONEERR_INVALHOOKSWITCHDEV);
  EXPECT_EQ(Reply(phoneSetRing(handle_, 2, 1000)), 0);
  EXPECT_EQ(phoneSetRing(handle_, 4, 1000), PHONEERR_INVALRINGMODE);
  EXPECT_EQ(Reply(phoneSetLamp(handle_, 3, PHONELAMPMODE_FLASH)), 0);
  EXPECT_EQ(phoneSetLamp(handle_, 4, PHONELAMPMODE_FLASH), PHONEERR_INVALBUTTONLAMPID);
  EXPECT_EQ(phoneSetLamp(handle_, 0, 0x100), PHONEERR_INVALLAMPMODE);
  EXPECT_EQ(Reply(phoneSetDisplay(handle_, 1, 14, "Hello", 5)), 0);
  EXPECT_EQ(phoneSetDisplay(handle_, 2, 0, "x", 1), PHONEERR_INVALPARAM);

  const PHONESTATUS status = Status();
  EXPECT_EQ(status.dwHandsetVolume, 32768u);
  EXPECT_EQ(status.dwSpeakerGain, 0xFFFFu);
  DWORD mode = 0, volume = 0;
  EXPECT_EQ(phoneGetRing(handle_, &mode, &volume), 0);
  EXPECT_EQ(mode, 2u);
  EXPECT_EQ(volume, 1000u);
  EXPECT_EQ(phoneGetLamp(handle_, 3, &mode), 0);
  EXPECT_EQ(mode, PHONELAMPMODE_FLASH);

  std::vector<std::uint8_t> buf(128);
  auto* display = reinterpret_cast<VARSTRING*>(buf.data());
  display->dwTotalSize = 128;
  ASSERT_EQ(phoneGetDisplay(handle_, display), 0);
  ASSERT_EQ(display->dwStringSize, 32u);
  const std::string text(reinterpret_cast<char*>(buf.data() + display->dwStringOffset), 32);
  // Row 1 column 14: "He" ends the display, the rest falls off.
  EXPECT_EQ(text.substr(30), "He");
  EXPECT_EQ(text.substr(0, 30), std::string(30, ' '));
  ASSERT_TRUE(WaitUntil([] {
    DWORD seen = 0;
    for (const Received& r : Recorder::Get().Of(PHONE_STATE)) seen |= static_cast<DWORD>(r.p1);
    return (seen & (PHONESTATE_RINGMODE | PHONESTATE_LAMP | PHONESTATE_DISPLAY)) ==
           (PHONESTATE_RINGMODE | PHONESTATE_LAMP | PHONESTATE_DISPLAY);
  }));
  // Volume and gain changes were not asked for in the status messages.
  for (const Received& r : Recorder::Get().Of(PHONE_STATE)) {
    EXPECT_EQ(r.p1 & (PHONESTATE_HANDSETVOLUME | PHONESTATE_SPEAKERGAIN), 0u);
  }
}

TEST_F(LabPhoneTest, MonitorsMayWatchButOnlyOneOwnerMayChange) {
  HPHONE second = 0;
  EXPECT_EQ(phoneOpen(phone_app_, 0, &second, kApiVersion22, 0, 0, PHONEPRIVILEGE_OWNER), PHONEERR_INUSE);
  ASSERT_EQ(phoneOpen(phone_app_, 0, &second, kApiVersion22, 0, 0, PHONEPRIVILEGE_MONITOR), 0);
  EXPECT_EQ(phoneSetLamp(second, 0, PHONELAMPMODE_STEADY), PHONEERR_NOTOWNER);
  EXPECT_EQ(Status().dwNumMonitors, 1u);
  EXPECT_EQ(phoneClose(second), 0);
  EXPECT_EQ(phoneClose(second), PHONEERR_INVALPHONEHANDLE);
  EXPECT_EQ(phoneOpen(phone_app_, 0, &second, kApiVersion22, 0, 0, 3), PHONEERR_INVALPRIVILEGE);
}

TEST_F(LabPhoneTest, RemovedPhoneIsClosed) {
  lab_phone()->Remove();
  ASSERT_TRUE(WaitUntil([] { return !Recorder::Get().Of(PHONE_CLOSE).empty(); }));
  EXPECT_EQ(Recorder::Get().Of(PHONE_CLOSE)[0].device, handle_);
  EXPECT_EQ(phoneSetLamp(handle_, 0, PHONELAMPMODE_STEADY), PHONEERR_INVALPHONEHANDLE);
  handle_ = 0;
}

}  // namespace
}  // namespace telvora::tapi::test
