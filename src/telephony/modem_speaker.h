#pragma once
// TModemSpeaker: the modem speaker's volume and mode, written into the
// modem's device configuration each time the line is activated. The first
// three volumes and the first four modes are the modem settings' own values
// (MDMVOL_, MDMSPKR_); svDefault and smDefault leave the modem's setting as
// it is. The setters only store the value.
//
// Threads: GUI thread only.

#include <cstdint>

namespace telvora::telephony {

enum TModemSpeakerVolume : std::uint8_t { svLow, svMedium, svHigh, svDefault };
enum TModemSpeakerMode : std::uint8_t { smOff, smDial, smOn, smCallSetup, smDefault };

class TModemSpeaker {
 public:
  TModemSpeakerVolume Volume() const { return volume_; }
  void SetVolume(TModemSpeakerVolume value) { volume_ = value; }
  TModemSpeakerMode Mode() const { return mode_; }
  void SetMode(TModemSpeakerMode value) { mode_ = value; }
  void Assign(const TModemSpeaker& other) {
    volume_ = other.volume_;
    mode_ = other.mode_;
  }

 private:
  TModemSpeakerVolume volume_ = svDefault;
  TModemSpeakerMode mode_ = smDefault;
};

}  // namespace telvora::telephony
