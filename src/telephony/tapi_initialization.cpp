#include "telephony/tapi_initialization.h"

namespace telvora::telephony {

TTapiInitialization& TapiInitialization() {
  static TTapiInitialization table;
  return table;
}

}  // namespace telvora::telephony
