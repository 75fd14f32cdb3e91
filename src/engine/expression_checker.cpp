#include "engine/expression_checker.h"

#include <algorithm>

#include "engine/expression_conversion.h"
#include "engine/expression_messages.h"
#include "engine/expression_tokenizer.h"
#include "engine/expression_types.h"

namespace telvora::engine {

namespace m = messages;
using namespace storage;

namespace {

constexpr int kMaxRoundPlaces = 32;

// The groups the operator rules are written in.
enum class TTypeClass { tcNull, tcString, tcOtherBlob, tcBoolean, tcInteger, tcFloatOrBcd, tcDate, tcTime,
                        tcTimeStamp, tcBytes, tcUnknown };

TTypeClass ClassOf(const TExpToken& node) {
  const std::uint8_t type = node.type;
  if (type == kTypeNone) return TTypeClass::tcNull;
  if (IsStringType(type, node.subtype)) return TTypeClass::tcString;
  if (type == kTypeBlob) return TTypeClass::tcOtherBlob;
  if (type == kTypeBoolean) return TTypeClass::tcBoolean;
  if (IsIntegerType(type)) return TTypeClass::tcInteger;
  if (type == kTypeFloat || type == kTypeBcd) return TTypeClass::tcFloatOrBcd;
  if (type == kTypeDate) return TTypeClass::tcDate;
  if (type == kTypeTime) return TTypeClass::tcTime;
  if (type == kTypeTimeStamp) return TTypeClass::tcTimeStamp;
  if (IsBytesType(type)) return TTypeClass::tcBytes;
  return TTypeClass::tcUnknown;
}

bool IsNumberClass(TTypeClass c) { return c == TTypeClass::tcInteger || c == TTypeClass::tcFloatOrBcd; }
bool IsDayClass(TTypeClass c) { return c == TTypeClass::tcDate || c == TTypeClass::tcTimeStamp; }

bool Comparable(TTypeClass l, TTypeClass r, bool ordered) {
  if (l == TTypeClass::tcUnknown || r == TTypeClass::tcUnknown) return false;
  if (l == TTypeClass::tcNull || r == TTypeClass::tcNull) {
    const TTypeClass other = l == TTypeClass::tcNull ? r : l;
    return !ordered || (other != TTypeClass::tcBoolean && other != TTypeClass::tcBytes);
  }
  if (IsDayClass(l) && IsDayClass(r)) return true;
  if (IsNumberClass(l) && IsNumberClass(r)) return true;
  if (l != r) return false;
  switch (l) {
    case TTypeClass::tcString:
    case TTypeClass::tcTime:
      return true;
    case TTypeClass::tcBoolean:
    case TTypeClass::tcBytes:
      return !ordered;
    default:
      return false;
  }
}

bool AdditionAllowed(TTypeClass l, TTypeClass r) {
  const auto left_entry = [](TTypeClass c) {
    return c == TTypeClass::tcDate || c == TTypeClass::tcTime || c == TTypeClass::tcTimeStamp ||
           c == TTypeClass::tcString || IsNumberClass(c);
  };
  if (l == TTypeClass::tcNull || r == TTypeClass::tcNull) {
    const TTypeClass other = l == TTypeClass::tcNull ? r : l;
    return other == TTypeClass::tcNull || left_entry(other);
  }
  const bool l_dated = l == TTypeClass::tcDate || l == TTypeClass::tcTime || l == TTypeClass::tcTimeStamp;
  const bool r_dated = r == TTypeClass::tcDate || r == TTypeClass::tcTime || r == TTypeClass::tcTimeStamp;
  if (l_dated) return r == TTypeClass::tcInteger;
  if (r_dated) return l == TTypeClass::tcInteger;
  if (l == TTypeClass::tcString) return r == TTypeClass::tcString;
  return IsNumberClass(l) && IsNumberClass(r);
}

bool SubtractionAllowed(TTypeClass l, TTypeClass r) {
  const auto left_entry = [](TTypeClass c) {
    return c == TTypeClass::tcDate || c == TTypeClass::tcTime || c == TTypeClass::tcTimeStamp || IsNumberClass(c);
  };
  if (l == TTypeClass::tcNull || r == TTypeClass::tcNull) {
    const TTypeClass other = l == TTypeClass::tcNull ? r : l;
    return other == TTypeClass::tcNull || left_entry(other);
  }
  switch (l) {
    case TTypeClass::tcDate:
      return r == TTypeClass::tcDate || r == TTypeClass::tcInteger;
    case TTypeClass::tcTime:
      return r == TTypeClass::tcTime || r == TTypeClass::tcInteger;
    case TTypeClass::tcTimeStamp:
      return r == TTypeClass::tcDate || r == TTypeClass::tcTime || r == TTypeClass::tcTimeStamp ||
             r == TTypeClass::tcInteger;
    default:
      return IsNumberClass(l) && IsNumberClass(r);
  }
}

bool MultiplicationAllowed(TTypeClass l, TTypeClass r) {
  if (l == TTypeClass::tcNull) return r == TTypeClass::tcNull || IsNumberClass(r);
  if (r == TTypeClass::tcNull) return IsNumberClass(l);
  return IsNumberClass(l) && IsNumberClass(r);
}

bool LogicAllowed(TTypeClass l, TTypeClass r) {
  const auto ok = [](TTypeClass c) { return c == TTypeClass::tcNull || c == TTypeClass::tcBoolean; };
  return ok(l) && ok(r);
}

bool IsComparison(TExpCode code) { return code >= ecEqual && code <= ecLessOrEqual; }

std::string_view KindWord(const TExpToken& node) {
  switch (node.kind) {
    case ekColumn: return "column";
    case ekConstant: return "constant";
    case ekFunction: return "function";
    default: return "expression";
  }
}

void SetType(TExpToken& node, std::uint8_t type, std::uint8_t subtype = 0) {
  node.type = type;
  node.subtype = subtype;
  node.size = FixedValueSize(type);
  node.scale = 0;
}

void CopyType(TExpToken& node, const TExpToken& from) {
  node.type = from.type;
  node.subtype = from.subtype;
  node.size = from.size;
  node.scale = from.scale;
}

bool IsMoney(const TExpToken& node) { return node.type == kTypeFloat && node.subtype == kSubtypeMoney; }

// Result of a numeric operation of two number (or NULL) operands.
void SetNumberResult(TExpToken& node, const TExpToken& l, const TExpToken& r, bool division) {
  const auto has = [&](std::uint8_t type) { return l.type == type || r.type == type; };
  if (has(kTypeFloat) || (division && !has(kTypeBcd) && IsIntegerType(l.type) && IsIntegerType(r.type))) {
    SetType(node, kTypeFloat);
  } else if (has(kTypeBcd)) {
    SetType(node, kTypeBcd);
    node.scale = std::max(l.type == kTypeBcd ? l.scale : 0, r.type == kTypeBcd ? r.scale : 0);
  } else if (has(kTypeLargeInt)) {
    SetType(node, kTypeLargeInt);
  } else if (l.type == kTypeNone && r.type == kTypeNone) {
    SetType(node, kTypeNone);
  } else if (division) {
    SetType(node, kTypeFloat);
  } else {
    SetType(node, kTypeInteger);
  }
  // Money carries over to a float result of money and a number.
  if (node.type == kTypeFloat && (IsMoney(l) || IsMoney(r))) node.subtype = kSubtypeMoney;
}

// One check of one tree: walks it from the root, resolving and typing every
// node. Lives for one CheckExpression call on the caller's thread.
class TChecker {
 public:
  TChecker(const TColumnLookup& lookup, const TExpressionContext& context) : lookup_(lookup), context_(context) {}

  // may_be_column: a quoted string here may name a column (operand
  // positions). condition: a boolean column here stands for column = TRUE.
  void Check(TExpTokenPtr& node, bool may_be_column, bool condition) {
    switch (node->kind) {
      case ekConstant:
        if (may_be_column && NamesColumn(*node)) {
          node->kind = ekColumn;
          node->field_name = node->string_value;
          node->string_value.clear();
          node->quoted = false;
          CheckColumn(node, condition);
        }
        return;
      case ekColumn:
        CheckColumn(node, condition);
        return;
      case ekUnary:
        CheckUnary(*node);
        return;
      case ekBinary:
      case ekOptionCompare:
        CheckBinary(*node);
        return;
      case ekPredicate:
        CheckPredicate(*node);
        return;
      case ekFunction:
        CheckFunction(*node);
        return;
      case ekNone:
        return;
    }
  }

 private:
  [[noreturn]] void Fail(std::string_view message) { RaiseExpressionError(context_, message); }
  [[noreturn]] void FailContext(std::string_view fixed) { Fail(m::ContextMessage(fixed, context_.context_name)); }
  [[noreturn]] void FailMismatch(const TExpToken& l, const TExpToken& r) {
    std::string text(m::kTypeMismatchBetween);
    text.append(KindWord(l)).append(" '").append(l.text).append("'").append(m::kAnd);
    text.append(KindWord(r)).append(" '").append(r.text).append("'").append(m::kIn).append(context_.context_name);
    Fail(text);
  }
  [[noreturn]] void FailDateTime(const TExpToken& constant) {
    Fail(m::TokenMessage(m::kDateTimeExpected, constant.text, context_.context_name));
  }

  bool NamesColumn(const TExpToken& node) const {
    return node.quoted && node.type == kTypeString && !node.is_null && node.string_value != "*" &&
           lookup_(node.string_value).has_value();
  }

  void CheckColumn(TExpTokenPtr& node, bool condition) {
    if (node->field_name == "*") return;  // the SQL engine's all-columns symbol
    const std::optional<TExpColumnInfo> info = lookup_(node->field_name);
    if (!info) {
      std::string text(m::kInvalidColumnPrefix);
      text.append(node->field_name).append("'").append(m::kOrCorrelationName).append("'");
      text.append(node->correlation_name).append("'").append(m::kSpecifiedIn).append(context_.context_name);
      Fail(text);
    }
    node->field_number = info->field_number;
    SetType(*node, info->type, info->subtype);
    if (info->type == kTypeString) node->size = info->declared_size + 1;
    if (IsBytesType(info->type)) node->size = info->declared_size;
    if (info->type == kTypeBcd) node->scale = info->scale;
    if (condition && info->type == kTypeBoolean) {
      // A bare boolean column stands for column = TRUE.
      TExpTokenPtr compare = TExpTokenStack::Take();
      compare->kind = ekBinary;
      compare->code = ecEqual;
      compare->boolean_rewrite = true;
      compare->text = node->text;
      SetType(*compare, kTypeBoolean);
      compare->left = std::move(node);
      compare->right = MakeBooleanConstant(true);
      node = std::move(compare);
    }
  }

  void CheckUnary(TExpToken& node) {
    const bool is_not = node.code == ecNot;
    Check(node.left, true, is_not);
    const std::uint8_t type = node.left->type;
    bool allowed = false;
    if (is_not) {
      allowed = type == kTypeBoolean;
    } else {
      allowed = type == kTypeNone || type == kTypeDate || type == kTypeSmallInt || type == kTypeInteger ||
                type == kTypeFloat || type == kTypeBcd || type == kTypeTime || type == kTypeTimeStamp ||
                type == kTypeLargeInt || (node.code == ecPlusSign && type == kTypeWord);
    }
    if (!allowed) {
      const std::string_view symbol = is_not ? "NOT" : (node.code == ecNegate ? "-" : "+");
      std::string text(m::kTypeMismatchBetween);
      text.append("'").append(symbol).append("'").append(m::kOperatorAnd).append("'").append(node.left->text);
      text.append("'").append(m::kIn).append(context_.context_name);
      Fail(text);
    }
    if (is_not) {
      SetType(node, kTypeBoolean);
    } else {
      CopyType(node, *node.left);
    }
  }

  // A string constant beside a date, time or timestamp becomes one.
  void ConvertDateConstant(TExpToken& constant, const TExpToken& other) {
    if (constant.kind != ekConstant || constant.type != kTypeString || !IsDateLikeType(other.type)) return;
    if (!ConvertStringToDateLike(constant, other.type)) FailDateTime(constant);
  }

  void CheckBinary(TExpToken& node) {
    const bool logic = node.code == ecAnd || node.code == ecOr;
    Check(node.left, true, logic);
    Check(node.right, true, logic);
    TExpToken& l = *node.left;
    TExpToken& r = *node.right;
    ConvertDateConstant(l, r);
    ConvertDateConstant(r, l);
    const TTypeClass lc = ClassOf(l);
    const TTypeClass rc = ClassOf(r);
    bool allowed = false;
    switch (node.code) {
      case ecEqual:
      case ecNotEqual:
        allowed = Comparable(lc, rc, false);
        break;
      case ecGreater:
      case ecLess:
      case ecGreaterOrEqual:
      case ecLessOrEqual:
        allowed = Comparable(lc, rc, true);
        break;
      case ecAnd:
      case ecOr:
        allowed = LogicAllowed(lc, rc);
        break;
      case ecAdd:
        allowed = AdditionAllowed(lc, rc);
        break;
      case ecSubtract:
        allowed = SubtractionAllowed(lc, rc);
        break;
      case ecMultiply:
      case ecDivide:
        allowed = MultiplicationAllowed(lc, rc);
        break;
      default:
        break;
    }
    if (!allowed) FailMismatch(l, r);
    if (IsComparison(node.code) || logic) {
      SetType(node, kTypeBoolean);
      return;
    }
    ArithmeticResult(node, l, r);
  }

  void ArithmeticResult(TExpToken& node, const TExpToken& l, const TExpToken& r) {
    if (l.type == kTypeNone && r.type != kTypeNone) {
      CopyType(node, r);
      return;
    }
    if (r.type == kTypeNone && l.type != kTypeNone) {
      CopyType(node, l);
      return;
    }
    const TTypeClass lc = ClassOf(l);
    const TTypeClass rc = ClassOf(r);
    if (node.code == ecAdd && lc == TTypeClass::tcString) {
      if (IsMemoType(l.type, l.subtype) || IsMemoType(r.type, r.subtype)) {
        SetType(node, kTypeBlob, kSubtypeMemo);
      } else {
        SetType(node, kTypeString);
        node.size = l.size + r.size - 1;
      }
      return;
    }
    if (node.code == ecSubtract) {
      if ((lc == TTypeClass::tcDate && rc == TTypeClass::tcDate) ||
          (lc == TTypeClass::tcTime && rc == TTypeClass::tcTime) ||
          (lc == TTypeClass::tcTimeStamp && (rc == TTypeClass::tcDate || rc == TTypeClass::tcTime))) {
        SetType(node, kTypeInteger);
        return;
      }
      if (lc == TTypeClass::tcTimeStamp && rc == TTypeClass::tcTimeStamp) {
        SetType(node, kTypeFloat);
        return;
      }
    }
    if (IsDateLikeType(l.type)) {
      CopyType(node, l);
      return;
    }
    if (IsDateLikeType(r.type)) {
      CopyType(node, r);
      return;
    }
    SetNumberResult(node, l, r, node.code == ecDivide);
  }

  [[noreturn]] void FailPredicate(const TExpToken& predicate, const TExpToken& operand) {
    std::string_view name;
    switch (predicate.code) {
      case ecLike: name = "LIKE"; break;
      case ecNotLike: name = "NOT LIKE"; break;
      case ecInList: case ecInSelect: name = "IN"; break;
      case ecNotInList: case ecNotInSelect: name = "NOT IN"; break;
      case ecBetween: name = "BETWEEN"; break;
      default: name = "NOT BETWEEN"; break;
    }
    std::string text(m::kTypeMismatchBetween);
    text.append(name).append(m::kOperatorAndExpression).append("'").append(operand.text).append("'");
    text.append(m::kIn).append(context_.context_name);
    Fail(text);
  }

  void CheckPredicate(TExpToken& node) {
    Check(node.arguments[0], true, false);
    const TExpToken& left = *node.arguments[0];
    SetType(node, kTypeBoolean);
    if (node.code == ecInSelect || node.code == ecNotInSelect) return;  // read by the SQL engine
    if (node.code == ecLike || node.code == ecNotLike) {
      Check(node.arguments[1], false, false);
      if (!IsStringType(left.type, left.subtype)) FailPredicate(node, left);
      if (node.arguments[1]->type != kTypeString) FailPredicate(node, *node.arguments[1]);
      return;
    }
    for (std::size_t i = 1; i < node.arguments.size(); ++i) {
      Check(node.arguments[i], false, false);
      TExpToken& item = *node.arguments[i];
      ConvertDateConstant(item, left);
      if (!Comparable(ClassOf(left), ClassOf(item), false)) FailPredicate(node, item);
    }
  }

  void CheckFunction(TExpToken& node) {
    auto& args = node.arguments;
    const auto is_string = [](const TExpToken& t) { return IsStringType(t.type, t.subtype); };
    const auto is_whole = [](const TExpToken& t) { return IsIntegerType(t.type) || t.type == kTypeNone; };
    switch (node.code) {
      case ecUpper:
      case ecLower: {
        Check(args[0], true, false);
        if (!is_string(*args[0])) {
          std::string text(m::kTypeMismatchBetween);
          text.append(node.code == ecUpper ? "UPPER" : "LOWER").append(m::kFunctionAndArgument);
          Fail(text.append(context_.context_name));
        }
        CopyType(node, *args[0]);
        return;
      }
      case ecLength:
        Check(args[0], true, false);
        if (!is_string(*args[0])) FailContext(m::kLengthMismatch);
        SetType(node, kTypeInteger);
        return;
      case ecSubstring:
        Check(args[0], true, false);
        for (std::size_t i = 1; i < args.size(); ++i) Check(args[i], false, false);
        if (!is_string(*args[0])) FailContext(m::kSubstringExpression);
        if (!is_whole(*args[1])) FailContext(m::kSubstringFromInteger);
        if (args.size() > 2 && !is_whole(*args[2])) FailContext(m::kSubstringForInteger);
        SetType(node, kTypeString);
        node.size = args[0]->type == kTypeString ? args[0]->size : kUnboundedStringSize;
        return;
      case ecReplace:
        Check(args[0], false, false);
        Check(args[1], false, false);
        Check(args[2], true, false);
        if (!is_string(*args[2])) FailContext(m::kReplaceInString);
        if (!is_string(*args[0])) FailContext(m::kReplaceSearchString);
        if (!is_string(*args[1])) FailContext(m::kReplaceWithString);
        SetType(node, kTypeString);
        node.size = kUnboundedStringSize;
        return;
      case ecPos:
      case ecOccurs: {
        const bool pos = node.code == ecPos;
        Check(args[0], false, false);
        Check(args[1], true, false);
        if (!is_string(*args[1])) FailContext(pos ? m::kPosInArgument : m::kOccursInArgument);
        if (!is_string(*args[0])) FailContext(pos ? m::kPosSearchString : m::kOccursSearchString);
        SetType(node, kTypeInteger);
        return;
      }
      case ecTrimLeading:
      case ecTrimTrailing:
      case ecTrimBoth: {
        Check(args[0], false, false);
        Check(args[1], true, false);
        if (!is_string(*args[1])) FailContext(m::kTrimFromString);
        const TExpToken& c = *args[0];
        if (c.kind != ekConstant || c.type != kTypeString || c.is_null || c.string_value.size() != 1) {
          FailContext(m::kTrimCharacter);
        }
        CopyType(node, *args[1]);
        return;
      }
      case ecCast:
        CheckCast(node);
        return;
      case ecExtractYear:
      case ecExtractMonth:
      case ecExtractWeek:
      case ecExtractDay:
      case ecExtractDayOfWeek:
      case ecExtractDayOfYear:
      case ecExtractHour:
      case ecExtractMinute:
      case ecExtractSecond: {
        Check(args[0], true, false);
        TExpToken& x = *args[0];
        if (x.kind == ekConstant && x.type == kTypeString && !x.is_null) {
          if (!ConvertStringToDateLike(x, DateLikeTypeOfText(x.string_value))) FailContext(m::kExtractFromDate);
        }
        if (!IsDateLikeType(x.type)) FailContext(m::kExtractFromDate);
        SetType(node, kTypeInteger);
        return;
      }
      case ecAbs:
        Check(args[0], true, false);
        if (!IsNumberType(args[0]->type)) FailContext(m::kAbsArgument);
        CopyType(node, *args[0]);
        return;
      case ecRound: {
        Check(args[0], true, false);
        if (args[0]->type != kTypeFloat && args[0]->type != kTypeBcd) FailContext(m::kRoundArgument);
        if (args.size() > 1) {
          Check(args[1], false, false);
          const TExpToken& n = *args[1];
          if (n.kind != ekConstant || !IsIntegerType(n.type) || n.is_null) FailContext(m::kRoundPlacesConstant);
          if (n.integer_value < 0 || n.integer_value > kMaxRoundPlaces) FailContext(m::kRoundPlacesRange);
        }
        CopyType(node, *args[0]);
        return;
      }
      case ecIf:
        Check(args[0], false, true);
        if (args[0]->type != kTypeBoolean) FailContext(m::kIfCondition);
        CheckResults(node, "IF", 1, true);
        return;
      case ecIfNull:
        Check(args[0], true, false);
        CheckResults(node, "IFNULL", 1, true);
        return;
      case ecCoalesce:
        CheckResults(node, "COALESCE", 0, false);
        return;
      case ecTextSearch:
      case ecTextOccurs: {
        const std::string_view keyword = node.code == ecTextSearch ? "TEXTSEARCH" : "TEXTOCCURS";
        Check(args[0], false, false);
        Check(args[1], true, false);
        if (args[0]->kind != ekConstant) Fail(m::TextFunctionSearchConstant(keyword) + context_.context_name);
        if (args[0]->type != kTypeString) Fail(m::TextFunctionSearchType(keyword) + context_.context_name);
        if (args[1]->kind != ekColumn) Fail(m::TextFunctionColumnName(keyword) + context_.context_name);
        if (!is_string(*args[1])) Fail(m::TextFunctionColumnType(keyword) + context_.context_name);
        SetType(node, node.code == ecTextSearch ? kTypeBoolean : kTypeWord);
        return;
      }
      case ecLastAutoInc:
      case ecIdentCurrent: {
        const std::string keyword = node.code == ecLastAutoInc ? "LASTAUTOINC" : "IDENT_CURRENT";
        Check(args[0], false, false);
        if (args[0]->type != kTypeString) {
          Fail(std::string(m::kTypeMismatchBetween) + keyword + std::string(m::kTableNameArgument) +
               context_.context_name);
        }
        if (args[0]->kind != ekConstant) Fail(keyword + std::string(m::kTableNameMustBe) + context_.context_name);
        SetType(node, kTypeInteger);
        return;
      }
      default:
        // Aggregates (SQL only).
        Check(args[0], false, false);
        if (node.code == ecCount) {
          SetType(node, kTypeInteger);
        } else if (node.code == ecAvg) {
          SetType(node, kTypeFloat);
        } else {
          CopyType(node, *args[0]);
        }
        return;
    }
  }

  // IF, IFNULL and COALESCE: the result arguments from `first` on.
  void CheckResults(TExpToken& node, std::string_view keyword, std::size_t first, bool may_be_column) {
    auto& args = node.arguments;
    for (std::size_t i = first; i < args.size(); ++i) Check(args[i], may_be_column, false);
    const TExpToken* typed = nullptr;
    for (std::size_t i = first; i < args.size(); ++i) {
      const TExpToken& a = *args[i];
      if (!(a.kind == ekConstant && a.type == kTypeNone) && typed == nullptr) typed = &a;
    }
    if (typed == nullptr) {
      std::string text(m::kAtLeastOneOfThe);
      text.append(keyword).append(m::kExpressionArgumentsIn).append(context_.context_name).append(m::kMustBeNonNull);
      Fail(text);
    }
    for (std::size_t i = first + 1; i < args.size(); ++i) {
      if (!Comparable(ClassOf(*args[i - 1]), ClassOf(*args[i]), false)) {
        std::string text(m::kTypeMismatchBetween);
        text.append(keyword).append(m::kExpressionArgumentsIn).append(context_.context_name);
        Fail(text);
      }
    }
    CopyType(node, *typed);
    if (typed->type == kTypeString) {
      for (std::size_t i = first; i < args.size(); ++i) {
        if (args[i]->type == kTypeString) node.size = std::max(node.size, args[i]->size);
      }
    }
  }

  void CheckCast(TExpToken& node) {
    Check(node.arguments[0], true, false);
    const TExpToken& x = *node.arguments[0];
    const std::uint8_t target = node.cast_type;
    const TTypeClass source = ClassOf(x);
    const bool any = source == TTypeClass::tcNull || source == TTypeClass::tcString || source == TTypeClass::tcBytes ||
                     target == kTypeString || target == kTypeBlob || IsBytesType(target);
    bool allowed = any;
    if (!allowed) {
      switch (target) {
        case kTypeDate:
          allowed = IsDayClass(source);
          break;
        case kTypeTime:
          allowed = source == TTypeClass::tcTime || source == TTypeClass::tcTimeStamp;
          break;
        case kTypeTimeStamp:
          allowed = IsDayClass(source) || source == TTypeClass::tcTime;
          break;
        case kTypeSmallInt:
        case kTypeWord:
          allowed = source == TTypeClass::tcBoolean || IsNumberClass(source);
          break;
        case kTypeBoolean:
          allowed = source == TTypeClass::tcBoolean || source == TTypeClass::tcInteger || x.type == kTypeBcd;
          break;
        default:
          allowed = IsNumberClass(source);
          break;
      }
    }
    if (!allowed) {
      std::string text(m::kTypeMismatchBetween);
      text.append(KindWord(x)).append(" '").append(x.text).append("'").append(m::kAndAsArgument);
      Fail(text.append(context_.context_name));
    }
    SetType(node, target, node.cast_subtype);
    if (target == kTypeString) {
      node.size = node.cast_size > 0 ? node.cast_size + 1 : (x.type == kTypeString ? x.size : kUnboundedStringSize);
    } else if (IsBytesType(target)) {
      node.size = node.cast_size > 0 ? node.cast_size : (IsBytesType(x.type) ? x.size : kUnboundedStringSize);
    } else if (target == kTypeBcd) {
      node.scale = node.cast_scale;
    }
  }

  const TColumnLookup& lookup_;
  const TExpressionContext& context_;
};

}  // namespace

TColumnLookup FieldColumnLookup(std::span<const TFieldDescriptor> fields) {
  std::vector<TExpColumnInfo> columns;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const TFieldDescriptor& field = fields[i];
    columns.push_back(TExpColumnInfo{static_cast<int>(i + 1), field.Name(), field.Type(), field.Subtype(),
                                     field.DeclaredSize(), field.Decimals()});
  }
  return [columns = std::move(columns)](std::string_view name) -> std::optional<TExpColumnInfo> {
    for (const TExpColumnInfo& column : columns) {
      if (SameTextIgnoringCase(column.name, name)) return column;
    }
    return std::nullopt;
  };
}

void CheckExpression(TExpTokenPtr& tree, const TColumnLookup& lookup, const TExpressionContext& context) {
  TChecker checker(lookup, context);
  checker.Check(tree, true, true);
}

}  // namespace telvora::engine
