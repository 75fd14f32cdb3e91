#include "tapi/tapi_service.h"

#include <QThread>

#include "tapi/device_configuration.h"

namespace telvora::tapi {
namespace {

DWORD TickCount() {
  using namespace std::chrono;
  return static_cast<DWORD>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Reports of one opened line device. Each report is dropped when the device
// has been closed (or reopened) since this sink was made.
class LineSink : public LineEventSink {
 public:
  LineSink(TapiService& service, DWORD device, std::uint64_t generation)
      : s_(service), device_(device), generation_(generation) {}

  void CompleteRequest(DWORD request_id, LONG result) override {
    std::lock_guard lock(s_.mu);
    if (!Current()) return;
    s_.CompleteRequestLocked(request_id, result);
  }

  void CallState(HCALL handle, DWORD state, DWORD mode) override {
    std::lock_guard lock(s_.mu);
    if (!Current()) return;
    auto it = s_.calls.find(handle);
    if (it == s_.calls.end() || it->second.orphan) return;
    s_.SetCallStateLocked(it->second, state, mode);
  }

  HCALL OfferCall(const CallDetails& details) override {
    std::lock_guard lock(s_.mu);
    if (!Current()) return 0;
    // The first owner line whose media modes take the call, else a monitor.
    const TapiService::Line* target = nullptr;
    for (auto& [handle, line] : s_.lines) {
      if (line.device != device_) continue;
      const bool owner = (line.privileges & LINECALLPRIVILEGE_OWNER) != 0;
      const bool media_ok = details.media_mode == LINEMEDIAMODE_UNKNOWN ||
                            (line.media_modes & details.media_mode) != 0;
      if (owner && media_ok) {
        target = &line;
        break;
      }
      if (target == nullptr && (line.privileges & LINECALLPRIVILEGE_MONITOR) != 0) target = &line;
    }
    if (target == nullptr) return 0;
    TapiService::Call call;
    call.handle = s_.NewHandle();
    call.line = target->handle;
    call.device = device_;
    call.privilege = (target->privileges & LINECALLPRIVILEGE_OWNER) != 0 ? LINECALLPRIVILEGE_OWNER
                                                                          : LINECALLPRIVILEGE_MONITOR;
    call.details = details;
    call.origin = details.origin == LINECALLORIGIN_UNKNOWN ? LINECALLORIGIN_EXTERNAL : details.origin;
    call.reason = details.reason;
    call.media_mode = details.media_mode;
    call.bearer_mode = details.bearer_mode;
    call.call_id = s_.NewCallId();
    const HCALL handle = call.handle;
    auto& stored = s_.calls.emplace(handle, std::move(call)).first->second;
    s_.SetCallStateLocked(stored, LINECALLSTATE_OFFERING, 0);
    if ((details.caller.flags & (LINECALLPARTYID_ADDRESS | LINECALLPARTYID_NAME)) != 0) {
      s_.PostToLine(*target, handle, LINE_CALLINFO, LINECALLINFOSTATE_CALLERID, 0, 0);
    }
    return handle;
  }

  void CallInfo(HCALL handle, DWORD states, const CallDetails& details) override {
    std::lock_guard lock(s_.mu);
    if (!Current()) return;
    TapiService::Call* call = Known(handle);
    if (call == nullptr) return;
    if (states & LINECALLINFOSTATE_CALLERID) call->details.caller = details.caller;
    if (states & LINECALLINFOSTATE_CALLEDID) call->details.called = details.called;
    if (states & LINECALLINFOSTATE_DISPLAY) call->details.display = details.display;
    if (states & LINECALLINFOSTATE_USERUSERINFO) call->details.user_user_info = details.user_user_info;
    if (states & LINECALLINFOSTATE_ORIGIN) call->origin = details.origin;
    if (states & LINECALLINFOSTATE_REASON) call->reason = details.reason;
    if (states & LINECALLINFOSTATE_RATE) call->rate = details.rate;
    if (states & LINECALLINFOSTATE_BEARERMODE) call->bearer_mode = details.bearer_mode;
    if (states & LINECALLINFOSTATE_MEDIAMODE) call->media_mode = details.media_mode;
    Notify(*call, LINE_CALLINFO, states, 0, 0);
  }

  void Ringing(DWORD ring_mode, DWORD ring_count) override {
    std::lock_guard lock(s_.mu);
    if (!Current()) return;
    for (auto& [handle, line] : s_.lines) {
      if (line.device == device_ && (line.line_states & LINEDEVSTATE_RINGING) != 0) {
        s_.PostToLine(line, handle, LINE_LINEDEVSTATE, LINEDEVSTATE_RINGING, ring_mode, ring_count);
      }
    }
  }

  void DigitDetected(HCALL handle, char digit, DWORD mode) override {
    std::lock_guard lock(s_.mu);
    if (!Current()) return;
    TapiService::Call* call = Known(handle);
    if (call == nullptr || (call->monitor_digit_modes & mode) == 0) return;
    Notify(*call, LINE_MONITORDIGITS, static_cast<unsigned char>(digit), mode, TickCount());
  }

  void ToneDetected(HCALL handle, std::size_t index) override {
    std::lock_guard lock(s_.mu);
    if (!Current()) return;
    TapiService::Call* call = Known(handle);
    if (call == nullptr || index >= call->tones.size()) return;
    Notify(*call, LINE_MONITORTONE, call->tones[index].dwAppSpecific, 0, TickCount());
  }

  void MediaDetected(HCALL handle, DWORD media_mode) override {
    std::lock_guard lock(s_.mu);
    if (!Current()) return;
    TapiService::Call* call = Known(handle);
    if (call == nullptr || (call->monitor_media_modes & media_mode) == 0) return;
    Notify(*call, LINE_MONITORMEDIA, media_mode, 0, TickCount());
  }

  void DeviceRemoved() override {
    std::lock_guard lock(s_.mu);
    if (!Current()) return;
    TapiService::LineDev& dev = s_.line_devs[device_];
    // Calls end (idle), then each line learns it was closed. The device's
    // own Close runs later, on a thread that is not the device's.
    for (auto& [handle, call] : s_.calls) {
      if (call.device != device_ || call.orphan || call.creating_request != 0) continue;
      if (call.state != LINECALLSTATE_IDLE && call.state != 0) {
        s_.SetCallStateLocked(call, LINECALLSTATE_IDLE, 0);
      }
    }
    std::vector<HLINE> closing;
    for (auto& [handle, line] : s_.lines) {
      if (line.device == device_) closing.push_back(handle);
    }
    for (HLINE handle : closing) {
      s_.PostToLine(s_.lines[handle], handle, LINE_CLOSE, 0, 0, 0);
    }
    TapiService::Teardown ignored;
    for (HLINE handle : closing) s_.CloseLineLocked(handle, ignored);
    dev.needs_close = true;
  }

 private:
  bool Current() const {
    return device_ < s_.line_devs.size() && s_.line_devs[device_].generation == generation_ &&
           s_.line_devs[device_].open_lines > 0;
  }
  TapiService::Call* Known(HCALL handle) {
    auto it = s_.calls.find(handle);
    if (it == s_.calls.end() || it->second.orphan || it->second.creating_request != 0) return nullptr;
    return &it->second;
  }
  void Notify(const TapiService::Call& call, DWORD message, DWORD_PTR p1, DWORD_PTR p2, DWORD_PTR p3) {
    auto line = s_.lines.find(call.line);
    if (line != s_.lines.end()) s_.PostToLine(line->second, call.handle, message, p1, p2, p3);
  }

  TapiService& s_;
  DWORD device_;
  std::uint64_t generation_;
};

class PhoneSink : public PhoneEventSink {
 public:
  PhoneSink(TapiService& service, DWORD device, std::uint64_t generation)
      : s_(service), device_(device), generation_(generation) {}

  void CompleteRequest(DWORD request_id, LONG result) override {
    std::lock_guard lock(s_.mu);
    if (Current()) s_.CompleteRequestLocked(request_id, result);
  }

  void StateChanged(DWORD states) override {
    std::lock_guard lock(s_.mu);
    if (!Current()) return;
    const PhoneState now = s_.phone_devs[device_].device->State();
    for (auto& [handle, phone] : s_.phones) {
      if (phone.device != device_) continue;
      const DWORD bits = states & phone.phone_states;
      if (bits == 0) continue;
      DWORD detail = 0;
      if (bits == PHONESTATE_HANDSETHOOKSWITCH) detail = now.handset_mode;
      if (bits == PHONESTATE_SPEAKERHOOKSWITCH) detail = now.speaker_mode;
      Notification n;
      n.device = handle;
      n.message = PHONE_STATE;
      n.instance = phone.instance;
      n.param1 = bits;
      n.param2 = detail;
      s_.PostToApp(phone.app, std::move(n));
    }
  }

  void DeviceRemoved() override {
    std::lock_guard lock(s_.mu);
    if (!Current()) return;
    std::vector<HPHONE> closing;
    for (auto& [handle, phone] : s_.phones) {
      if (phone.device == device_) closing.push_back(handle);
    }
    TapiService::Teardown ignored;
    for (HPHONE handle : closing) {
      Notification n;
      n.device = handle;
      n.message = PHONE_CLOSE;
      n.instance = s_.phones[handle].instance;
      s_.PostToApp(s_.phones[handle].app, std::move(n));
      s_.ClosePhoneLocked(handle, ignored);
    }
    s_.phone_devs[device_].needs_close = true;
  }

 private:
  bool Current() const {
    return device_ < s_.phone_devs.size() && s_.phone_devs[device_].generation == generation_ &&
           s_.phone_devs[device_].open_phones > 0;
  }
  TapiService& s_;
  DWORD device_;
  std::uint64_t generation_;
};

}  // namespace

TapiService& TapiService::Instance() {
  static TapiService* service = new TapiService();  // lives for the process
  return *service;
}

bool SupportedApiVersion(DWORD version) {
  return version == kApiVersion13 || version == kApiVersion14 || version == kApiVersion20 ||
         version == kApiVersion21 || version == kApiVersion22;
}

bool IsSingleBit(DWORD value) { return value != 0 && (value & (value - 1)) == 0; }

DWORD TapiService::NewRequestId() {
  // Positive, never 0, wrapping before the sign bit.
  last_request_ = last_request_ >= 0x7FFFFFFF ? 1 : last_request_ + 1;
  return last_request_;
}

void TapiService::EnsureDevices() {
  if (!apps.empty()) return;
  DeviceSet set = factory ? factory() : DevicesFromConfiguration(LoadDeviceConfiguration());
  line_devs.clear();
  phone_devs.clear();
  for (auto& device : set.lines) {
    LineDev dev;
    dev.caps = device->Caps();
    dev.device = std::move(device);
    line_devs.push_back(std::move(dev));
  }
  for (auto& device : set.phones) {
    PhoneDev dev;
    dev.caps = device->Caps();
    dev.device = std::move(device);
    phone_devs.push_back(std::move(dev));
  }
}

void TapiService::Teardown::Run() {
  for (LineDevice* device : lines) device->Close();
  for (PhoneDevice* device : phones) device->Close();
  dead_lines.clear();
  dead_phones.clear();
}

void TapiService::CloseLineLocked(HLINE handle, Teardown& teardown) {
  auto it = lines.find(handle);
  if (it == lines.end()) return;
  const DWORD device = it->second.device;
  lines.erase(it);
  // The line's calls go with it; a request still pending on the line is
  // answered to no one.
  for (auto call = calls.begin(); call != calls.end();) {
    if (call->second.line == handle) {
      line_devs[device].device->CallDeallocated(call->first);
      call = calls.erase(call);
    } else {
      ++call;
    }
  }
  for (auto& [id, request] : requests) {
    if (request.kind == RequestKind::kLine && request.owner == handle) request.silent = true;
  }
  LineDev& dev = line_devs[device];
  if (--dev.open_lines == 0) {
    ++dev.generation;
    teardown.lines.push_back(dev.device.get());
    for (auto r = requests.begin(); r != requests.end();) {
      r = (r->second.kind == RequestKind::kLine && r->second.silent) ? requests.erase(r) : std::next(r);
    }
  }
}

void TapiService::ClosePhoneLocked(HPHONE handle, Teardown& teardown) {
  auto it = phones.find(handle);
  if (it == phones.end()) return;
  const DWORD device = it->second.device;
  phones.erase(it);
  for (auto r = requests.begin(); r != requests.end();) {
    r = (r->second.kind == RequestKind::kPhone && r->second.owner == handle) ? requests.erase(r)
                                                                              : std::next(r);
  }
  PhoneDev& dev = phone_devs[device];
  if (--dev.open_phones == 0) {
    ++dev.generation;
    teardown.phones.push_back(dev.device.get());
  }
}

void TapiService::DropDevicesIfUnused(Teardown& teardown) {
  if (!apps.empty()) return;
  for (LineDev& dev : line_devs) {
    if (dev.needs_close) teardown.lines.push_back(dev.device.get());
  }
  for (PhoneDev& dev : phone_devs) {
    if (dev.needs_close) teardown.phones.push_back(dev.device.get());
  }
  teardown.dead_lines = std::move(line_devs);
  teardown.dead_phones = std::move(phone_devs);
  line_devs.clear();
  phone_devs.clear();
}

TapiService::App* TapiService::FindApp(DWORD handle, bool phone) {
  auto it = apps.find(handle);
  return it == apps.end() || it->second.phone != phone ? nullptr : &it->second;
}

TapiService::Line* TapiService::FindLine(HLINE handle) {
  auto it = lines.find(handle);
  return it == lines.end() ? nullptr : &it->second;
}

TapiService::Call* TapiService::FindCall(HCALL handle) {
  auto it = calls.find(handle);
  return it == calls.end() || it->second.creating_request != 0 ? nullptr : &it->second;
}

TapiService::Phone* TapiService::FindPhone(HPHONE handle) {
  auto it = phones.find(handle);
  return it == phones.end() ? nullptr : &it->second;
}

void TapiService::PostToApp(HLINEAPP handle, Notification n) {
  auto it = apps.find(handle);
  if (it == apps.end() || it->second.notifier.isNull()) return;
  it->second.notifier->Post(std::move(n));
}

void TapiService::PostToLine(const Line& line, DWORD device, DWORD message, DWORD_PTR p1,
                             DWORD_PTR p2, DWORD_PTR p3) {
  Notification n;
  n.device = device;
  n.message = message;
  n.instance = line.instance;
  n.param1 = p1;
  n.param2 = p2;
  n.param3 = p3;
  PostToApp(line.app, std::move(n));
}

DWORD TapiService::RegisterRequest(RequestKind kind, DWORD owner, std::vector<HCALL> creates,
                                   std::vector<std::pair<HCALL*, HCALL>> writes) {
  Request request;
  request.id = NewRequestId();
  request.kind = kind;
  request.owner = owner;
  request.creates = std::move(creates);
  request.writes = std::move(writes);
  for (HCALL call : request.creates) calls[call].creating_request = request.id;
  const DWORD id = request.id;
  requests[id] = std::move(request);
  return id;
}

void TapiService::CompleteRequestLocked(DWORD request_id, LONG result) {
  auto it = requests.find(request_id);
  if (it == requests.end()) return;
  Request request = std::move(it->second);
  requests.erase(it);
  for (HCALL handle : request.creates) {
    auto call = calls.find(handle);
    if (call == calls.end()) continue;
    if (result < 0) {
      calls.erase(call);
    } else {
      call->second.creating_request = 0;
    }
  }
  if (request.silent) return;
  Notification n;
  n.message = request.kind == RequestKind::kLine ? LINE_REPLY : PHONE_REPLY;
  n.param1 = request.id;
  n.param2 = static_cast<DWORD_PTR>(static_cast<DWORD>(result));
  if (result >= 0) n.handle_writes = std::move(request.writes);
  if (request.kind == RequestKind::kLine) {
    auto line = lines.find(request.owner);
    if (line == lines.end()) return;
    n.instance = line->second.instance;
    PostToApp(line->second.app, std::move(n));
  } else {
    auto phone = phones.find(request.owner);
    if (phone == phones.end()) return;
    n.instance = phone->second.instance;
    PostToApp(phone->second.app, std::move(n));
  }
  // Calls the request created may already have states the device reported
  // while it was pending; the owner learns them now, after the reply.
  for (HCALL handle : request.creates) {
    auto call = calls.find(handle);
    if (result >= 0 && call != calls.end() && call->second.state != 0 && !call->second.announced) {
      const DWORD state = call->second.state, mode = call->second.mode;
      call->second.state = 0;
      SetCallStateLocked(call->second, state, mode);
    }
  }
}

void TapiService::SetCallStateLocked(Call& call, DWORD state, DWORD mode) {
  if (call.state == state && call.mode == mode && call.announced) return;
  call.state = state;
  call.mode = mode;
  call.states_seen |= state;
  call.state_time = std::chrono::system_clock::now();
  // A call whose creating request is still pending reports its states once
  // the request completes (the caller cannot know its handle before).
  if (call.creating_request != 0) return;
  auto line = lines.find(call.line);
  if (line == lines.end()) return;
  const DWORD privilege = call.announced ? 0 : call.privilege;
  call.announced = true;
  PostToLine(line->second, call.handle, LINE_CALLSTATE, state, mode, privilege);
}

}  // namespace telvora::tapi

namespace telvora::tapi {

LONG TapiService::InitializeApp(bool phone, DWORD* app_out, LINECALLBACK callback, bool unicode,
                                DWORD* num_devs, DWORD* api_version,
                                const LINEINITIALIZEEXPARAMS* params) {
  const LONG invalid_pointer = phone ? PHONEERR_INVALPOINTER : LINEERR_INVALPOINTER;
  if (app_out == nullptr || num_devs == nullptr || callback == nullptr) return invalid_pointer;
  if (params != nullptr) {
    if (params->dwTotalSize < sizeof(LINEINITIALIZEEXPARAMS)) {
      return phone ? PHONEERR_STRUCTURETOOSMALL : LINEERR_STRUCTURETOOSMALL;
    }
    // Only callback delivery exists here (the hidden-window way); events
    // and completion ports have no stand-in.
    if (params->dwOptions != LINEINITIALIZEEXOPTION_USEHIDDENWINDOW) {
      return phone ? PHONEERR_OPERATIONUNAVAIL : LINEERR_OPERATIONUNAVAIL;
    }
  }
  if (api_version != nullptr) {
    if (*api_version < kApiVersion20) {
      return phone ? PHONEERR_INCOMPATIBLEAPIVERSION : LINEERR_INCOMPATIBLEAPIVERSION;
    }
    *api_version = kHighestApiVersion;
  }
  std::lock_guard gate_lock(gate);
  std::lock_guard lock(mu);
  EnsureDevices();
  App app;
  app.handle = NewHandle();
  app.phone = phone;
  app.unicode = unicode;
  app.notifier = new Notifier(callback);  // on the calling thread
  apps[app.handle] = app;
  *app_out = app.handle;
  *num_devs = static_cast<DWORD>(phone ? phone_devs.size() : line_devs.size());
  return 0;
}

LONG TapiService::ShutdownApp(DWORD handle, bool phone) {
  Teardown teardown;
  {
    std::lock_guard gate_lock(gate);
    {
      std::lock_guard lock(mu);
      App* app = FindApp(handle, phone);
      if (app == nullptr) return phone ? PHONEERR_INVALAPPHANDLE : LINEERR_INVALAPPHANDLE;
      std::vector<DWORD> owned;
      if (phone) {
        for (auto& [h, p] : phones) {
          if (p.app == handle) owned.push_back(h);
        }
        for (DWORD h : owned) ClosePhoneLocked(h, teardown);
      } else {
        for (auto& [h, l] : lines) {
          if (l.app == handle) owned.push_back(h);
        }
        for (DWORD h : owned) CloseLineLocked(h, teardown);
      }
      if (Notifier* notifier = app->notifier.data()) {
        notifier->Close();
        if (notifier->thread() == QThread::currentThread()) {
          delete notifier;
        } else {
          notifier->deleteLater();
        }
      }
      apps.erase(handle);
      DropDevicesIfUnused(teardown);
    }
    teardown.Run();
  }
  return 0;
}

LONG TapiService::OpenLineDevice(std::unique_lock<std::mutex>& lock, DWORD device) {
  LineDev& dev = line_devs[device];
  LineDevice* provider = dev.device.get();
  if (dev.needs_close) {
    lock.unlock();
    provider->Close();
    lock.lock();
    line_devs[device].needs_close = false;
  }
  LineDev& again = line_devs[device];
  ++again.generation;
  if (again.sink) again.retired_sinks.push_back(std::move(again.sink));
  again.sink = std::make_unique<LineSink>(*this, device, again.generation);
  LineEventSink* sink = again.sink.get();
  // Reports during Open see open_lines 0 and are dropped, except that the
  // device may not report before it is open anyway.
  lock.unlock();
  const LONG result = provider->Open(sink);
  lock.lock();
  return result;
}

LONG TapiService::OpenPhoneDevice(std::unique_lock<std::mutex>& lock, DWORD device) {
  PhoneDev& dev = phone_devs[device];
  PhoneDevice* provider = dev.device.get();
  if (dev.needs_close) {
    lock.unlock();
    provider->Close();
    lock.lock();
    phone_devs[device].needs_close = false;
  }
  PhoneDev& again = phone_devs[device];
  ++again.generation;
  if (again.sink) again.retired_sinks.push_back(std::move(again.sink));
  again.sink = std::make_unique<PhoneSink>(*this, device, again.generation);
  PhoneEventSink* sink = again.sink.get();
  lock.unlock();
  const LONG result = provider->Open(sink);
  lock.lock();
  return result;
}

}  // namespace telvora::tapi
