#pragma once
// Which telephony devices this machine has: platform configuration, never
// the phone book's. Read when the service starts (the first application
// initialises):
//
//   environment                         file ($XDG_CONFIG_HOME/telvora/telephony.ini,
//                                       else ~/.config/telvora/telephony.ini)
//   TELVORA_MODEMS=/dev/ttyACM0,...     [modems] devices=/dev/ttyACM0,/dev/ttyUSB0
//   TELVORA_LAB_LINES=N                 [lab] lines=N
//   TELVORA_MODEM_LOCK_DIR=/var/lock    [modems] lock_dir=/var/lock
//   TELVORA_INTERNATIONAL_PREFIX=00     [modems] international_prefix=00
//                                       [modems] command_timeout_ms, dial_timeout_ms,
//                                       dial_settle_ms, escape_guard_ms, abort_wait_ms
//
// The environment wins over the file. Modems come first (line devices 0,
// 1, ...), lab lines after them; the first lab line has a lab phone (phone
// device 0). With nothing configured the service has no devices.
//
// Pure functions of the environment and the file; any thread.

#include <filesystem>
#include <string>
#include <vector>

#include "tapi/tapi.h"

namespace telvora::tapi {

struct ModemOptions {
  std::string device;
  std::string lock_dir = "/var/lock";
  std::string international_prefix = "00";
  int command_timeout_ms = 3000;  // a command's result
  int dial_timeout_ms = 0;        // 0: the configuration's call set-up time + a margin
  int dial_settle_ms = 500;       // the dial's head start before an abort
  int escape_guard_ms = 1100;     // silence around "+++"
  int abort_wait_ms = 2000;       // the result of an aborted dial
};

struct DeviceConfiguration {
  std::vector<ModemOptions> modems;
  int lab_lines = 0;
};

std::filesystem::path DeviceConfigurationFile();
DeviceConfiguration LoadDeviceConfiguration();
DeviceSet DevicesFromConfiguration(const DeviceConfiguration& configuration);

}  // namespace telvora::tapi
