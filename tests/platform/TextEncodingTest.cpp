#include "platform/TextEncoding.h"

#include <gtest/gtest.h>

namespace {

struct EncodingCase {
    const char* name;
    std::u16string utf16;
    std::string utf8;
    bool bothWays;  // false: the UTF-8 is only what the UTF-16 becomes
};

class TextEncodingTest : public testing::TestWithParam<EncodingCase> {};

TEST_P(TextEncodingTest, ConvertsEachWayAndReplacesWhatIsNotText)
{
    const EncodingCase& row = GetParam();
    EXPECT_EQ(utf8FromUtf16(row.utf16), row.utf8);
    if (row.bothWays) {
        EXPECT_EQ(utf16FromUtf8(row.utf8), row.utf16);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextEncodingTest,
    testing::Values(EncodingCase{"Ascii", u"Quillarc", "Quillarc", true},
                    EncodingCase{"TwoAndThreeBytes", u"\u00c9t\u00e9 \u041a\u043e\u0442 \u97f3", "\xC3\x89t\xC3\xA9 \xD0\x9A\xD0\xBE\xD1\x82 \xE9\x9F\xB3", true},
                    EncodingCase{"SurrogatePair", u"a\U0001D11Eb", "a\xF0\x9D\x84\x9E" "b", true},
                    EncodingCase{"LoneLowSurrogate", u"a\xDC00" "b", "a\xEF\xBF\xBD" "b", false},
                    EncodingCase{"HighSurrogateAtTheEnd", u"a\xD800", "a\xEF\xBF\xBD", false}),
    [](const testing::TestParamInfo<EncodingCase>& param) { return param.param.name; });

TEST(TextEncoding, Utf8ThatIsNotTextBecomesOneReplacementPerBadByte)
{
    // A stray continuation byte, an overlong '/', a surrogate in UTF-8, a cut sequence.
    EXPECT_EQ(utf16FromUtf8("a\x80" "b\xC0\xAF" "c\xED\xA0\x80" "d\xE6\x88"),
              u"a\xFFFD" "b\xFFFD\xFFFD" "c\xFFFD\xFFFD\xFFFD" "d\xFFFD\xFFFD");
}

}  // namespace
