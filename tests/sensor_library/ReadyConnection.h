// ReadyConnection.h: connections whose sensor the test plays through a fake
// transport (FakeConnection: started, not yet connected; ReadyConnection:
// ready, XML status sent, answering the XML and settings requests).
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

class FakeConnection : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Connect(Settings())); }

    ConnectSettings Settings() const
    {
        ConnectSettings settings;
        settings.ip = "127.0.0.1";
        settings.port = "32001";
        settings.timeout_ms = 250;
        settings.fifo_size = fifo_size;
        settings.receive_buffer_size = 1 << 20;
        return settings;
    }

    bool Connect(const ConnectSettings& settings)
    {
        fake = std::make_shared<FakeTransport>();
        return scanvo.ConnectWithTransportForTest(settings, fake);
    }

    // Connected, linearization frame and XML status sent; requests answered.
    void MakeReady(bool connect = true)
    {
        using namespace TestSupport;
        if (connect) fake->Connect();
        fake->Feed(ShortFrame(0x07, lin));
        fake->SetResponder([this](const std::string& command) {
            if (!answering) return;
            if (command == "SetRequestSyncContainer\r")
                fake->Feed(SyncFrame(8));
            else if (command.rfind("get_xml", 0) == 0)
                fake->Feed(TextContainer(SensorXml(xml_values)));
            else if (command.rfind("GetSettings=", 0) == 0)
                fake->Feed(TextContainer("settings " + command.substr(12, 1)));
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

class ReadyConnection : public FakeConnection {
protected:
    void SetUp() override
    {
        FakeConnection::SetUp();
        MakeReady();
    }
};
