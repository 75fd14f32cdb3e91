#pragma once
// The interface between the telephony service and a provider's line device
// (a modem on a serial port, a lab line). The service owns the device, keeps
// every handle, call record and pending request, and turns what the device
// reports into notifications; the device only moves real (or simulated)
// calls.
//
// Threads and locks: the service calls the device's methods from any thread,
// possibly while holding its own lock, so the device's methods must not
// block on the device's own threads (Open may take the time to open a port;
// Close is never called with the service's lock held and may join threads).
// The device reports through LineEventSink from any thread, but never while
// holding a lock that one of its own methods could be waiting for.

#include <string>
#include <vector>

#include "tapi/tapi_constants.h"

namespace telvora::tapi {

// What lineGetDevCaps and lineGetAddressCaps report for the device (one
// address, number 0).
struct LineDeviceCaps {
  std::string name;
  std::string provider_info;
  std::string address;                      // address 0's name
  DWORD string_format = STRINGFORMAT_ASCII;  // the format of the unsuffixed queries
  DWORD media_modes = LINEMEDIAMODE_INTERACTIVEVOICE;
  DWORD bearer_modes = LINEBEARERMODE_VOICE;
  DWORD max_rate = 0;
  DWORD generate_digit_modes = 0;
  DWORD monitor_digit_modes = 0;
  DWORD monitor_tone_max_freq = 0;
  DWORD monitor_tone_max_entries = 0;
  DWORD dev_cap_flags = LINEDEVCAPFLAGS_CLOSEDROP;
  DWORD max_active_calls = 1;
  DWORD caller_id_flags = LINECALLPARTYID_UNAVAIL;
  DWORD called_id_flags = LINECALLPARTYID_UNAVAIL;
  DWORD call_features = LINECALLFEATURE_DROP;  // what calls on this line can ever do
  DWORD transfer_modes = 0;
  DWORD max_conference = 0;
  DWORD line_states = LINEDEVSTATE_OTHER | LINEDEVSTATE_RINGING | LINEDEVSTATE_OPEN |
                      LINEDEVSTATE_CLOSE | LINEDEVSTATE_REMOVED;
  bool has_wave = false;  // "wave/in" and "wave/out" exist
  DWORD wave_in_id = 0;
  DWORD wave_out_id = 0;
  bool has_datamodem = false;  // "comm/datamodem" exists
  std::string port_name;       // "comm" and "comm/datamodem/portname"
  int phone_device = -1;       // the phone device belonging to the line, -1 none
};

// The call parameters the device gets with lineMakeCall.
struct CallRequest {
  DWORD media_mode = LINEMEDIAMODE_INTERACTIVEVOICE;
  DWORD bearer_mode = LINEBEARERMODE_VOICE;
  DWORD address_id = 0;
  bool wait_for_dialtone = false;
};

// Party identification and the other call information a device may report.
struct PartyId {
  DWORD flags = LINECALLPARTYID_UNKNOWN;
  std::string number;
  std::string name;
};
struct CallDetails {
  PartyId caller;
  PartyId called;
  std::string display;
  std::string user_user_info;
  DWORD origin = LINECALLORIGIN_UNKNOWN;
  DWORD reason = LINECALLREASON_UNKNOWN;
  DWORD rate = 0;
  DWORD bearer_mode = LINEBEARERMODE_VOICE;
  DWORD media_mode = LINEMEDIAMODE_UNKNOWN;
};

class LineEventSink {
 public:
  virtual ~LineEventSink() = default;
  // An asynchronous operation the device accepted has finished: 0 or a
  // negative LINEERR_ code.
  virtual void CompleteRequest(DWORD request_id, LONG result) = 0;
  // A call moved to a new LINECALLSTATE_ (mode: the state's detail, e.g. the
  // LINEDISCONNECTMODE_ of a disconnection).
  virtual void CallState(HCALL call, DWORD state, DWORD mode) = 0;
  // A call arrives: the service creates and offers it; returns its handle,
  // or 0 when no open line takes it (the device should then reject it).
  virtual HCALL OfferCall(const CallDetails& details) = 0;
  // Some of a call's information changed (LINECALLINFOSTATE_ bits).
  virtual void CallInfo(HCALL call, DWORD info_states, const CallDetails& details) = 0;
  virtual void Ringing(DWORD ring_mode, DWORD ring_count) = 0;
  virtual void DigitDetected(HCALL call, char digit, DWORD digit_mode) = 0;
  // A tone of the list given to lineMonitorTones was heard (its index).
  virtual void ToneDetected(HCALL call, std::size_t tone_index) = 0;
  virtual void MediaDetected(HCALL call, DWORD media_mode) = 0;
  // The device is gone: its lines are closed (LINE_CLOSE) and its calls end.
  virtual void DeviceRemoved() = 0;
};

class LineDevice {
 public:
  virtual ~LineDevice() = default;

  virtual LineDeviceCaps Caps() const = 0;

  // Takes the device's resources when the first line on it opens. sink stays
  // valid until Close returns. Returns 0 or a LINEERR_ code.
  virtual LONG Open(LineEventSink* sink) = 0;
  // Releases them when the last line closes (or after DeviceRemoved); ends
  // any call. Must be safe to call again, and after the device vanished.
  virtual void Close() = 0;

  // Asynchronous operations: 0 means accepted, and the device will call
  // CompleteRequest(request, ...) exactly once; a negative result is a
  // synchronous failure with nothing started.
  virtual LONG MakeCall(DWORD request, HCALL call, const std::string& address,
                        const CallRequest& params) = 0;
  virtual LONG Drop(DWORD request, HCALL call) = 0;
  virtual LONG Dial(DWORD, HCALL, const std::string&) { return LINEERR_OPERATIONUNAVAIL; }
  virtual LONG Answer(DWORD, HCALL) { return LINEERR_OPERATIONUNAVAIL; }
  virtual LONG Hold(DWORD, HCALL) { return LINEERR_OPERATIONUNAVAIL; }
  virtual LONG Unhold(DWORD, HCALL) { return LINEERR_OPERATIONUNAVAIL; }
  virtual LONG BlindTransfer(DWORD, HCALL, const std::string&) { return LINEERR_OPERATIONUNAVAIL; }
  virtual LONG SetupTransfer(DWORD, HCALL /*call*/, HCALL /*consult*/) {
    return LINEERR_OPERATIONUNAVAIL;
  }
  // conference is 0 for LINETRANSFERMODE_TRANSFER.
  virtual LONG CompleteTransfer(DWORD, HCALL /*call*/, HCALL /*consult*/, HCALL /*conference*/) {
    return LINEERR_OPERATIONUNAVAIL;
  }
  virtual LONG SetupConference(DWORD, HCALL /*call*/, HCALL /*conference*/, HCALL /*consult*/) {
    return LINEERR_OPERATIONUNAVAIL;
  }
  virtual LONG AddToConference(DWORD, HCALL /*conference*/, HCALL /*consult*/) {
    return LINEERR_OPERATIONUNAVAIL;
  }
  virtual LONG SetCallParams(DWORD, HCALL, DWORD /*bearer*/, DWORD /*min_rate*/, DWORD /*max_rate*/) {
    return LINEERR_OPERATIONUNAVAIL;
  }

  // Synchronous: 0 or a LINEERR_ code.
  virtual LONG GenerateDigits(HCALL, DWORD /*mode*/, const std::string& /*digits*/) {
    return LINEERR_OPERATIONUNAVAIL;
  }
  // A new descriptor of the call's data channel, owned by the caller.
  virtual LONG CommHandle(HCALL, int* /*fd*/) { return LINEERR_INVALDEVICECLASS; }
  virtual void CallDeallocated(HCALL) {}

  // The device configuration block ("comm/datamodem").
  virtual std::vector<std::uint8_t> DevConfig() const = 0;
  virtual LONG SetDevConfig(const std::vector<std::uint8_t>& config) = 0;
};

}  // namespace telvora::tapi
