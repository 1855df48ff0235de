// The exported GenTL functions when the service throws or is missing. That
// each export reaches its operation, every consumer test shows.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "MockGenTLSrv.h"
#include "ModuleTreeFixture.h"
#include "gentl_core/GenTLCore.h"

namespace {

using ::testing::Throw;

// An exception reaching an export is reported with the export's name. With no
// service (start-up failed), GCInitLib is an error and every other call
// not initialized.
TEST(ExportsTest, NoExceptionLeavesTheLibraryAndNoServiceAnswers)
{
    ::testing::StrictMock<TestSupport::MockGenTLSrv> service;
    GenTLCore::SetExportedService(&service);
    EXPECT_CALL(service, TLOpen).WillOnce(Throw(std::bad_alloc()));
    EXPECT_CALL(service, DSClose).WillOnce(Throw(std::length_error("too long")));
    EXPECT_CALL(service, GCCloseLib).WillOnce(Throw(std::runtime_error("unexpected")));
    EXPECT_EQ(GC_ERR_OUT_OF_MEMORY, TLOpen(nullptr));
    EXPECT_EQ("TLOpen: out of memory", ModuleTest::LastErrorText());
    EXPECT_EQ(GC_ERR_OUT_OF_MEMORY, DSClose(nullptr));
    EXPECT_EQ("DSClose: out of memory", ModuleTest::LastErrorText());
    EXPECT_EQ(GC_ERR_ERROR, GCCloseLib());
    EXPECT_EQ("GCCloseLib: unexpected internal error", ModuleTest::LastErrorText());
    GenTLCore::SetExportedService(nullptr);
    TestSupport::AssertionCounter asserts;
    EXPECT_EQ(GC_ERR_ERROR, GCInitLib());
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, GCCloseLib());
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, DSClose(nullptr));
    EXPECT_EQ(3, asserts.Failures());
}

}  // namespace
