#include "storage/engine_error.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/last_error.h"
#include "storage/engine_error_codes.h"

namespace telvora::storage {
namespace {

// Raises and hands back the exception, failing the test when nothing or
// something else is thrown.
EVoraEngineError RaiseAndCatch(std::uint16_t code, const ErrorContextTexts& texts) {
  try {
    RaiseEngineError(code, texts);
  } catch (const EVoraEngineError& e) {
    return e;
  }
}

const std::string kLong(300, 'x');

// `start` followed by as many `fill` characters as make 254 in all: the
// longest message text kept.
std::string FilledTo254(const std::string& start, char fill) {
  return start + std::string(254 - start.size(), fill);
}

TEST(EngineErrorTest, MessageIsPrefixCodeAndFilledTemplate) {
  struct Case {
    const char* what;
    std::uint16_t code;
    std::uint32_t system_error;
    ErrorContextTexts texts;
    std::string expected;
  };
  const Case cases[] = {
      {"missing table", 11010, 0, {.table = "PhoneBook"},
       "Vora Engine Error # 11010 Table 'PhoneBook' does not exist"},
      {"texts the template does not name are ignored", 11010, 0,
       {.server = "s", .user = "u", .database = "/data", .table = "PhoneBook", .field = "Name", .index = "ByName",
        .detail = "d"},
       "Vora Engine Error # 11010 Table 'PhoneBook' does not exist"},
      {"filter error shows table then detail", 10051, 0, {.table = "PhoneBook", .detail = "Unexpected end"},
       "Vora Engine Error # 10051 Filter error for the table 'PhoneBook' - Unexpected end"},
      {"key violation: index before table", 9729, 0, {.table = "PhoneBook", .index = "ByName"},
       "Vora Engine Error # 9729 Duplicate key found in the index 'ByName' of the table 'PhoneBook'"},
      {"field, index, table", 10023, 0, {.table = "PhoneBook", .field = "7", .index = "ByName"},
       "Vora Engine Error # 10023 Invalid field number '7' specified in the index 'ByName' for the table "
       "'PhoneBook'"},
      {"field, index, table again", 12292, 0, {.table = "PhoneBook", .field = "Tel1", .index = "ByName"},
       "Vora Engine Error # 12292 Invalid field 'Tel1' specified for the index 'ByName' in the table "
       "'PhoneBook'"},
      {"field, table", 9732, 0, {.table = "PhoneBook", .field = "Name"},
       "Vora Engine Error # 9732 A value must be provided for the field 'Name' in the table 'PhoneBook'"},
      {"unknown OS error shows the number in decimal", 11047, 1234, {.table = "PhoneBook"},
       "Vora Engine Error # 11047 An unknown operating system error 1234 occurred with the table 'PhoneBook'"},
      {"number above 2^31 stays unsigned", 11047, 0x20000028u, {.table = "T"},
       "Vora Engine Error # 11047 An unknown operating system error 536870952 occurred with the table 'T'"},
      {"fixed text ignores its context", 10758, 0, {.table = "PhoneBook", .detail = "%s"},
       "Vora Engine Error # 10758 The database engine is not initialized"},
      {"fixed text", 11016, 0, {.table = "PhoneBook"},
       "Vora Engine Error # 11016 There is insufficient operating system memory available for the current "
       "operation"},
      {"fixed text", 15001, 0, {}, "Vora Engine Error # 15001 Error compressing data"},
      {"fixed text", 15002, 0, {}, "Vora Engine Error # 15002 Error uncompressing data"},
      {"named code without template", 11284, 0, {.table = "PhoneBook"},
       "Vora Engine Error # 11284 An unknown error occurred"},
      {"unknown code", 1234, 0, {.table = "PhoneBook"}, "Vora Engine Error # 1234 An unknown error occurred"},
      {"code 0", 0, 0, {}, "Vora Engine Error # 0 An unknown error occurred"},
      {"largest code is unsigned", 65535, 0, {}, "Vora Engine Error # 65535 An unknown error occurred"},
      {"placeholders in a text are inserted literally", 8709, 0, {.table = "a%sb%n%d", .detail = "x"},
       "Vora Engine Error # 8709 No current record in the table 'a%sb%n%d'"},
      {"long table name: context cut to 255, message to 254", 11010, 0, {.table = kLong},
       "Vora Engine Error # 11010 " + FilledTo254("Table '", 'x')},
      {"long detail: message cut to 254", 10051, 0, {.table = "T", .detail = std::string(250, 'd')},
       "Vora Engine Error # 10051 " + FilledTo254("Filter error for the table 'T' - ", 'd')},
  };
  for (const Case& c : cases) {
    platform::SetLastSystemError(c.system_error);
    const EVoraEngineError e = RaiseAndCatch(c.code, c.texts);
    EXPECT_EQ(std::string(e.what()), c.expected) << c.what;
    EXPECT_EQ(e.EngineCode, c.code) << c.what;
    EXPECT_EQ(e.SystemErrorNumber, c.system_error) << c.what;
  }
  platform::SetLastSystemError(0);
}

TEST(EngineErrorTest, ContextKeepsEachTextCutTo255) {
  const EVoraEngineError e = RaiseAndCatch(9729, {.server = kLong, .user = "sam", .database = "/data",
                                                  .table = kLong, .field = "Name", .index = "ByName",
                                                  .detail = kLong});
  EXPECT_EQ(e.ContextServer, std::string(255, 'x'));
  EXPECT_EQ(e.ContextUser, "sam");
  EXPECT_EQ(e.ContextDatabase, "/data");
  EXPECT_EQ(e.ContextTable, std::string(255, 'x'));
  EXPECT_EQ(e.ContextField, "Name");
  EXPECT_EQ(e.ContextIndex, "ByName");
  EXPECT_EQ(e.ContextDetail, std::string(255, 'x'));
}

TEST(EngineErrorTest, EachRaiseStartsFromAnEmptyContextAndReadsTheLastErrorsNow) {
  platform::SetLastSystemError(5);
  platform::SetLastSocketError(10054);
  const EVoraEngineError first = RaiseAndCatch(10051, {.database = "/data", .table = "A", .field = "F",
                                                        .index = "I", .detail = "bad"});
  EXPECT_EQ(first.SystemErrorNumber, 5u);
  EXPECT_EQ(first.SocketErrorNumber, 10054u);

  platform::SetLastSystemError(0);
  platform::SetLastSocketError(0);
  const EVoraEngineError second = RaiseAndCatch(8710, {.table = "B"});
  EXPECT_EQ(second.SystemErrorNumber, 0u);
  EXPECT_EQ(second.SocketErrorNumber, 0u);
  EXPECT_EQ(second.ContextTable, "B");
  EXPECT_EQ(second.ContextDatabase, "");
  EXPECT_EQ(second.ContextField, "");
  EXPECT_EQ(second.ContextIndex, "");
  EXPECT_EQ(second.ContextDetail, "");
}

TEST(EngineErrorTest, PositionalRaiseTakesTextsInItsOrder) {
  try {
    RaiseEngineError(9729, "srv", "usr", "db", "tbl", "fld", "idx", "det");
  } catch (const EVoraEngineError& e) {
    EXPECT_EQ(e.ContextServer, "srv");
    EXPECT_EQ(e.ContextUser, "usr");
    EXPECT_EQ(e.ContextDatabase, "db");
    EXPECT_EQ(e.ContextTable, "tbl");
    EXPECT_EQ(e.ContextField, "fld");
    EXPECT_EQ(e.ContextIndex, "idx");
    EXPECT_EQ(e.ContextDetail, "det");
    EXPECT_STREQ(e.what(), "Vora Engine Error # 9729 Duplicate key found in the index 'idx' of the table 'tbl'");
  }
}

TEST(EngineErrorTest, RaiseForCursorPutsTheTextAsDetailOrField) {
  EXPECT_NO_THROW(RaiseForCursor(0, "/data", "PhoneBook", "ignored"));
  EXPECT_NO_THROW(RaiseForCursorField(0, "/data", "PhoneBook", "ignored"));

  try {
    RaiseForCursor(10051, "/data", "PhoneBook", "Unexpected end");
    ADD_FAILURE() << "RaiseForCursor returned for a non-zero code";
  } catch (const EVoraEngineError& e) {
    EXPECT_EQ(e.ContextDatabase, "/data");
    EXPECT_EQ(e.ContextTable, "PhoneBook");
    EXPECT_EQ(e.ContextDetail, "Unexpected end");
    EXPECT_EQ(e.ContextField, "");
    EXPECT_EQ(e.ContextServer + e.ContextUser + e.ContextIndex, "");
    EXPECT_STREQ(e.what(), "Vora Engine Error # 10051 Filter error for the table 'PhoneBook' - Unexpected end");
  }

  try {
    RaiseForCursorField(9985, "/data", "PhoneBook", "Nmae");
    ADD_FAILURE() << "RaiseForCursorField returned for a non-zero code";
  } catch (const EVoraEngineError& e) {
    EXPECT_EQ(e.ContextDatabase, "/data");
    EXPECT_EQ(e.ContextTable, "PhoneBook");
    EXPECT_EQ(e.ContextField, "Nmae");
    EXPECT_EQ(e.ContextDetail, "");
    EXPECT_EQ(e.ContextServer + e.ContextUser + e.ContextIndex, "");
    EXPECT_STREQ(e.what(),
                 "Vora Engine Error # 9985 Invalid field number or name 'Nmae' specified for the table 'PhoneBook'");
  }
}

TEST(EngineErrorTest, CodeOfAnyOtherExceptionIsUnknownOsError) {
  const EVoraEngineError engine = RaiseAndCatch(VORA_KEYORRECDELETED, {.table = "PhoneBook"});
  const std::exception& as_base = engine;
  EXPECT_EQ(EngineErrorCodeOf(as_base), VORA_KEYORRECDELETED);
  EXPECT_EQ(EngineErrorCodeOf(EDatabaseError("Table is not open")), VORA_OSUNKNOWN);
  EXPECT_EQ(EngineErrorCodeOf(std::runtime_error("boom")), VORA_OSUNKNOWN);
  EXPECT_EQ(EngineErrorCodeOf(std::bad_alloc()), VORA_OSUNKNOWN);
}

TEST(EngineErrorTest, EngineErrorIsADatabaseError) {
  try {
    RaiseEngineError(VORA_EOF, {.table = "PhoneBook"});
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Vora Engine Error # 8706 End of table 'PhoneBook' unexpectedly encountered");
  }
}

TEST(EngineErrorTest, NamesOfCodes) {
  EXPECT_EQ(EngineErrorName(9729), "VORA_KEYVIOL");
  EXPECT_EQ(EngineErrorName(11284), "VORA_REMOTECALLBACK");
  EXPECT_EQ(EngineErrorName(15878), "VORA_CANNOTLOADLDDRV");
  EXPECT_EQ(EngineErrorName(1234), "");
}

// Threads raising at once must each get the context they raised with: the
// shared error context is filled and copied under its lock.
TEST(EngineErrorTest, ConcurrentRaisesKeepTheirOwnContext) {
  constexpr int kThreads = 8;
  constexpr int kRaisesPerThread = 200;
  std::atomic<int> mismatches{0};
  std::atomic<int> raised{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &mismatches, &raised] {
      platform::SetLastSystemError(100 + t);
      for (int i = 0; i < kRaisesPerThread; ++i) {
        const std::string table = "T" + std::to_string(t) + "_" + std::to_string(i);
        const std::string detail = "thread " + std::to_string(t) + " raise " + std::to_string(i);
        try {
          RaiseEngineError(VORA_INVALIDFILTER, {.database = "db" + std::to_string(t), .table = table,
                                                .detail = detail});
        } catch (const EVoraEngineError& e) {
          raised.fetch_add(1);
          const std::string expected =
              "Vora Engine Error # 10051 Filter error for the table '" + table + "' - " + detail;
          if (e.what() != expected || e.ContextTable != table || e.ContextDetail != detail ||
              e.ContextDatabase != "db" + std::to_string(t) ||
              e.SystemErrorNumber != static_cast<std::uint32_t>(100 + t)) {
            mismatches.fetch_add(1);
          }
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(raised.load(), kThreads * kRaisesPerThread);
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
}  // namespace telvora::storage
