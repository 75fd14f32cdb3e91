#pragma once
// A simulated phone device (the handset and speaker of a lab line): hook
// switches, volume and gain, a ringer, button lamps and a display. Requests
// succeed unless a reply was scripted; the user at the phone is played by
// LiftHandset/ReplaceHandset/PressSpeaker, which report PHONE_STATE.
//
// Threads: like LabLine, replies and the state changes they cause reach the
// service from the device's worker thread; every method is safe from any
// thread.

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "tapi/delayed_runner.h"
#include "tapi/lab_line.h"
#include "tapi/phone_device.h"

namespace telvora::tapi {

class LabPhone : public PhoneDevice {
 public:
  explicit LabPhone(PhoneDeviceCaps caps);
  ~LabPhone() override;

  static PhoneDeviceCaps DefaultCaps(int index);

  // The next asynchronous request is answered this way (first queued first).
  void QueueReply(LabReply reply);
  void LiftHandset() { UserSets(PHONEHOOKSWITCHDEV_HANDSET, PHONEHOOKSWITCHMODE_MICSPEAKER); }
  void ReplaceHandset() { UserSets(PHONEHOOKSWITCHDEV_HANDSET, PHONEHOOKSWITCHMODE_ONHOOK); }
  void PressSpeaker(DWORD mode) { UserSets(PHONEHOOKSWITCHDEV_SPEAKER, mode); }
  void Remove();
  std::vector<std::string> Log() const;

  // PhoneDevice
  PhoneDeviceCaps Caps() const override { return caps_; }
  LONG Open(PhoneEventSink* sink) override;
  void Close() override;
  PhoneState State() const override;
  LONG SetHookSwitch(DWORD request, DWORD devs, DWORD mode) override;
  LONG SetRing(DWORD request, DWORD ring_mode, DWORD volume) override;
  LONG SetLamp(DWORD request, DWORD lamp, DWORD mode) override;
  LONG SetDisplay(DWORD request, DWORD row, DWORD column, const std::vector<std::uint8_t>& text) override;
  LONG SetVolume(DWORD dev, DWORD volume) override;
  LONG SetGain(DWORD dev, DWORD gain) override;

 private:
  void UserSets(DWORD dev, DWORD mode);
  // REQUIRES: mu_ held. Answers request as scripted; on success applies
  // `apply` (under mu_, on the worker) and reports `states`.
  LONG Respond(DWORD request, DWORD states, std::function<void(PhoneState&)> apply, const std::string& log);

  const PhoneDeviceCaps caps_;
  mutable std::mutex mu_;
  PhoneEventSink* sink_ = nullptr;
  PhoneState state_;
  std::deque<LabReply> replies_;
  std::vector<std::string> log_;
  DelayedRunner runner_;
};

}  // namespace telvora::tapi
