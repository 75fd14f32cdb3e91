#include "telephony/tel_ancestor.h"

namespace telvora::telephony {

TTEL_Ancestor::TTEL_Ancestor(platform::TComponent* AOwner)
    : platform::TComponent(AOwner),
      window_(std::make_unique<TNotifyWindow>([this](TMessage& m) { WndProc(m); })) {}

TTEL_Ancestor::~TTEL_Ancestor() = default;

void TTEL_Ancestor::WndProc(TMessage& Message) { Message.Result = 0; }

}  // namespace telvora::telephony
