// GenTLStreamBench.cpp: 2048-point profiles from the simulated sensor on
// 127.0.0.1:32001 through the built .cti as a GenTL consumer takes them
// (announced and queued buffers, EventGetData, requeue), for 1-, 10- and
// 100-profile scans, GenDC off and on, at 4, 10, 20 and 30 kHz; next to it
// the same stream read through the .cti's own Scanvo_ functions, and four
// sensors at 4 kHz streaming into one consumer at once. Reports profiles
// sent, received and missing (picture-counter gaps), and the CPU time per
// profile of every thread on the path, then one summary line of ratios.
//
// Runs itself again in a network namespace holding only lo (the producer
// broadcasts on every adapter it sees). GENTESK_STREAM_BENCH_SECONDS sets
// each stream's length (10 by default); --benchmark_filter picks cases.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "ThreadTimes.h"
#include "gentl_producers/GenTesk3d/GenTLRemoteDeviceTesk.h"
#include "platform/ThreadInfo.h"
#include "support/CtiLoader.h"
#include "support/NetworkNamespace.h"
#include "support/SimulatedSensor.h"
#include "support/WaitUntil.h"

namespace {

using namespace std::chrono_literals;
using namespace GenTLCore::ZoTL;
using BenchSupport::ThreadTimes;
using GenTLCore::RegisterDefinition;

constexpr uint32_t WIDTH = 2048;
constexpr uint32_t READY = 3;
constexpr uint32_t EVENT_TIMEOUT_MS = 200;
constexpr size_t BUFFERED_PROFILES = 512;  // over all buffers of a stream
constexpr size_t MIN_BUFFERS = 16;
constexpr int RATES[] = {4000, 10000, 20000, 30000};
constexpr uint32_t SCAN_PROFILES[] = {1, 10, 100};
constexpr int FOUR_SENSOR_RATE = 4000;

std::chrono::seconds StreamTime()
{
    const char* text = std::getenv("GENTESK_STREAM_BENCH_SECONDS");
    const int seconds = text != nullptr ? std::atoi(text) : 10;
    return std::chrono::seconds(std::max(seconds, 1));
}

std::set<uint32_t> Tasks()
{
    std::set<uint32_t> tasks;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        tasks.insert(static_cast<uint32_t>(std::stoul(entry.path().filename().string())));
    return tasks;
}

// Profiles received and missing, from the 16-bit picture counter of each
// scan's last profile: a scan of n profiles advances it by n.
struct Tally {
    uint64_t received = 0;
    uint64_t missing = 0;
    bool started = false;
    uint16_t last = 0;

    void Add(uint16_t counter, uint32_t profiles)
    {
        const auto advance = static_cast<uint16_t>(counter - last);
        // A scan cut short by the stop advances by fewer.
        if (started && advance > profiles) missing += advance - profiles;
        started = true;
        last = counter;
        received += profiles;
    }
};

struct Outcome {
    std::string error;  // why the stream did not run
    uint64_t sent = 0;
    Tally tally;
    std::map<std::string, double> cpu_us;  // per thread, over the stream
};

// The figures the summary compares.
struct CaseKey {
    int rate;
    uint32_t profiles;  // 0: the Scanvo_ path
    bool gendc;
    bool operator<(const CaseKey& other) const
    {
        return std::tie(rate, profiles, gendc) < std::tie(other.rate, other.profiles, other.gendc);
    }
};
struct CaseFigures {
    uint64_t missing = 0;
    double cpu_us_per_profile = 0;
    // Without the receive thread, whose wake-ups shift to whichever side waits.
    double reading_us_per_profile = 0;
};
std::map<CaseKey, CaseFigures> figures;
uint64_t four_sensor_missing = 0;
bool four_sensor_ran = false;

// The counts of a stream and each thread's CPU time per profile; the
// profiles received, at least 1.
double ReportCounts(benchmark::State& state, const Outcome& outcome)
{
    const double received = std::max<double>(1, static_cast<double>(outcome.tally.received));
    for (const auto& [thread, cpu_us] : outcome.cpu_us)
        state.counters[thread + "_us"] = cpu_us / received;
    state.counters["sent"] = static_cast<double>(outcome.sent);
    state.counters["received"] = static_cast<double>(outcome.tally.received);
    state.counters["missing"] = static_cast<double>(outcome.tally.missing);
    return received;
}

void Report(benchmark::State& state, const Outcome& outcome, CaseKey key)
{
    if (!outcome.error.empty()) return state.SkipWithError(outcome.error.c_str());
    const double received = ReportCounts(state, outcome);
    double total = 0;
    for (const auto& [thread, cpu_us] : outcome.cpu_us) total += cpu_us;
    state.counters["cpu_us"] = total / received;
    const auto receive = outcome.cpu_us.find("receive");
    const double reading = total - (receive != outcome.cpu_us.end() ? receive->second : 0);
    figures[key] = {outcome.tally.missing, total / received, reading / received};
}

// The .cti's sensor library interface, as an application of the library
// would call it.
struct ScanvoFunctions {
    using Connect = void* (*)(char*, char*, int);
    using Disconnect = void* (*)(void*);
    using ConnectStatus = int (*)(void*, int*);
    using WriteData = int (*)(void*, char*, int);
    using GetXZIExtended = int (*)(void*, double*, double*, int*, int*, int, unsigned int*,
                                   unsigned char*, int, unsigned char*, int, int*);
    using SetReadDataCallback = void (*)(void*, void*);

    explicit ScanvoFunctions(const TestSupport::CtiLoader& cti)
        : connect(reinterpret_cast<Connect>(cti.Symbol("Scanvo_Connect"))),
          disconnect(reinterpret_cast<Disconnect>(cti.Symbol("Scanvo_Disconnect"))),
          connect_status(reinterpret_cast<ConnectStatus>(cti.Symbol("Scanvo_GetConnectStatus"))),
          write_data(reinterpret_cast<WriteData>(cti.Symbol("Scanvo_WriteData"))),
          get_xzi(reinterpret_cast<GetXZIExtended>(cti.Symbol("Scanvo_GetXZIExtended"))),
          set_callback(
              reinterpret_cast<SetReadDataCallback>(cti.Symbol("Scanvo_SetReadDataCallback")))
    {
    }
    bool Complete() const
    {
        return connect && disconnect && connect_status && write_data && get_xzi && set_callback;
    }
    bool Command(void* handle, std::string text) const
    {
        text += '\r';
        return write_data(handle, text.data(), static_cast<int>(text.size())) > 0;
    }

    Connect connect;
    Disconnect disconnect;
    ConnectStatus connect_status;
    WriteData write_data;
    GetXZIExtended get_xzi;
    SetReadDataCallback set_callback;
};

// Read-data callbacks run on a connection's receive thread: the first one
// after a connect names that thread.
std::atomic<uint32_t> receive_thread{0};
void NoteReceiveThread(void*, char*, int)
{
    // Once known, no system call for the thread ID on every later read.
    if (receive_thread.load(std::memory_order_relaxed) != 0) return;
    uint32_t none = 0;
    receive_thread.compare_exchange_strong(none, Platform::CurrentThreadId());
}

// One simulated sensor on the producer's port, 2048 pixels wide.
std::unique_ptr<TestSupport::SimulatedSensor> MakeSensor(const std::string& ip)
{
    auto sensor = std::make_unique<TestSupport::SimulatedSensor>(
        TestSupport::SimulatedSensor::Options{ip, false, 32001});
    sensor->SetStreamWidth(WIDTH);
    sensor->SetLinModel(TestSupport::LinModel{.width_x = WIDTH});
    return sensor;
}

// One opened device of the consumer, its stream and buffers.
// Threads: the stream's calls from one thread at a time.
class StreamSession {
public:
    StreamSession(const TestSupport::GenTLFunctions& gentl, IF_HANDLE iface, const std::string& ip)
        : gentl(gentl)
    {
        const std::string id = "#ip#" + ip;
        if (gentl.IFOpenDevice(iface, id.c_str(), DEVICE_ACCESS_CONTROL, &device) != GC_ERR_SUCCESS)
            device = nullptr;
        if (device != nullptr && gentl.DevGetPort(device, &port) != GC_ERR_SUCCESS) port = nullptr;
    }
    ~StreamSession()
    {
        if (device != nullptr) gentl.DevClose(device);
    }
    StreamSession(const StreamSession&) = delete;
    StreamSession& operator=(const StreamSession&) = delete;

    bool IsOpen() const { return port != nullptr; }

    template <class T>
    bool Write(uint32_t id, T value)
    {
        const RegisterDefinition* row = Find(id);
        size_t size = sizeof value;
        return row != nullptr &&
               gentl.GCWritePort(port, row->address, &value, &size) == GC_ERR_SUCCESS;
    }
    // Empty, or the register write that failed with the producer's message.
    std::string Configure(int rate, uint32_t profiles, bool gendc)
    {
        const std::pair<uint32_t, uint32_t> writes[] = {{RD_REGION_SELECTOR, 1u},
                                                        {RD_WIDTH, WIDTH},
                                                        {RD_HEIGHT, profiles},
                                                        {RD_GENDC_STREAMING_MODE, gendc ? 1u : 0u}};
        for (const auto& [id, value] : writes)
            if (!Write(id, value)) return Refusal(id);
        return Write(RD_ACQUISITION_LINE_RATE, static_cast<float>(rate))
                   ? ""
                   : Refusal(RD_ACQUISITION_LINE_RATE);
    }
    // Buffers of PayloadSize for BUFFERED_PROFILES profiles, all queued;
    // the stream started, the sensor not yet.
    bool OpenStream(uint32_t profiles, bool gendc)
    {
        char id[64] = {};
        size_t size = sizeof id;
        uint64_t payload = 0;
        const RegisterDefinition* payload_row = Find(RD_PAYLOAD_SIZE);
        size_t payload_size = std::min<size_t>(payload_row->size, sizeof payload);
        if (gentl.DevGetDataStreamID(device, 0, id, &size) != GC_ERR_SUCCESS ||
            gentl.DevOpenDataStream(device, id, &stream) != GC_ERR_SUCCESS ||
            gentl.GCReadPort(port, payload_row->address, &payload, &payload_size) != GC_ERR_SUCCESS)
            return false;
        scan_profiles = profiles;
        gendc_mode = gendc;
        memory.assign(std::max(MIN_BUFFERS, BUFFERED_PROFILES / profiles),
                      std::vector<uint8_t>(payload));
        for (std::vector<uint8_t>& block : memory) {
            BUFFER_HANDLE buffer = nullptr;
            if (gentl.DSAnnounceBuffer(stream, block.data(), block.size(), nullptr, &buffer) !=
                    GC_ERR_SUCCESS ||
                gentl.DSQueueBuffer(stream, buffer) != GC_ERR_SUCCESS)
                return false;
            buffers.push_back(buffer);
        }
        return gentl.GCRegisterEvent(stream, EVENT_NEW_BUFFER, &new_buffer) == GC_ERR_SUCCESS &&
               gentl.DSStartAcquisition(stream, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE) ==
                   GC_ERR_SUCCESS;
    }
    // One delivered scan counted and queued again; false after a time-out.
    bool TakeScan(Tally& tally)
    {
        void* datum[2] = {};  // the buffer handle, then the user pointer
        size_t size = sizeof datum;
        if (gentl.EventGetData(new_buffer, datum, &size, EVENT_TIMEOUT_MS) != GC_ERR_SUCCESS)
            return false;
        const auto base = Info<const uint8_t*>(datum[0], BUFFER_INFO_BASE);
        const auto filled = Info<size_t>(datum[0], BUFFER_INFO_SIZE_FILLED);
        uint64_t data = 0;  // where the data flow starts
        if (gendc_mode) std::memcpy(&data, base + 40, sizeof data);
        // The chunks (by default all on) follow the planes; a scan cut
        // short by the stop holds fewer profiles.
        const uint64_t chunks = gendc_mode ? 96 : 104, profile_bytes = uint64_t{14} * WIDTH;
        const uint64_t planes = filled - std::min<uint64_t>(filled, data + chunks);
        const uint64_t profiles = std::min<uint64_t>(planes / profile_bytes, scan_profiles);
        uint32_t counter = 0;
        if (profiles > 0) {
            std::memcpy(&counter, base + data + profiles * profile_bytes + (gendc_mode ? 0 : 8),
                        sizeof counter);
            tally.Add(static_cast<uint16_t>(counter), static_cast<uint32_t>(profiles));
        }
        gentl.DSQueueBuffer(stream, datum[0]);
        return true;
    }
    void CloseStream()
    {
        gentl.DSStopAcquisition(stream, ACQ_STOP_FLAGS_DEFAULT);
        gentl.DSFlushQueue(stream, ACQ_QUEUE_ALL_DISCARD);
        for (BUFFER_HANDLE buffer : buffers) gentl.DSRevokeBuffer(stream, buffer, nullptr, nullptr);
        gentl.DSClose(stream);
        buffers.clear();
        memory.clear();
        stream = nullptr;
    }

private:
    std::string Refusal(uint32_t id) const
    {
        return "register " + std::to_string(id) + ": " + TestSupport::ReadLastError(gentl).text;
    }
    static const RegisterDefinition* Find(uint32_t id)
    {
        for (const RegisterDefinition& row : REMOTE_DEVICE_REGISTERS)
            if (row.id == id) return &row;
        return nullptr;
    }
    template <class T>
    T Info(BUFFER_HANDLE buffer, BUFFER_INFO_CMD command) const
    {
        T value{};
        size_t size = sizeof value;
        INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
        gentl.DSGetBufferInfo(stream, buffer, command, &type, &value, &size);
        return value;
    }

    const TestSupport::GenTLFunctions& gentl;  // the loader outlives every session
    DEV_HANDLE device = nullptr;
    PORT_HANDLE port = nullptr;
    DS_HANDLE stream = nullptr;
    EVENT_HANDLE new_buffer = nullptr;
    uint32_t scan_profiles = 1;
    bool gendc_mode = false;
    std::vector<std::vector<uint8_t>> memory;
    std::vector<BUFFER_HANDLE> buffers;
};

// The .cti, its system and interface, and the sensor on 127.0.0.1, for
// the whole run.
class Bench {
public:
    static Bench& Get()
    {
        static Bench bench;
        return bench;
    }
    std::string Problem() const
    {
        if (!cti.IsComplete()) return cti.Error();
        if (!scanvo.Complete()) return "the .cti does not export the Scanvo_ functions";
        return iface == nullptr ? "the .cti did not open its interface" : "";
    }

    Outcome RunScanvo(int rate);
    Outcome RunGenTL(int rate, uint32_t profiles, bool gendc);
    Outcome RunFourSensors(int rate);

private:
    Bench()
    {
        if (!cti.IsComplete()) return;
        sensor = MakeSensor("127.0.0.1");
        if (cti->GCInitLib() != GC_ERR_SUCCESS || cti->TLOpen(&system) != GC_ERR_SUCCESS ||
            cti->TLUpdateInterfaceList(system, nullptr, 0) != GC_ERR_SUCCESS ||
            cti->TLOpenInterface(system, "Tesk3D_GenTL_Interface", &iface) != GC_ERR_SUCCESS)
            iface = nullptr;
        // Every connection made from here on names its receive thread.
        scanvo.set_callback(nullptr, reinterpret_cast<void*>(&NoteReceiveThread));
    }
    ~Bench()
    {
        if (system != nullptr) cti->GCCloseLib();
    }
    // Opens the device on `ip`, noting its connection's receive thread.
    std::unique_ptr<StreamSession> OpenDevice(const std::string& ip, uint32_t& receive_tid)
    {
        receive_thread = 0;
        auto session = std::make_unique<StreamSession>(cti.Functions(), iface, ip);
        TestSupport::WaitUntil([] { return receive_thread.load() != 0; }, 2s);
        receive_tid = receive_thread;
        return session;
    }

    TestSupport::CtiLoader cti{GENTESK_CTI_PATH};
    ScanvoFunctions scanvo{cti};
    std::unique_ptr<TestSupport::SimulatedSensor> sensor;
    TL_HANDLE system = nullptr;
    IF_HANDLE iface = nullptr;
};

Outcome Bench::RunScanvo(int rate)
{
    Outcome outcome;
    receive_thread = 0;
    char ip[] = "127.0.0.1", port[] = "32001";
    void* handle = scanvo.connect(ip, port, 0);
    const bool ready =
        handle != nullptr && TestSupport::WaitUntil(
                                 [&] {
                                     int status = 0;
                                     return scanvo.connect_status(handle, &status) == 0 &&
                                            status == READY;
                                 },
                                 10s);
    if (!ready) {
        scanvo.disconnect(handle);
        outcome.error = "the sensor library did not connect";
        return outcome;
    }
    sensor->SetStreamRate(rate);
    std::vector<double> x(WIDTH), z(WIDTH);
    std::vector<int> intensity(WIDTH);
    const auto read = [&] {
        int picture = 0;
        const int points =
            scanvo.get_xzi(handle, x.data(), z.data(), intensity.data(), nullptr, WIDTH, nullptr,
                           nullptr, EVENT_TIMEOUT_MS, nullptr, 0, &picture);
        if (points > 0) outcome.tally.Add(static_cast<uint16_t>(picture), 1);
        return points > 0;
    };
    const uint32_t receive = receive_thread, reader = Platform::CurrentThreadId();
    const ThreadTimes receive_start = ThreadTimes::Of(receive),
                      reader_start = ThreadTimes::Of(reader);
    const uint32_t sent_before = sensor->ContainersSent();
    scanvo.Command(handle, "SetAcquisitionStart");
    for (const auto end = std::chrono::steady_clock::now() + StreamTime();
         std::chrono::steady_clock::now() < end;)
        read();
    scanvo.Command(handle, "SetAcquisitionStop");
    while (read()) {
    }
    outcome.cpu_us["receive"] = (ThreadTimes::Of(receive) - receive_start).cpu_us;
    outcome.cpu_us["reader"] = (ThreadTimes::Of(reader) - reader_start).cpu_us;
    outcome.sent = sensor->ContainersSent() - sent_before;
    scanvo.disconnect(handle);
    return outcome;
}

Outcome Bench::RunGenTL(int rate, uint32_t profiles, bool gendc)
{
    Outcome outcome;
    uint32_t receive = 0;
    const std::unique_ptr<StreamSession> session = OpenDevice("127.0.0.1", receive);
    sensor->SetStreamRate(rate);
    const std::set<uint32_t> before = Tasks();
    outcome.error =
        !session->IsOpen() ? "IFOpenDevice failed" : session->Configure(rate, profiles, gendc);
    if (outcome.error.empty() && !session->OpenStream(profiles, gendc))
        outcome.error = "the stream did not start";
    if (!outcome.error.empty()) return outcome;
    // DSStartAcquisition starts the acquisition thread, then the core engine's.
    std::vector<uint32_t> started;
    for (uint32_t task : Tasks())
        if (before.count(task) == 0) started.push_back(task);
    const std::map<std::string, uint32_t> threads{
        {"receive", receive},
        {"acquisition", started.size() == 2 ? started[0] : 0},
        {"engine", started.size() == 2 ? started[1] : 0},
        {"consumer", Platform::CurrentThreadId()}};
    std::map<std::string, ThreadTimes> start_times;
    for (const auto& [name, tid] : threads) start_times[name] = ThreadTimes::Of(tid);
    const uint32_t sent_before = sensor->ContainersSent();
    session->Write(RD_ACQUISITION_START, 1u);
    for (const auto end = std::chrono::steady_clock::now() + StreamTime();
         std::chrono::steady_clock::now() < end;)
        session->TakeScan(outcome.tally);
    session->Write(RD_ACQUISITION_STOP, 1u);
    while (session->TakeScan(outcome.tally)) {
    }
    for (const auto& [name, tid] : threads)
        outcome.cpu_us[name] = (ThreadTimes::Of(tid) - start_times[name]).cpu_us;
    outcome.sent = sensor->ContainersSent() - sent_before;
    session->CloseStream();
    return outcome;
}

// Each stream drained by a consumer thread of its own; the CPU time is the
// whole process's, the simulated sensors' included.
Outcome Bench::RunFourSensors(int rate)
{
    constexpr int SENSORS = 4;
    Outcome outcome;
    std::vector<std::unique_ptr<TestSupport::SimulatedSensor>> others;
    std::vector<TestSupport::SimulatedSensor*> sensors{sensor.get()};
    for (int i = 2; i <= SENSORS; ++i) {
        others.push_back(MakeSensor("127.0.0." + std::to_string(i)));
        sensors.push_back(others.back().get());
    }
    std::vector<std::unique_ptr<StreamSession>> sessions;
    for (int i = 1; i <= SENSORS; ++i) {
        uint32_t receive = 0;
        sessions.push_back(OpenDevice("127.0.0." + std::to_string(i), receive));
        sensors[i - 1]->SetStreamRate(rate);
        if (!sessions.back()->IsOpen() || !sessions.back()->Configure(rate, 1, false).empty() ||
            !sessions.back()->OpenStream(1, false)) {
            outcome.error = "sensor " + std::to_string(i) + " did not open or start";
            return outcome;
        }
    }
    std::vector<Tally> tallies(SENSORS);
    std::vector<uint32_t> sent_before;
    for (auto* each : sensors) sent_before.push_back(each->ContainersSent());
    rusage usage_start{};
    getrusage(RUSAGE_SELF, &usage_start);
    const auto end = std::chrono::steady_clock::now() + StreamTime();
    std::vector<std::thread> consumers;
    for (int i = 0; i < SENSORS; ++i) {
        consumers.emplace_back([&, i] {
            sessions[i]->Write(RD_ACQUISITION_START, 1u);
            while (std::chrono::steady_clock::now() < end) sessions[i]->TakeScan(tallies[i]);
            sessions[i]->Write(RD_ACQUISITION_STOP, 1u);
            while (sessions[i]->TakeScan(tallies[i])) {
            }
        });
    }
    for (std::thread& consumer : consumers) consumer.join();
    rusage usage_end{};
    getrusage(RUSAGE_SELF, &usage_end);
    const auto us = [](const timeval& t) {
        return t.tv_sec * 1e6 + static_cast<double>(t.tv_usec);
    };
    outcome.cpu_us["process"] = us(usage_end.ru_utime) + us(usage_end.ru_stime) -
                                us(usage_start.ru_utime) - us(usage_start.ru_stime);
    for (int i = 0; i < SENSORS; ++i) {
        outcome.sent += sensors[i]->ContainersSent() - sent_before[i];
        outcome.tally.received += tallies[i].received;
        outcome.tally.missing += tallies[i].missing;
        sessions[i]->CloseStream();
    }
    return outcome;
}

void BM_Scanvo(benchmark::State& state)
{
    Bench& bench = Bench::Get();
    if (!bench.Problem().empty()) return state.SkipWithError(bench.Problem().c_str());
    const int rate = static_cast<int>(state.range(0));
    Outcome outcome;
    for (auto _ : state) outcome = bench.RunScanvo(rate);
    Report(state, outcome, {rate, 0, false});
}

void BM_GenTL(benchmark::State& state)
{
    Bench& bench = Bench::Get();
    if (!bench.Problem().empty()) return state.SkipWithError(bench.Problem().c_str());
    const int rate = static_cast<int>(state.range(0));
    const auto profiles = static_cast<uint32_t>(state.range(1));
    const bool gendc = state.range(2) != 0;
    Outcome outcome;
    for (auto _ : state) outcome = bench.RunGenTL(rate, profiles, gendc);
    Report(state, outcome, {rate, profiles, gendc});
}

void BM_FourSensors(benchmark::State& state)
{
    Bench& bench = Bench::Get();
    if (!bench.Problem().empty()) return state.SkipWithError(bench.Problem().c_str());
    Outcome outcome;
    for (auto _ : state) outcome = bench.RunFourSensors(FOUR_SENSOR_RATE);
    if (!outcome.error.empty()) return state.SkipWithError(outcome.error.c_str());
    ReportCounts(state, outcome);  // the whole process's CPU time as "process_us"
    four_sensor_missing = outcome.tally.missing;
    four_sensor_ran = true;
}

// One stream per case: the figures are totals, not averages of runs.
void Register()
{
    const auto once = [](benchmark::internal::Benchmark* bench) {
        bench->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
    };
    for (int rate : RATES) {
        once(benchmark::RegisterBenchmark("BM_Scanvo", BM_Scanvo)->ArgNames({"hz"})->Arg(rate));
        for (uint32_t profiles : SCAN_PROFILES)
            for (int gendc : {0, 1})
                once(benchmark::RegisterBenchmark("BM_GenTL", BM_GenTL)
                         ->ArgNames({"hz", "profiles", "gendc"})
                         ->Args({rate, profiles, gendc}));
    }
    once(benchmark::RegisterBenchmark("BM_FourSensors", BM_FourSensors)
             ->ArgNames({"hz"})
             ->Arg(FOUR_SENSOR_RATE));
}

// One line a reader compares across machines: the highest rates without a
// missing profile, and the GenTL path's CPU per profile over the Scanvo_
// path's at the same rate, all threads and the reading side only (the
// worst case and 10-profile scans at 20 kHz).
void PrintSummary()
{
    std::map<std::string, int> lossless;
    double worst_ratio = 0;
    std::string worst_case;
    std::string at_20k;
    for (const auto& [key, figure] : figures) {
        const std::string path = key.profiles == 0 ? "scanvo"
                                                   : "gentl_" + std::to_string(key.profiles) +
                                                         (key.gendc ? "p_gendc" : "p");
        if (figure.missing == 0) lossless[path] = std::max(lossless[path], key.rate);
        lossless.emplace(path, 0);
        const auto base = figures.find({key.rate, 0, false});
        if (key.profiles == 0 || base == figures.end() || base->second.cpu_us_per_profile <= 0)
            continue;
        const double ratio = figure.cpu_us_per_profile / base->second.cpu_us_per_profile;
        const double reading =
            figure.reading_us_per_profile / std::max(base->second.reading_us_per_profile, 1e-9);
        char text[128];
        std::snprintf(text, sizeof text, " %s@%dk=%.2f(reading %.2f)", path.c_str(),
                      key.rate / 1000, ratio, reading);
        if (key.rate == 20000 && key.profiles == 10) at_20k += text;
        if (ratio > worst_ratio) worst_ratio = ratio, worst_case = text;
    }
    double load[1] = {0};
    getloadavg(load, 1);
    std::printf("summary: cores=%u load1=%.1f seconds=%lld | lossless_max_khz",
                std::thread::hardware_concurrency(), load[0],
                static_cast<long long>(StreamTime().count()));
    for (const auto& [path, rate] : lossless) std::printf(" %s=%d", path.c_str(), rate / 1000);
    std::printf(" | cpu_gentl_over_scanvo%s worst%s", at_20k.c_str(), worst_case.c_str());
    if (four_sensor_ran)
        std::printf(" | four_sensors_4khz_missing=%llu",
                    static_cast<unsigned long long>(four_sensor_missing));
    std::printf("\n");
}

// Again in a namespace of its own holding only lo, with the tests'
// application-data folder for the sensor library's log configuration.
[[noreturn]] void RunInPrivateNamespace(int argc, char** argv)
{
    std::vector<char*> args{const_cast<char*>("unshare"), const_cast<char*>("--net"),
                            const_cast<char*>("sh"), const_cast<char*>("-c"),
                            const_cast<char*>("ip link set lo up && exec \"$0\" \"$@\"")};
    args.insert(args.end(), argv, argv + argc);
    args.push_back(nullptr);
    setenv("APPDATA", GENTESK_BENCH_APPDATA, 0);
    execvp("unshare", args.data());
    std::perror("unshare");
    std::exit(1);
}

}  // namespace

int main(int argc, char** argv)
{
    if (!TestSupport::InPrivateLoopbackNamespace()) RunInPrivateNamespace(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Register();
    benchmark::RunSpecifiedBenchmarks();
    PrintSummary();
    benchmark::Shutdown();
    return 0;
}
