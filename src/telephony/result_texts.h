#pragma once
// The English sentence of every result code of the telephony library (the
// telephony component's own codes, the general ones and those of its sibling
// components), exactly as users and scripts see them. Codes without a
// sentence, 0 included, yield the empty string. Pure; any thread.

#include <string>

namespace telvora::telephony {

std::string ResultText(int code);

}  // namespace telvora::telephony
