// Every order of stopping and closing a stream, through the exported GenTL
// functions of the built .cti, with the call log on at its most detailed
// level (the test's environment sets it), against the simulated sensor.
#include <string>
#include <vector>

#include "producer/ProducerSession.h"

namespace {

using namespace GenTLCore::ZoTL;

// The first "Assertion failed" line of a log, or "".
std::string FirstAssertion(const std::string& log)
{
    const size_t at = log.find("Assertion failed");
    return at == std::string::npos ? "" : log.substr(at, log.find('\n', at) - at);
}

class StreamCloseTest : public TestSupport::ProducerSession {
protected:
    enum Step { START, STOP, CLOSE_STREAM, CLOSE_DEVICE, CLOSE_LIBRARY };

    // Two buffers queued, the stream and the sensor started, one scan taken.
    void Start()
    {
        const size_t payload = std::stoul(Read(RD_PAYLOAD_SIZE));
        for (int i = 0; i < 2; ++i) {
            BUFFER_HANDLE buffer = nullptr;
            ASSERT_EQ(GC_ERR_SUCCESS,
                      cti->DSAllocAndAnnounceBuffer(stream, payload, nullptr, &buffer));
            ASSERT_EQ(GC_ERR_SUCCESS, cti->DSQueueBuffer(stream, buffer));
        }
        EVENT_HANDLE new_buffer = nullptr;
        ASSERT_EQ(GC_ERR_SUCCESS, cti->GCRegisterEvent(stream, EVENT_NEW_BUFFER, &new_buffer));
        ASSERT_EQ(GC_ERR_SUCCESS,
                  cti->DSStartAcquisition(stream, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE));
        ASSERT_EQ(GC_ERR_SUCCESS, Write(RD_ACQUISITION_START, 1u));
        void* datum[2] = {};
        size_t size = sizeof datum;
        ASSERT_EQ(GC_ERR_SUCCESS, cti->EventGetData(new_buffer, datum, &size, 3000));
    }
    void Run(const std::vector<Step>& steps)
    {
        ASSERT_EQ(GC_ERR_SUCCESS, OpenDevice());
        OpenStream();
        for (const Step step : steps) {
            switch (step) {
                case START:
                    Start();
                    break;
                case STOP:
                    EXPECT_EQ(GC_ERR_SUCCESS, Write(RD_ACQUISITION_STOP, 1u));
                    EXPECT_EQ(GC_ERR_SUCCESS,
                              cti->DSStopAcquisition(stream, ACQ_STOP_FLAGS_DEFAULT));
                    break;
                case CLOSE_STREAM:
                    EXPECT_EQ(GC_ERR_SUCCESS, cti->DSClose(stream));
                    break;
                case CLOSE_DEVICE:
                    EXPECT_EQ(GC_ERR_SUCCESS, cti->DevClose(device));
                    break;
                case CLOSE_LIBRARY:
                    EXPECT_EQ(GC_ERR_SUCCESS, cti->GCCloseLib());
                    system = nullptr;
                    break;
            }
            if (HasFatalFailure()) return;
        }
    }
};

// The stream's stop, close and destruction each join what is still running,
// in whatever order they come: no internal assertion fails.
TEST_F(StreamCloseTest, NoStopOrCloseOrderFailsAnAssertion)
{
    const struct {
        const char* name;
        std::vector<Step> steps;
    } rows[] = {
        {"never started", {CLOSE_STREAM, CLOSE_DEVICE}},
        {"started and stopped, closed with the device", {START, STOP, CLOSE_DEVICE}},
        {"stopped by the consumer, then closed", {START, STOP, CLOSE_STREAM, CLOSE_DEVICE}},
        {"stream closed while running", {START, CLOSE_STREAM, CLOSE_DEVICE}},
        {"device closed while running", {START, CLOSE_DEVICE}},
        {"library closed while running", {START, CLOSE_LIBRARY}},
    };
    StartSensor();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        testing::internal::CaptureStderr();
        Run(row.steps);
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_NE(std::string::npos, log.find("TLCall")) << "the call log is off";
        EXPECT_EQ("", FirstAssertion(log));
        ASSERT_FALSE(HasFatalFailure());
    }
}

}  // namespace
