#pragma once
// A modem's device configuration block, the bytes lineGetDevConfig and
// lineSetDevConfig exchange for "comm/datamodem". It keeps the layout of the
// Windows modem configuration (a small header, a COMMCONFIG with its DCB,
// then MODEMSETTINGS), little-endian, so that code written for it finds its
// fields at the usual places:
//
//   offset width field
//        0    32 size of the block (104)
//        4    32 version (0x00010003)
//        8    16 options word (8 = show status lights; kept, no effect here)
//       10    16 wait for bong (seconds; unused)
//       12    32 COMMCONFIG size (92)
//       16    16 COMMCONFIG version (1)
//       20    28 DCB; its baud rate at 24 is the serial speed
//       48    32 provider subtype (6 = modem)
//       52    32 provider data offset within COMMCONFIG (48)
//       56    32 provider data size (44)
//       60    32 MODEMSETTINGS actual size (44)
//       64    32 required size (44)
//       76    32 call set-up fail timer, seconds
//       80    32 inactivity time-out, seconds
//       84    32 speaker volume (MDMVOL_)
//       88    32 speaker mode (MDMSPKR_)
//       92    32 preferred modem options (MDM_ bits; MDM_TONE_DIAL, MDM_BLIND_DIAL)
//       96    32 negotiated options
//      100    32 negotiated rate
//
// Pure functions; any thread.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "tapi/tapi_constants.h"

namespace telvora::tapi {

inline constexpr std::size_t kDeviceConfigSize = 104;
inline constexpr std::size_t kDeviceConfigMaxSize = 1024;
inline constexpr std::size_t kConfigOptionsAt = 8;
inline constexpr std::size_t kConfigBaudRateAt = 24;
inline constexpr std::size_t kConfigProviderSubTypeAt = 48;
inline constexpr std::size_t kConfigCallSetupFailTimerAt = 76;
inline constexpr std::size_t kConfigSpeakerVolumeAt = 84;
inline constexpr std::size_t kConfigSpeakerModeAt = 88;
inline constexpr std::size_t kConfigPreferredOptionsAt = 92;
inline constexpr WORD kConfigOptionLaunchLights = 8;

struct ModemSettings {
  WORD options = 0;
  DWORD baud_rate = 115200;
  DWORD provider_subtype = PST_MODEM;
  DWORD call_setup_fail_timer = 60;
  DWORD speaker_volume = MDMVOL_LOW;
  DWORD speaker_mode = MDMSPKR_DIAL;
  DWORD preferred_options = MDM_TONE_DIAL;
};

std::vector<std::uint8_t> EncodeDeviceConfig(const ModemSettings& settings);
// Nothing when the block is shorter than kDeviceConfigSize.
std::optional<ModemSettings> DecodeDeviceConfig(std::span<const std::uint8_t> block);

}  // namespace telvora::tapi
