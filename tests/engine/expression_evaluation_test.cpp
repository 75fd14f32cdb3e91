// Evaluating checked expressions against record images: NULL semantics,
// strings under the byte order and under Farsi, dates and times, numbers
// across types, LIKE, IN, BETWEEN and the functions.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "cp1256_text.h"
#include "engine/expression_conversion.h"
#include "engine/expression_evaluator.h"
#include "engine/text_word_source.h"
#include "expression_test_table.h"
#include "storage/text_index_parameters.h"

namespace telvora::engine {
namespace {

using testing::Cp1256;
using testing::ExpressionFields;
using testing::MakeRecord;
using testing::ParseAndCheck;

constexpr Locale kAnsi{0, 0};
constexpr Locale kFarsi{0x0429, 0};

// The memo field's text lives outside the record; the tests keep it here.
const std::string* g_memo_text = nullptr;

TEvaluationContext ContextFor(const Locale& locale) {
  TEvaluationContext context;
  context.locale = locale;
  context.column_reader = RecordColumnReader(
      ExpressionFields(), [](std::span<const std::uint8_t>, int) -> std::optional<std::string> {
        if (g_memo_text == nullptr) return std::nullopt;
        return *g_memo_text;
      });
  context.words = MakeTextWordSource(storage::TTextIndexParameters::Defaults(), locale);
  return context;
}

// The value as text, "NULL" for a null value.
std::string Evaluate(const std::string& text, const std::map<std::string, std::string>& values,
                     const Locale& locale = kAnsi, const std::string* memo = nullptr) {
  TExpTokenPtr tree = ParseAndCheck(text);
  const std::vector<std::uint8_t> record = MakeRecord(values);
  g_memo_text = memo;
  TExpTokenPtr value = EvaluateExpression(*tree, record, ContextFor(locale));
  g_memo_text = nullptr;
  if (value->is_null) return "NULL";
  return ValueText(*value);
}

struct EvaluationCase {
  const char* text;
  std::map<std::string, std::string> values;
  const char* expected;
};

void RunCases(const std::vector<EvaluationCase>& cases, const Locale& locale = kAnsi) {
  for (const EvaluationCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Evaluate(c.text, c.values, locale), c.expected);
  }
}

TEST(ExpressionEvaluationTest, NullSemantics) {
  RunCases({
      {"Name = ''", {}, "TRUE"},
      {"Name = ''", {{"Name", "a"}}, "FALSE"},
      {"Name <> 'x'", {}, "TRUE"},
      {"Name <> ''", {}, "FALSE"},
      {"Name <> ''", {{"Name", "a"}}, "TRUE"},
      {"Name = 'x'", {}, "FALSE"},
      {"Name = '   '", {}, "FALSE"},
      {"Num IS NULL", {}, "TRUE"},
      {"Num IS NOT NULL", {{"Num", "0"}}, "TRUE"},
      {"Num = NULL", {}, "TRUE"},
      {"Num <> NULL", {{"Num", "3"}}, "TRUE"},
      {"Num > 1", {}, "FALSE"},
      {"Num < 1", {}, "FALSE"},
      {"Num <= Age", {}, "TRUE"},
      {"Num < Age", {}, "FALSE"},
      {"Name < 'a'", {}, "TRUE"},
      {"Name >= ''", {}, "TRUE"},
      {"Num + 1", {}, "NULL"},
      {"Num / 0", {{"Num", "5"}}, "NULL"},
      {"Price / 0", {{"Price", "5"}}, "NULL"},
      {"Amount / 0", {{"Amount", "5"}}, "NULL"},
      {"Active AND Num > 1", {{"Num", "5"}}, "FALSE"},
      {"Active OR Num > 1", {{"Num", "5"}}, "TRUE"},
      {"NOT Active", {}, "TRUE"},
      {"Num IN (NULL)", {}, "TRUE"},
      {"Num IN (1, 2)", {}, "FALSE"},
      {"Num NOT IN (1, 2)", {}, "TRUE"},
      {"Num BETWEEN 1 AND 5", {}, "FALSE"},
      {"Num NOT BETWEEN 1 AND 5", {}, "TRUE"},
      {"Name LIKE 'a%'", {}, "FALSE"},
      {"Name NOT LIKE 'a%'", {}, "TRUE"},
      {"Name || 'x'", {}, "x"},
      {"UPPER(Name)", {}, "NULL"},
      {"LENGTH(Name)", {}, "NULL"},
      {"POS('a' IN Name)", {}, "NULL"},
      {"OCCURS('a' IN Name)", {}, "NULL"},
      {"ROUND(Price)", {}, "NULL"},
      {"EXTRACT(YEAR FROM Born)", {}, "NULL"},
      {"COALESCE(Name, Family, 'none')", {}, "none"},
      {"COALESCE(Name, Family)", {}, "NULL"},
      {"IFNULL(Num THEN 'none' ELSE 'some')", {}, "none"},
      {"IFNULL(Num THEN 'none' ELSE 'some')", {{"Num", "0"}}, "some"},
  });
}

TEST(ExpressionEvaluationTest, StringsUnderTheByteOrder) {
  RunCases({
      {"Name = 'abc'", {{"Name", "abc"}}, "TRUE"},
      {"Name = 'abc'", {{"Name", "ABC"}}, "FALSE"},
      {"Name = 'abc'", {{"Name", "abc  "}}, "TRUE"},
      {"Name > 'B'", {{"Name", "a"}}, "TRUE"},
      {"Name < 'ab'", {{"Name", "a"}}, "TRUE"},
      {"Name = 'O''Brien'", {{"Name", "O'Brien"}}, "TRUE"},
      {"Name = 'Tel1'", {{"Name", "123"}, {"Tel1", "123"}}, "TRUE"},
      {"Name = 'Tel1'", {{"Name", "Tel1"}, {"Tel1", "123"}}, "FALSE"},
      {"Name = 'a' Family", {{"Name", "a"}}, "TRUE"},
      {"Name || ' ' || Family", {{"Name", "Ali"}, {"Family", "Rezaei"}}, "Ali Rezaei"},
      {"Name + Family", {{"Family", "x"}}, "x"},
      {"Name BETWEEN 'a' AND 'c'", {{"Name", "b"}}, "TRUE"},
      {"Name BETWEEN 'a' AND 'c'", {{"Name", "cc"}}, "FALSE"},
      {"Name IN ('x', 'y')", {{"Name", "y"}}, "TRUE"},
      {"Notes = 'memo text'", {}, "FALSE"},
  });
  const std::string memo = "memo text";
  EXPECT_EQ(Evaluate("Notes = 'memo text'", {}, kAnsi, &memo), "TRUE");
  EXPECT_EQ(Evaluate("UPPER(Notes)", {}, kAnsi, &memo), "MEMO TEXT");
}

TEST(ExpressionEvaluationTest, StringsUnderFarsi) {
  const std::string marked = Cp1256("مُحَمَّد");
  const std::string bare = Cp1256("محمد");
  const std::string gol = Cp1256("گلی");
  const std::string kazem = Cp1256("کاظم");
  struct LocaleCase {
    std::string text;
    std::string name;
    Locale locale;
    const char* expected;
  };
  const LocaleCase cases[] = {
      // Vowel marks do not count under Farsi; they do as bytes.
      {"Name = '" + bare + "'", marked, kFarsi, "TRUE"},
      {"Name = '" + bare + "'", marked, kAnsi, "FALSE"},
      // Persian order puts gaf after keheh; code page 1256 bytes do not.
      {"Name > '" + kazem + "'", gol, kFarsi, "TRUE"},
      {"Name > '" + kazem + "'", gol, kAnsi, "FALSE"},
      {"Name BETWEEN '" + kazem + "' AND '" + gol + "'", gol, kFarsi, "TRUE"},
      // LIKE ignores case under the byte order only.
      {"Name LIKE 'AB%'", "abc", kAnsi, "TRUE"},
      {"Name LIKE 'AB%'", "abc", kFarsi, "FALSE"},
      {"Name LIKE '" + Cp1256("م") + "_%'", bare, kFarsi, "TRUE"},
      // LIKE goes character by character: a mark is a character of its own,
      // but under Farsi one ignorable character matches another.
      {"Name LIKE '%" + Cp1256("مد") + "'", marked, kFarsi, "FALSE"},
      {"Name LIKE '" + Cp1256("مـ") + "%'", marked, kFarsi, "TRUE"},
      {"Name LIKE '" + Cp1256("مـ") + "%'", marked, kAnsi, "FALSE"},
      {"Name = 'ali'", "Ali", kFarsi, "FALSE"},
  };
  for (const LocaleCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Evaluate(c.text, {{"Name", c.name}}, c.locale), c.expected);
  }
  EXPECT_EQ(Evaluate("UPPER(Name)", {{"Name", "ali"}}, kFarsi), "ALI");
  EXPECT_EQ(Evaluate("LOWER(Name) || '" + bare + "'", {{"Name", "ALI"}}, kFarsi), "ali" + bare);
}

TEST(ExpressionEvaluationTest, DatesTimesAndTimestamps) {
  RunCases({
      {"Born + 1", {{"Born", "2020-02-28"}}, "2020-02-29"},
      {"Born - 1", {{"Born", "2020-03-01"}}, "2020-02-29"},
      {"1 + Born", {{"Born", "2020-12-31"}}, "2021-01-01"},
      {"Born - '2020-01-01'", {{"Born", "2020-03-01"}}, "60"},
      {"Born = '2020-01-02'", {{"Born", "2020-01-02"}}, "TRUE"},
      {"Born < '2020-01-02'", {{"Born", "2019-12-31"}}, "TRUE"},
      {"Stamp = Born", {{"Stamp", "2020-01-02 00:00"}, {"Born", "2020-01-02"}}, "TRUE"},
      {"Stamp > Born", {{"Stamp", "2020-01-02 10:00"}, {"Born", "2020-01-02"}}, "TRUE"},
      {"Stamp + 1", {{"Stamp", "2020-01-02 10:00"}}, "2020-01-03 10:00 AM"},
      {"Stamp - Born", {{"Stamp", "2020-01-02 10:00"}, {"Born", "2020-01-02"}}, "36000000"},
      {"Stamp - Stamp", {{"Stamp", "2020-01-02 12:00"}}, "0"},
      {"Stamp", {{"Stamp", "2020-01-02 13:04:05.250"}}, "2020-01-02 01:04:05.250 PM"},
      {"At", {{"At", "13:05"}}, "01:05 PM"},
      {"At", {{"At", "00:30"}}, "12:30 AM"},
      {"At + 1000", {{"At", "10:00"}}, "10:00:01 AM"},
      {"At - At", {{"At", "10:00"}}, "0"},
      {"At = '1:05 PM'", {{"At", "13:05"}}, "TRUE"},
      {"At BETWEEN '12:00 PM' AND '14:00'", {{"At", "13:05"}}, "TRUE"},
      {"Born IN ('2020-01-01', '2020-01-02')", {{"Born", "2020-01-02"}}, "TRUE"},
      {"Born <= CURRENT_DATE", {{"Born", "2000-01-01"}}, "TRUE"},
      {"Stamp < CURRENT_TIMESTAMP", {{"Stamp", "2000-01-01 10:00"}}, "TRUE"},
      {"EXTRACT(YEAR FROM Born)", {{"Born", "2020-05-06"}}, "2020"},
      {"EXTRACT(MONTH FROM Born)", {{"Born", "2020-05-06"}}, "5"},
      {"EXTRACT(DAY FROM Born)", {{"Born", "2020-05-06"}}, "6"},
      {"EXTRACT(WEEK FROM '2021-01-03')", {}, "53"},
      {"EXTRACT(WEEK FROM '2021-01-04')", {}, "1"},
      {"EXTRACT(WEEK FROM '2019-12-30')", {}, "1"},
      {"EXTRACT(DAYOFWEEK FROM '2024-06-02')", {}, "7"},
      {"EXTRACT(DAYOFWEEK FROM '2024-06-03')", {}, "1"},
      {"EXTRACT(DAYOFYEAR FROM '2020-12-31')", {}, "366"},
      {"EXTRACT(DAYOFYEAR FROM '2021-01-01')", {}, "1"},
      {"EXTRACT(HOUR FROM At)", {{"At", "13:05"}}, "13"},
      {"EXTRACT(MINUTE FROM At)", {{"At", "13:05"}}, "5"},
      {"EXTRACT(SECOND FROM '10:00:07')", {}, "7"},
      {"EXTRACT(HOUR FROM Stamp)", {{"Stamp", "2020-01-02 23:59"}}, "23"},
      {"EXTRACT(YEAR FROM Stamp)", {{"Stamp", "2020-01-02 23:59"}}, "2020"},
      {"CAST(Born AS CHAR(10))", {{"Born", "2020-01-02"}}, "2020-01-02"},
      {"CAST(Stamp AS DATE)", {{"Stamp", "2020-01-02 23:59"}}, "2020-01-02"},
      {"CAST(Stamp AS TIME)", {{"Stamp", "2020-01-02 23:59"}}, "11:59 PM"},
      {"CAST(Born AS TIMESTAMP)", {{"Born", "2020-01-02"}}, "2020-01-02 12:00 AM"},
      {"CAST('2020-01-02 3:00 PM' AS TIMESTAMP)", {}, "2020-01-02 03:00 PM"},
  });
}

TEST(ExpressionEvaluationTest, NumbersAcrossTypes) {
  RunCases({
      {"Num + Age", {{"Num", "5"}, {"Age", "2"}}, "7"},
      {"Num / 2", {{"Num", "5"}}, "2.5"},
      {"Num * Big", {{"Num", "3"}, {"Big", "3000000000"}}, "9000000000"},
      // Results beyond 64 bits (or beyond the calendar) are NULL.
      {"Big * Big", {{"Big", "9000000000000000000"}}, "NULL"},
      {"Big + Big", {{"Big", "9000000000000000000"}}, "NULL"},
      {"Amount * Big", {{"Amount", "1"}, {"Big", "9000000000000000000"}}, "NULL"},
      {"Born + Big", {{"Born", "9999-12-31"}, {"Big", "1"}}, "NULL"},
      {"Born - Big", {{"Born", "0001-01-01"}, {"Big", "1"}}, "NULL"},
      {"Price = 2", {{"Price", "2.0"}}, "TRUE"},
      {"Price IN (1, 2)", {{"Price", "2"}}, "TRUE"},
      {"Amount = 2.5", {{"Amount", "2.50"}}, "TRUE"},
      {"Amount = Price", {{"Amount", "2.5"}, {"Price", "2.5"}}, "TRUE"},
      {"Amount > Num", {{"Amount", "2.01"}, {"Num", "2"}}, "TRUE"},
      {"Amount * 2", {{"Amount", "1.25"}}, "2.50"},
      {"Amount / 3", {{"Amount", "1"}}, "0.33"},
      {"Amount - Amount", {{"Amount", "1.25"}}, "0.00"},
      {"Price * 2", {{"Price", "1.5"}}, "3"},
      {"Big = 5", {{"Big", "5"}}, "TRUE"},
      {"W > Age", {{"W", "65535"}, {"Age", "-1"}}, "TRUE"},
      {"-Num", {{"Num", "5"}}, "-5"},
      {"+Num", {{"Num", "5"}}, "5"},
      {"ABS(Num)", {{"Num", "-5"}}, "5"},
      {"ABS(Price)", {{"Price", "-1.5"}}, "1.5"},
      {"ABS(Amount)", {{"Amount", "-1.5"}}, "1.50"},
      {"ROUND(Price TO 1)", {{"Price", "2.25"}}, "2.3"},
      {"ROUND(Price)", {{"Price", "2.5"}}, "3"},
      {"ROUND(Price)", {{"Price", "-2.5"}}, "-3"},
      {"ROUND(Amount TO 1)", {{"Amount", "1.25"}}, "1.30"},
      {"ROUND(Amount TO 9)", {{"Amount", "1.25"}}, "1.25"},
      {"Num BETWEEN 1 AND 5", {{"Num", "5"}}, "TRUE"},
      {"Num BETWEEN 1 AND 5", {{"Num", "6"}}, "FALSE"},
      {"Num IN (1, 2, 3)", {{"Num", "2"}}, "TRUE"},
      {"Num IN (1, 2, 3)", {{"Num", "4"}}, "FALSE"},
      {"Num NOT IN (1, 2)", {{"Num", "4"}}, "TRUE"},
      {"Active", {{"Active", "TRUE"}}, "TRUE"},
      {"Active = FALSE", {{"Active", "FALSE"}}, "TRUE"},
      {"CAST(Num AS CHAR(2))", {{"Num", "123"}}, "12"},
      {"CAST(Name AS INTEGER) + 1", {{"Name", "42"}}, "43"},
      {"CAST(Price AS INTEGER)", {{"Price", "2.7"}}, "2"},
      {"CAST(Price AS DECIMAL(10, 2))", {{"Price", "2.125"}}, "2.13"},
      {"CAST(Active AS SMALLINT)", {{"Active", "TRUE"}}, "1"},
      {"CAST(Num AS BOOLEAN)", {{"Num", "7"}}, "TRUE"},
      {"CAST(Name AS BOOLEAN)", {{"Name", "false"}}, "FALSE"},
      {"CAST(Price AS CHAR(10))", {{"Price", "2.5"}}, "2.5"},
  });
}

TEST(ExpressionEvaluationTest, LikePatterns) {
  RunCases({
      {"Name LIKE 'a_c'", {{"Name", "abc"}}, "TRUE"},
      {"Name LIKE 'a_c'", {{"Name", "abbc"}}, "FALSE"},
      {"Name LIKE 'a_c'", {{"Name", "ac"}}, "FALSE"},
      {"Name LIKE 'abc'", {{"Name", "abcd"}}, "FALSE"},
      {"Name LIKE 'abc'", {{"Name", "abc"}}, "TRUE"},
      {"Name LIKE '%b%'", {{"Name", "abc"}}, "TRUE"},
      {"Name LIKE 'a%c%e'", {{"Name", "abcde"}}, "TRUE"},
      {"Name LIKE 'a%c%e'", {{"Name", "abxe"}}, "FALSE"},
      {"Name LIKE 'a%%'", {{"Name", "a"}}, "TRUE"},
      {"Name LIKE '%'", {{"Name", "x"}}, "TRUE"},
      {"Name LIKE '%a'", {{"Name", "aXa"}}, "TRUE"},
      {"Name LIKE 'a*'", {{"Name", "abc"}}, "FALSE"},
      {"Name NOT LIKE 'a%'", {{"Name", "ba"}}, "TRUE"},
  });
}

TEST(ExpressionEvaluationTest, StringFunctions) {
  RunCases({
      {"UPPER(Name)", {{"Name", "abc"}}, "ABC"},
      {"LOWER(Name)", {{"Name", "ABC"}}, "abc"},
      {"LENGTH(Name)", {{"Name", "abc"}}, "3"},
      {"SUBSTRING(Name FROM 2 FOR 2)", {{"Name", "abcde"}}, "bc"},
      {"SUBSTRING(Name FROM 0 FOR 2)", {{"Name", "abcde"}}, "ab"},
      {"SUBSTRING(Name FROM 4)", {{"Name", "abcde"}}, "de"},
      {"SUBSTRING(Name FROM 4 FOR 10)", {{"Name", "abcde"}}, "de"},
      {"SUBSTRING(Name FROM 6)", {{"Name", "abcde"}}, "NULL"},
      {"SUBSTRING(Name FROM 2 FOR -1)", {{"Name", "abcde"}}, "NULL"},
      {"REPLACE('aa' WITH 'b' IN Name)", {{"Name", "aaa"}}, "ba"},
      {"REPLACE('a' WITH '' IN Name)", {{"Name", "aaa"}}, "NULL"},
      {"REPLACE('x' WITH 'yy' IN Name)", {{"Name", "axbx"}}, "ayybyy"},
      {"POS('c' IN Name)", {{"Name", "abcc"}}, "3"},
      {"POS('z' IN Name)", {{"Name", "abc"}}, "0"},
      {"OCCURS('aa' IN Name)", {{"Name", "aaaaa"}}, "2"},
      {"TRIM(LEADING 'x' FROM Name)", {{"Name", "xxaxx"}}, "axx"},
      {"TRIM(TRAILING 'x' FROM Name)", {{"Name", "xxaxx"}}, "xxa"},
      {"TRIM(BOTH 'x' FROM Name)", {{"Name", "xxaxx"}}, "a"},
      {"TRIM(BOTH 'x' FROM Name)", {{"Name", "xxx"}}, "NULL"},
      {"IF(Num > 1 THEN 'large' ELSE 'small')", {{"Num", "2"}}, "large"},
      {"IF(Num > 1, 'large', 'small')", {}, "small"},
      {"IF(Active, Num, Price)", {{"Active", "TRUE"}, {"Num", "2"}}, "2"},
      {"IF(Active, Num, Price)", {{"Price", "2.9"}}, "2"},
      {"COALESCE(Name, Family, 'x')", {{"Family", "f"}}, "f"},
      {"LASTAUTOINC('PhoneBook')", {}, "0"},
      {"IDENT_CURRENT('PhoneBook')", {}, "0"},
  });
}

TEST(ExpressionEvaluationTest, TextSearchCutsWordsAsTheTextIndexDoes) {
  const std::map<std::string, std::string> address = {{"Address", "Telephone Number list, List and list-2"}};
  struct TextCase {
    const char* text;
    const char* expected;
  };
  const TextCase cases[] = {
      {"TEXTSEARCH('tele* number' IN Address)", "TRUE"},
      {"TEXTSEARCH('num' IN Address)", "FALSE"},
      {"TEXTSEARCH('number LIST' IN Address)", "TRUE"},
      {"TEXTSEARCH('tele' IN Address)", "FALSE"},
      {"TEXTSEARCH('phone' IN Address)", "FALSE"},
      {"TEXTSEARCH('the and' IN Address)", "TRUE"},
      {"TEXTSEARCH('number zzz' IN Address)", "FALSE"},
      {"TEXTSEARCH('2' IN Address)", "TRUE"},
      {"TEXTOCCURS('list' IN Address)", "3"},
      {"TEXTOCCURS('li* number' IN Address)", "4"},
      {"TEXTOCCURS('and' IN Address)", "0"},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Evaluate(c.text, address), c.expected);
  }
  EXPECT_EQ(Evaluate("TEXTSEARCH('list' IN Address)", {}), "FALSE");
}

struct ConversionCase {
  const char* text;
  const char* message;
};

TEST(ExpressionEvaluationTest, FailedConversionsRaiseTheirMessages) {
  const ConversionCase cases[] = {
      {"CAST('2020-13-01' AS DATE)", "'2020-13-01' is not a valid date"},
      {"CAST('25:00' AS TIME)", "'25:00' is not a valid time"},
      {"CAST('2020-01-01 x' AS TIMESTAMP)", "'2020-01-01 x' is not a valid date and time"},
      {"CAST('yes' AS BOOLEAN)", "'yes' is not a valid boolean"},
      {"CAST('12a' AS INTEGER)", "'12a' is not a valid integer value"},
      {"CAST('70000' AS SMALLINT)", "'70000' is not a valid integer value"},
      {"CAST('1.2.3' AS FLOAT)", "'1.2.3' is not a valid floating point value"},
  };
  for (const ConversionCase& c : cases) {
    SCOPED_TRACE(c.text);
    TExpTokenPtr tree = ParseAndCheck(c.text);
    const std::vector<std::uint8_t> record = MakeRecord({});
    try {
      EvaluateExpression(*tree, record, ContextFor(kAnsi));
      ADD_FAILURE() << "no error";
    } catch (const EExpressionConversionError& error) {
      EXPECT_STREQ(error.what(), c.message);
    }
  }
}

TEST(ExpressionEvaluationTest, ColumnsOfAMissingRecordReadAsNull) {
  // Filters evaluate constant operands once, with no record at all.
  TExpTokenPtr tree = ParseAndCheck("Name IS NULL AND Num IS NULL AND UPPER('a') = 'A'");
  TExpTokenPtr value = EvaluateExpression(*tree, {}, ContextFor(kAnsi));
  EXPECT_TRUE(IsTrue(*value));
}

TEST(ExpressionEvaluationTest, OptionCompareMatchesPrefixes) {
  struct OptionCase {
    const char* value;  // nullptr: NULL
    const char* constant;
    int partial_length;
    bool case_insensitive;
    bool equal;
  };
  const OptionCase cases[] = {
      {"abcdef", "abc", 3, false, true}, {"abc", "abc", 3, false, true},  {"ab", "abc", 3, false, false},
      {"ABC", "abc", 3, false, false},   {"ABCdef", "abc", 3, true, true}, {"xabc", "abc", 3, false, false},
      {nullptr, "abc", 3, false, false}, {nullptr, nullptr, 0, false, true}, {"abc*", "abc*", 0, false, true},
      {"abcd", "abc", 0, false, false},
  };
  for (const OptionCase& c : cases) {
    SCOPED_TRACE(std::string(c.value ? c.value : "NULL") + " vs " + (c.constant ? c.constant : "NULL"));
    TExpToken value;
    value.type = storage::kTypeString;
    if (c.value) value.string_value = c.value; else value.SetNull();
    TExpToken constant;
    constant.type = storage::kTypeString;
    if (c.constant) constant.string_value = c.constant; else constant.SetNull();
    EXPECT_EQ(OptionCompareEqual(kAnsi, value, constant, c.partial_length, c.case_insensitive), c.equal);
  }
}

}  // namespace
}  // namespace telvora::engine
