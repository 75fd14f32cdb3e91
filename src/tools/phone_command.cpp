#include "tools/phone_command.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QString>
#include <QTimer>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "telephony/result_texts.h"
#include "telephony/tel_phone.h"
#include "tools/phone_names.h"

namespace telvora::tools {
namespace {

using Json = nlohmann::ordered_json;
using telephony::TelPhone;

constexpr int kExitOk = 0;
constexpr int kExitError = 2;
constexpr int kDefaultDialTimeoutMs = 60000;

constexpr char kUsage[] =
    "usage: telvora-phone lines\n"
    "       telvora-phone dial NUMBER [--line N] [--media voice|data|fax] [--hangup-after SECONDS]"
    " [--timeout MS]\n";

struct UsageError {
  std::string message;
};

// Writes the JSON lines, each stamped with the seconds since start.
class EventWriter {
 public:
  explicit EventWriter(std::ostream& out) : out_(out), start_(std::chrono::steady_clock::now()) {}

  void Emit(const std::string& event, const Json& fields) {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start_);
    Json rest;
    rest["event"] = event;
    for (const auto& [key, value] : fields.items()) rest[key] = value;
    // "t" always with three decimals, which a JSON number would not keep.
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%lld.%03lld", static_cast<long long>(elapsed.count() / 1000),
                  static_cast<long long>(elapsed.count() % 1000));
    out_ << "{\"t\":" << stamp << "," << rest.dump().substr(1) << '\n';
    out_.flush();
  }

  void Result(const std::string& op, int code) {
    Emit("result", Json{{"op", op}, {"code", code}, {"text", telephony::ResultText(code)}});
  }

 private:
  std::ostream& out_;
  std::chrono::steady_clock::time_point start_;
};

std::string Failure(const std::string& op, int code) {
  return op + " failed (" + std::to_string(code) + "): " + telephony::ResultText(code);
}

int Fail(std::ostream& err, const std::string& message) {
  err << "telvora-phone: " << message << '\n';
  return kExitError;
}

int ParseInt(const std::string& option, const std::string& text) {
  try {
    std::size_t used = 0;
    const int value = std::stoi(text, &used);
    if (used == text.size()) return value;
  } catch (const std::exception&) {
  }
  throw UsageError{"invalid value for " + option + ": " + text};
}

double ParseSeconds(const std::string& option, const std::string& text) {
  try {
    std::size_t used = 0;
    const double value = std::stod(text, &used);
    if (used == text.size() && std::isfinite(value) && value >= 0) return value;
  } catch (const std::exception&) {
  }
  throw UsageError{"invalid value for " + option + ": " + text};
}

int Lines(std::ostream& out, std::ostream& err) {
  EventWriter writer(out);
  TelPhone phone(nullptr);
  std::optional<int> init_error;
  phone.OnLineState = [&](telephony::TSender, telephony::TLineState state, int param) {
    if (state == telephony::lsError) init_error = param;
  };
  const int count = phone.NumberOfLines();
  if (init_error) return Fail(err, Failure("TAPI initialisation", *init_error));
  std::optional<std::string> failure;
  for (int id = 0; id < count; ++id) {
    int caps = 0, addresses = 0;
    std::u16string name;
    const int caps_result = phone.GetLineCaps(id, caps);
    const int name_result = phone.GetLineName(id, name);
    const int addresses_result = phone.GetNumberOfAddresses(id, addresses);
    for (const auto& [op, code] : {std::pair<const char*, int>{"GetLineCaps", caps_result},
                                   {"GetLineName", name_result},
                                   {"GetNumberOfAddresses", addresses_result}}) {
      if (code == 0) continue;
      writer.Result(op, code);
      if (!failure) failure = Failure(op, code) + " (line " + std::to_string(id) + ")";
    }
    writer.Emit("line", Json{{"id", id},
                             {"name", QString::fromStdU16String(name).toStdString()},
                             {"caps", caps},
                             {"addresses", addresses}});
  }
  return failure ? Fail(err, *failure) : kExitOk;
}

struct DialOptions {
  std::string number;
  int line = 0;
  telephony::TMediaMode media = telephony::mmVoice;
  std::optional<double> hangup_after;
  int timeout_ms = kDefaultDialTimeoutMs;
};

DialOptions ParseDial(const std::vector<std::string>& args) {
  DialOptions o;
  bool have_number = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw UsageError{a + " needs a value"};
      return args[++i];
    };
    if (a == "--line") {
      o.line = ParseInt(a, value());
    } else if (a == "--media") {
      const std::string& m = value();
      if (m == "voice") {
        o.media = telephony::mmVoice;
      } else if (m == "data") {
        o.media = telephony::mmData;
      } else if (m == "fax") {
        o.media = telephony::mmFax;
      } else {
        throw UsageError{"invalid value for --media: " + m};
      }
    } else if (a == "--hangup-after") {
      o.hangup_after = ParseSeconds(a, value());
    } else if (a == "--timeout") {
      o.timeout_ms = ParseInt(a, value());
      if (o.timeout_ms < 0) throw UsageError{"invalid value for --timeout: " + args[i]};
    } else if (a.rfind("--", 0) == 0) {
      throw UsageError{"unknown option " + a};
    } else if (!have_number) {
      o.number = a;
      have_number = true;
    } else {
      throw UsageError{"unexpected argument " + a};
    }
  }
  if (!have_number) throw UsageError{"dial needs a NUMBER"};
  return o;
}

int Dial(const DialOptions& o, std::ostream& out, std::ostream& err) {
  EventWriter writer(out);
  TelPhone phone(nullptr);
  phone.SetMediaMode(o.media);
  QEventLoop loop;
  std::optional<std::string> failure;
  bool idle = false;
  phone.OnLineState = [&](telephony::TSender, telephony::TLineState state, int param) {
    writer.Emit("line-state", Json{{"state", LineStateName(state)}, {"param", param}});
    if (state == telephony::lsError) {
      if (!failure) failure = Failure("the request", param);
      loop.quit();
    } else if (state == telephony::lsDeactivated && param == 0) {
      if (!failure) failure = "the line was closed";
      loop.quit();
    }
  };
  phone.OnCallState = [&](telephony::TSender, telephony::TCallState state, int p1, int p2, int call) {
    writer.Emit("call-state",
                Json{{"state", CallStateName(state)}, {"param1", p1}, {"param2", p2}, {"call", call}});
    if (state == telephony::csDisconnected || state == telephony::csOfferedCallDropped) {
      idle = true;
      loop.quit();
    }
  };

  int result = phone.LineActive(o.line, true);
  writer.Result("LineActive", result);
  if (result != 0) return Fail(err, Failure("LineActive", result));
  result = phone.DialNumber(o.number, 0);
  writer.Result("DialNumber", result);
  if (result != 0) return Fail(err, Failure("DialNumber", result));

  QTimer hangup_timer;
  hangup_timer.setSingleShot(true);
  QObject::connect(&hangup_timer, &QTimer::timeout, [&] {
    const int code = phone.Hangup();
    writer.Result("Hangup", code);
    if (code != 0 && !failure) failure = Failure("Hangup", code);
  });
  if (o.hangup_after) hangup_timer.start(static_cast<int>(std::lround(*o.hangup_after * 1000)));
  bool timed_out = false;
  QTimer deadline;
  deadline.setSingleShot(true);
  QObject::connect(&deadline, &QTimer::timeout, [&] {
    timed_out = true;
    loop.quit();
  });
  deadline.start(o.timeout_ms);
  if (!idle && !failure) loop.exec();
  if (failure) return Fail(err, *failure);
  if (timed_out && !idle) return Fail(err, "the call did not end within " + std::to_string(o.timeout_ms) + " ms");
  return kExitOk;
}

}  // namespace

int RunPhoneCommand(int argc, char** argv, std::ostream& out, std::ostream& err) {
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.empty()) throw UsageError{"missing command (lines or dial)"};
    for (const std::string& a : args) {
      if (a == "--help" || a == "-h") {
        out << kUsage;
        return kExitOk;
      }
    }
    const std::string command = args.front();
    args.erase(args.begin());
    if (command == "lines") {
      if (!args.empty()) throw UsageError{"unexpected argument " + args.front()};
      return Lines(out, err);
    }
    if (command == "dial") return Dial(ParseDial(args), out, err);
    throw UsageError{"unknown command " + command};
  } catch (const UsageError& e) {
    return Fail(err, e.message);
  }
}

}  // namespace telvora::tools
