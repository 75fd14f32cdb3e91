#include "tapi/device_config_block.h"

#include <cstring>

namespace telvora::tapi {
namespace {

constexpr std::size_t kSizeAt = 0;
constexpr std::size_t kVersionAt = 4;
constexpr std::size_t kCommConfigSizeAt = 12;
constexpr std::size_t kCommConfigVersionAt = 16;
constexpr std::size_t kDcbLengthAt = 20;
constexpr std::size_t kProviderOffsetAt = 52;
constexpr std::size_t kProviderSizeAt = 56;
constexpr std::size_t kModemSettingsAt = 60;
constexpr std::size_t kModemSettingsActualSizeAt = 60;
constexpr std::size_t kModemSettingsRequiredSizeAt = 64;
constexpr std::size_t kInactivityTimeoutAt = 80;
constexpr DWORD kConfigVersion = 0x00010003;
constexpr DWORD kDcbLength = 28;
constexpr WORD kCommConfigVersion = 1;
constexpr DWORD kCommConfigSize = kDeviceConfigSize - kCommConfigSizeAt;
constexpr DWORD kModemSettingsSize = kDeviceConfigSize - kModemSettingsAt;

void Put32(std::vector<std::uint8_t>& b, std::size_t at, DWORD v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void Put16(std::vector<std::uint8_t>& b, std::size_t at, WORD v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
DWORD Get32(std::span<const std::uint8_t> b, std::size_t at) {
  return DWORD{b[at]} | DWORD{b[at + 1]} << 8 | DWORD{b[at + 2]} << 16 | DWORD{b[at + 3]} << 24;
}
WORD Get16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<WORD>(b[at] | b[at + 1] << 8);
}

}  // namespace

std::vector<std::uint8_t> EncodeDeviceConfig(const ModemSettings& s) {
  std::vector<std::uint8_t> b(kDeviceConfigSize, 0);
  Put32(b, kSizeAt, kDeviceConfigSize);
  Put32(b, kVersionAt, kConfigVersion);
  Put16(b, kConfigOptionsAt, s.options);
  Put32(b, kCommConfigSizeAt, kCommConfigSize);
  Put16(b, kCommConfigVersionAt, kCommConfigVersion);
  Put32(b, kDcbLengthAt, kDcbLength);
  Put32(b, kConfigBaudRateAt, s.baud_rate);
  Put32(b, kConfigProviderSubTypeAt, s.provider_subtype);
  Put32(b, kProviderOffsetAt, kModemSettingsAt - kCommConfigSizeAt);
  Put32(b, kProviderSizeAt, kModemSettingsSize);
  Put32(b, kModemSettingsActualSizeAt, kModemSettingsSize);
  Put32(b, kModemSettingsRequiredSizeAt, kModemSettingsSize);
  Put32(b, kConfigCallSetupFailTimerAt, s.call_setup_fail_timer);
  Put32(b, kInactivityTimeoutAt, 0);
  Put32(b, kConfigSpeakerVolumeAt, s.speaker_volume);
  Put32(b, kConfigSpeakerModeAt, s.speaker_mode);
  Put32(b, kConfigPreferredOptionsAt, s.preferred_options);
  return b;
}

std::optional<ModemSettings> DecodeDeviceConfig(std::span<const std::uint8_t> b) {
  if (b.size() < kDeviceConfigSize) return std::nullopt;
  ModemSettings s;
  s.options = Get16(b, kConfigOptionsAt);
  s.baud_rate = Get32(b, kConfigBaudRateAt);
  s.provider_subtype = Get32(b, kConfigProviderSubTypeAt);
  s.call_setup_fail_timer = Get32(b, kConfigCallSetupFailTimerAt);
  s.speaker_volume = Get32(b, kConfigSpeakerVolumeAt);
  s.speaker_mode = Get32(b, kConfigSpeakerModeAt);
  s.preferred_options = Get32(b, kConfigPreferredOptionsAt);
  return s;
}

}  // namespace telvora::tapi
