#pragma once
// telvora-phone: drives the TelPhone component from a terminal (contract in
// the project's CLI description): `lines` lists the line devices, `dial`
// activates a line, dials, prints every line and call state as JSON lines
// and ends when the call is idle or after the time-out.
//
// REQUIRES: a QCoreApplication exists; runs its event loop on the calling
// thread. Returns the exit status (0 success, 2 error); errors go to `err`
// as one line starting "telvora-phone: ".

#include <iosfwd>

namespace telvora::tools {

int RunPhoneCommand(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace telvora::tools
