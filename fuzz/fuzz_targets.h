#pragma once
// The fuzz targets: each takes arbitrary bytes and feeds them to one reader
// of outside input. A target returns 0; a fault shows as a crash, a
// sanitizer report, an uncaught exception other than the reader's own
// refusal, or a check of the target's own that aborts.
//
// The same functions run under libFuzzer (fuzz/fuzz_main.cpp, the clang
// build of `make fuzz`) and as the replay of the checked-in corpus in the
// normal test build (tests/fuzz/). One thread.

#include <cstddef>
#include <cstdint>

namespace telvora::fuzz {

// A table's data, index and BLOB files (see table_files_target.cpp for how
// the bytes are split), opened through a cursor, walked and verified.
int FuzzTableFiles(const std::uint8_t* data, std::size_t size);
// One index page image unpacked under a format taken from the first bytes.
int FuzzIndexPage(const std::uint8_t* data, std::size_t size);
// A BLOB file's blocks read and freed as one value's chain.
int FuzzBlobChain(const std::uint8_t* data, std::size_t size);
// A filter expression parsed and checked against the phone book's fields.
int FuzzExpression(const std::uint8_t* data, std::size_t size);
// Lines from a modem through the result-code parser.
int FuzzHayesResult(const std::uint8_t* data, std::size_t size);
// A vCard file through the contact reader.
int FuzzContactVcard(const std::uint8_t* data, std::size_t size);
// A CSV file through the contact reader, and what it read written and read
// again.
int FuzzContactCsv(const std::uint8_t* data, std::size_t size);

// Aborts with the message when a target's own check fails, so that both
// libFuzzer and the replay see a fault.
[[noreturn]] void FuzzCheckFailed(const char* target, const char* what);

}  // namespace telvora::fuzz
