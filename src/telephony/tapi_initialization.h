#pragma once
// The four functions through which the telephony component starts a TAPI
// session (lineInitializeExW, falling back to lineInitialize; then
// phoneInitializeExW, falling back to phoneInitialize). They are reached
// through this table so that a test can make the service refuse a session,
// which the service itself never does; everything else goes to the service
// directly.
//
// Threads: change the table only while no component initialises.

#include "tapi/tapi.h"

namespace telvora::telephony {

struct TTapiInitialization {
  decltype(&tapi::lineInitializeExW) LineInitializeExW = &tapi::lineInitializeExW;
  decltype(&tapi::lineInitialize) LineInitialize = &tapi::lineInitialize;
  decltype(&tapi::phoneInitializeExW) PhoneInitializeExW = &tapi::phoneInitializeExW;
  decltype(&tapi::phoneInitialize) PhoneInitialize = &tapi::phoneInitialize;
};

// The table in use; assign a default-constructed one to restore the service.
TTapiInitialization& TapiInitialization();

}  // namespace telvora::telephony
