#pragma once
// Small helpers for the tests of file objects and handlers: a handler set up
// for a name and kind, a file with given contents, and the engine code a
// step raises.

#include <gtest/gtest.h>

#include <cstdint>
#include <exception>
#include <fstream>
#include <memory>
#include <string>

#include "storage/engine_error.h"
#include "storage/file_handler.h"

namespace telvora::storage::test {

enum class Kind { kPhysical, kInMemory };

inline const char* KindName(Kind kind) { return kind == Kind::kPhysical ? "physical" : "in-memory"; }

inline std::unique_ptr<TFileHandler> MakeHandler(const std::string& name, Kind kind,
                                                 bool exclusive = false, bool temporary = false) {
  auto handler = std::make_unique<TFileHandler>();
  handler->set_file_name(name);
  handler->set_in_memory(kind == Kind::kInMemory);
  handler->set_exclusive(exclusive);
  handler->set_temporary(temporary);
  return handler;
}

// The engine code the step raised, 0 when it raised nothing. Any other
// exception fails the test.
template <typename Step>
std::uint32_t CodeOf(Step&& step) {
  try {
    step();
  } catch (const EVoraEngineError& e) {
    return e.EngineCode;
  } catch (const std::exception& e) {
    ADD_FAILURE() << "unexpected exception: " << e.what();
    return 0xFFFFFFFFu;
  }
  return 0;
}

inline void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace telvora::storage::test
