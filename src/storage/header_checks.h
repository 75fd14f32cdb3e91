#pragma once
// The checks a table's headers pass before the table is used.
//
// The first cursor that opens a table runs CheckDataFile, CheckIndexFile
// (unless the index file was just recreated) and, for a table with BLOB
// fields, CheckBlobFile, in that order; opening a file runs only the count
// checks. Every failure raises through RaiseTableError with the table name:
// 12035 for a version other than 5, 15878 for a locale that is not
// installed, 8961 for everything else.
//
// Pure functions over header images; CheckDataFile also refreshes each
// descriptor's stored length and decimals copy, which the engine derives
// rather than trusts. The locale test is injected because the national
// language functions live below this layer's callers.

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "storage/blob_file_header.h"
#include "storage/data_file_header.h"
#include "storage/field_descriptor.h"
#include "storage/index_file_header.h"
#include "storage/index_key.h"

namespace telvora::storage {

// Whether the locale of language id and sort id (sort id in the high 16
// bits of the locale id) is installed on this system.
using LocaleInstalledTest = std::function<bool(std::uint16_t language_id, std::uint16_t sort_id)>;

inline constexpr int kMaxKeySize = 522;  // sum of (field key length + 1), before the record-id suffix

// Opening the data file: a field count above 1,024 is 8961, before any
// descriptor is read.
void CheckFieldCountOnOpen(const TDataFileHeader& header, const std::string& table);

// Opening the index file: a secondary index count above 32 is 8961.
void CheckSecondaryCountOnOpen(const TIndexFileHeader& header, const std::string& table);

// The data file header, its descriptors (refreshed in place: stored length
// and decimals copy) and the file length.
// REQUIRES: locale_installed is callable.
void CheckDataFile(const TDataFileHeader& header, std::span<TFieldDescriptor> descriptors,
                   std::uint64_t file_length, const LocaleInstalledTest& locale_installed,
                   const std::string& table);

// The index file header against the checked field descriptors: the primary
// and secondary descriptors, then the text index slot.
void CheckIndexFile(const TIndexFileHeader& header, std::span<const TFieldDescriptor> descriptors,
                    const std::string& table);

void CheckBlobFile(const TBlobFileHeader& header, const std::string& table);

// Whether a field or index name may start with this byte: A-Z, a-z, '_' or
// 128-254.
bool IsValidNameStart(unsigned char c);

// A page or block reference: 0, or 1 to next - 1.
bool IsValidPageReference(std::int32_t page, std::int32_t next_page);

}  // namespace telvora::storage
