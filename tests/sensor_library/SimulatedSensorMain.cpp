// simulated_sensor: runs the simulated sensor for manual tries with other
// programs. Usage: simulated_sensor [ip [port [udp]]]; ends when standard
// input closes or a line is entered.
#include <iostream>
#include <string>

#include "support/SimulatedSensor.h"

int main(int argc, char** argv)
{
    TestSupport::SimulatedSensor::Options options;
    if (argc > 1)
        options.ip = argv[1];
    if (argc > 2)
        options.port = static_cast<uint16_t>(std::stoi(argv[2]));
    options.udp = argc > 3 && std::string(argv[3]) == "udp";
    try {
        TestSupport::SimulatedSensor sensor(options);
        std::cout << "simulated sensor on " << sensor.Ip() << ":" << sensor.Port()
                  << (options.udp ? " (udp)" : " (tcp)") << std::endl;
        std::string line;
        std::getline(std::cin, line);
        for (const TestSupport::ReceivedCommand& command : sensor.Commands())
            std::cout << "received: " << command.text << std::endl;
    } catch (const std::exception& error) {
        std::cerr << error.what() << std::endl;
        return 1;
    }
    return 0;
}
