// A new table's description: each bad description refused with its code in
// the checks' order; a good one laid out (offsets, sizes, key lengths) and
// created with its text index parameters.

#include "engine/table_creation_checks.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "record_write_fixture.h"
#include "storage/engine_error.h"
#include "storage/field_types.h"
#include "storage/index_file_header.h"
#include "storage/sample_tables.h"

namespace telvora::engine {
namespace {

using storage::TFieldDescriptor;
using storage::TIndexDescriptor;

TIndexDescriptor Index(const char* name, std::vector<std::uint16_t> fields, bool unique = false) {
  TIndexDescriptor index;
  index.SetName(name);
  index.SetUnique(unique);
  index.SetKeyFieldCount(static_cast<std::uint8_t>(fields.size()));
  for (std::size_t i = 0; i < fields.size(); ++i) index.SetKeyFieldNumber(static_cast<int>(i), fields[i]);
  return index;
}

// Id (auto-increment), Name string 20, Born date, Notes memo, Photo graphic.
TTableDescription Good() {
  TTableDescription d;
  d.fields = storage::testing::MakeDescriptors({{"Id", storage::kTypeInteger, storage::kSubtypeAutoInc, 0, 0},
                                                {"Name", storage::kTypeString, 0, 20, 0},
                                                {"Born", storage::kTypeDate, 0, 0, 0},
                                                {"Notes", storage::kTypeBlob, storage::kSubtypeMemo, 0, 0},
                                                {"Photo", storage::kTypeBlob, storage::kSubtypeGraphic, 0, 0}});
  d.indexes = {Index("", {1}), Index("ByName", {2}), Index("ByBorn", {3, 2}, true)};
  d.text_index_fields = {2, 4};
  return d;
}

struct BadCase {
  const char* name;
  std::function<void(TTableDescription&)> spoil;
  std::uint16_t code;
};

TEST(TableCreationChecksTest, EachBadDescriptionFailsWithItsCode) {
  const auto many_fields = [](std::size_t count) {
    std::vector<TFieldDescriptor> fields;
    for (std::size_t i = 1; i <= count; ++i) {
      TFieldDescriptor f;
      f.SetFieldNumber(static_cast<std::uint16_t>(i));
      f.SetName("F" + std::to_string(i));
      f.SetType(storage::kTypeInteger);
      fields.push_back(f);
    }
    return fields;
  };
  const std::vector<BadCase> cases = {
      {"blank password", [](auto& d) { d.password = "   "; }, 10015},
      {"long password", [](auto& d) { d.password = "0123456789abcdef"; }, 10015},
      {"password before fields", [](auto& d) { d.password = "   "; d.fields.clear(); d.language_id = 9999; }, 10015},
      {"unknown locale", [](auto& d) { d.language_id = 9999; }, 15878},
      {"1025 fields", [&](auto& d) { d.fields = many_fields(1025); }, 9492},
      {"33 index descriptors", [](auto& d) { d.indexes.resize(33, Index("X", {2})); }, 9487},
      {"small blob blocks", [](auto& d) { d.blob_block_size = 63; }, 9498},
      {"empty field name", [](auto& d) { d.fields[1].SetName("   "); }, 10038},
      {"field name starts with digit", [](auto& d) { d.fields[1].SetName("1Name"); }, 10038},
      {"field name repeated", [](auto& d) { d.fields[2].SetName("NAME "); }, 10038},
      {"field number repeated", [](auto& d) { d.fields[2].SetFieldNumber(2); }, 10000},
      {"type 0", [](auto& d) { d.fields[2].SetType(0); }, 10000},
      {"unknown type", [](auto& d) { d.fields[2].SetType(19); }, 10000},
      {"string of 251", [](auto& d) { d.fields[1].SetDeclaredSize(251); }, 10000},
      {"bad default", [](auto& d) { d.fields[2].SetDefaultText("tomorrow"); }, 10006},
      {"bad minimum", [](auto& d) { d.fields[2].SetMinimumText("2001-02-30"); }, 10006},
      {"bad maximum", [](auto& d) { d.fields[0].SetMaximumText("x"); }, 10006},
      {"31 secondary indexes",
       [](auto& d) {
         d.indexes.resize(1);
         for (int i = 0; i < 31; ++i) d.indexes.push_back(Index(("I" + std::to_string(i)).c_str(), {2}));
       },
       9487},
      {"secondary name", [](auto& d) { d.indexes[1].SetName("9Name"); }, 10022},
      {"secondary without name", [](auto& d) { d.indexes[1].SetName(""); }, 10022},
      {"secondary name repeated", [](auto& d) { d.indexes[2].SetName("BYNAME"); }, 10027},
      {"gap in key fields", [](auto& d) { d.indexes[2].SetKeyFieldNumber(0, 0); }, 10023},
      {"key field missing", [](auto& d) { d.indexes[1].SetKeyFieldNumber(0, 6); }, 10023},
      {"17 key fields", [](auto& d) { d.indexes[1].SetKeyFieldCount(17); }, 10023},
      {"blob key field", [](auto& d) { d.indexes[1].SetKeyFieldNumber(0, 4); }, 12292},
      {"key too long",
       [](auto& d) {
         d.fields = storage::testing::MakeDescriptors({{"A", storage::kTypeString, 0, 250, 0},
                                                       {"B", storage::kTypeString, 0, 250, 0},
                                                       {"C", storage::kTypeString, 0, 20, 0}});
         d.indexes = {TIndexDescriptor{}, Index("Long", {1, 2, 3})};
         d.text_index_fields.clear();
       },
       10026},
      {"secondary without fields", [](auto& d) { d.indexes[1].SetKeyFieldCount(0); d.indexes[1].SetKeyFieldNumber(0, 0); },
       10026},
      {"text index on a date", [](auto& d) { d.text_index_fields = {3}; }, 12292},
      {"text index on a graphic", [](auto& d) { d.text_index_fields = {5}; }, 12292},
      {"text index on no field", [](auto& d) { d.text_index_fields = {9}; }, 12292},
  };
  for (const BadCase& c : cases) {
    SCOPED_TRACE(c.name);
    TTableDescription description = Good();
    c.spoil(description);
    try {
      CheckTableDescription(description, "People");
      ADD_FAILURE() << "no error";
    } catch (const storage::EVoraEngineError& e) {
      EXPECT_EQ(e.EngineCode, c.code);
      EXPECT_EQ(e.ContextTable, "People");
    }
  }
}

TEST(TableCreationChecksTest, AGoodDescriptionIsLaidOut) {
  TTableDescription description = Good();
  description.password = "  secret ";
  description.fields[1].SetName("  Name  ");
  description.fields[1].SetDecimals(3);
  description.fields[2].SetDeclaredSize(7);
  const TTableDefinition d = CheckTableDescription(description, "People");
  EXPECT_EQ(d.creation.password, "secret");
  EXPECT_TRUE(d.creation.encrypted);
  ASSERT_EQ(d.fields.size(), 5u);
  EXPECT_EQ(d.fields[0].FieldOffset(), 5);  // auto-increment: the record id
  EXPECT_EQ(d.fields[1].FieldOffset(), 9);
  EXPECT_EQ(d.fields[1].Name(), "Name");
  EXPECT_EQ(d.fields[1].Decimals(), 0);
  EXPECT_EQ(d.fields[2].FieldOffset(), 9 + 21 + 1);
  EXPECT_EQ(d.fields[2].DeclaredSize(), 0);
  EXPECT_EQ(d.fields[3].FieldOffset(), 9 + 22 + 5);
  EXPECT_EQ(d.fields[4].FieldOffset(), 9 + 22 + 5 + 9);
  EXPECT_TRUE(d.primary.Unique());
  EXPECT_EQ(d.primary.KeyLength(), 5);
  ASSERT_EQ(d.secondary.size(), 2u);
  EXPECT_EQ(d.secondary[0].KeyLength(), 22 + 4);     // non-unique: the record id follows
  EXPECT_EQ(d.secondary[1].KeyLength(), 5 + 22);     // unique: no suffix
  EXPECT_EQ(d.text_index_fields, (std::vector<std::uint16_t>{2, 4}));
  EXPECT_EQ(d.text_index_parameters, storage::TTextIndexParameters::Defaults());
}

class TableCreationTest : public testing::RecordWriteFixture {};

TEST_F(TableCreationTest, CreatedTablesCarryTheirTextIndexAndPrimaryState) {
  struct Case {
    const char* name;
    std::function<void(TTableDescription&)> change;
    bool primary_unavailable;
  };
  storage::TTextIndexParameters own;
  own.stop_words = {"FOO", "BAR"};
  storage::AddToCharacterSet(own.separators, ' ');
  storage::AddToCharacterSet(own.word_characters, 'a');
  const std::vector<Case> cases = {
      {"defaults", [](auto&) {}, false},
      {"own parameters", [&](auto& d) { d.text_index_parameters = own; }, false},
      {"no primary key, no text index",
       [](auto& d) {
         d.indexes[0] = TIndexDescriptor{};
         d.text_index_fields.clear();
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TTableDescription description = Good();
    c.change(description);
    const std::string table = std::string("T") + std::to_string(&c - cases.data());
    if (directory_ != nullptr) {
      session_.CloseDirectory(*directory_);
      directory_ = nullptr;
    }
    Create(description, table);
    Open();
    EXPECT_EQ(table_->PrimaryIndexUnavailable(), c.primary_unavailable);
    const TIndexDescriptor text = table_->index_file().Header().Descriptor(storage::kTextIndexSlot);
    EXPECT_EQ(text.KeyFieldCount(), description.text_index_fields.size());
    EXPECT_EQ(indexes_->TextIndexedFields(), description.text_index_fields);
    EXPECT_EQ(storage::ReadTextIndexParameters(table_->OpenIndex(storage::kTextIndexSlot)),
              description.text_index_parameters.value_or(storage::TTextIndexParameters::Defaults()));
    Close();
    EXPECT_TABLE_SOUND(TablePath());
  }
  // An existing table is refused unless overwritten.
  try {
    CreateCheckedTable(*directory_, name_, Good(), false, false);
    ADD_FAILURE() << "no error";
  } catch (const storage::EVoraEngineError& e) {
    EXPECT_EQ(e.EngineCode, 13060u);
  }
  CreateCheckedTable(*directory_, name_, Good(), false, true);
}

}  // namespace
}  // namespace telvora::engine
