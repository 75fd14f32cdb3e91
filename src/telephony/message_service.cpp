#include "telephony/message_service.h"

#include <QtGlobal>

#include <utility>

namespace telvora::telephony {
namespace {

TMessageService& Service() {
  static TMessageService service;
  return service;
}

}  // namespace

void SetApplicationMessageService(TMessageService service) { Service() = std::move(service); }

void ShowApplicationMessage(const std::string& text) {
  if (Service()) {
    Service()(text);
    return;
  }
  qWarning("%s", text.c_str());
}

}  // namespace telvora::telephony
