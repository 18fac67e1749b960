#include "core/Exceptions.h"

#include <gtest/gtest.h>

namespace velmaris::test {
namespace {

TEST(ExceptionsTest, AreaHeaderIndexTexts)
{
    EXPECT_STREQ(EAreaHeaderMsgIndexOutOfRange::Reading(17).what(),
                 "Areaheaderindex 17 is out of  range !");
    EXPECT_STREQ(EAreaHeaderMsgIndexOutOfRange::Writing(-1).what(), "Index:-1");
}

TEST(ExceptionsTest, BadBlockIsACompressorFailure)
{
    try {
        throw ELzrw1KHBadBlock("x");
    } catch (const ELzrw1KHCompressor& e) {
        EXPECT_STREQ(e.what(), "x");
        return;
    }
    FAIL() << "not caught as ELzrw1KHCompressor";
}

} // namespace
} // namespace velmaris::test
