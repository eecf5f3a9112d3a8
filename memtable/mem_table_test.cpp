#include "memtable/mem_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "values/errors.h"
#include "values/variant_operators.h"

namespace tarvelo {
namespace {

template <typename E>
void ExpectError(const std::function<void()>& action, const std::string& text) {
  try {
    action();
    ADD_FAILURE() << "no error, expected: " << text;
  } catch (const E& error) {
    EXPECT_EQ(error.what(), text);
  } catch (const std::exception& error) {
    ADD_FAILURE() << "wrong error type, message: " << error.what();
  }
}

Variant I(int32_t value) { return Variant::Integer(value); }
Variant S(std::string text) { return Variant::String(std::move(text)); }

// A table with the fields (ordem integer, tabela text 20, total real) and
// the index "index1" on "tabela".
void DefineOrderTable(MemTable& table) {
  table.FieldDefs().Clear();
  table.FieldDefs().Add("ordem", ftInteger, 0, false);
  table.FieldDefs().Add("tabela", ftString, 20, false);
  table.FieldDefs().Add("total", ftFloat, 0, false);
  table.IndexDefs().Clear();
  table.IndexDefs().Add("index1", "tabela");
  table.CreateTable();
  table.Open();
}

void AppendRow(MemTable& table, const std::vector<std::pair<std::string, Variant>>& values) {
  table.Append();
  for (const auto& [name, value] : values) table.FieldByName(name).SetAsVariant(value);
  table.Post();
}

// The values of one field along the current index, from the first record.
std::vector<std::string> Walk(MemTable& table, const std::string& field) {
  std::vector<std::string> result;
  for (table.First(); !table.AtEnd(); table.Next()) {
    const Variant value = table.FieldValue(field);
    if (value.IsNull()) {
      result.push_back("<null>");
    } else if (value.Type() == VariantType::Integer) {
      result.push_back(std::to_string(value.IntegerPayload()));
    } else {
      result.push_back(value.TextPayload());
    }
  }
  return result;
}

using Texts = std::vector<std::string>;

TEST(MemTableTest, DefinitionErrors) {
  MemTable table("mtTeste", RegionalSettings::Brazilian());
  ExpectError<DatabaseError>([&] { table.FieldDefs().Add("", ftInteger, 0, false); }, "mtTeste: Field name missing");
  EXPECT_EQ(table.FieldDefs().Count(), 0);

  ExpectError<DatabaseError>([&] { table.Open(); }, "There must be at least one field");
  EXPECT_FALSE(table.IsOpen());

  table.FieldDefs().Add("tabela", ftInteger, 0, false);
  table.FieldDefs().Add("campo", ftString, 10, false);
  table.IndexDefs().Add("index1", "tabela;campo");
  ExpectError<DatabaseError>([&] { table.IndexDefs().Add("index1", "campo"); },
                             "mtTeste: Duplicate index name 'index1'");
  EXPECT_EQ(table.IndexDefs().Count(), 1);

  table.IndexDefs().Add("index2", "tabela;nada");
  ExpectError<DatabaseError>([&] { table.CreateTable(); }, "mtTeste: Field 'nada' not found");

  table.IndexDefs().Clear();
  table.IndexDefs().Add("index2", "  ");
  ExpectError<DatabaseError>([&] { table.CreateTable(); }, "Missing Name or FieldNames in IndexDef!");

  // Index field names are trimmed and found without regard to case.
  table.IndexDefs().Clear();
  table.IndexDefs().Add("index1", " TABELA ; Campo ");
  table.CreateTable();
  table.Open();
  table.IndexName("index1");
  AppendRow(table, {{"tabela", I(1)}, {"campo", S("X")}});
  EXPECT_TRUE(table.FindKey({I(1), S("X")}));

  MemTable wide("mtLargo", RegionalSettings::Brazilian());
  for (int i = 0; i < 257; ++i) wide.FieldDefs().Add("f" + std::to_string(i), ftInteger, 0, false);
  ExpectError<DatabaseError>([&] { wide.CreateTable(); }, "Too many fielddefs. Please raise MT_MAX_FIELDS value.");
  MemTable full("mtCheio", RegionalSettings::Brazilian());
  for (int i = 0; i < 256; ++i) full.FieldDefs().Add("f" + std::to_string(i), ftInteger, 0, false);
  full.CreateTable();
  full.Open();
  EXPECT_EQ(full.FieldCount(), 256);
}

TEST(MemTableTest, StateErrors) {
  MemTable table("mtTabelas", RegionalSettings::Brazilian());
  table.FieldDefs().Add("ordem", ftInteger, 0, false);
  table.IndexDefs().Add("index1", "ordem");
  table.CreateTable();
  EXPECT_FALSE(table.IsOpen());

  const std::string closed = "mtTabelas: Cannot perform this operation on a closed dataset";
  ExpectError<DatabaseError>([&] { table.Append(); }, closed);
  ExpectError<DatabaseError>([&] { table.Edit(); }, closed);
  ExpectError<DatabaseError>([&] { table.First(); }, closed);
  ExpectError<DatabaseError>([&] { table.Next(); }, closed);
  ExpectError<DatabaseError>([&] { table.FindKey({I(1)}); }, closed);
  ExpectError<DatabaseError>([&] { table.Post(); }, "mtTabelas: Dataset not in edit or insert mode");

  table.Open();
  ExpectError<DatabaseError>([&] { table.Post(); }, "mtTabelas: Dataset not in edit or insert mode");
  ExpectError<DatabaseError>([&] { table.FieldByName("ordem").SetAsVariant(I(1)); },
                             "mtTabelas: Dataset is not in edit mode.");
  ExpectError<DatabaseError>([&] { table.FieldByName("nada"); }, "mtTabelas: Field 'nada' not found");
  ExpectError<DatabaseError>([&] { table.FieldValue("Nada"); }, "mtTabelas: Field 'Nada' not found");

  // No index made current: the unknown name changes nothing.
  AppendRow(table, {{"ordem", I(1)}});
  table.IndexName("naoexiste");
  EXPECT_EQ(table.CurrentIndexName(), "");
  ExpectError<DatabaseError>([&] { table.FindKey({I(1)}); }, "There must be at least one field");
  table.IndexName("INDEX1");
  EXPECT_EQ(table.CurrentIndexName(), "index1");
  EXPECT_TRUE(table.FindKey({I(1)}));

  // A name given while closed is made current by the next Open.
  table.Close();
  table.IndexName("index1");
  table.Open();
  EXPECT_EQ(table.CurrentIndexName(), "index1");

  // Only text, integer and real fields exist.
  MemTable dates("mtDatas", RegionalSettings::Brazilian());
  dates.FieldDefs().Add("data", ftDate, 0, false);
  ExpectError<DatabaseError>([&] { dates.CreateTable(); }, "mtDatas: Field type 9 of field 'data' is not supported");

  // A table without a component name gives its messages without prefix.
  MemTable anonymous("", RegionalSettings::Brazilian());
  ExpectError<DatabaseError>([&] { anonymous.FieldByName("x"); }, "Field 'x' not found");
}

TEST(MemTableTest, FieldValuesAndConversions) {
  MemTable table("mtEstrutTab", RegionalSettings::Brazilian());
  table.FieldDefs().Add("ordem", ftInteger, 0, false);
  table.FieldDefs().Add("campo", ftString, 10, false);
  table.FieldDefs().Add("total", ftFloat, 0, false);
  table.CreateTable();
  table.Open();

  // No records: every field reads as Null.
  EXPECT_TRUE(table.FieldValue("ordem").IsNull());
  EXPECT_TRUE(table.FieldValue("campo").IsNull());

  table.Append();
  MemField& ordem = table.FieldByName("ORDEM");
  MemField& campo = table.FieldByName("Campo");
  MemField& total = table.FieldByName("total");
  EXPECT_TRUE(ordem.AsVariant().IsNull());
  campo.SetAsVariant(S("ABCDEFGHIJKL"));
  EXPECT_EQ(campo.AsVariant().TextPayload(), "ABCDEFGHIJ");
  campo.SetAsVariant(S(std::string("AB\0CD", 5)));
  EXPECT_EQ(campo.AsVariant().TextPayload(), "AB");
  ordem.SetAsVariant(Variant::Double(2.5));
  EXPECT_EQ(ordem.AsVariant().Type(), VariantType::Integer);
  EXPECT_EQ(ordem.AsVariant().IntegerPayload(), 2);
  ordem.SetAsVariant(Variant::Double(3.5));
  EXPECT_EQ(ordem.AsVariant().IntegerPayload(), 4);
  ordem.SetAsVariant(S("17"));
  EXPECT_EQ(ordem.AsVariant().IntegerPayload(), 17);
  ExpectError<DatabaseError>([&] { ordem.SetAsVariant(S("X1")); }, "Invalid value for field 'ordem'");
  EXPECT_EQ(ordem.AsVariant().IntegerPayload(), 17);
  ExpectError<DatabaseError>([&] { total.SetAsVariant(S("abc")); }, "Invalid value for field 'total'");
  EXPECT_TRUE(total.AsVariant().IsNull());
  total.SetAsVariant(S("12,5"));
  EXPECT_EQ(total.AsVariant().Type(), VariantType::Double);
  EXPECT_DOUBLE_EQ(total.AsVariant().RealPayload(), 12.5);
  campo.SetAsVariant(I(42));
  EXPECT_EQ(campo.AsVariant().Type(), VariantType::String);
  EXPECT_EQ(campo.AsVariant().TextPayload(), "42");
  table.Post();

  EXPECT_EQ(table.FieldValue("ordem").IntegerPayload(), 17);
  EXPECT_EQ(table.FieldValue("campo").TextPayload(), "42");
  EXPECT_DOUBLE_EQ(table.FieldValue("total").RealPayload(), 12.5);

  // The empty text is a value; Null clears the field, and the Null read
  // back cannot become text.
  table.Edit();
  campo.SetAsVariant(S(""));
  EXPECT_FALSE(campo.IsNull());
  ordem.SetAsVariant(Variant::Null());
  table.Post();
  EXPECT_FALSE(table.FieldValue("campo").IsNull());
  EXPECT_EQ(table.FieldValue("campo").TextPayload(), "");
  const Variant null = table.FieldValue("ordem");
  EXPECT_TRUE(null.IsNull());
  ExpectError<VariantError>([&] { ToText(null, RegionalSettings::Brazilian()); },
                            "Could not convert variant of type (Null) into type (String)");
  ExpectError<VariantError>([&] { ToInteger(null, RegionalSettings::Brazilian()); },
                            "Could not convert variant of type (Null) into type (Integer)");
}

TEST(MemTableTest, TextKeysFollowTheLocaleCollation) {
  for (const RegionalSettings& settings : {RegionalSettings::Brazilian(), RegionalSettings::UnitedStates()}) {
    SCOPED_TRACE(settings.collationLocale);
    MemTable table("mtTabelas", settings);
    DefineOrderTable(table);
    table.IndexName("index1");
    for (const char* name : {"B", "b", "A", "a", "f", "\xE9", "e", "AB ", "AB", "ab"}) {
      AppendRow(table, {{"tabela", S(name)}});
    }
    // "a" before "B", lower case before upper case, "é" between "e" and "f",
    // a trailing blank makes a longer key.
    EXPECT_EQ(Walk(table, "tabela"), (Texts{"a", "A", "ab", "AB", "AB ", "b", "B", "e", "\xE9", "f"}));

    // Equality is exact: no case folding, trailing blanks count.
    EXPECT_TRUE(table.FindKey({S("AB")}));
    EXPECT_EQ(table.FieldValue("tabela").TextPayload(), "AB");
    EXPECT_TRUE(table.FindKey({S("AB ")}));
    EXPECT_EQ(table.FieldValue("tabela").TextPayload(), "AB ");
    EXPECT_FALSE(table.FindKey({S("Ab")}));
    EXPECT_FALSE(table.FindKey({S("AB  ")}));
    EXPECT_FALSE(table.FindKey({S("E")}));
  }
}

TEST(MemTableTest, TheTablesOwnLocaleDecides) {
  // Swedish puts "ä" after "z"; Portuguese next to "a".
  RegionalSettings swedish = RegionalSettings::Brazilian();
  swedish.collationLocale = "sv_SE";
  MemTable sv("mtTabelas", swedish);
  MemTable pt("mtTabelas", RegionalSettings::Brazilian());
  for (MemTable* table : {&sv, &pt}) {
    DefineOrderTable(*table);
    table->IndexName("index1");
    for (const char* name : {"z", "\xE4", "b"}) AppendRow(*table, {{"tabela", S(name)}});
  }
  EXPECT_EQ(Walk(sv, "tabela"), (Texts{"b", "z", "\xE4"}));
  EXPECT_EQ(Walk(pt, "tabela"), (Texts{"\xE4", "b", "z"}));
}

TEST(MemTableTest, CompositeKeyOrder) {
  MemTable table("mtAnexos", RegionalSettings::Brazilian());
  table.FieldDefs().Add("tabela", ftInteger, 0, false);
  table.FieldDefs().Add("valor1", ftString, 8, false);
  table.FieldDefs().Add("total", ftFloat, 0, false);
  table.IndexDefs().Add("index1", "tabela;valor1");
  table.IndexDefs().Add("index2", "total");
  table.CreateTable();
  table.Open();
  table.IndexName("index1");
  AppendRow(table, {{"tabela", I(2)}, {"valor1", S("A")}, {"total", Variant::Double(-1.5)}});
  AppendRow(table, {{"tabela", I(1)}, {"valor1", S("B")}, {"total", Variant::Double(10)}});
  AppendRow(table, {{"tabela", I(1)}, {"valor1", S("a")}, {"total", Variant::Double(2.25)}});
  AppendRow(table, {{"tabela", I(-3)}, {"valor1", S("z")}});
  AppendRow(table, {{"valor1", S("z")}, {"total", Variant::Double(-7)}});
  EXPECT_EQ(Walk(table, "valor1"), (Texts{"z", "z", "a", "B", "A"}));
  EXPECT_EQ(Walk(table, "tabela"), (Texts{"<null>", "-3", "1", "1", "2"}));

  // Reals in numeric order, Null first.
  table.IndexName("index2");
  EXPECT_EQ(Walk(table, "tabela"), (Texts{"-3", "<null>", "2", "1", "1"}));
  table.First();
  EXPECT_TRUE(table.FieldValue("total").IsNull());
  table.Next();
  EXPECT_DOUBLE_EQ(table.FieldValue("total").RealPayload(), -7);
}

TEST(MemTableTest, KeyFieldsDecideInTurn) {
  MemTable table("mtEstrutTab", RegionalSettings::Brazilian());
  table.FieldDefs().Add("campo", ftString, 10, false);
  table.FieldDefs().Add("ordem", ftInteger, 0, false);
  table.FieldDefs().Add("total", ftFloat, 0, false);
  table.IndexDefs().Add("index1", "campo;ordem");
  table.IndexDefs().Add("index2", "ordem;total");
  table.CreateTable();
  table.Open();
  table.IndexName("index1");
  AppendRow(table, {{"campo", S("ab")}, {"ordem", I(1)}, {"total", Variant::Double(0.0)}});
  AppendRow(table, {{"campo", S("A")}, {"ordem", I(1)}, {"total", Variant::Double(-0.0)}});
  AppendRow(table, {{"campo", S("a")}, {"ordem", I(2)}, {"total", Variant::Double(1e300)}});
  AppendRow(table, {{"campo", S("a")}, {"ordem", I(-2147483647 - 1)}, {"total", Variant::Double(-1e300)}});
  AppendRow(table, {{"campo", S("a")}, {"ordem", I(2147483647)}, {"total", Variant::Double(-1e-300)}});
  // A shorter text that is a prefix sorts first whatever the next field
  // holds; a case difference in the first field outweighs the second.
  EXPECT_EQ(Walk(table, "ordem"), (Texts{"-2147483648", "2", "2147483647", "1", "1"}));
  EXPECT_EQ(Walk(table, "campo"), (Texts{"a", "a", "a", "A", "ab"}));

  table.IndexName("index2");
  EXPECT_EQ(Walk(table, "ordem"), (Texts{"-2147483648", "1", "1", "2", "2147483647"}));
  // -0 and 0 are the same key: the later of the two stands first.
  EXPECT_TRUE(table.FindKey({I(1), Variant::Double(0.0)}));
  EXPECT_EQ(table.FieldValue("campo").TextPayload(), "A");
  EXPECT_TRUE(table.FindKey({I(2147483647), Variant::Double(-1e-300)}));
  EXPECT_EQ(table.FieldValue("ordem").IntegerPayload(), 2147483647);

  // Texts the collation holds equal but that differ in their bytes (a
  // control character is ignorable for the collation) are different keys.
  table.IndexName("index1");
  AppendRow(table, {{"campo", S("A\x01"
                                "B")},
                    {"ordem", I(5)}});
  EXPECT_FALSE(table.FindKey({S("AB"), I(5)}));
  EXPECT_TRUE(table.FindKey({S("A\x01"
                               "B"),
                             I(5)}));
  AppendRow(table, {{"campo", S("AB")}, {"ordem", I(5)}});
  EXPECT_TRUE(table.FindKey({S("AB"), I(5)}));
  EXPECT_EQ(table.FieldValue("campo").TextPayload(), "AB");
  EXPECT_TRUE(table.FindKey({S("A\x01"
                               "B"),
                             I(5)}));
  EXPECT_EQ(table.FieldValue("campo").TextPayload(),
            "A\x01"
            "B");
}

TEST(MemTableTest, LaterAppendStandsBeforeEqualKeys) {
  for (int filler : {0, 30}) {
    SCOPED_TRACE(filler);
    MemTable table("mtEstrutTab", RegionalSettings::Brazilian());
    DefineOrderTable(table);
    table.IndexName("index1");
    for (int i = 0; i < filler; ++i) AppendRow(table, {{"ordem", I(100 + i)}, {"tabela", S("F" + std::to_string(i))}});
    AppendRow(table, {{"ordem", I(1)}, {"tabela", S("K")}});  // X
    AppendRow(table, {{"ordem", I(2)}, {"tabela", S("K")}});  // Y
    AppendRow(table, {{"ordem", I(3)}, {"tabela", S("K")}});  // Z
    std::vector<std::string> visited;
    for (table.First(); !table.AtEnd(); table.Next()) {
      if (table.FieldValue("tabela").TextPayload() == "K") {
        visited.push_back(std::to_string(table.FieldValue("ordem").IntegerPayload()));
      }
    }
    EXPECT_EQ(visited, (Texts{"3", "2", "1"}));
    EXPECT_TRUE(table.FindKey({S("K")}));
    EXPECT_EQ(table.FieldValue("ordem").IntegerPayload(), 3);

    // A later batch goes before the earlier equal keys, and the cursor
    // stands on the record just posted.
    AppendRow(table, {{"ordem", I(4)}, {"tabela", S("K")}});
    AppendRow(table, {{"ordem", I(5)}, {"tabela", S("K")}});
    EXPECT_EQ(table.FieldValue("ordem").IntegerPayload(), 5);
    table.Next();
    EXPECT_EQ(table.FieldValue("ordem").IntegerPayload(), 4);
    table.Next();
    EXPECT_EQ(table.FieldValue("ordem").IntegerPayload(), 3);
  }
}

TEST(MemTableTest, FindKeyEdgeCases) {
  MemTable table("mtAnexos", RegionalSettings::Brazilian());
  table.FieldDefs().Add("tabela", ftInteger, 0, false);
  table.FieldDefs().Add("campo", ftInteger, 0, false);
  table.FieldDefs().Add("valor1", ftString, 8, false);
  table.FieldDefs().Add("valor2", ftString, 2, false);
  table.IndexDefs().Add("index1", "tabela;campo;valor1;valor2");
  table.CreateTable();
  table.Open();
  table.IndexName("index1");

  // Empty table: a miss, and fields read as Null.
  EXPECT_FALSE(table.FindKey({I(1), I(2), S("A"), S("  ")}));
  EXPECT_TRUE(table.FieldValue("valor1").IsNull());

  AppendRow(table, {{"tabela", I(1)}, {"campo", I(2)}, {"valor1", S("ABCDEFGH")}, {"valor2", S("  ")}});
  AppendRow(table, {{"tabela", I(1)}, {"campo", I(2)}, {"valor1", S("01      ")}, {"valor2", S("1 ")}});
  AppendRow(table, {{"tabela", I(1)}, {"campo", I(3)}});

  // A key text longer than the field is cut before the search.
  EXPECT_TRUE(table.FindKey({I(1), I(2), S("ABCDEFGHIJ"), S("   ")}));
  EXPECT_EQ(table.FieldValue("valor1").TextPayload(), "ABCDEFGH");

  // A miss leaves the record found before current.
  EXPECT_FALSE(table.FindKey({I(1), I(2), S("01"), S("1 ")}));
  EXPECT_EQ(table.FieldValue("valor1").TextPayload(), "ABCDEFGH");
  EXPECT_FALSE(table.AtEnd());

  // Values beyond the key's fields are ignored, even one that would not
  // convert.
  EXPECT_TRUE(table.FindKey({I(1), I(2), S("01      "), S("1 "), S("X1"), I(9)}));
  EXPECT_EQ(table.FieldValue("valor2").TextPayload(), "1 ");

  // Missing key fields are Null and match only Null fields; so does Empty.
  EXPECT_FALSE(table.FindKey({I(1), I(2)}));
  EXPECT_TRUE(table.FindKey({I(1), I(3)}));
  EXPECT_TRUE(table.FieldValue("valor1").IsNull());
  EXPECT_EQ(table.FieldValue("campo").IntegerPayload(), 3);
  EXPECT_TRUE(table.FindKey({I(1), I(2), S("ABCDEFGH")}) == false);
  EXPECT_TRUE(table.FindKey({I(1), I(3), Variant(), Variant::Null()}));
  EXPECT_FALSE(table.FindKey({I(1), I(3), S("")}));  // the empty text is not Null

  // Key values convert like field values: text to an integer field.
  EXPECT_TRUE(table.FindKey({S("1"), Variant::Double(2.5), S("ABCDEFGH"), S("  ")}));
  EXPECT_EQ(table.FieldValue("valor1").TextPayload(), "ABCDEFGH");
  ExpectError<DatabaseError>([&] { table.FindKey({S("X1")}); }, "Invalid value for field 'tabela'");
  EXPECT_EQ(table.FieldValue("valor1").TextPayload(), "ABCDEFGH");
  EXPECT_EQ(table.CurrentState(), MemTable::State::Browse);

  // The vector form searches the same way.
  EXPECT_TRUE(table.FindKey(std::vector<Variant>{I(1), I(2), S("01      "), S("1 ")}));
  EXPECT_EQ(table.FieldValue("valor1").TextPayload(), "01      ");
}

// Builds the same rows in a table of n records and checks every search
// against the expectation: among equal keys the row appended last.
void CheckSearches(int n, std::mt19937& random) {
  MemTable table("mtAnexos", RegionalSettings::Brazilian());
  table.FieldDefs().Add("tabela", ftInteger, 0, false);
  table.FieldDefs().Add("valor1", ftString, 3, false);
  table.FieldDefs().Add("seq", ftInteger, 0, false);
  table.IndexDefs().Add("index1", "tabela;valor1");
  table.CreateTable();
  table.Open();
  table.IndexName("index1");
  // Upper-case letters, digits and blanks order like their bytes.
  const std::string alphabet = "AB1 ";
  std::map<std::pair<int, std::string>, int> lastOfKey;
  std::uniform_int_distribution<int> pick(0, 3);
  std::uniform_int_distribution<int> number(-2, 2);
  for (int seq = 0; seq < n; ++seq) {
    const int tabela = number(random);
    std::string valor;
    const int length = pick(random);
    for (int i = 0; i < length; ++i) valor += alphabet[static_cast<size_t>(pick(random))];
    AppendRow(table, {{"tabela", I(tabela)}, {"valor1", S(valor)}, {"seq", I(seq)}});
    lastOfKey[{tabela, valor}] = seq;
  }
  ASSERT_EQ(table.RecordCount(), n);

  // The index is sorted.
  std::vector<std::pair<int, std::string>> keys;
  for (table.First(); !table.AtEnd(); table.Next()) {
    keys.emplace_back(static_cast<int>(table.FieldValue("tabela").IntegerPayload()),
                      table.FieldValue("valor1").TextPayload());
  }
  EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
  ASSERT_EQ(static_cast<int>(keys.size()), n);

  for (int tabela = -3; tabela <= 3; ++tabela) {
    for (const std::string valor : {"", " ", "A", "AB", "B1", "1 A", "A A", "BBB", "1", "11"}) {
      const auto expected = lastOfKey.find({tabela, valor});
      const bool found = table.FindKey({I(tabela), S(valor)});
      EXPECT_EQ(found, expected != lastOfKey.end()) << tabela << " '" << valor << "'";
      if (found && expected != lastOfKey.end()) {
        EXPECT_EQ(table.FieldValue("seq").IntegerPayload(), expected->second) << tabela << " '" << valor << "'";
      }
    }
  }
}

TEST(MemTableTest, ScanAndBisectionFindTheSameRecord) {
  for (int n : {1, 5, 19, 20, 21, 22, 40, 300}) {
    SCOPED_TRACE(n);
    std::mt19937 random(static_cast<unsigned>(n) * 7919u);
    CheckSearches(n, random);
  }
  // The same duplicates found at the boundary on both sides of it.
  for (int n : {20, 21}) {
    SCOPED_TRACE(n);
    MemTable table("mtTabelas", RegionalSettings::Brazilian());
    DefineOrderTable(table);
    table.IndexName("index1");
    for (int i = 0; i < n; ++i) AppendRow(table, {{"ordem", I(i)}, {"tabela", S(i % 2 == 0 ? "PAR" : "IMPAR")}});
    EXPECT_TRUE(table.FindKey({S("PAR")}));
    EXPECT_EQ(table.FieldValue("ordem").IntegerPayload(), (n - 1) / 2 * 2);
    EXPECT_TRUE(table.FindKey({S("IMPAR")}));
    EXPECT_EQ(table.FieldValue("ordem").IntegerPayload(), (n - 2) / 2 * 2 + 1);
    EXPECT_FALSE(table.FindKey({S("PARES")}));
    EXPECT_FALSE(table.FindKey({S("A")}));
    EXPECT_FALSE(table.FindKey({S("Z")}));
  }
}

TEST(MemTableTest, Navigation) {
  MemTable table("mtTabelas", RegionalSettings::Brazilian());
  DefineOrderTable(table);
  EXPECT_TRUE(table.AtEnd());
  table.First();
  EXPECT_TRUE(table.AtEnd());
  table.Next();
  EXPECT_TRUE(table.AtEnd());

  AppendRow(table, {{"ordem", I(1)}, {"tabela", S("S")}});
  AppendRow(table, {{"ordem", I(2)}, {"tabela", S("R")}});
  AppendRow(table, {{"ordem", I(3)}, {"tabela", S("T")}});
  // Without an index made current the order is that of appending.
  EXPECT_EQ(Walk(table, "tabela"), (Texts{"S", "R", "T"}));

  // Next on the last record sets AtEnd and stays there.
  table.First();
  table.Next();
  table.Next();
  EXPECT_FALSE(table.AtEnd());
  table.Next();
  EXPECT_TRUE(table.AtEnd());
  EXPECT_EQ(table.FieldValue("tabela").TextPayload(), "T");
  table.Next();
  EXPECT_TRUE(table.AtEnd());
  EXPECT_EQ(table.FieldValue("tabela").TextPayload(), "T");

  // Switching the index keeps the current record and walks on in the new
  // order.
  table.First();
  table.Next();  // R
  table.IndexName("index1");
  EXPECT_EQ(table.FieldValue("tabela").TextPayload(), "R");
  table.Next();
  EXPECT_EQ(table.FieldValue("tabela").TextPayload(), "S");
  EXPECT_EQ(Walk(table, "ordem"), (Texts{"2", "1", "3"}));
}

TEST(MemTableTest, EditAndPost) {
  MemTable table("mtEstrutTab", RegionalSettings::Brazilian());
  table.FieldDefs().Add("tabela", ftInteger, 0, false);
  table.FieldDefs().Add("ordem", ftInteger, 0, false);
  table.FieldDefs().Add("erroDom", ftInteger, 0, false);
  table.IndexDefs().Add("index2", "tabela;ordem");
  table.CreateTable();
  table.Open();
  table.IndexName("index2");

  // Edit on a table without records starts a new record.
  table.Edit();
  EXPECT_EQ(table.CurrentState(), MemTable::State::Insert);
  table.FieldByName("tabela").SetAsVariant(I(1));
  table.FieldByName("ordem").SetAsVariant(I(2));
  table.FieldByName("erroDom").SetAsVariant(I(0));
  table.Post();
  EXPECT_EQ(table.RecordCount(), 1);
  AppendRow(table, {{"tabela", I(1)}, {"ordem", I(1)}, {"erroDom", I(0)}});
  AppendRow(table, {{"tabela", I(1)}, {"ordem", I(3)}, {"erroDom", I(0)}});

  // The counter increment of the record checks.
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(table.FindKey({I(1), I(2)}));
    table.Edit();
    MemField& counter = table.FieldByName("erroDom");
    counter.SetAsVariant(Add(counter.AsVariant(), I(1), RegionalSettings::Brazilian()));
    table.Post();
    EXPECT_EQ(table.FieldValue("ordem").IntegerPayload(), 2);
  }
  EXPECT_EQ(table.FieldValue("erroDom").IntegerPayload(), 3);
  EXPECT_EQ(Walk(table, "erroDom"), (Texts{"0", "3", "0"}));

  // Edit while editing does nothing; the value set so far stays.
  table.First();
  table.Edit();
  table.FieldByName("erroDom").SetAsVariant(I(9));
  table.Edit();
  EXPECT_EQ(table.FieldValue("erroDom").IntegerPayload(), 9);
  table.Post();
  EXPECT_EQ(Walk(table, "erroDom"), (Texts{"9", "3", "0"}));

  // Changing a key field moves the record in its index; it stays current.
  ASSERT_TRUE(table.FindKey({I(1), I(1)}));
  table.Edit();
  table.FieldByName("ordem").SetAsVariant(I(7));
  table.Post();
  EXPECT_EQ(table.FieldValue("ordem").IntegerPayload(), 7);
  table.Next();
  EXPECT_TRUE(table.AtEnd());
  EXPECT_EQ(Walk(table, "ordem"), (Texts{"2", "3", "7"}));
  EXPECT_FALSE(table.FindKey({I(1), I(1)}));
  EXPECT_TRUE(table.FindKey({I(1), I(7)}));
  EXPECT_EQ(table.FieldValue("erroDom").IntegerPayload(), 9);
}

TEST(MemTableTest, MovesSettleAPendingRecord) {
  MemTable table("mtTabelas", RegionalSettings::Brazilian());
  DefineOrderTable(table);
  table.IndexName("index1");

  // Set fields: posted by the move.
  table.Append();
  table.FieldByName("tabela").SetAsVariant(S("B"));
  table.First();
  EXPECT_EQ(table.RecordCount(), 1);
  EXPECT_EQ(table.CurrentState(), MemTable::State::Browse);
  table.Append();
  table.FieldByName("tabela").SetAsVariant(S("A"));
  EXPECT_TRUE(table.FindKey({S("A")}));
  EXPECT_EQ(table.RecordCount(), 2);
  table.Append();
  table.FieldByName("tabela").SetAsVariant(S("C"));
  table.Append();  // posts C, starts another record
  EXPECT_EQ(table.RecordCount(), 3);

  // Nothing set: abandoned, the cursor where it was.
  EXPECT_TRUE(table.FindKey({S("B")}));
  table.Append();
  table.Next();
  EXPECT_EQ(table.RecordCount(), 3);
  EXPECT_EQ(table.FieldValue("tabela").TextPayload(), "C");
  table.Append();
  table.IndexName("index1");
  EXPECT_EQ(table.RecordCount(), 3);

  // A failed set is no set.
  table.Append();
  EXPECT_THROW(table.FieldByName("ordem").SetAsVariant(S("X1")), DatabaseError);
  table.First();
  EXPECT_EQ(table.RecordCount(), 3);

  // A pending edit with a change is posted by Next.
  table.First();
  table.Edit();
  table.FieldByName("ordem").SetAsVariant(I(5));
  table.Next();
  EXPECT_EQ(table.FieldValue("tabela").TextPayload(), "B");
  table.First();
  EXPECT_EQ(table.FieldValue("ordem").IntegerPayload(), 5);

  // Close abandons it; the reopened table is empty with the same fields.
  table.Append();
  table.FieldByName("tabela").SetAsVariant(S("D"));
  table.Close();
  EXPECT_EQ(table.RecordCount(), 0);
  table.Open();
  EXPECT_EQ(table.RecordCount(), 0);
  EXPECT_EQ(table.FieldCount(), 3);
  EXPECT_TRUE(table.FieldValue("tabela").IsNull());
  table.First();
  EXPECT_TRUE(table.AtEnd());
  table.IndexName("index1");
  AppendRow(table, {{"tabela", S("D")}});
  EXPECT_TRUE(table.FindKey({S("D")}));
}

class CounterTable : public MemTable {
 public:
  using MemTable::MemTable;
  using MemTable::SetNextAppendNumber;
};

TEST(MemTableTest, AppendCounterLimit) {
  CounterTable table("mtTabelas", RegionalSettings::Brazilian());
  DefineOrderTable(table);
  table.SetNextAppendNumber(2147483599);
  AppendRow(table, {{"ordem", I(1)}});
  EXPECT_EQ(table.RecordCount(), 1);
  table.Append();
  table.FieldByName("ordem").SetAsVariant(I(2));
  ExpectError<DatabaseError>([&] { table.Post(); }, "Bookmark counter is out of range. Please close and reopen table.");
  EXPECT_EQ(table.RecordCount(), 1);
  // Emptying the table restarts the count.
  table.Close();
  table.Open();
  AppendRow(table, {{"ordem", I(1)}});
  EXPECT_EQ(table.RecordCount(), 1);
}

}  // namespace
}  // namespace tarvelo
