#include <platform/conversions.h>
#include <platform/runtime_error.h>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

namespace platform {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// The runtime error number `call` raises; 0 when it returns normally.
std::int32_t ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const RuntimeError& error) {
    return error.number();
  }
  return 0;
}

TEST(ToInteger16Test, RoundsTiesToEvenThenChecksRange) {
  struct Case { double value; int expected; int error; };
  const Case cases[] = {{2.5, 2, 0},     {3.5, 4, 0},     {-2.5, -2, 0},   {-3.5, -4, 0},
                        {2.5001, 3, 0},  {-0.4, 0, 0},    {-32768.5, -32768, 0},
                        {32767.5, 0, 6}, {-32769.5, 0, 6}, {kNaN, 0, 6},   {-kInf, 0, 6}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(ErrorOf([&] { EXPECT_EQ(ToInteger16(c.value), c.expected); }), c.error);
  }
}

TEST(PartsFromTextTest, ReadsWholeTextOrRaises) {
  struct Case { const char* text; char separator; int expected; int error; };
  const Case cases[] = {
      {"  7 ", '.', 7, 0}, {"\t-5", '.', -5, 0}, {"+4", ',', 4, 0}, {"2.5", '.', 2, 0}, {"3.5", '.', 4, 0},
      {"2,5", ',', 2, 0}, {"2.5", ',', 25, 0}, {"1,000", '.', 1000, 0}, {"1.000,5", ',', 1000, 0},
      {"25e-1", '.', 2, 0}, {"-32768", '.', -32768, 0}, {"1E-400", '.', 0, 0}, {"&HFFFF", '.', -1, 0},
      {"&h7fff", '.', 32767, 0}, {"&H8000", '.', -32768, 0}, {"&HFFFFFFFF", '.', -1, 0},
      {"&O177777", '.', -1, 0},
      {"", '.', 0, 13}, {"  ", '.', 0, 13}, {"abc", '.', 0, 13}, {"3 partes", '.', 0, 13}, {"1 0", '.', 0, 13},
      {"-", '.', 0, 13}, {"1.2.3", '.', 0, 13}, {"2x", '.', 0, 13}, {",1", '.', 0, 13}, {"1,", '.', 0, 13},
      {"1,,0", '.', 0, 13}, {"3E", '.', 0, 13}, {"&H", '.', 0, 13}, {"&HFG", '.', 0, 13}, {"&O8", '.', 0, 13},
      {"40000", '.', 0, 6}, {"-32769", '.', 0, 6}, {"1E10", '.', 0, 6}, {"1E400", '.', 0, 6},
      {"&H10000", '.', 0, 6}, {"&H123456789", '.', 0, 6}, {"&O200000", '.', 0, 6},
      {"&O40000000000", '.', 0, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " with " + c.separator);
    EXPECT_EQ(ErrorOf([&] { EXPECT_EQ(PartsFromText(c.text, c.separator), c.expected); }), c.error);
  }
}

TEST(LeadingNumberTest, ReadsAsFarAsTheNumberGoes) {
  struct Case { const char* text; double expected; };
  const Case cases[] = {
      {"3 partes", 3}, {"1 0", 10}, {"-2", -2}, {"2,5", 2}, {"1.5 kb", 1.5}, {" \t\n12", 12}, {"1.2.3", 1.2},
      {"+4", 4}, {"1e3x", 1000}, {"3Ex", 3}, {"3E-", 3}, {"2E-1", 0.2}, {".5", 0.5}, {"", 0}, {".", 0},
      {"-", 0}, {"kb", 0}, {"1E-400", 0}, {"&HFFFF", -1}, {"&hfffff", 1048575}, {"&H1G", 1}, {"&O777", 511},
      {"&Hx", 0}, {"& H 1 F", 31},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(LeadingNumber(c.text), c.expected);
  }
  EXPECT_FALSE(std::signbit(LeadingNumber("-0")));
  EXPECT_FALSE(std::signbit(LeadingNumber("-1E-400")));
  for (const std::string& text : {std::string("-1E400"), std::string(400, '9'), std::string("&H123456789")}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(ErrorOf([&] { LeadingNumber(text); }), 6);
  }
}

TEST(NumberToTextTest, WritesUpToFifteenSignificantDigits) {
  struct Case { double value; char separator; const char* expected; };
  const Case cases[] = {
      {1.5, ',', "1,5"}, {0.75, '.', "0.75"}, {2048.0 / 1024, '.', "2"}, {-0.0, ',', "0"},
      {3000.0 / 1024 / 2, '.', "1.46484375"}, {0.0298 / 999999, '.', "2.98000298000298E-08"},
      {1.0 / 1024 / 32767, ',', "2,98032319101535E-08"}, {123456789012345.0, '.', "123456789012345"},
      {1e15, '.', "1E+15"}, {999999999999999.9, '.', "1E+15"}, {0.0001, '.', "0.0001"},
      {0.00001, '.', "1E-05"},
      {0.000015, ',', "1,5E-05"}, {-0.5, '.', "-0.5"}, {1.0 / 3, '.', "0.333333333333333"},
      {5368709120.0 / 1024, '.', "5242880"}, {-1e300, '.', "-1E+300"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(NumberToText(c.value, c.separator), c.expected);
  }
  for (const double value : {kNaN, kInf, -kInf}) EXPECT_EQ(ErrorOf([&] { NumberToText(value, '.'); }), 6);
}

// The part size is computed from the total as shown, so a comma cuts the read-back short.
TEST(ConversionsTest, SizeLabelsRoundTripThroughText) {
  struct Case { double bytes; char separator; const char* total; const char* part; };
  const Case cases[] = {{1536, '.', "1.5 kb", "0.75 kb"}, {1536, ',', "1,5 kb", "0,5 kb"},
                        {3000, '.', "2.9296875 kb", "1.46484375 kb"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.total);
    const std::string total = NumberToText(c.bytes / 1024.0, c.separator) + " kb";
    EXPECT_EQ(total, c.total);
    EXPECT_EQ(NumberToText(LeadingNumber(total) / LeadingNumber("2"), c.separator) + " kb", c.part);
  }
}

}  // namespace
}  // namespace platform
