#include "SensorFakes.h"

namespace TestSupport {

void ScriptedSensorLink::Script(const std::string& item, std::vector<std::string> replies)
{
    scripted[item].assign(replies.begin(), replies.end());
}

std::vector<std::string> ScriptedSensorLink::Texts() const
{
    std::vector<std::string> texts;
    for (const LinkCall& call : calls) texts.push_back(call.text);
    return texts;
}

int ScriptedSensorLink::WriteData(const std::string& text)
{
    if (!connected) return -1000;
    const std::string command = text.substr(0, text.find('\r'));
    calls.push_back({command, clock.NowMs(), 0});
    if (failing_writes > 0) {
        --failing_writes;
        return -1;
    }
    const size_t equals = command.find('=');
    if (command.rfind("Set", 0) == 0 && equals != std::string::npos) {
        const std::string item = command.substr(3, equals - 3);
        if (!frozen[item]) values[item] = command.substr(equals + 1);
    }
    return static_cast<int>(text.size());
}

int ScriptedSensorLink::ReadData(const std::string& request, std::string& reply, int max_age_ms)
{
    if (!connected) return -1000;
    const std::string key = request.substr(0, request.find('\r'));
    calls.push_back({key, clock.NowMs(), max_age_ms});
    const std::string item = key.substr(3);
    std::deque<std::string>& replies = scripted[item];
    std::string value;
    if (!replies.empty()) {
        value = replies.front();
        replies.pop_front();
    } else if (values.count(item) != 0) {
        value = values[item];
    } else {
        return -3;
    }
    if (!value.empty() && value[0] == '!') return std::stoi(value.substr(1));
    reply = value;
    return 0;
}

int ScriptedSensorLink::GetConnectStatus(int& status)
{
    status = connected ? 3 : 0;
    return connected ? 0 : -1000;
}

}  // namespace TestSupport
