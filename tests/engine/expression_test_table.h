#pragma once
// An in-memory table for the expression tests: the phone book's six string
// fields plus one field of each other type, records built from texts, and a
// compact text form of expression trees.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "engine/exp_token.h"
#include "engine/expression_checker.h"
#include "engine/expression_conversion.h"
#include "engine/expression_parser.h"
#include "storage/bcd_value.h"
#include "storage/field_descriptor.h"
#include "storage/field_specs.h"
#include "storage/field_types.h"
#include "storage/record_image.h"
#include "storage/value_text.h"

namespace telvora::engine::testing {

using namespace storage;

inline constexpr const char* kTableName = "PhoneBook";

inline const std::vector<TFieldDescriptor>& ExpressionFields() {
  static const std::vector<TFieldDescriptor> fields = [] {
    const TFieldSpec specs[] = {
        {"Name", kTypeString, 0, 60, 0},    {"Family", kTypeString, 0, 70, 0},
        {"Tel1", kTypeString, 0, 12, 0},    {"Tel2", kTypeString, 0, 12, 0},
        {"Mobile", kTypeString, 0, 16, 0},  {"Address", kTypeString, 0, 65, 0},
        {"Active", kTypeBoolean, 0, 0, 0},  {"Age", kTypeSmallInt, 0, 0, 0},
        {"Num", kTypeInteger, 0, 0, 0},   {"Price", kTypeFloat, 0, 0, 0},
        {"Amount", kTypeBcd, 0, 0, 2},      {"Born", kTypeDate, 0, 0, 0},
        {"At", kTypeTime, 0, 0, 0},         {"Stamp", kTypeTimeStamp, 0, 0, 0},
        {"Big", kTypeLargeInt, 0, 0, 0},    {"W", kTypeWord, 0, 0, 0},
        {"Cost", kTypeFloat, kSubtypeMoney, 0, 0}, {"Raw", kTypeBytes, 0, 4, 0},
        {"Notes", kTypeBlob, kSubtypeMemo, 0, 0},
    };
    return DescribeLaidOutFields(specs);
  }();
  return fields;
}

inline std::size_t ExpressionRecordSize() {
  const TFieldDescriptor& last = ExpressionFields().back();
  return last.FieldOffset() + 1u + last.StoredLength();
}

inline int FieldNumberOf(const std::string& name) {
  const auto& fields = ExpressionFields();
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].Name() == name) return static_cast<int>(i + 1);
  }
  ADD_FAILURE() << "no field " << name;
  return 1;
}

// A record image with the given fields set from texts (every other field
// null). Memo texts are not stored in the image; see MemoTexts.
inline std::vector<std::uint8_t> MakeRecord(const std::map<std::string, std::string>& values) {
  std::vector<std::uint8_t> bytes(ExpressionRecordSize(), 0);
  TRecordImage image(bytes);
  for (const auto& [name, text] : values) {
    const TFieldDescriptor& field = ExpressionFields()[static_cast<std::size_t>(FieldNumberOf(name) - 1)];
    const TFieldLayout layout = TFieldLayout::Of(field);
    switch (field.Type()) {
      case kTypeString: image.SetString(layout, text, {}); break;
      case kTypeBoolean: image.SetBoolean(layout, *ParseBooleanText(text) ? 1 : 0); break;
      case kTypeSmallInt: image.SetSmallInt(layout, static_cast<std::int16_t>(std::stoi(text))); break;
      case kTypeInteger: image.SetInteger(layout, std::stoi(text)); break;
      case kTypeFloat: image.SetFloat(layout, std::stod(text)); break;
      case kTypeBcd: image.SetBcd(layout, *BcdFromText(text, field.Decimals())); break;
      case kTypeDate: image.SetDate(layout, *ParseDateText(text)); break;
      case kTypeTime: image.SetTime(layout, *ParseTimeText(text)); break;
      case kTypeTimeStamp: image.SetTimeStamp(layout, *ParseTimeStampText(text)); break;
      case kTypeLargeInt: image.SetLargeInt(layout, std::stoll(text)); break;
      case kTypeWord: image.SetWord(layout, static_cast<std::uint16_t>(std::stoi(text))); break;
      case kTypeBytes: {
        std::vector<std::uint8_t> raw(text.begin(), text.end());
        image.SetValueBytes(layout, raw);
        break;
      }
      default: break;
    }
  }
  return bytes;
}

inline std::string CodeName(const TExpToken& node) {
  switch (node.code) {
    case ecEqual: return "=";
    case ecNotEqual: return "<>";
    case ecGreater: return ">";
    case ecLess: return "<";
    case ecGreaterOrEqual: return ">=";
    case ecLessOrEqual: return "<=";
    case ecNot: return "NOT";
    case ecAnd: return "AND";
    case ecOr: return "OR";
    case ecNegate: return "NEG";
    case ecPlusSign: return "POS";
    case ecAdd: return "+";
    case ecSubtract: return "-";
    case ecMultiply: return "*";
    case ecDivide: return "/";
    case ecLike: return "LIKE";
    case ecNotLike: return "NOT LIKE";
    case ecInList: return "IN";
    case ecNotInList: return "NOT IN";
    case ecInSelect: return "IN SELECT";
    case ecBetween: return "BETWEEN";
    case ecNotBetween: return "NOT BETWEEN";
    default: return "#" + std::to_string(node.code);
  }
}

// The tree as text: (op a b) for operators and predicates, [Name] for a
// column, F#code(args) for a function, and constants as s:text, i:5 (also
// l: large, f: float, b: boolean, d: date and so on), null for the untyped
// NULL and null:s for a NULL string.
inline std::string Dump(const TExpToken& node) {
  switch (node.kind) {
    case ekColumn:
      return "[" + (node.correlation_name.empty() ? "" : node.correlation_name + ".") + node.field_name + "]";
    case ekConstant: {
      if (node.type == kTypeNone) return "null";
      static const std::map<std::uint8_t, std::string> prefixes = {
          {kTypeString, "s"}, {kTypeDate, "d"},      {kTypeBoolean, "b"}, {kTypeSmallInt, "si"},
          {kTypeInteger, "i"}, {kTypeFloat, "f"},    {kTypeBcd, "bcd"},   {kTypeTime, "t"},
          {kTypeTimeStamp, "ts"}, {kTypeWord, "w"}, {kTypeLargeInt, "l"},
      };
      const auto found = prefixes.find(node.type);
      const std::string prefix = found == prefixes.end() ? "?" : found->second;
      if (node.is_null) return "null:" + prefix;
      return prefix + ":" + ValueText(node);
    }
    case ekUnary:
      return "(" + CodeName(node) + " " + Dump(*node.left) + ")";
    case ekBinary:
    case ekOptionCompare:
      return "(" + CodeName(node) + " " + Dump(*node.left) + " " + Dump(*node.right) + ")";
    case ekPredicate:
    case ekFunction: {
      std::string text = node.kind == ekPredicate ? "(" + CodeName(node) : "F" + std::to_string(node.code) + "(";
      for (std::size_t i = 0; i < node.arguments.size(); ++i) {
        if (node.kind == ekPredicate || i > 0) text += " ";
        text += Dump(*node.arguments[i]);
      }
      return text + ")";
    }
    default:
      return "?";
  }
}

// Parses and checks a filter text over the test table.
inline TExpTokenPtr ParseAndCheck(const std::string& text, std::uint32_t flags = kFilterExpressionFlags) {
  const TExpressionContext context = FilterExpressionContext(kTableName);
  TExpressionParser parser(context);
  TExpTokenPtr tree = parser.ParseExpression(text, flags);
  CheckExpression(tree, FieldColumnLookup(ExpressionFields()), context);
  return tree;
}

}  // namespace telvora::engine::testing
