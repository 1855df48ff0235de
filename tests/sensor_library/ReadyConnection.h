// ReadyConnection.h: a connection on a fake transport whose sensor is
// ready, has sent its XML status and answers the XML and settings requests.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "FakeTransport.h"
#include "sensor_library/CScanvo.h"
#include "support/ContainerBuilder.h"
#include "support/SensorScans.h"
#include "support/SimulatedSensor.h"
#include "support/SimulatedSensorModel.h"
#include "support/WaitUntil.h"

class ReadyConnection : public ::testing::Test {
protected:
    void SetUp() override
    {
        using namespace TestSupport;
        ConnectSettings settings;
        settings.fifo_size = fifo_size;
        settings.receive_buffer_size = 1 << 20;
        fake = std::make_shared<FakeTransport>();
        ASSERT_TRUE(scanvo.ConnectWithTransportForTest(settings, fake));
        fake->Connect();
        fake->Feed(ShortFrame(0x07, lin));
        fake->SetResponder([this](const std::string& command) {
            if (answering && command.rfind("get_xml", 0) == 0)
                fake->Feed(TextContainer(SensorXml(xml_values)));
            else if (answering && command.rfind("GetSettings=", 0) == 0)
                fake->Feed(TextContainer("settings " + command.substr(12)));
        });
        fake->Feed(TextContainer(SensorXml(xml_values)));
        fake->ClearSent();
    }

    uint32_t fifo_size = 1 << 20;
    std::map<std::string, std::string> xml_values = TestSupport::DefaultXmlValues();
    const TestSupport::Bytes lin = TestSupport::BuildLin1dd(TestSupport::LinModel());
    std::shared_ptr<FakeTransport> fake;
    CScanvo scanvo;
    std::atomic<bool> answering{true};
};

// Connects over loopback to a simulated sensor and waits until it is ready.
inline bool ConnectReady(CScanvo& scanvo, const TestSupport::SimulatedSensor& sensor)
{
    ConnectSettings settings;
    settings.ip = sensor.Ip();
    settings.port = sensor.PortText();
    settings.timeout_ms = 500;
    settings.fifo_size = 1 << 22;
    settings.receive_buffer_size = 1 << 21;
    return scanvo.Connect(settings) &&
           TestSupport::WaitUntil([&] { return scanvo.GetConnectState() == 3; },
                                  std::chrono::seconds(5));
}
