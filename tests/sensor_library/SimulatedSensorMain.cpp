// simulated_sensor: runs the simulated sensor for manual tries with other
// programs. Usage: simulated_sensor [ip [port [udp]]] [--stream-hz N] [--width N];
// once acquiring it streams N profile containers a second of the given width,
// over a linearization field just as wide.
// Prints "simulated sensor on <ip>:<port> ..." first; ends when standard
// input closes or a line is entered.
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/SimulatedSensor.h"

int main(int argc, char** argv)
{
    try {
        TestSupport::SimulatedSensor::Options options;
        int stream_hz = 100;
        int width = 1280;
        std::vector<std::string> positional;
        for (int i = 1; i < argc; ++i) {
            const std::string argument = argv[i];
            if ((argument == "--stream-hz" || argument == "--width") && i + 1 < argc)
                (argument == "--width" ? width : stream_hz) = std::stoi(argv[++i]);
            else if (argument.starts_with("--") || positional.size() == 3)
                throw std::invalid_argument("unknown or incomplete argument " + argument);
            else
                positional.push_back(argument);
        }
        if (stream_hz <= 0 || width <= 0)
            throw std::invalid_argument("--stream-hz and --width must be positive");
        options.ip = positional.size() > 0 ? positional[0] : options.ip;
        options.port = positional.size() > 1 ? static_cast<uint16_t>(std::stoi(positional[1])) : 0;
        options.udp = positional.size() > 2 && positional[2] == "udp";
        TestSupport::SimulatedSensor sensor(options);
        sensor.SetStreamRate(stream_hz);
        sensor.SetStreamWidth(static_cast<uint32_t>(width));
        sensor.SetLinModel(TestSupport::LinModel{.width_x = static_cast<uint32_t>(width)});
        std::cout << "simulated sensor on " << sensor.Ip() << ":" << sensor.Port()
                  << (options.udp ? " (udp)" : " (tcp)") << ", streams " << stream_hz
                  << " profiles/s of " << width << " points once acquiring" << std::endl;
        std::string line;
        std::getline(std::cin, line);
        std::cout << "simulated sensor: sent " << sensor.ContainersSent() << " containers"
                  << std::endl;
        for (const TestSupport::ReceivedCommand& command : sensor.Commands())
            std::cout << "received: " << command.text << std::endl;
    } catch (const std::exception& error) {
        std::cerr << "simulated_sensor: " << error.what() << std::endl;
        return 1;
    }
    return 0;
}
