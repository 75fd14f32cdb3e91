#include "engine/expression_messages.h"

namespace telvora::engine::messages {

namespace {

std::string Join(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (std::string_view part : parts) text.append(part);
  return text;
}

}  // namespace

std::string TokenMessage(std::string_view fixed, std::string_view token, std::string_view context) {
  return Join({fixed, token, "'", kIn, context});
}

std::string ContextMessage(std::string_view fixed, std::string_view context) { return Join({fixed, context}); }

std::string ConversionMessage(std::string_view pattern, std::string_view value) {
  std::string text(pattern);
  const std::size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, value);
  return text;
}

std::string LeftParenthesesAfterKeyword(std::string_view keyword) {
  return Join({"Left parentheses expected after ", keyword, " keyword, instead found '"});
}

std::string RightParenthesesAfterArgument(std::string_view keyword) {
  return Join({"Right parentheses expected after ", keyword, " function argument, instead found '"});
}

std::string RightParenthesesAfterArguments(std::string_view keyword) {
  return Join({"Right parentheses expected after ", keyword, " function arguments, instead found '"});
}

std::string RightParenthesesAfterCurrent(std::string_view keyword) {
  return Join({"Right parentheses expected after first ", keyword, " function parentheses, instead found '"});
}

std::string TypeLeftParentheses(std::string_view keyword) {
  return Join({"Left parentheses expected after ", keyword, " data type, instead found ", "'"});
}

std::string TypeComma(std::string_view keyword) {
  return Join({"Comma expected after first ", keyword, " argument, instead found ", "'"});
}

std::string TypeRightParentheses(std::string_view keyword) {
  return Join({"Right parentheses expected after ", keyword, " data type arguments, instead found ", "'"});
}

std::string TextFunctionSearchConstant(std::string_view keyword) {
  return Join({keyword, " search text function argument must be a string constant in "});
}

std::string TextFunctionSearchType(std::string_view keyword) {
  return Join({"Type mismatch between ", keyword, " function and search text function argument in "});
}

std::string TextFunctionColumnName(std::string_view keyword) {
  return Join({keyword, " function column argument must be a valid column name in "});
}

std::string TextFunctionColumnType(std::string_view keyword) {
  return Join({"Type mismatch between ", keyword, " function and column function argument in "});
}

}  // namespace telvora::engine::messages
