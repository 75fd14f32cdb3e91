#pragma once
// The state behind the line and phone functions (tapi.h): applications,
// devices, open lines and phones, calls and pending requests, one instance
// per process as TAPI is one service per machine.
//
// Invariants: every handle (application, line, phone, call) is unique for
// the process's life and never 0; a call belongs to exactly one open line; a
// call created by an asynchronous request is invisible to the caller (its
// handle unknown) until the request completes, and a failed request removes
// it. Notifications are posted under the lock, so their order is the order of
// the changes they report.
//
// Locks: `gate` serialises opening and closing of devices (provider Open and
// Close may block and are called without `mu`); `mu` guards everything else
// and is taken after `gate`. Device sinks take only `mu`.

#include <QPointer>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tapi/notifier.h"
#include "tapi/tapi.h"

namespace telvora::tapi {

class TapiService {
 public:
  static TapiService& Instance();

  struct App {
    DWORD handle = 0;
    bool phone = false;      // a phone application (phoneInitialize*)
    bool unicode = false;    // initialised through a "W" function
    QPointer<Notifier> notifier;
  };
  struct Line {
    HLINE handle = 0;
    HLINEAPP app = 0;
    DWORD device = 0;
    DWORD_PTR instance = 0;
    DWORD privileges = 0;
    DWORD media_modes = 0;
    DWORD version = 0;
    DWORD line_states = 0;
  };
  struct Call {
    HCALL handle = 0;
    HLINE line = 0;
    DWORD device = 0;
    DWORD state = 0;  // 0 until the device reports one
    DWORD mode = 0;
    DWORD privilege = LINECALLPRIVILEGE_OWNER;
    DWORD creating_request = 0;  // the request that makes it, while pending
    bool announced = false;      // the owner has had a LINE_CALLSTATE for it
    bool orphan = false;         // its line was closed under it
    DWORD states_seen = 0;
    std::chrono::system_clock::time_point state_time;
    std::string address;  // the number dialled
    DWORD media_mode = 0, bearer_mode = LINEBEARERMODE_VOICE, rate = 0;
    DWORD call_param_flags = 0;
    DWORD origin = LINECALLORIGIN_OUTBOUND, reason = LINECALLREASON_DIRECT;
    DWORD call_id = 0, related_call_id = 0;
    DWORD monitor_digit_modes = 0, monitor_media_modes = 0;
    std::vector<LINEMONITORTONE> tones;
    LINEDIALPARAMS dial_params{};
    CallDetails details;
  };
  enum class RequestKind { kLine, kPhone };
  struct Request {
    DWORD id = 0;
    RequestKind kind = RequestKind::kLine;
    DWORD owner = 0;  // the HLINE or HPHONE it was made on
    std::vector<HCALL> creates;
    std::vector<std::pair<HCALL*, HCALL>> writes;
    bool silent = false;  // made by the service itself; no LINE_REPLY
  };
  struct LineDev {
    std::unique_ptr<LineDevice> device;
    LineDeviceCaps caps;
    int open_lines = 0;
    std::uint64_t generation = 0;  // moves on at every open and close
    bool needs_close = false;      // removed while open: Close before reopening
    // The current session's sink. Earlier ones are kept, not destroyed: a
    // device may still be calling one it fetched just before the close.
    std::unique_ptr<LineEventSink> sink;
    std::vector<std::unique_ptr<LineEventSink>> retired_sinks;
  };
  struct Phone {
    HPHONE handle = 0;
    HPHONEAPP app = 0;
    DWORD device = 0;
    DWORD_PTR instance = 0;
    DWORD privilege = 0;
    DWORD version = 0;
    DWORD phone_states = 0;
  };
  struct PhoneDev {
    std::unique_ptr<PhoneDevice> device;
    PhoneDeviceCaps caps;
    int open_phones = 0;
    std::uint64_t generation = 0;
    bool needs_close = false;
    std::unique_ptr<PhoneEventSink> sink;  // earlier ones retired as for lines
    std::vector<std::unique_ptr<PhoneEventSink>> retired_sinks;
  };

  std::mutex gate;
  std::mutex mu;

  // ---- everything below: REQUIRES: mu held ----
  std::map<DWORD, App> apps;
  std::vector<LineDev> line_devs;
  std::vector<PhoneDev> phone_devs;
  std::map<HLINE, Line> lines;
  std::map<HPHONE, Phone> phones;
  std::map<HCALL, Call> calls;
  std::map<DWORD, Request> requests;
  DeviceFactory factory;
  ConfigDialogHandler config_dialog;

  DWORD NewHandle() { return ++last_handle_; }
  DWORD NewRequestId();
  DWORD NewCallId() { return ++last_call_id_; }

  // Builds the device set when the first application initialises.
  void EnsureDevices();
  // Devices to Close (outside mu) and, when the last application left, the
  // set to destroy afterwards.
  struct Teardown {
    std::vector<LineDevice*> lines;
    std::vector<PhoneDevice*> phones;
    std::vector<LineDev> dead_lines;
    std::vector<PhoneDev> dead_phones;
    void Run();
  };
  void CloseLineLocked(HLINE line, Teardown& teardown);
  void ClosePhoneLocked(HPHONE phone, Teardown& teardown);
  void DropDevicesIfUnused(Teardown& teardown);

  App* FindApp(DWORD handle, bool phone);
  Line* FindLine(HLINE handle);
  Call* FindCall(HCALL handle);  // only calls the caller may know (not pending)
  Phone* FindPhone(HPHONE handle);

  void PostToApp(HLINEAPP app, Notification n);
  void PostToLine(const Line& line, DWORD device, DWORD message, DWORD_PTR p1, DWORD_PTR p2,
                  DWORD_PTR p3);

  DWORD RegisterRequest(RequestKind kind, DWORD owner, std::vector<HCALL> creates = {},
                        std::vector<std::pair<HCALL*, HCALL>> writes = {});
  void CompleteRequestLocked(DWORD request_id, LONG result);

  // lineInitialize*/phoneInitialize* and lineShutdown/phoneShutdown.
  // REQUIRES: neither lock held.
  LONG InitializeApp(bool phone, DWORD* app_out, LINECALLBACK callback, bool unicode,
                     DWORD* num_devs, DWORD* api_version, const LINEINITIALIZEEXPARAMS* params);
  LONG ShutdownApp(DWORD handle, bool phone);
  // Opens the device's provider for a first line or phone. REQUIRES: gate
  // and mu held (mu is released around the provider's Open).
  LONG OpenLineDevice(std::unique_lock<std::mutex>& lock, DWORD device);
  LONG OpenPhoneDevice(std::unique_lock<std::mutex>& lock, DWORD device);

  // Device reports, routed by the sinks after their generation check.
  void SetCallStateLocked(Call& call, DWORD state, DWORD mode);

 private:
  TapiService() = default;
  DWORD last_handle_ = 0x10000;
  DWORD last_request_ = 0;
  DWORD last_call_id_ = 0;
};

// Checks shared by the function files.
bool SupportedApiVersion(DWORD version);
bool IsSingleBit(DWORD value);

}  // namespace telvora::tapi
