#pragma once
// Checks a number before it reaches a modem and turns it into the digits of
// a dial command. Only dialable characters pass: digits, '*', '#', ',' and
// the dial modifiers W (wait for dial tone), P and T (pulse, tone), '!'
// (flash) and '@' (wait for quiet answer), in either case; blanks, '-', '.',
// '(' and ')' are dropped; a '+' first becomes the international prefix.
// Anything else (a carriage return or line feed, ';', '"', other letters
// that would form another command) refuses the whole number, so that no
// caller can make the modem run a command of its choosing.
//
// Pure functions; any thread.

#include <optional>
#include <string>

namespace telvora::tapi {

// The longest command a modem's buffer takes (without the final CR).
inline constexpr std::size_t kModemCommandMaxLength = 40;

// The digits to dial, or nothing when the number is refused.
std::optional<std::string> NormalizeDialString(const std::string& number,
                                               const std::string& international_prefix);

// "ATDT<digits>" (or ATDP with pulse) with ';' for a voice call, or nothing
// when the number is refused or the command is longer than the modem's
// buffer.
std::optional<std::string> DialCommand(const std::string& number,
                                       const std::string& international_prefix, bool pulse,
                                       bool voice);

}  // namespace telvora::tapi
