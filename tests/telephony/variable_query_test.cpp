// The query loop for variable-size structures, against a scripted query.

#include <gtest/gtest.h>

#include <vector>

#include "tapi/tapi_structures.h"
#include "telephony/tel_types.h"
#include "telephony/variable_query.h"

namespace telvora::telephony::test {
namespace {

using namespace tapi;

constexpr LONG kTooSmall = LINEERR_STRUCTURETOOSMALL;

// Answers each call from a script: a result, and the needed size it reports
// (0: exactly the total size given). Records the total sizes it was given.
struct ScriptedQuery {
  struct Answer {
    LONG result;
    DWORD needed;
  };
  std::vector<Answer> script;
  std::vector<DWORD> totals;

  LONG operator()(void* s) {
    auto* v = static_cast<VARSTRING*>(s);
    totals.push_back(v->dwTotalSize);
    const Answer a = script.at(totals.size() - 1 < script.size() ? totals.size() - 1 : script.size() - 1);
    v->dwNeededSize = a.needed == 0 ? v->dwTotalSize : a.needed;
    v->dwUsedSize = v->dwTotalSize;
    return a.result;
  }
};

int Map(LONG error) { return error == LINEERR_NOMEM ? -50 : 77; }

TEST(VariableQueryTest, GrowsAsAskedAndGivesUpAfterTenFurtherAttempts) {
  struct Case {
    const char* name;
    std::vector<ScriptedQuery::Answer> script;
    int expected;
    std::vector<DWORD> totals;
  };
  const Case cases[] = {
      {"fits at once", {{0, 0}}, 0, {24}},
      {"needs more once", {{0, 100}, {0, 0}}, 0, {24, 100}},
      {"too small twice", {{kTooSmall, 0}, {kTooSmall, 0}, {0, 0}}, 0, {24, 34, 44}},
      {"failure is mapped", {{LINEERR_OPERATIONFAILED, 0}}, 77, {24}},
      {"failure on a retry is mapped", {{0, 50}, {LINEERR_NOMEM, 0}}, -50, {24, 50}},
      {"never enough", {{kTooSmall, 0}}, -1, {24, 34, 44, 54, 64, 74, 84, 94, 104, 114, 124}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedQuery query{c.script, {}};
    TVarBuffer buffer;
    EXPECT_EQ(QueryVariable(24, 1, kTooSmall, std::ref(query), Map, buffer), c.expected);
    EXPECT_EQ(query.totals, c.totals);
    EXPECT_EQ(buffer.Valid(), c.expected == 0);
  }
}

}  // namespace
}  // namespace telvora::telephony::test
