#include "FakeTransport.h"

void FakeTransport::start(const TransportTarget& new_target)
{
    started_with = new_target;
    started = true;
}

int FakeTransport::send(const char* data, int length)
{
    const std::string text(data, static_cast<std::size_t>(length));
    std::function<void(const std::string&)> answer;
    {
        std::lock_guard<std::mutex> lock(mutex);
        sent.push_back(text);
        answer = responder;
    }
    if (answer)
        answer(text);
    return length;
}

void FakeTransport::SetResponder(std::function<void(const std::string&)> new_responder)
{
    std::lock_guard<std::mutex> lock(mutex);
    responder = std::move(new_responder);
}

void FakeTransport::Feed(const TestSupport::Bytes& bytes)
{
    std::vector<char> copy(bytes.begin(), bytes.end());
    Deliver(copy.data(), static_cast<int>(copy.size()));
}

std::vector<std::string> FakeTransport::Sent() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return sent;
}

void FakeTransport::ClearSent()
{
    std::lock_guard<std::mutex> lock(mutex);
    sent.clear();
}
