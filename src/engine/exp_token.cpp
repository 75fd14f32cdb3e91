#include "engine/exp_token.h"

#include <mutex>

#include "storage/field_types.h"

namespace telvora::engine {

namespace {

std::mutex& PoolMutex() {
  static std::mutex mutex;
  return mutex;
}

// Spare nodes, each in its initial state. Never destroyed: nodes may be
// released by static destructors after this function's own statics are gone.
std::vector<TExpToken*>& Spares() {
  static auto* spares = new std::vector<TExpToken*>();
  return *spares;
}

}  // namespace

void TExpTokenRelease::operator()(TExpToken* token) const { TExpTokenStack::Release(token); }

void TExpToken::SetNull() {
  is_null = true;
  string_value.clear();
  integer_value = 0;
  real_value = 0.0;
}

TExpTokenPtr TExpTokenStack::Take() {
  {
    std::lock_guard<std::mutex> lock(PoolMutex());
    if (!Spares().empty()) {
      TExpToken* token = Spares().back();
      Spares().pop_back();
      return TExpTokenPtr(token);
    }
  }
  return TExpTokenPtr(new TExpToken());
}

std::size_t TExpTokenStack::SpareCount() {
  std::lock_guard<std::mutex> lock(PoolMutex());
  return Spares().size();
}

void TExpTokenStack::Release(TExpToken* token) {
  if (token == nullptr) return;
  // Resetting releases the children first (outside the lock: they come back
  // through this same routine).
  *token = TExpToken();
  std::lock_guard<std::mutex> lock(PoolMutex());
  if (Spares().size() < kMaxSpareTokens) {
    Spares().push_back(token);
    return;
  }
  delete token;
}

TExpTokenPtr CloneExpression(const TExpToken& token) {
  TExpTokenPtr copy = TExpTokenStack::Take();
  copy->text = token.text;
  copy->kind = token.kind;
  copy->code = token.code;
  copy->type = token.type;
  copy->subtype = token.subtype;
  copy->size = token.size;
  copy->scale = token.scale;
  copy->is_null = token.is_null;
  copy->string_value = token.string_value;
  copy->integer_value = token.integer_value;
  copy->real_value = token.real_value;
  copy->quoted = token.quoted;
  copy->boolean_rewrite = token.boolean_rewrite;
  copy->field_number = token.field_number;
  copy->field_name = token.field_name;
  copy->correlation_name = token.correlation_name;
  copy->partial_length = token.partial_length;
  copy->case_insensitive = token.case_insensitive;
  copy->cast_type = token.cast_type;
  copy->cast_subtype = token.cast_subtype;
  copy->cast_size = token.cast_size;
  copy->cast_scale = token.cast_scale;
  if (token.left) copy->left = CloneExpression(*token.left);
  if (token.right) copy->right = CloneExpression(*token.right);
  for (const TExpTokenPtr& argument : token.arguments) {
    copy->arguments.push_back(argument ? CloneExpression(*argument) : TExpTokenPtr());
  }
  return copy;
}

bool ContainsColumn(const TExpToken& token) {
  if (token.kind == ekColumn) return true;
  if (token.left && ContainsColumn(*token.left)) return true;
  if (token.right && ContainsColumn(*token.right)) return true;
  for (const TExpTokenPtr& argument : token.arguments) {
    if (argument && ContainsColumn(*argument)) return true;
  }
  return false;
}

TExpTokenPtr MakeNullConstant() {
  TExpTokenPtr token = TExpTokenStack::Take();
  token->kind = ekConstant;
  token->type = storage::kTypeNone;
  token->text = "NULL";
  token->SetNull();
  return token;
}

TExpTokenPtr MakeBooleanConstant(bool value) {
  TExpTokenPtr token = TExpTokenStack::Take();
  token->kind = ekConstant;
  token->type = storage::kTypeBoolean;
  token->size = 2;
  token->integer_value = value ? 1 : 0;
  token->text = value ? "TRUE" : "FALSE";
  return token;
}

}  // namespace telvora::engine
