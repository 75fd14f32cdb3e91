#pragma once
// InitRecord: the record buffer of a new record, before the user fills it.
//
// The buffer is zeroed (every field null, no record number, no id); then
// every field with a default value text gets that value converted to its
// type with the null flag set. A text that does not convert raises
// EValueConversionError (the creation and open checks refuse such texts,
// so only a damaged descriptor gets there).
//
// A pure function over the caller's buffer (apart from reading the clock);
// any thread.
#include <cstdint>
#include <span>

#include "engine/locale.h"
#include "storage/field_descriptor.h"

namespace telvora::engine {

// REQUIRES: buffer is the table's record size and fields its checked
// descriptors.
void InitRecord(std::span<const storage::TFieldDescriptor> fields, const Locale& locale,
                std::span<std::uint8_t> buffer);

}  // namespace telvora::engine
