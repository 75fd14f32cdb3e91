#pragma once
// Contacts as vCards (versions 2.1, 3.0 and 4.0 read; 3.0 and 4.0 written).
//
// Reading takes from each BEGIN:VCARD ... END:VCARD:
//   N       family name to Family, given (and additional) names to Name;
//   FN      to Name when N gives neither name;
//   TEL     by its types: cell to Mobile, fax to Tel2, anything else
//           (voice, home, work, none) to Tel1; a "tel:" URI loses its
//           scheme. The first number of each field wins; later ones are
//           left out with a note on the contact;
//   ADR     its non-empty parts joined with ", " to Address;
//   LABEL   to Address when no ADR gave one.
// Folded lines (a line break followed by a blank or tab) are unfolded;
// quoted-printable values (with their soft line breaks) are decoded; a
// CHARSET parameter names the value's code page (UTF-8 otherwise); text
// escapes (\n \, \; \\) are undone. Types come from TYPE= parameters, from
// the bare parameters of version 2.1, in any letter case. Other properties
// are skipped.
// ContactFormatError, naming the line and card: a NUL byte or text that is
// not UTF-8 where no CHARSET says otherwise (a binary file), a card without
// END:VCARD (a truncated file), BEGIN inside a card, END or text outside a
// card, an unknown charset, a malformed content line, no card at all.
//
// Writing: one card per contact with VERSION, N, FN, one TEL per non-empty
// number (voice, fax, cell) and ADR; values escaped; lines folded at 75
// bytes without splitting a character; CRLF line ends.
//
// Pure functions; any thread.

#include <string>
#include <string_view>
#include <vector>

#include "tools/contact.h"
#include "tools/contact_format_error.h"

namespace telvora::tools {

enum class VcardVersion { k30, k40 };

// The position of each contact is its card's number, counted from 1.
std::vector<SourcedContact> ReadContactsVcard(std::string_view text);

std::string WriteContactsVcard(const std::vector<Contact>& contacts, VcardVersion version = VcardVersion::k30);

}  // namespace telvora::tools
