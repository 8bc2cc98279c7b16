// Unit tests of the platform text services (Text.h): the same expectations
// hold on Linux (ICU) and on Windows (the Win32 calls, run under Wine).
#include "platform/Text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Platform::WideChar;
using Text = std::basic_string<WideChar>;

Text T(const char16_t* s)
{
    Text out;
    for (; *s; ++s)
        out += static_cast<WideChar>(*s);
    return out;
}

TEST(TextCodePageTest, AnsiRoundTripsEveryByte)
{
    for (int b = 0; b < 256; ++b) {
        const char byte = static_cast<char>(b);
        WideChar unit = 0;
        ASSERT_EQ(Platform::MultiByteToWide(Platform::kCodePageAnsi, Platform::kPrecomposed, &byte, 1, &unit, 1), 1);
        char back = 0;
        ASSERT_EQ(Platform::WideToMultiByte(Platform::kCodePageAnsi, 0, &unit, 1, &back, 1, "?"), 1);
        EXPECT_EQ(back, byte) << "byte " << b;
    }
}

TEST(TextCompareTest, AsciiCaseInsensitive)
{
    EXPECT_EQ(Platform::CompareNoCase(T(u"abc").c_str(), T(u"ABC").c_str()), 0);
    EXPECT_LT(Platform::CompareNoCase(T(u"abc").c_str(), T(u"ABD").c_str()), 0);
}

} // namespace
