#pragma once
// EvaluateExpression: the value of a checked expression tree for one record.
//
// NULL is a value of its own for = and <> (both NULL: equal), a NULL string
// orders as the empty string, other NULLs make an ordered comparison false;
// AND and OR see a NULL boolean as false and evaluate their right operand
// first; arithmetic on a NULL gives NULL, and so does division by zero.
// Strings compare case-sensitively under the table's locale; LIKE matches
// characters under the locale (ignoring case under the byte order). Boolean
// results are 0 or 1.
//
// Columns are read by the caller's column reader; RecordColumnReader reads
// them from a record image. TEXTSEARCH and TEXTOCCURS cut words through the
// context's word source.
//
// Per-record evaluation of typed values does not fail; a CAST of a text
// that does not convert raises EExpressionConversionError. The tree is only
// read: any number of threads may evaluate one tree at once, each with its
// own record.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "engine/exp_token.h"
#include "engine/locale.h"
#include "engine/text_word_source.h"
#include "storage/field_descriptor.h"

namespace telvora::engine {

// Fills in a column's value and null flag from a record buffer. `column` is
// a fresh constant carrying the column node's reference and type.
using TColumnReader = std::function<void(std::span<const std::uint8_t> record, TExpToken& column)>;

// A BLOB field's text (memos), read through the BLOB layer; nullopt for
// NULL.
using TBlobTextReader =
    std::function<std::optional<std::string>(std::span<const std::uint8_t> record, int field_number)>;

struct TEvaluationContext {
  Locale locale;
  TColumnReader column_reader;
  TTextWordSource words;
};

TExpTokenPtr EvaluateExpression(const TExpToken& tree, std::span<const std::uint8_t> record,
                                const TEvaluationContext& context);

// Whether an evaluated boolean is true (a NULL boolean is false).
bool IsTrue(const TExpToken& value);

// The reader over a record image with the table's field descriptors
// (copied). BLOB fields are read through blob_text; without it they read
// as NULL.
TColumnReader RecordColumnReader(std::span<const storage::TFieldDescriptor> fields,
                                 TBlobTextReader blob_text = {});

// The string option compare of two values (filters build these nodes):
// `=` and `<>` on the first partial_length characters (0: whole values).
bool OptionCompareEqual(const Locale& locale, const TExpToken& value, const TExpToken& constant,
                        int partial_length, bool case_insensitive);

// LIKE matching of a text with a pattern under the locale.
bool MatchesLikePattern(const Locale& locale, std::string_view text, std::string_view pattern);

}  // namespace telvora::engine
