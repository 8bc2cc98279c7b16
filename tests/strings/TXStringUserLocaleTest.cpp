// ParseReal under the user's locale taken from the environment (Linux): CTest
// runs this program with LC_ALL set to a comma-decimal locale.
#include "TXStringTestSupport.h"

#include <cstdlib>
#include <string>

namespace {

using UserLocaleTest = StringTest;

TEST_F(UserLocaleTest, CommaDecimalLocaleFromTheEnvironment)
{
    const char* lcAll = std::getenv("LC_ALL");
    ASSERT_NE(lcAll, nullptr) << "run through CTest, which sets LC_ALL";
    ASSERT_EQ(std::string(lcAll), KX_TEST_COMMA_LOCALE);

    double out = 0;
    EXPECT_TRUE(TXString("1,5").ParseReal(out, true));
    EXPECT_EQ(out, 1.5);
    EXPECT_TRUE(TXString("1,5").ParseReal(out, false));
    EXPECT_EQ(out, 1);
    // Nothing for the locale to read: the standard rules take over.
    EXPECT_TRUE(TXString(".25").ParseReal(out, true));
    EXPECT_EQ(out, 0.25);
}

} // namespace
