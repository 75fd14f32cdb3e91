#pragma once
// The engine's half of an index's key order, handed to the storage layer's
// tree code: the comparison of keys under the table's locale and the
// upper-casing of case-insensitive string keys.
//
// Storage builds keys and keeps trees but knows no locales; these adapters
// close over the index's description and the table's locale.
//
// Pure functions; the closures they return may be called from any thread.

#include "engine/key_compare.h"
#include "engine/locale.h"
#include "storage/data_table.h"
#include "storage/index_key.h"
#include "storage/index_tree.h"

namespace telvora::engine {

// What the key comparison needs of a storage key definition.
KeyDescription DescribeIndexKey(const storage::TIndexKeyDefinition& definition, const Locale& locale);

// CompareKeys over the description, for TIndexTree.
storage::KeyComparator MakeKeyComparator(KeyDescription description);

// Upper-casing in place under the locale (United States English for a table
// without one), for BuildKey.
storage::KeyUpperCase MakeKeyUpperCase(const Locale& locale);

// The key order of every index of an open table, under the locale its data
// file header names (read when an index is opened, so the source may be set
// before the files are). For TDataTable::set_key_order.
storage::KeyOrderSource MakeTableKeyOrder(const storage::TDataTable& table);

}  // namespace telvora::engine
