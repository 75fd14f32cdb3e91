#pragma once
// The texts of every message a bad expression produces, byte for byte.
//
// Most messages are a fixed text, then the offending token, then "'", then
// " in ", then the context name ("filter expression" for filters); those are
// built with TokenMessage. Others are a fixed text directly followed by the
// context name (ContextMessage). The fixed texts that differ only by a
// keyword are built by the small functions at the end, so each pattern is
// written once.
//
// Pure constants and functions.

#include <string>
#include <string_view>

namespace telvora::engine::messages {

// Context names.
inline constexpr std::string_view kFilterContextName = "filter expression";

// Filter texts (the filter code's own two messages).
inline constexpr std::string_view kFilterMustBeBoolean = "filter expression must be a boolean expression";
inline constexpr std::string_view kFilterIsInvalid = "filter expression is invalid";

// Tokenizer.
inline constexpr std::string_view kMissingEndingComment = "Missing ending comment slash and asterisk in ";
inline constexpr std::string_view kMissingRightBracket = "Missing right bracket after '";
inline constexpr std::string_view kMissingSingleQuote = "Missing single quote after '";
inline constexpr std::string_view kMissingDoubleQuote = "Missing double quote after '";

// Grammar.
inline constexpr std::string_view kSecondConcatenationSymbol =
    "Second concatenation symbol '|' expected after first concatentation symbol, instead found '";
inline constexpr std::string_view kUnknownFunctionPrefix = "Unknown or unexpected function '";
inline constexpr std::string_view kFoundIn = " found in ";
inline constexpr std::string_view kUnknownSymbolPrefix = "Unknown or unexpected symbol '";
inline constexpr std::string_view kSymbolAfterCorrelation =
    "Symbol or string expression expected after table correlation name separator '.', instead found '";
inline constexpr std::string_view kCharacterRangePrefix = "Character constants (#) must be within the range of ";
inline constexpr std::string_view kCharacterRangeLow = "0";
inline constexpr std::string_view kCharacterRangeTo = " to ";
inline constexpr std::string_view kCharacterRangeHigh = "255";
inline constexpr std::string_view kConstantPrefix = "Constant '";
inline constexpr std::string_view kNotAValidNumber = " is not a valid number ";
inline constexpr std::string_view kRightParenthesesExpected = "Right parentheses expected, instead found '";
inline constexpr std::string_view kAllColumnsNotAllowed = "* (all columns) symbol is not allowed in ";
inline constexpr std::string_view kParametersNotAllowed = "Parameters are not allowed in ";
inline constexpr std::string_view kAggregatesNotAllowed = "Aggregate functions are not allowed in ";
inline constexpr std::string_view kExtendedPredicatesNotAllowed =
    "Extended predicate operators (LIKE, BETWEEN, IN, IS NULL) are not allowed in ";
inline constexpr std::string_view kSubSelectsNotAllowed = "Sub-select queries are not allowed in ";

// Function syntax.
inline constexpr std::string_view kCoalesceRightParentheses =
    "Expected right parentheses after COALESCE expression arguments, instead found '";
inline constexpr std::string_view kSubstringFrom = "FROM keyword expected after first SUBSTRING function argument, instead found '";
inline constexpr std::string_view kReplaceWith = "WITH keyword expected after first REPLACE function argument, instead found '";
inline constexpr std::string_view kReplaceIn = "IN keyword expected after second REPLACE function argument, instead found '";
inline constexpr std::string_view kPosIn = "IN keyword expected after first POS function argument, instead found '";
inline constexpr std::string_view kOccursIn = "IN keyword expected after first OCCURS function argument, instead found '";
inline constexpr std::string_view kCastAs = "AS keyword expected after first CAST function argument, instead found '";
inline constexpr std::string_view kTrimKeyword =
    "LEADING, TRAILING, or BOTH keyword expected after TRIM keyword, instead found '";
inline constexpr std::string_view kTrimFrom = "FROM keyword expected after second TRIM function argument, instead found '";
inline constexpr std::string_view kExtractKeyword =
    "YEAR, MONTH, WEEK, DAY, DAYOFWEEK, DAYOFYEAR, HOUR, MINUTE, or SECOND keyword expected after EXTRACT keyword, instead found '";
inline constexpr std::string_view kExtractFrom = "FROM keyword expected after second EXTRACT function argument, instead found '";
inline constexpr std::string_view kIfThen = "THEN keyword or comma expected after first IF function argument, instead found '";
inline constexpr std::string_view kIfElse = "ELSE keyword or comma expected after second IF function argument, instead found '";
inline constexpr std::string_view kIfNullThen =
    "THEN keyword or comma expected after first IFNULL function argument, instead found '";
inline constexpr std::string_view kIfNullElse =
    "ELSE keyword or comma expected after second IFNULL function argument, instead found '";
inline constexpr std::string_view kTextSearchIn =
    "IN keyword expected after first TEXTSEARCH function argument, instead found '";
inline constexpr std::string_view kTextOccursIn =
    "IN keyword expected after first TEXTOCCURS function argument, instead found '";

// Predicate syntax.
inline constexpr std::string_view kBetweenAnd = "Expected AND operator in BETWEEN operator, instead found '";
inline constexpr std::string_view kNotBetweenAnd = "Expected AND operator in NOT BETWEEN operator, instead found '";
inline constexpr std::string_view kInLeftParentheses = "Expected left parentheses for IN operator, instead found '";
inline constexpr std::string_view kInRightParentheses = "Expected right parentheses after IN operator, instead found '";
inline constexpr std::string_view kInSelectRightParentheses =
    "Expected right parentheses for IN operator, instead found '";
inline constexpr std::string_view kNotInLeftParentheses =
    "Expected left parentheses for NOT IN operator, instead found '";
inline constexpr std::string_view kNotInRightParentheses =
    "Expected right parentheses after NOT IN operator, instead found '";
inline constexpr std::string_view kNotInSelectRightParentheses =
    "Expected right parentheses for NOT IN operator, instead found '";
inline constexpr std::string_view kCoalesceNeedsValue =
    "You must provide at least one value as an argument of the COALESCE operator  in ";
inline constexpr std::string_view kInNeedsValue =
    "You must provide at least one value as an operand of the IN operator  in ";
inline constexpr std::string_view kNotInNeedsValue =
    "You must provide at least one value as an operand of the NOT IN operator  in ";

// CAST types.
inline constexpr std::string_view kDataTypeExpected = "SQL data type keyword expected, instead found '";
inline constexpr std::string_view kLengthMustBeInteger = "Length argument must be an integer in ";
inline constexpr std::string_view kLengthRangePrefix =
    "Length argument must be an integer greater than 0 and less than or equal to ";
inline constexpr std::string_view kMaxLengthText = "250";
inline constexpr std::string_view kIn = " in ";
inline constexpr std::string_view kScaleMustBeInteger = "Scale argument must be an integer in ";
inline constexpr std::string_view kBcdScaleRange =
    "Scale argument must be an integer less than or equal to 4 but greater than or equal to 0 for the BCD data type ";
inline constexpr std::string_view kFirstBlobArgument = "First BLOB type argument must be an integer in ";
inline constexpr std::string_view kBlobTypeArgument = "BLOB type argument must be an integer in ";
inline constexpr std::string_view kBlobTypeValue = "BLOB type argument must be an integer with a value of 1,2,3,5, or 7 in ";
inline constexpr std::string_view kFloatComma = "Comma expected after first FLOAT argument, instead found '";
inline constexpr std::string_view kFloatRightParentheses =
    "Right parentheses expected after FLOAT data type arguments, instead found '";
inline constexpr std::string_view kBlobComma = "Comma expected after first BLOB argument, instead found '";
inline constexpr std::string_view kBlobRightParentheses =
    "Right parentheses expected after BLOB data type arguments, instead found '";

// Check.
inline constexpr std::string_view kInvalidColumnPrefix = "Invalid column name '";
inline constexpr std::string_view kOrCorrelationName = " or table correlation name ";
inline constexpr std::string_view kSpecifiedIn = " specified in ";
inline constexpr std::string_view kTypeMismatchBetween = "Type mismatch between ";
inline constexpr std::string_view kOperatorAnd = " operator and ";
inline constexpr std::string_view kAnd = " and ";
inline constexpr std::string_view kDateTimeExpected = "Date, time, or timestamp expression expected, instead found '";
inline constexpr std::string_view kOperatorAndExpression = " operator and expression ";
inline constexpr std::string_view kFunctionAndArgument = " function and function argument in ";
inline constexpr std::string_view kLengthMismatch = "Type mismatch between LENGTH function and function argument in ";
inline constexpr std::string_view kSubstringExpression = "Expression argument of SUBSTRING function must be a string or memo in ";
inline constexpr std::string_view kSubstringFromInteger = "FROM argument of SUBSTRING function must be an integer value in ";
inline constexpr std::string_view kSubstringForInteger = "FOR argument of SUBSTRING function must be an integer value in ";
inline constexpr std::string_view kReplaceInString = "IN argument of REPLACE function must be a string or memo in ";
inline constexpr std::string_view kReplaceSearchString = "Type mismatch between REPLACE function and search string argument in ";
// The check's own text for the replacement string of REPLACE.
inline constexpr std::string_view kReplaceWithString = "Type mismatch between OCCURS function and WITH argument in ";
inline constexpr std::string_view kPosInArgument = "Type mismatch between POS function and IN argument in ";
inline constexpr std::string_view kPosSearchString = "Type mismatch between POS function and search string argument in ";
inline constexpr std::string_view kOccursInArgument = "Type mismatch between OCCURS function and IN argument in ";
inline constexpr std::string_view kOccursSearchString = "Type mismatch between OCCURS function and search string argument in ";
inline constexpr std::string_view kTrimFromString = "FROM argument of TRIM function must be a string or memo in ";
inline constexpr std::string_view kTrimCharacter = "Trim character argument of TRIM function must be a single character constant in ";
inline constexpr std::string_view kExtractFromDate = "FROM argument of EXTRACT function must be a date, time, or timestamp in ";
inline constexpr std::string_view kAbsArgument =
    "Expression argument of ABS function must be an integer, floating-point, or BCD type in ";
inline constexpr std::string_view kRoundArgument = "Expression argument of ROUND function must be a floating-point or BCD type in ";
inline constexpr std::string_view kRoundPlacesConstant = "Decimal places argument of ROUND function must be an integer constant in ";
inline constexpr std::string_view kRoundPlacesRange =
    "Decimal places argument of ROUND function must be an integer constant between 0 and 32 in ";
inline constexpr std::string_view kIfCondition = "First expression argument of IF function must be a boolean type in ";
inline constexpr std::string_view kAtLeastOneOfThe = "At least one of the ";
inline constexpr std::string_view kExpressionArgumentsIn = " expression arguments in ";
inline constexpr std::string_view kMustBeNonNull = " must be a non-NULL value";
inline constexpr std::string_view kTableNameArgument = " function and table name function argument in ";
inline constexpr std::string_view kTableNameMustBe = " table name function argument must be a string constant in ";
inline constexpr std::string_view kAndAsArgument = " and AS argument in ";
inline constexpr std::string_view kUnaryOperator = "'";

// Conversions (the value stands for %s).
inline constexpr std::string_view kNotAValidDate = "'%s' is not a valid date";
inline constexpr std::string_view kNotAValidTime = "'%s' is not a valid time";
inline constexpr std::string_view kNotAValidDateTime = "'%s' is not a valid date and time";
inline constexpr std::string_view kNotAValidBoolean = "'%s' is not a valid boolean";
inline constexpr std::string_view kNotAValidInteger = "'%s' is not a valid integer value";
inline constexpr std::string_view kNotAValidFloat = "'%s' is not a valid floating point value";

// fixed + token + "'" + " in " + context.
std::string TokenMessage(std::string_view fixed, std::string_view token, std::string_view context);
// fixed + context.
std::string ContextMessage(std::string_view fixed, std::string_view context);
// A conversion text with the value in place of %s.
std::string ConversionMessage(std::string_view pattern, std::string_view value);

// Keyword patterns.
std::string LeftParenthesesAfterKeyword(std::string_view keyword);   // "Left parentheses expected after X keyword, instead found '"
std::string RightParenthesesAfterArgument(std::string_view keyword); // "... after X function argument, ..."
std::string RightParenthesesAfterArguments(std::string_view keyword);// "... after X function arguments, ..."
std::string RightParenthesesAfterCurrent(std::string_view keyword);  // "... after first X function parentheses, ..."
std::string TypeLeftParentheses(std::string_view keyword);           // "Left parentheses expected after X data type, instead found '"
std::string TypeComma(std::string_view keyword);                     // "Comma expected after first X argument, instead found '"
std::string TypeRightParentheses(std::string_view keyword);          // "Right parentheses expected after X data type arguments, instead found '"
std::string TextFunctionSearchConstant(std::string_view keyword);    // "X search text function argument must be a string constant in "
std::string TextFunctionSearchType(std::string_view keyword);        // "Type mismatch between X function and search text function argument in "
std::string TextFunctionColumnName(std::string_view keyword);        // "X function column argument must be a valid column name in "
std::string TextFunctionColumnType(std::string_view keyword);        // "Type mismatch between X function and column function argument in "

}  // namespace telvora::engine::messages
