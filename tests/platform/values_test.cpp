// The conversions every typed-in number, dispatch argument and property-bag
// value goes through, and the written form of identifiers.
#include <platform/component/guid.h>
#include <platform/component/persistence.h>
#include <platform/component/variant.h>
#include <platform/conversions.h>

#include "test_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace platform {
namespace {

using testing_support::ErrorNumberOf;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Whole text or error 13; past the range error 6; ties go to the even neighbour.
TEST(Values, PartsFromTextReadsTheWholeTextOrRaises) {
  struct Case { const char* text; char separator; int expected; int error; };
  const Case cases[] = {
      {"  7 ", '.', 7, 0}, {"\t-5", '.', -5, 0}, {"+4", ',', 4, 0}, {"2.5", '.', 2, 0}, {"3.5", '.', 4, 0},
      {"2,5", ',', 2, 0}, {"2.5", ',', 25, 0}, {"1.000,5", ',', 1000, 0}, {"25e-1", '.', 2, 0},
      {"-32768", '.', -32768, 0}, {"1E-400", '.', 0, 0}, {"&HFFFF", '.', -1, 0}, {"&h7fff", '.', 32767, 0},
      {"&HFFFFFFFF", '.', -1, 0}, {"&O177777", '.', -1, 0}, {"", '.', 0, 13}, {"  ", '.', 0, 13},
      {"3 partes", '.', 0, 13}, {"1 0", '.', 0, 13}, {"-", '.', 0, 13}, {"1.2.3", '.', 0, 13}, {",1", '.', 0, 13},
      {"1,", '.', 0, 13}, {"1,,0", '.', 0, 13}, {"3E", '.', 0, 13}, {"&H", '.', 0, 13}, {"&HFG", '.', 0, 13},
      {"&O8", '.', 0, 13}, {"40000", '.', 0, 6}, {"-32769", '.', 0, 6}, {"1E400", '.', 0, 6},
      {"&H10000", '.', 0, 6}, {"&H123456789", '.', 0, 6}, {"&O200000", '.', 0, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " with " + c.separator);
    EXPECT_EQ(ErrorNumberOf([&] { EXPECT_EQ(PartsFromText(c.text, c.separator), c.expected); }), c.error);
  }
}

TEST(Values, LeadingNumberReadsAsFarAsTheNumberGoes) {
  struct Case { const char* text; double expected; };
  const Case cases[] = {
      {"3 partes", 3}, {"1 0", 10}, {"2,5", 2}, {"1.5 kb", 1.5}, {" \t\n12", 12}, {"1.2.3", 1.2}, {"1e3x", 1000},
      {"3Ex", 3}, {"3E-", 3}, {".5", 0.5}, {"", 0}, {"-", 0}, {"kb", 0}, {"&HFFFF", -1}, {"&hfffff", 1048575},
      {"&H1G", 1}, {"&O777", 511}, {"&Hx", 0}, {"& H 1 F", 31}, {"-0", 0}, {"-1E-400", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(LeadingNumber(c.text), c.expected);
    EXPECT_FALSE(std::signbit(LeadingNumber(c.text)) && c.expected == 0) << "a negative zero";
  }
  for (const std::string& text : {std::string("-1E400"), std::string(400, '9'), std::string("&H123456789")}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(ErrorNumberOf([&] { LeadingNumber(text); }), 6);
  }
}

TEST(Values, NumberToTextWritesUpToFifteenSignificantDigits) {
  struct Case { double value; char separator; const char* expected; };
  const Case cases[] = {
      {1.5, ',', "1,5"}, {-0.0, ',', "0"}, {0.0298 / 999999, '.', "2.98000298000298E-08"},
      {123456789012345.0, '.', "123456789012345"}, {999999999999999.9, '.', "1E+15"}, {0.0001, '.', "0.0001"},
      {0.000015, ',', "1,5E-05"}, {-0.5, '.', "-0.5"}, {1.0 / 3, '.', "0.333333333333333"},
      {5368709120.0 / 1024, '.', "5242880"}, {-1e300, '.', "-1E+300"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(NumberToText(c.value, c.separator), c.expected);
  }
  for (const double value : {kNaN, kInf, -kInf}) EXPECT_EQ(ErrorNumberOf([&] { NumberToText(value, '.'); }), 6);
  EXPECT_EQ(ClockText(41.5) + " " + ClockText(725) + " " + ClockText(3729.4), "0:42 12:05 1:02:09");
}

TEST(Values, VariantsConvertAsTheRuntimeDoes) {
  struct Case { Variant value; VariantType to; Variant expected; int error; };
  const Case cases[] = {
      {"3", VariantType::Integer16, std::int16_t{3}, 0}, {-2.5, VariantType::Integer32, -2, 0},
      {2.5001, VariantType::Integer16, std::int16_t{3}, 0}, {"true", VariantType::Integer16, std::int16_t{-1}, 0},
      {-32768.5, VariantType::Integer16, std::int16_t{-32768}, 0}, {Variant(), VariantType::String, "", 0},
      {Variant(), VariantType::Integer16, std::int16_t{0}, 0}, {true, VariantType::String, "True", 0},
      {0.1, VariantType::String, "0.1", 0}, {std::int16_t{-5}, VariantType::String, "-5", 0},
      {"0", VariantType::Boolean, false, 0}, {"abc", VariantType::Integer16, {}, 13},
      {"1 0", VariantType::Double, {}, 13}, {32767.5, VariantType::Integer16, {}, 6},
      {-32769.5, VariantType::Integer16, {}, 6}, {kNaN, VariantType::Integer16, {}, 6},
      {-kInf, VariantType::Integer32, {}, 6}, {3e9, VariantType::Integer32, {}, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("row " + std::to_string(&c - cases) + " to " + std::string(VariantTypeName(c.to)));
    if (c.error != 0) {
      EXPECT_EQ(ErrorNumberOf([&] { c.value.ConvertedTo(c.to); }), c.error);
    } else {
      EXPECT_EQ(c.value.ConvertedTo(c.to), c.expected);
    }
  }
}

TEST(Values, APropertyBagStoresOnlyWhatDiffersFromTheDefault) {
  MemoryPropertyBag bag;
  bag.Write("Name", Variant("x"), Variant(""));
  bag.Write("Count", Variant(std::int16_t{2}), Variant(std::int16_t{2}));
  bag.Write("Zero", Variant(std::int16_t{0}), Variant(std::int16_t{2}));
  bag.Write("Text", Variant("2"), Variant(std::int16_t{2}));
  EXPECT_EQ(bag.Keys(), (std::vector<std::string>{"Name", "Zero", "Text"}));
  EXPECT_EQ(bag.Read("NAME", Variant("d")), Variant("x"));
  bag.Write("name", Variant(""), Variant(""));
  EXPECT_FALSE(bag.Contains("Name")) << "writing the default removes an older value";
}

TEST(Values, AnIdentifierRoundTripsInEitherCaseAndNothingElseReads) {
  const std::string text = "{14700B8D-5D35-427B-BFFD-DDDF1216FC53}";
  EXPECT_EQ(ToText(Guid::FromLiteral(text)), text);
  EXPECT_EQ(GuidFromText("{14700b8d-5d35-427b-bffd-dddf1216fc53}"), Guid::FromLiteral(text));
  for (const char* bad : {"", "14700B8D-5D35-427B-BFFD-DDDF1216FC53", "{14700B8D-5D35-427B-BFFD-DDDF1216FC5}",
                          "{14700B8D-5D35-427B-BFFD-DDDF1216FC5G}", "{14700B8D-5D35-427B-BFFD-DDDF1216FC53}x"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(GuidFromText(bad));
  }
}

}  // namespace
}  // namespace platform
