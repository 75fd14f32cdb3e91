#pragma once
// TExpToken: one node of an expression tree, and TExpTokenStack, the
// process-wide pool the nodes come from.
//
// A node is an operator (unary, binary, string option compare, predicate),
// a column, a constant or a function. Its type fields follow the field type
// codes (storage/field_types.h) with 0 for the untyped NULL; the checker sets
// them on every node, the parser only on constants. A value is held in the
// member its type uses:
//   string, BLOB text, bytes       text
//   boolean, small integer,
//   integer, word, large integer,
//   date (day number), time (ms)   integer
//   BCD                            integer, in ten-thousandths (the engine's
//                                  key scale), with `scale` places shown
//   float, timestamp (ms)          real
// A null value has is_null set and its member zeroed.
//
// Ownership: a tree is held through TExpTokenPtr; dropping the root returns
// every node of the tree to the pool. Nodes are used by one thread at a
// time; the pool itself is shared by all threads and guarded by one lock.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace telvora::engine {

// Node kinds.
enum TExpKind : std::uint8_t {
  ekNone = 0,
  ekUnary = 1,
  ekBinary = 2,
  ekOptionCompare = 3,
  ekColumn = 4,
  ekConstant = 5,
  ekFunction = 10,
  ekPredicate = 12,
};

// Operator, function and predicate codes.
enum TExpCode : std::uint8_t {
  ecNone = 0,
  ecEqual = 3,
  ecNotEqual = 4,
  ecGreater = 5,
  ecLess = 6,
  ecGreaterOrEqual = 7,
  ecLessOrEqual = 8,
  ecNot = 9,
  ecAnd = 10,
  ecOr = 11,
  ecNegate = 15,
  ecPlusSign = 16,
  ecAdd = 17,
  ecSubtract = 18,
  ecMultiply = 19,
  ecDivide = 20,
  ecSum = 23,
  ecRunSum = 24,
  ecAvg = 25,
  ecMin = 26,
  ecMax = 27,
  ecCount = 28,
  ecLike = 32,
  ecInList = 33,
  ecInSelect = 34,
  ecUpper = 36,
  ecLower = 37,
  ecBetween = 41,
  ecNotBetween = 42,
  ecNotLike = 43,
  ecNotInList = 44,
  ecNotInSelect = 45,
  ecSubstring = 46,
  ecReplace = 47,
  ecPos = 48,
  ecOccurs = 49,
  ecTrimLeading = 50,
  ecTrimTrailing = 51,
  ecTrimBoth = 52,
  ecLength = 53,
  ecCast = 54,
  ecExtractYear = 55,
  ecExtractMonth = 56,
  ecExtractWeek = 57,
  ecExtractDay = 58,
  ecExtractDayOfWeek = 59,
  ecExtractDayOfYear = 60,
  ecExtractHour = 61,
  ecExtractMinute = 62,
  ecExtractSecond = 63,
  ecIf = 64,
  ecCoalesce = 65,
  ecIfNull = 66,
  ecAbs = 67,
  ecRound = 68,
  ecTextSearch = 69,
  ecTextOccurs = 70,
  ecLastAutoInc = 71,
  ecIdentCurrent = 72,
};

// The longest column name a node keeps.
inline constexpr std::size_t kMaxColumnNameLength = 255;

struct TExpToken;

// Returns a node (and through its children, its whole tree) to the pool.
struct TExpTokenRelease {
  void operator()(TExpToken* token) const;
};
using TExpTokenPtr = std::unique_ptr<TExpToken, TExpTokenRelease>;

struct TExpToken {
  std::string text;  // source text, for messages
  TExpKind kind = ekNone;
  TExpCode code = ecNone;

  std::uint8_t type = 0;
  std::uint8_t subtype = 0;
  int size = 0;   // value size: a string's declared length + 1
  int scale = 0;  // BCD places

  bool is_null = false;
  std::string string_value;
  std::int64_t integer_value = 0;
  double real_value = 0.0;

  // A string constant written in quotes (may name a column, see the checker).
  bool quoted = false;
  // A node the checker built in place of a bare boolean column.
  bool boolean_rewrite = false;

  // Column reference.
  int field_number = 0;  // 1-based, 0 until resolved
  std::string field_name;
  std::string correlation_name;

  // String option compare.
  int partial_length = 0;
  bool case_insensitive = false;

  // CAST target (type 0 until parsed).
  std::uint8_t cast_type = 0;
  std::uint8_t cast_subtype = 0;
  int cast_size = 0;  // declared length, 0 = the source's
  int cast_scale = 0;

  TExpTokenPtr left;
  TExpTokenPtr right;
  std::vector<TExpTokenPtr> arguments;

  // Sets the null flag and clears the value members.
  void SetNull();
  bool IsOperator() const {
    return kind == ekUnary || kind == ekBinary || kind == ekOptionCompare || kind == ekPredicate;
  }
};

// TExpTokenStack: the process-wide pool of nodes. Take gives a node in its
// initial state; released nodes are kept for reuse up to a bound.
// Any thread may call it; one mutex guards the spare list.
class TExpTokenStack {
 public:
  static constexpr std::size_t kMaxSpareTokens = 1024;

  static TExpTokenPtr Take();
  // Number of spare nodes held (for tests of the pool).
  static std::size_t SpareCount();

 private:
  friend struct TExpTokenRelease;
  static void Release(TExpToken* token);
};

// A deep copy of a tree, taken from the pool.
TExpTokenPtr CloneExpression(const TExpToken& token);

// Whether a column node occurs anywhere in the tree.
bool ContainsColumn(const TExpToken& token);

// Convenience constructors (nodes from the pool).
TExpTokenPtr MakeNullConstant();
TExpTokenPtr MakeBooleanConstant(bool value);

}  // namespace telvora::engine
