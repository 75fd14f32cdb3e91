#include "tapi/device_configuration.h"

#include <QSettings>
#include <QString>

#include <cstdlib>

#include "tapi/lab_line.h"
#include "tapi/lab_phone.h"
#include "tapi/modem_line.h"

namespace telvora::tapi {
namespace {

constexpr int kMaxLabLines = 16;

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> out;
  std::string item;
  for (char c : text + ",") {
    if (c == ',' || c == ':') {
      while (!item.empty() && item.back() == ' ') item.pop_back();
      std::size_t start = item.find_first_not_of(' ');
      if (start != std::string::npos) out.push_back(item.substr(start));
      item.clear();
    } else {
      item += c;
    }
  }
  return out;
}

const char* Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

}  // namespace

std::filesystem::path DeviceConfigurationFile() {
  std::filesystem::path base;
  if (const char* xdg = Env("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else if (const char* home = Env("HOME")) {
    base = std::filesystem::path(home) / ".config";
  } else {
    return {};
  }
  return base / "telvora" / "telephony.ini";
}

DeviceConfiguration LoadDeviceConfiguration() {
  DeviceConfiguration config;
  ModemOptions defaults;
  std::vector<std::string> devices;
  const std::filesystem::path file = DeviceConfigurationFile();
  std::error_code ec;
  if (!file.empty() && std::filesystem::exists(file, ec)) {
    QSettings ini(QString::fromStdString(file.string()), QSettings::IniFormat);
    devices = SplitList(ini.value("modems/devices").toStringList().join(',').toStdString());
    defaults.lock_dir = ini.value("modems/lock_dir", QString::fromStdString(defaults.lock_dir)).toString().toStdString();
    defaults.international_prefix =
        ini.value("modems/international_prefix", QString::fromStdString(defaults.international_prefix))
            .toString()
            .toStdString();
    defaults.command_timeout_ms = ini.value("modems/command_timeout_ms", defaults.command_timeout_ms).toInt();
    defaults.dial_timeout_ms = ini.value("modems/dial_timeout_ms", defaults.dial_timeout_ms).toInt();
    defaults.dial_settle_ms = ini.value("modems/dial_settle_ms", defaults.dial_settle_ms).toInt();
    defaults.escape_guard_ms = ini.value("modems/escape_guard_ms", defaults.escape_guard_ms).toInt();
    defaults.abort_wait_ms = ini.value("modems/abort_wait_ms", defaults.abort_wait_ms).toInt();
    config.lab_lines = ini.value("lab/lines", 0).toInt();
  }
  if (const char* modems = Env("TELVORA_MODEMS")) devices = SplitList(modems);
  if (const char* lock_dir = Env("TELVORA_MODEM_LOCK_DIR")) defaults.lock_dir = lock_dir;
  if (const char* prefix = Env("TELVORA_INTERNATIONAL_PREFIX")) defaults.international_prefix = prefix;
  if (const char* lab = Env("TELVORA_LAB_LINES")) config.lab_lines = std::atoi(lab);
  if (config.lab_lines < 0) config.lab_lines = 0;
  if (config.lab_lines > kMaxLabLines) config.lab_lines = kMaxLabLines;
  for (const std::string& device : devices) {
    ModemOptions options = defaults;
    options.device = device;
    config.modems.push_back(options);
  }
  return config;
}

DeviceSet DevicesFromConfiguration(const DeviceConfiguration& configuration) {
  DeviceSet set;
  for (const ModemOptions& options : configuration.modems) {
    set.lines.push_back(std::make_unique<ModemLine>(options));
  }
  for (int i = 0; i < configuration.lab_lines; ++i) {
    LineDeviceCaps caps = LabLine::DefaultCaps(i, i == 0);
    caps.phone_device = i == 0 ? 0 : -1;
    set.lines.push_back(std::make_unique<LabLine>(caps));
  }
  if (configuration.lab_lines > 0) set.phones.push_back(std::make_unique<LabPhone>(LabPhone::DefaultCaps(0)));
  return set;
}

}  // namespace telvora::tapi
