// The real producer loaded with call logging switched on in its environment
// (ZOTL_LOGGING=1, ZOTL_LOG_LEVEL=4): every GenTL call writes its TLCall lines
// to the diagnostic output.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/CtiLoader.h"

namespace {

TEST(CallLogConsumerTest, WritesATLCallLineBeforeAndAfterEachCall)
{
    // Set here rather than by the test runner: the producer reads both once,
    // when it is loaded below.
    ASSERT_EQ(0, setenv("ZOTL_LOGGING", "1", 1));
    ASSERT_EQ(0, setenv("ZOTL_LOG_LEVEL", "4", 1));
    TestSupport::CtiLoader cti(GENTESK_CTI_PATH);
    ASSERT_TRUE(cti.IsComplete()) << cti.Error();
    testing::internal::CaptureStderr();
    const GC_ERROR init = cti->GCInitLib();
    uint32_t count = 0;
    const GC_ERROR refused = cti->TLGetNumInterfaces(nullptr, &count);
    const std::string output = testing::internal::GetCapturedStderr();

    EXPECT_EQ(GC_ERR_SUCCESS, init);
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, refused);
    EXPECT_NE(std::string::npos, output.find("TLCall")) << output;
    EXPECT_NE(std::string::npos, output.find("Called GCInitLib")) << output;
    EXPECT_NE(std::string::npos, output.find("Called TLGetNumInterfaces")) << output;
    EXPECT_NE(std::string::npos, output.find("...returned -1006")) << output;
}

}  // namespace
