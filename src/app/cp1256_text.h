#pragma once
// The bridge between the phone book's 8-bit texts and the widgets.
//
// Every text the phone book stores or builds (its own captions and messages,
// the contacts' fields, the engine's and the telephony component's English
// messages) is code page 1256 bytes; a widget shows UTF-16. Decoding never
// fails. Encoding applies ICU's fallbacks (Farsi yeh to Arabic yeh, Persian
// and Arabic-Indic digits to ASCII) and refuses a text holding a character
// with no mapping at all, so no substitute byte is ever produced.
//
// Threads: any (the converter is immutable once built).

#include <optional>
#include <string>
#include <string_view>

#include <QString>

namespace telvora::app {

QString FromCp1256(std::string_view bytes);

// Nothing when the text holds a character code page 1256 cannot hold even
// through a fallback.
std::optional<std::string> ToCp1256(const QString& text);

// The text as code page 1256 would give it back: the fallbacks applied
// (U+06CC becomes U+064A, U+06F1 becomes '1', ...). Nothing as ToCp1256.
std::optional<QString> ThroughCp1256(const QString& text);

}  // namespace telvora::app
