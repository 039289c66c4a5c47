#include "link/text_fields.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace pavix {
namespace {

std::vector<std::string> Fields(std::string_view text) {
    CFieldReader reader(text, ':');
    std::vector<std::string> fields;
    std::string_view field;
    while (reader.Next(&field)) fields.emplace_back(field);
    return fields;
}

TEST(TextFields, RunsOfSeparatorsAreOneAndMakeNoEmptyFields) {
    using List = std::vector<std::string>;
    EXPECT_EQ(Fields("a:b:c"), (List{"a", "b", "c"}));
    EXPECT_EQ(Fields("::a:::b:"), (List{"a", "b"}));
    EXPECT_EQ(Fields(":::"), List{});
    EXPECT_EQ(Fields(""), List{});
    EXPECT_EQ(Fields("one"), List{"one"});
}

TEST(TextFields, LeadingDecimalReadsLikeAtoi) {
    EXPECT_EQ(LeadingDecimal("1234"), 1234);
    EXPECT_EQ(LeadingDecimal(" \t\n1235\n"), 1235);
    EXPECT_EQ(LeadingDecimal("-7x"), -7);
    EXPECT_EQ(LeadingDecimal("+12"), 12);
    EXPECT_EQ(LeadingDecimal("x12"), 0);
    EXPECT_EQ(LeadingDecimal("- 3"), 0);
    EXPECT_EQ(LeadingDecimal(""), 0);
    // The view ends the number even when digits follow in memory.
    EXPECT_EQ(LeadingDecimal(std::string_view("123456", 3)), 123);
}

TEST(TextFields, LeadingDecimalClampsToThe32BitRange) {
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    EXPECT_EQ(LeadingDecimal("2147483647"), kMax);
    EXPECT_EQ(LeadingDecimal("2147483648"), kMax);
    EXPECT_EQ(LeadingDecimal("-2147483648"), kMin);
    EXPECT_EQ(LeadingDecimal("-2147483649"), kMin);
    EXPECT_EQ(LeadingDecimal("99999999999999999999999999"), kMax);
}

}  // namespace
}  // namespace pavix
