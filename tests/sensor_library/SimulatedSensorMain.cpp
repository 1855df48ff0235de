// simulated_sensor: runs the simulated sensor for manual tries with other
// programs. Usage: simulated_sensor [ip [port [udp]]] [--stream-hz N] [--width N];
// once acquiring it streams N profile containers a second of the given width.
// Prints "simulated sensor on <ip>:<port> ..." first; ends when standard
// input closes or a line is entered.
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/SimulatedSensor.h"

namespace {

struct Arguments {
    TestSupport::SimulatedSensor::Options options;
    int stream_hz = 100;
    uint32_t width = 1280;
};

Arguments Parse(int argc, char** argv)
{
    Arguments arguments;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool has_value = i + 1 < argc;
        if (argument == "--stream-hz" && has_value)
            arguments.stream_hz = std::stoi(argv[++i]);
        else if (argument == "--width" && has_value)
            arguments.width = static_cast<uint32_t>(std::stoul(argv[++i]));
        else if (argument.starts_with("--"))
            throw std::invalid_argument("unknown or incomplete option " + argument);
        else
            positional.push_back(argument);
    }
    if (arguments.stream_hz <= 0 || arguments.width == 0)
        throw std::invalid_argument("--stream-hz and --width must be positive");
    if (positional.size() > 0)
        arguments.options.ip = positional[0];
    if (positional.size() > 1)
        arguments.options.port = static_cast<uint16_t>(std::stoi(positional[1]));
    arguments.options.udp = positional.size() > 2 && positional[2] == "udp";
    return arguments;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        const Arguments arguments = Parse(argc, argv);
        TestSupport::SimulatedSensor sensor(arguments.options);
        sensor.SetStreamRate(arguments.stream_hz);
        sensor.SetStreamWidth(arguments.width);
        std::cout << "simulated sensor on " << sensor.Ip() << ":" << sensor.Port()
                  << (arguments.options.udp ? " (udp)" : " (tcp)") << ", streams "
                  << arguments.stream_hz << " profiles/s of " << arguments.width
                  << " points once acquiring" << std::endl;
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
