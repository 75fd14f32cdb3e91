// The expression parser and checker: the trees they build and every message
// they fail with.

#include <gtest/gtest.h>

#include <string>

#include "engine/expression_checker.h"
#include "engine/expression_messages.h"
#include "engine/expression_parser.h"
#include "expression_test_table.h"
#include "storage/engine_error.h"
#include "storage/engine_error_codes.h"

namespace telvora::engine {
namespace {

using testing::Dump;
using testing::ParseAndCheck;

struct ShapeCase {
  const char* text;
  const char* shape;
};

TEST(ExpressionParseAndCheckTest, BuildsTheseTrees) {
  const ShapeCase cases[] = {
      // Quotes, NULL strings and strings naming columns.
      {"Name = 'O''Brien'", "(= [Name] s:O'Brien)"},
      {"Name = \"say \"\"hi\"\"\"", "(= [Name] s:say \"hi\")"},
      {"Name = ''", "(= [Name] null:s)"},
      {"Name = 'Tel1'", "(= [Name] [Tel1])"},
      {"'name' = 'x'", "(= [name] s:x)"},
      {"Name = 'abc*'", "(= [Name] s:abc*)"},
      {"Name = '*'", "(= [Name] s:*)"},
      {"Name LIKE 'Family'", "(LIKE [Name] s:Family)"},
      {"Name IN ('Family', 'a')", "(IN [Name] s:Family s:a)"},
      {"COALESCE(Name, 'Family') = 'a'", "(= F65([Name] s:Family) s:a)"},
      {"UPPER('Family') = 'A'", "(= F36([Family]) s:A)"},
      {"POS('Name' IN 'Family') = 1", "(= F48(s:Name [Family]) i:1)"},
      {"[Name] = 'a'", "(= [Name] s:a)"},
      {"T.Name = 'a'", "(= [T.Name] s:a)"},
      {"Name = #65", "(= [Name] s:A)"},
      // Comments and blanks; the rest of the text after one expression.
      {"/* a */ Name /* b *//**/ = 'a'", "(= [Name] s:a)"},
      {"Name = 'a' Family", "(= [Name] s:a)"},
      {"Name = Family = Tel1", "(= [Name] [Family])"},
      {"Name < > 'a'", "(<> [Name] s:a)"},
      {"Name < = 'a'", "(<= [Name] s:a)"},
      {"Name > = 'a'", "(>= [Name] s:a)"},
      // Precedence and associativity.
      {"Num + 2 * 3 > 1 OR Name = 'a' AND NOT Active",
       "(OR (> (+ [Num] (* i:2 i:3)) i:1) (AND (= [Name] s:a) (NOT (= [Active] b:TRUE))))"},
      {"Num - 1 - 2 = 0", "(= (- (- [Num] i:1) i:2) i:0)"},
      {"Num / 2 * 3 = 0", "(= (* (/ [Num] i:2) i:3) i:0)"},
      {"(Num + 1) * 2 = -Num", "(= (* (+ [Num] i:1) i:2) (NEG [Num]))"},
      {"+Num = 1", "(= (POS [Num]) i:1)"},
      {"Name || Family = 'ab'", "(= (+ [Name] [Family]) s:ab)"},
      // Boolean columns standing alone.
      {"Active", "(= [Active] b:TRUE)"},
      {"Active OR Num = 1", "(OR (= [Active] b:TRUE) (= [Num] i:1))"},
      {"Active = FALSE", "(= [Active] b:FALSE)"},
      // Predicates.
      {"Name IS NULL", "(= [Name] null)"},
      {"Name IS NOT NULL", "(<> [Name] null)"},
      {"Name NOT LIKE 'a%'", "(NOT LIKE [Name] s:a%)"},
      {"Num NOT IN (1, 2)", "(NOT IN [Num] i:1 i:2)"},
      {"Num BETWEEN 1 AND 5 AND Age = 2", "(AND (BETWEEN [Num] i:1 i:5) (= [Age] i:2))"},
      {"Num NOT BETWEEN 1 AND 5", "(NOT BETWEEN [Num] i:1 i:5)"},
      {"Active NOT Family", "(= [Active] b:TRUE)"},
      // Numbers.
      {"Num = 2147483647", "(= [Num] i:2147483647)"},
      {"Big = 2147483648", "(= [Big] l:2147483648)"},
      {"Price = 99999999999999999999", "(= [Price] f:1e+20)"},
      {"Price = 2.5e1", "(= [Price] f:25)"},
      {"Price = .5", "(= [Price] f:0.5)"},
      // Date-like constants are converted beside date-like operands.
      {"Born = '2020-01-02'", "(= [Born] d:2020-01-02)"},
      {"'2020-01-02' < Stamp", "(< ts:2020-01-02 12:00 AM [Stamp])"},
      {"At >= '1:05 pm'", "(>= [At] t:01:05 PM)"},
      {"Born BETWEEN '2020-01-01' AND '2020-12-31'", "(BETWEEN [Born] d:2020-01-01 d:2020-12-31)"},
      {"Born - 1 = '2020-01-01'", "(= (- [Born] i:1) d:2020-01-01)"},
      // Functions.
      {"SUBSTRING(Name FROM 2 FOR 3) = 'a'", "(= F46([Name] i:2 i:3) s:a)"},
      {"REPLACE('a' WITH 'b' IN Name) = 'a'", "(= F47(s:a s:b [Name]) s:a)"},
      {"TRIM(LEADING 'x' FROM Name) = 'a'", "(= F50(s:x [Name]) s:a)"},
      {"TRIM(TRAILING #32 FROM Name) = 'a'", "(= F51(s:  [Name]) s:a)"},
      {"EXTRACT(DAYOFWEEK FROM Born) = 1", "(= F59([Born]) i:1)"},
      {"EXTRACT(YEAR FROM '2020-05-06') = 1", "(= F55(d:2020-05-06) i:1)"},
      {"ROUND(Price TO 2) = 1", "(= F68([Price] i:2) i:1)"},
      {"IF(Num > 1 THEN Name ELSE Family) = 'a'", "(= F64((> [Num] i:1) [Name] [Family]) s:a)"},
      {"IF(Active, 1, 2) = 1", "(= F64((= [Active] b:TRUE) i:1 i:2) i:1)"},
      {"IFNULL(Name, 'x', Family) = 'a'", "(= F66([Name] s:x [Family]) s:a)"},
      {"TEXTSEARCH('tel*' IN Address)", "F69(s:tel* [Address])"},
      {"TEXTOCCURS('tel' IN 'Address') = 1", "(= F70(s:tel [Address]) i:1)"},
      {"LASTAUTOINC('T') = 0", "(= F71(s:T) i:0)"},
      {"IDENT_CURRENT('T') = 0", "(= F72(s:T) i:0)"},
      {"CAST(Num AS CHAR(5)) = 'a'", "(= F54([Num]) s:a)"},
      {"Born <= CURRENT_DATE()", "(<= [Born] d:" },
  };
  for (const ShapeCase& c : cases) {
    SCOPED_TRACE(c.text);
    TExpTokenPtr tree = ParseAndCheck(c.text);
    const std::string shape = Dump(*tree);
    if (std::string(c.text) == "Born <= CURRENT_DATE()") {
      EXPECT_EQ(shape.rfind(c.shape, 0), 0u) << shape;
    } else {
      EXPECT_EQ(shape, c.shape);
    }
  }
}

struct TypeCase {
  const char* text;
  std::uint8_t type;
  std::uint8_t subtype;
  int size;
  int scale;
};

TEST(ExpressionParseAndCheckTest, GivesResultTypes) {
  using namespace storage;
  const TypeCase cases[] = {
      {"Name + Family", kTypeString, 0, 61 + 71 - 1, 0},
      {"Name + Notes", kTypeBlob, kSubtypeMemo, 4, 0},
      {"Num / 2", kTypeFloat, 0, 8, 0},
      {"Age + W", kTypeInteger, 0, 4, 0},
      {"Big + Num", kTypeLargeInt, 0, 8, 0},
      {"Amount + 1", kTypeBcd, 0, 34, 2},
      {"Amount / 2", kTypeBcd, 0, 34, 2},
      {"Amount * Price", kTypeFloat, 0, 8, 0},
      {"Cost * 2", kTypeFloat, kSubtypeMoney, 8, 0},
      {"Born - Born", kTypeInteger, 0, 4, 0},
      {"Born + 1", kTypeDate, 0, 4, 0},
      {"1 + Born", kTypeDate, 0, 4, 0},
      {"At - At", kTypeInteger, 0, 4, 0},
      {"At + 1000", kTypeTime, 0, 4, 0},
      {"Stamp - Stamp", kTypeFloat, 0, 8, 0},
      {"Stamp - Born", kTypeInteger, 0, 4, 0},
      {"Stamp + 1", kTypeTimeStamp, 0, 8, 0},
      {"-Price", kTypeFloat, 0, 8, 0},
      {"NULL + Num", kTypeInteger, 0, 4, 0},
      {"CAST(Num AS CHAR(5))", kTypeString, 0, 6, 0},
      {"CAST(Price AS DECIMAL(10, 3))", kTypeBcd, 0, 34, 3},
      {"CAST(Num AS MONEY)", kTypeFloat, kSubtypeMoney, 8, 0},
      {"CAST(Name AS BLOB(1, 2))", kTypeBlob, 23, 4, 0},
      {"CAST(Name AS MEMO)", kTypeBlob, kSubtypeMemo, 4, 0},
      {"IF(Active THEN Name ELSE Family)", kTypeString, 0, 71, 0},
      {"COALESCE(NULL, Num, 2)", kTypeInteger, 0, 4, 0},
      {"TEXTOCCURS('a' IN Name)", kTypeWord, 0, 2, 0},
      {"UPPER(Notes)", kTypeBlob, kSubtypeMemo, 4, 0},
      {"LENGTH(Name)", kTypeInteger, 0, 4, 0},
      {"Raw = Raw", kTypeBoolean, 0, 2, 0},
  };
  for (const TypeCase& c : cases) {
    SCOPED_TRACE(c.text);
    TExpTokenPtr tree = ParseAndCheck(c.text);
    EXPECT_EQ(tree->type, c.type);
    EXPECT_EQ(tree->subtype, c.subtype);
    EXPECT_EQ(tree->size, c.size);
    EXPECT_EQ(tree->scale, c.scale);
  }
}

struct MessageCase {
  const char* text;
  const char* message;
  std::uint32_t flags = kFilterExpressionFlags;
};

// What parsing and checking the text raise: the message, or "" if nothing.
std::string MessageOf(const std::string& text, std::uint32_t flags) {
  try {
    ParseAndCheck(text, flags);
  } catch (const storage::EVoraEngineError& error) {
    EXPECT_EQ(error.EngineCode, storage::VORA_INVALIDFILTER);
    EXPECT_EQ(error.ContextTable, testing::kTableName);
    return error.ContextDetail;
  }
  return "";
}

TEST(ExpressionParseAndCheckTest, FailsWithTheseMessages) {
  const MessageCase cases[] = {
      // Tokens.
      {"Name = 'a' /* open", "Missing ending comment slash and asterisk in filter expression"},
      {"[Name = 'a'", "Missing right bracket after 'Name = 'a'' in filter expression"},
      {"Name = 'abc", "Missing single quote after 'abc' in filter expression"},
      {"Name = \"ab\"\"c", "Missing double quote after 'ab\"c' in filter expression"},
      // Grammar.
      {"Name | 'a'",
       "Second concatenation symbol '|' expected after first concatentation symbol, instead found 'a' in filter "
       "expression"},
      {"Foo(1) = 1", "Unknown or unexpected function 'Foo' found in filter expression"},
      {"T.(1) = 1",
       "Symbol or string expression expected after table correlation name separator '.', instead found '(' in "
       "filter expression"},
      {"Name = #256", "Character constants (#) must be within the range of 0 to 255 in filter expression"},
      {"Price = 1.5e999", "Constant '1.5e999' is not a valid number  in filter expression"},
      {"(Name = 'a'", "Right parentheses expected, instead found '' in filter expression"},
      {"(Name = 'a' Family", "Right parentheses expected, instead found 'Family' in filter expression"},
      {"* = 1", "* (all columns) symbol is not allowed in filter expression"},
      {"Name = ?", "Parameters are not allowed in filter expression"},
      {"COUNT(*) > 1", "Aggregate functions are not allowed in filter expression"},
      {"Name LIKE 'a%'", "Extended predicate operators (LIKE, BETWEEN, IN, IS NULL) are not allowed in filter expression", 0},
      {"Name IS NULL", "Extended predicate operators (LIKE, BETWEEN, IN, IS NULL) are not allowed in filter expression", 0},
      {"Name IN (SELECT Name FROM T)", "Sub-select queries are not allowed in filter expression"},
      {"Name = ~", "Unknown or unexpected symbol '~' found in filter expression"},
      {"   ", "Unknown or unexpected symbol '' found in filter expression"},
      {"Name = ", "Unknown or unexpected symbol '' found in filter expression"},
      {"Name IS 5", "Unknown or unexpected symbol '5' found in filter expression"},
      {"Name IS NOT 5", "Unknown or unexpected symbol '5' found in filter expression"},
      {"- -Num = 1", "Unknown or unexpected symbol '-' found in filter expression"},
      {"NOT NOT Active", "Invalid column name 'NOT' or table correlation name '' specified in filter expression"},
      // Function syntax.
      {"LOWER Name = 'a'", "Left parentheses expected after LOWER keyword, instead found 'Name' in filter expression"},
      {"LOWER(Name = 'a'",
       "Right parentheses expected after LOWER function argument, instead found '=' in filter expression"},
      {"UPPER(Name", "Right parentheses expected after UPPER function argument, instead found '' in filter expression"},
      {"LENGTH 1", "Left parentheses expected after LENGTH keyword, instead found '1' in filter expression"},
      {"ABS(Num", "Right parentheses expected after ABS function argument, instead found '' in filter expression"},
      {"LASTAUTOINC('T'", "Right parentheses expected after LASTAUTOINC function argument, instead found '' in filter expression"},
      {"IDENT_CURRENT 'T'", "Left parentheses expected after IDENT_CURRENT keyword, instead found 'T' in filter expression"},
      {"TEXTSEARCH('a' IN Name", "Right parentheses expected after TEXTSEARCH function argument, instead found '' in filter expression"},
      {"TEXTOCCURS 'a'", "Left parentheses expected after TEXTOCCURS keyword, instead found 'a' in filter expression"},
      {"SUBSTRING(Name FROM 1 FOR 2", "Right parentheses expected after SUBSTRING function arguments, instead found '' in filter expression"},
      {"SUBSTRING Name", "Left parentheses expected after SUBSTRING keyword, instead found 'Name' in filter expression"},
      {"REPLACE('a' WITH 'b' IN Name", "Right parentheses expected after REPLACE function arguments, instead found '' in filter expression"},
      {"POS('a' IN Name", "Right parentheses expected after POS function arguments, instead found '' in filter expression"},
      {"OCCURS('a' IN Name", "Right parentheses expected after OCCURS function arguments, instead found '' in filter expression"},
      {"CAST(Name AS INTEGER", "Right parentheses expected after CAST function arguments, instead found '' in filter expression"},
      {"TRIM(BOTH 'a' FROM Name", "Right parentheses expected after TRIM function arguments, instead found '' in filter expression"},
      {"EXTRACT(YEAR FROM Born", "Right parentheses expected after EXTRACT function arguments, instead found '' in filter expression"},
      {"ROUND(Price TO 2", "Right parentheses expected after ROUND function arguments, instead found '' in filter expression"},
      {"IF(Active THEN 1 ELSE 2", "Right parentheses expected after IF function arguments, instead found '' in filter expression"},
      {"IFNULL(Name THEN 1 ELSE 2", "Right parentheses expected after IFNULL function arguments, instead found '' in filter expression"},
      {"COALESCE Name", "Left parentheses expected after COALESCE keyword, instead found 'Name' in filter expression"},
      {"COALESCE(Name, Family", "Expected right parentheses after COALESCE expression arguments, instead found '' in filter expression"},
      {"COALESCE() = 1", "You must provide at least one value as an argument of the COALESCE operator  in filter expression"},
      {"CURRENT_DATE( = Born", "Right parentheses expected after first CURRENT_DATE function parentheses, instead found '=' in filter expression"},
      {"CURRENT_TIME( = At", "Right parentheses expected after first CURRENT_TIME function parentheses, instead found '=' in filter expression"},
      {"current_timestamp(", "Right parentheses expected after first CURRENT_TIMESTAMP function parentheses, instead found '' in filter expression"},
      {"SUBSTRING(Name, 1)", "FROM keyword expected after first SUBSTRING function argument, instead found ',' in filter expression"},
      {"REPLACE('a' IN Name)", "WITH keyword expected after first REPLACE function argument, instead found 'IN' in filter expression"},
      {"REPLACE('a' WITH 'b' FROM Name)", "IN keyword expected after second REPLACE function argument, instead found 'FROM' in filter expression"},
      {"POS('a' FROM Name)", "IN keyword expected after first POS function argument, instead found 'FROM' in filter expression"},
      {"OCCURS('a', Name)", "IN keyword expected after first OCCURS function argument, instead found ',' in filter expression"},
      {"CAST(Name TO INTEGER)", "AS keyword expected after first CAST function argument, instead found 'TO' in filter expression"},
      {"TRIM(Name)", "LEADING, TRAILING, or BOTH keyword expected after TRIM keyword, instead found 'Name' in filter expression"},
      {"TRIM(BOTH ' ' IN Name)", "FROM keyword expected after second TRIM function argument, instead found 'IN' in filter expression"},
      {"EXTRACT(CENTURY FROM Born)",
       "YEAR, MONTH, WEEK, DAY, DAYOFWEEK, DAYOFYEAR, HOUR, MINUTE, or SECOND keyword expected after EXTRACT keyword, "
       "instead found 'CENTURY' in filter expression"},
      {"EXTRACT(YEAR IN Born)", "FROM keyword expected after second EXTRACT function argument, instead found 'IN' in filter expression"},
      {"IF(Active 1, 2)", "THEN keyword or comma expected after first IF function argument, instead found '1' in filter expression"},
      {"IF(Active, 1 2)", "ELSE keyword or comma expected after second IF function argument, instead found '2' in filter expression"},
      {"IFNULL(Name 1, 2)", "THEN keyword or comma expected after first IFNULL function argument, instead found '1' in filter expression"},
      {"IFNULL(Name THEN 1 2)", "ELSE keyword or comma expected after second IFNULL function argument, instead found '2' in filter expression"},
      {"TEXTSEARCH('a' FROM Name)", "IN keyword expected after first TEXTSEARCH function argument, instead found 'FROM' in filter expression"},
      {"TEXTOCCURS('a', Name)", "IN keyword expected after first TEXTOCCURS function argument, instead found ',' in filter expression"},
      // Predicate syntax.
      {"Num BETWEEN 1 OR 5", "Expected AND operator in BETWEEN operator, instead found 'OR' in filter expression"},
      {"Num NOT BETWEEN 1 5", "Expected AND operator in NOT BETWEEN operator, instead found '5' in filter expression"},
      {"Num IN 1", "Expected left parentheses for IN operator, instead found '1' in filter expression"},
      {"Num IN (1, 2", "Expected right parentheses after IN operator, instead found '' in filter expression"},
      {"Name IN (SELECT Name FROM T", "Expected right parentheses for IN operator, instead found '' in filter expression",
       kAllowExtendedPredicates | kAllowSubSelects},
      {"Num NOT IN 1", "Expected left parentheses for NOT IN operator, instead found '1' in filter expression"},
      {"Num NOT IN (1 2)", "Expected right parentheses after NOT IN operator, instead found '2' in filter expression"},
      {"Name NOT IN (SELECT Name FROM T", "Expected right parentheses for NOT IN operator, instead found '' in filter expression",
       kAllowExtendedPredicates | kAllowSubSelects},
      {"Num IN ()", "You must provide at least one value as an operand of the IN operator  in filter expression"},
      {"Num NOT IN ()", "You must provide at least one value as an operand of the NOT IN operator  in filter expression"},
      // CAST types.
      {"CAST(Name AS STRING)", "SQL data type keyword expected, instead found 'STRING' in filter expression"},
      {"CAST(Num AS CHAR(x))", "Length argument must be an integer in filter expression"},
      {"CAST(Num AS VARCHAR(251))", "Length argument must be an integer greater than 0 and less than or equal to 250 in filter expression"},
      {"CAST(Name AS BYTES(0))", "Length argument must be an integer greater than 0 and less than or equal to 250 in filter expression"},
      {"CAST(Num AS CHAR(10", "Right parentheses expected after CHAR data type arguments, instead found '' in filter expression"},
      {"CAST(Price AS DECIMAL(10, x))", "Scale argument must be an integer in filter expression"},
      {"CAST(Price AS DECIMAL(10, 5))",
       "Scale argument must be an integer less than or equal to 4 but greater than or equal to 0 for the BCD data type filter expression"},
      {"CAST(Price AS NUMERIC(10 4))", "Comma expected after first NUMERIC argument, instead found '4' in filter expression"},
      {"CAST(Price AS DECIMAL(10, 2", "Right parentheses expected after DECIMAL data type arguments, instead found '' in filter expression"},
      {"CAST(Num AS FLOAT(10 2))", "Comma expected after first FLOAT argument, instead found '2' in filter expression"},
      {"CAST(Num AS FLOAT(10, 2", "Right parentheses expected after FLOAT data type arguments, instead found '' in filter expression"},
      {"CAST(Name AS BLOB(x, 1))", "First BLOB type argument must be an integer in filter expression"},
      {"CAST(Name AS BLOB(1 2))", "Comma expected after first BLOB argument, instead found '2' in filter expression"},
      {"CAST(Name AS BLOB(1, x))", "BLOB type argument must be an integer in filter expression"},
      {"CAST(Name AS BLOB(1, 4))", "BLOB type argument must be an integer with a value of 1,2,3,5, or 7 in filter expression"},
      {"CAST(Name AS BLOB(1, 2", "Right parentheses expected after BLOB data type arguments, instead found '' in filter expression"},
      // Columns and types.
      {"Nome = 'a'", "Invalid column name 'Nome' or table correlation name '' specified in filter expression"},
      {"T.Nome = 'a'", "Invalid column name 'Nome' or table correlation name 'T' specified in filter expression"},
      {"NOT Num", "Type mismatch between 'NOT' operator and 'Num' in filter expression"},
      {"-Name = 'a'", "Type mismatch between '-' operator and 'Name' in filter expression"},
      {"+Active", "Type mismatch between '+' operator and 'Active' in filter expression"},
      {"-W = 1", "Type mismatch between '-' operator and 'W' in filter expression"},
      {"Born = '2020-13-45'", "Date, time, or timestamp expression expected, instead found '2020-13-45' in filter expression"},
      {"Born IN ('2020-01-01', 'soon')", "Date, time, or timestamp expression expected, instead found 'soon' in filter expression"},
      {"Num = '5'", "Type mismatch between column 'Num' and constant '5' in filter expression"},
      {"'a' = 1", "Type mismatch between constant 'a' and constant '1' in filter expression"},
      {"Num + 1 = Name", "Type mismatch between expression 'Num + 1' and column 'Name' in filter expression"},
      {"UPPER(Name) = 1", "Type mismatch between function 'UPPER(Name)' and constant '1' in filter expression"},
      {"Active < TRUE", "Type mismatch between column 'Active' and constant 'TRUE' in filter expression"},
      {"Raw > Raw", "Type mismatch between column 'Raw' and column 'Raw' in filter expression"},
      {"Notes = Raw", "Type mismatch between column 'Notes' and column 'Raw' in filter expression"},
      {"Price + Born = 1", "Type mismatch between column 'Price' and column 'Born' in filter expression"},
      {"Born - At = 1", "Type mismatch between column 'Born' and column 'At' in filter expression"},
      {"Name * 2 = 1", "Type mismatch between column 'Name' and constant '2' in filter expression"},
      {"Active AND Num", "Type mismatch between expression 'Active' and column 'Num' in filter expression"},
      {"Num LIKE 'a%'", "Type mismatch between LIKE operator and expression 'Num' in filter expression"},
      {"Name NOT LIKE 5", "Type mismatch between NOT LIKE operator and expression '5' in filter expression"},
      {"Num IN (1, 'a')", "Type mismatch between IN operator and expression 'a' in filter expression"},
      {"Num NOT IN ('a')", "Type mismatch between NOT IN operator and expression 'a' in filter expression"},
      {"Num BETWEEN 'a' AND 5", "Type mismatch between BETWEEN operator and expression 'a' in filter expression"},
      {"Num NOT BETWEEN 1 AND 'b'", "Type mismatch between NOT BETWEEN operator and expression 'b' in filter expression"},
      // Function arguments.
      {"UPPER(Num) = 'A'", "Type mismatch between UPPER function and function argument in filter expression"},
      {"LOWER(Born) = 'A'", "Type mismatch between LOWER function and function argument in filter expression"},
      {"LENGTH(Num) = 1", "Type mismatch between LENGTH function and function argument in filter expression"},
      {"SUBSTRING(Num FROM 1) = 'a'", "Expression argument of SUBSTRING function must be a string or memo in filter expression"},
      {"SUBSTRING(Name FROM 'a') = 'a'", "FROM argument of SUBSTRING function must be an integer value in filter expression"},
      {"SUBSTRING(Name FROM 1 FOR 1.5) = 'a'", "FOR argument of SUBSTRING function must be an integer value in filter expression"},
      {"REPLACE('a' WITH 'b' IN Num) = 'a'", "IN argument of REPLACE function must be a string or memo in filter expression"},
      {"REPLACE(1 WITH 'b' IN Name) = 'a'", "Type mismatch between REPLACE function and search string argument in filter expression"},
      {"REPLACE('a' WITH 1 IN Name) = 'a'", "Type mismatch between OCCURS function and WITH argument in filter expression"},
      {"POS('a' IN Num) = 1", "Type mismatch between POS function and IN argument in filter expression"},
      {"POS(1 IN Name) = 1", "Type mismatch between POS function and search string argument in filter expression"},
      {"OCCURS('a' IN Num) = 1", "Type mismatch between OCCURS function and IN argument in filter expression"},
      {"OCCURS(1 IN Name) = 1", "Type mismatch between OCCURS function and search string argument in filter expression"},
      {"TRIM(BOTH ' ' FROM Num) = 'a'", "FROM argument of TRIM function must be a string or memo in filter expression"},
      {"TRIM(BOTH 'ab' FROM Name) = 'a'", "Trim character argument of TRIM function must be a single character constant in filter expression"},
      {"TRIM(BOTH Tel1 FROM Name) = 'a'", "Trim character argument of TRIM function must be a single character constant in filter expression"},
      {"EXTRACT(YEAR FROM Name) = 1", "FROM argument of EXTRACT function must be a date, time, or timestamp in filter expression"},
      {"EXTRACT(YEAR FROM 'soon') = 1", "FROM argument of EXTRACT function must be a date, time, or timestamp in filter expression"},
      {"ABS(Name) = 1", "Expression argument of ABS function must be an integer, floating-point, or BCD type in filter expression"},
      {"ROUND(Num) = 1", "Expression argument of ROUND function must be a floating-point or BCD type in filter expression"},
      {"ROUND(Price TO Num) = 1", "Decimal places argument of ROUND function must be an integer constant in filter expression"},
      {"ROUND(Price TO 33) = 1", "Decimal places argument of ROUND function must be an integer constant between 0 and 32 in filter expression"},
      {"IF(Num THEN 1 ELSE 2) = 1", "First expression argument of IF function must be a boolean type in filter expression"},
      {"IF(Active THEN NULL ELSE NULL) = 1", "At least one of the IF expression arguments in filter expression must be a non-NULL value"},
      {"IFNULL(Name, NULL, NULL) = 1", "At least one of the IFNULL expression arguments in filter expression must be a non-NULL value"},
      {"COALESCE(NULL, NULL) = 1", "At least one of the COALESCE expression arguments in filter expression must be a non-NULL value"},
      {"IF(Active, 1, 'a') = 1", "Type mismatch between IF expression arguments in filter expression"},
      {"IFNULL(Name, Born, Active) = 1", "Type mismatch between IFNULL expression arguments in filter expression"},
      {"COALESCE(Name, Num) = 1", "Type mismatch between COALESCE expression arguments in filter expression"},
      {"TEXTSEARCH(Name IN Address)", "TEXTSEARCH search text function argument must be a string constant in filter expression"},
      {"TEXTSEARCH(1 IN Address)", "Type mismatch between TEXTSEARCH function and search text function argument in filter expression"},
      {"TEXTSEARCH('a' IN 'b')", "TEXTSEARCH function column argument must be a valid column name in filter expression"},
      {"TEXTSEARCH('a' IN Num)", "Type mismatch between TEXTSEARCH function and column function argument in filter expression"},
      {"TEXTOCCURS(Name IN Address) = 1", "TEXTOCCURS search text function argument must be a string constant in filter expression"},
      {"TEXTOCCURS('a' IN Born) = 1", "Type mismatch between TEXTOCCURS function and column function argument in filter expression"},
      {"LASTAUTOINC(1) = 1", "Type mismatch between LASTAUTOINC function and table name function argument in filter expression"},
      {"IDENT_CURRENT(Name) = 1", "IDENT_CURRENT table name function argument must be a string constant in filter expression"},
      {"CAST(Active AS DATE) = '2020-01-01'", "Type mismatch between column 'Active' and AS argument in filter expression"},
      {"CAST(Price AS BOOLEAN)", "Type mismatch between column 'Price' and AS argument in filter expression"},
      {"CAST(Born AS TIME) = At", "Type mismatch between column 'Born' and AS argument in filter expression"},
  };
  for (const MessageCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(MessageOf(c.text, c.flags), c.message);
  }
}

TEST(ExpressionParseAndCheckTest, SqlOnlyConstructsParseWhenAllowed) {
  const std::uint32_t all = kAllowAggregates | kAllowAllColumns | kAllowExtendedPredicates | kAllowParameters |
                            kAllowSubSelects;
  const TExpressionContext context{0, "T", "query"};
  TExpressionParser parser(context);
  EXPECT_EQ(Dump(*parser.ParseExpression("COUNT(*) > 1", all)), "(> F28([*]) i:1)");
  EXPECT_EQ(Dump(*parser.ParseExpression("Name = ?", all)), "(= [Name] null)");
  EXPECT_EQ(Dump(*parser.ParseExpression("Name IN (SELECT Name FROM T WHERE (a = 1))", all)),
            "(IN SELECT [Name] s:SELECT Name FROM T WHERE (a = 1))");
}

TEST(ExpressionParseAndCheckTest, ErrorCarriesTheFilterTemplate) {
  try {
    ParseAndCheck("Nome = 'a'");
    FAIL() << "no error";
  } catch (const storage::EVoraEngineError& error) {
    EXPECT_STREQ(error.what(),
                 "Vora Engine Error # 10051 Filter error for the table 'PhoneBook' - Invalid column name 'Nome' or "
                 "table correlation name '' specified in filter expression");
  }
}

TEST(ExpressionParseAndCheckTest, FilterMessagesRaiseTheFilterError) {
  try {
    RaiseFilterError("PhoneBook", messages::kFilterMustBeBoolean);
  } catch (const storage::EVoraEngineError& error) {
    EXPECT_EQ(error.EngineCode, storage::VORA_INVALIDFILTER);
    EXPECT_STREQ(error.what(),
                 "Vora Engine Error # 10051 Filter error for the table 'PhoneBook' - filter expression must be a "
                 "boolean expression");
  }
}

TEST(ExpressionParseAndCheckTest, MessagesAreCutTo255Characters) {
  const std::string name(300, 'x');
  const std::string message = MessageOf(name + " = 1", kFilterExpressionFlags);
  EXPECT_EQ(message.size(), kMaxExpressionMessageLength);
  EXPECT_EQ(message.rfind("Invalid column name 'xxx", 0), 0u);
}

TEST(ExpTokenStackTest, ReleasedTreesComeBackToThePool) {
  {
    TExpTokenPtr warm = ParseAndCheck("Name = 'a' AND Num > 1");
  }
  const std::size_t spare = TExpTokenStack::SpareCount();
  TExpTokenPtr tree = ParseAndCheck("Name = 'a'");
  EXPECT_LT(TExpTokenStack::SpareCount(), spare);
  TExpTokenPtr copy = CloneExpression(*tree);
  EXPECT_EQ(Dump(*copy), Dump(*tree));
  EXPECT_TRUE(ContainsColumn(*copy));
  EXPECT_FALSE(ContainsColumn(*copy->right));
  tree.reset();
  copy.reset();
  EXPECT_EQ(TExpTokenStack::SpareCount(), spare);
}

}  // namespace
}  // namespace telvora::engine
