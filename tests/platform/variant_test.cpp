// The conversions every dispatch argument and property-bag value goes
// through, and the written form of identifiers.
#include <platform/component/guid.h>
#include <platform/component/persistence.h>
#include <platform/component/variant.h>

#include "test_files.h"

#include <gtest/gtest.h>

namespace {

using platform::Variant;
using platform::VariantType;
using testing_support::ErrorNumberOf;

TEST(Variant, ConvertsAsTheRuntimeDoes) {
  struct Case {
    Variant value;
    VariantType to;
    Variant expected;  // ignored when `error` is set
    int error;
  };
  const Case cases[] = {
      {"3", VariantType::Integer16, std::int16_t{3}, 0},
      {" 12 ", VariantType::Integer32, 12, 0},
      {"&HFF", VariantType::Integer16, std::int16_t{255}, 0},
      {"2.5", VariantType::Integer16, std::int16_t{2}, 0},
      {3.5, VariantType::Integer16, std::int16_t{4}, 0},
      {-2.5, VariantType::Integer32, -2, 0},
      {"true", VariantType::Integer16, std::int16_t{-1}, 0},
      {Variant(), VariantType::Integer16, std::int16_t{0}, 0},
      {Variant(), VariantType::String, "", 0},
      {true, VariantType::String, "True", 0},
      {0.1, VariantType::String, "0.1", 0},
      {std::int16_t{-5}, VariantType::String, "-5", 0},
      {"0", VariantType::Boolean, false, 0},
      {"abc", VariantType::Integer16, {}, 13},
      {"", VariantType::Integer32, {}, 13},
      {"1 0", VariantType::Double, {}, 13},
      {40000, VariantType::Integer16, {}, 6},
      {32767.5, VariantType::Integer16, {}, 6},
      {3e9, VariantType::Integer32, {}, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value.ToText() + " to " + std::string(platform::VariantTypeName(c.to)));
    if (c.error != 0) {
      EXPECT_EQ(ErrorNumberOf([&] { c.value.ConvertedTo(c.to); }), c.error);
    } else {
      EXPECT_EQ(c.value.ConvertedTo(c.to), c.expected);
    }
  }
}

TEST(Variant, AReferenceReadsAndWritesItsTarget) {
  Variant target(4);
  Variant reference = Variant::Reference(target);
  Variant copy = reference;
  EXPECT_EQ(reference.type(), VariantType::Integer32);
  copy.Assign(Variant("new"));
  EXPECT_EQ(target, Variant("new"));
  EXPECT_EQ(Variant::Reference(reference).ToText(), "new") << "never a reference to a reference";
}

TEST(PropertyBag, StoresOnlyWhatDiffersFromTheDefault) {
  platform::MemoryPropertyBag bag;
  bag.Write("Name", Variant("x"), Variant(""));
  bag.Write("Count", Variant(std::int16_t{2}), Variant(std::int16_t{2}));
  bag.Write("Zero", Variant(std::int16_t{0}), Variant(std::int16_t{2}));
  bag.Write("Text", Variant("2"), Variant(std::int16_t{2}));
  EXPECT_EQ(bag.Keys(), (std::vector<std::string>{"Name", "Zero", "Text"}));
  EXPECT_EQ(bag.Read("NAME", Variant("d")), Variant("x"));
  EXPECT_EQ(bag.Read("count", Variant(std::int16_t{2})), Variant(std::int16_t{2}));
  bag.Write("name", Variant(""), Variant(""));
  EXPECT_FALSE(bag.Contains("Name")) << "writing the default removes an older value";
}

TEST(Guid, WrittenFormRoundTripsAndRejectsAnythingElse) {
  const std::string text = "{14700B8D-5D35-427B-BFFD-DDDF1216FC53}";
  ASSERT_TRUE(platform::GuidFromText(text));
  EXPECT_EQ(platform::ToText(*platform::GuidFromText(text)), text);
  EXPECT_EQ(platform::GuidFromText("{14700b8d-5d35-427b-bffd-dddf1216fc53}"),
            platform::Guid::FromLiteral(text));
  for (const char* bad : {"", "14700B8D-5D35-427B-BFFD-DDDF1216FC53",
                          "{14700B8D-5D35-427B-BFFD-DDDF1216FC5}", "{14700B8D-5D35-427B-BFFD-DDDF1216FC5G}",
                          "{14700B8D-5D35+427B-BFFD-DDDF1216FC53}", "{14700B8D-5D35-427B-BFFD-DDDF1216FC53}x"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(platform::GuidFromText(bad));
  }
}

}  // namespace
