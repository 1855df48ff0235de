// The module description documents against the node tables in
// GenApiManifest.txt: served bytes, GenApi 1.1 schema, node tree, and the
// registers they name, against the modules' register tables and as the
// module's port answers them, with their access.
#include <gtest/gtest.h>
#include <openssl/sha.h>
#include <tinyxml2.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "gentl_core/GenTLDataStream.h"
#include "gentl_core/GenTLInterface.h"
#include "gentl_core/GenTLLocalDevice.h"
#include "gentl_core/GenTLSystem.h"
#include "gentl_producers/GenTesk3d/ModuleXmlDocuments.h"
#include "producer/NodeMapHarness.h"
#include "producer/ProducerSession.h"
#include "support/SimulatedDiscovery.h"

namespace {

using GenTLCore::ZoTL::DocumentModule;
using Fields = std::map<std::string, std::string>;

struct Node {
    std::string kind;
    Fields fields;  // the manifest's key=value pairs
};
using Tree = std::map<std::string, Node>;

// "key=value key=value ..." into `fields`.
void Split(std::istream& pairs, Fields& fields)
{
    for (std::string pair; pairs >> pair;)
        fields[pair.substr(0, pair.find('='))] = pair.substr(pair.find('=') + 1);
}

// The manifest's nodes of one document, by name.
Tree ManifestTree(const std::string& document)
{
    std::ifstream in(std::string(GENTESK_SOURCE_DIR) + "/tests/producer/GenApiManifest.txt");
    Tree tree;
    std::string line, current;
    size_t announced = 0;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string kind, name;
        words >> kind >> name;
        if (kind == "document") {
            current = name;
            if (name == document) words >> announced;
        } else if (current == document && !kind.empty() && kind[0] != '#') {
            tree[name].kind = kind;
            Split(words, tree[name].fields);
        }
    }
    EXPECT_EQ(announced, tree.size()) << document;
    return tree;
}

void Append(Fields& fields, const std::string& key, const std::string& value)
{
    std::string& field = fields[key];
    field += (field.empty() ? "" : ",") + value;
}

// The same keys as the manifest, read from one node element; texts aside.
Node Extract(const tinyxml2::XMLElement& element)
{
    static const Fields keys = [] {
        std::istringstream pairs(
            "Visibility=vis pIsImplemented=impl pIsAvailable=avail pIsLocked=lock "
            "ImposedAccessMode=access AccessMode=access Streamable=streamable pFeature=features "
            "pValue=pvalue Value=value pIndex=index pValueDefault=default Min=min pMin=pmin "
            "Max=max pMax=pmax Unit=unit Representation=repr pSelected=selects CommandValue=cmd "
            "Length=len pPort=port Cachable=cache PollingTime=polling pInvalidator=inval Sign=sign "
            "EventID=eventid ChunkID=chunkid pLength=plen ValueDefault=vdefault ToolTip= "
            "Description= DisplayName= Endianess=");
        Fields keys;
        Split(pairs, keys);
        return keys;
    }();
    Node node{element.Name(), {{"vis", "Beginner"}}};
    if (node.kind == "IntReg") node.fields["sign"] = "none";
    node.fields["ns"] = element.Attribute("NameSpace") ? element.Attribute("NameSpace") : "Custom";
    for (auto* child = element.FirstChildElement(); child; child = child->NextSiblingElement()) {
        const std::string tag = child->Name();
        const std::string text = child->GetText() ? child->GetText() : "";
        const std::string index = child->Attribute("Index") ? child->Attribute("Index") : "";
        if (tag == "EnumEntry") {
            Append(node.fields, "entries",
                   std::string(child->Attribute("Name")) + ":" +
                       child->FirstChildElement("Value")->GetText());
        } else if (tag == "pVariable") {
            Append(node.fields, "vars", std::string(child->Attribute("Name")) + ":" + text);
        } else if (tag == "pValueIndexed" || tag == "ValueIndexed") {
            Append(node.fields, tag == "ValueIndexed" ? "indexed" : "pindexed", index + ":" + text);
        } else if (tag == "Formula") {
            node.fields["formula"] = text;
            std::erase(node.fields["formula"], ' ');
        } else if (tag == "Address") {
            std::ostringstream hex;
            hex << "0x" << std::hex << std::stoull(text, nullptr, 0);
            node.fields["addr"] = hex.str();
        } else if (keys.count(tag) == 0) {
            node.fields["unexpected " + tag] = text;
        } else if (const std::string& key = keys.at(tag);
                   key == "features" || key == "selects" || key == "inval") {
            Append(node.fields, key, text);
        } else if (!key.empty()) {
            node.fields[key] = text;
        }
    }
    return node;
}

// Categories and features under Root in the manifest, depth first.
std::vector<std::string> ManifestWalk(const std::string& document)
{
    const Tree tree = ManifestTree(document);
    std::vector<std::string> names;
    std::function<void(const std::string&)> visit = [&](const std::string& category) {
        std::istringstream features(tree.at(category).fields.at("features"));
        for (std::string name; std::getline(features, name, ',');) {
            names.push_back(name);
            if (tree.at(name).kind == "Category") visit(name);
        }
    };
    visit("Root");
    return names;
}

const struct DocumentRow {
    const char* name;
    DocumentModule module;
    size_t node_count;
} DOCUMENTS[] = {{"System", DocumentModule::System, 48},
                 {"Interface", DocumentModule::Interface, 66},
                 {"LocalDevice", DocumentModule::LocalDevice, 63},
                 {"DataStream", DocumentModule::DataStream, 36},
                 {"RemoteDevice", DocumentModule::RemoteDevice, 255}};

std::string Sha1(const std::string& bytes)
{
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
    return std::string(reinterpret_cast<char*>(digest), sizeof digest);
}

// Tool tips that name the GenTL standard's own documents, and the one a
// product feature carries, stand word for word.
TEST(GenApiDocumentTest, QuotedToolTipsStandAsWritten)
{
    const struct {
        DocumentModule module;
        const char *node, *tip;
    } rows[] = {
        {DocumentModule::System, "GenTLVersionMajor",
         "Major version number of the GenTL specification the GenTL Producer implementation "
         "complies with."},
        {DocumentModule::Interface, "InterfaceTLVersionMajor",
         "Major version number of the transport layer specification the GenTL Producer interface "
         "complies with."},
        {DocumentModule::Interface, "DeviceTLVersionMinor",
         "Minor version number of the transport layer specification the remote device complies "
         "with."},
        {DocumentModule::RemoteDevice, "AsciiCommand", "Sends an Ascii Command to the Sensor."}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.node);
        const std::string& text =
            GenTLCore::ZoTL::ModuleXmlDocuments::Instance().Document(row.module).text;
        tinyxml2::XMLDocument xml;
        ASSERT_EQ(tinyxml2::XML_SUCCESS, xml.Parse(text.data(), text.size()));
        const tinyxml2::XMLElement* node = xml.RootElement()->FirstChildElement();
        while (node && !node->Attribute("Name", row.node)) node = node->NextSiblingElement();
        ASSERT_TRUE(node && node->FirstChildElement("ToolTip"));
        EXPECT_STREQ(row.tip, node->FirstChildElement("ToolTip")->GetText());
    }
}

// Bytes, schema and node tree of each served text.
TEST(GenApiDocumentTest, EachDocumentIsPlainValidXmlWithTheManifestsNodeTree)
{
    const auto& documents = GenTLCore::ZoTL::ModuleXmlDocuments::Instance();
    const std::string schema = std::string(GENTESK_GENAPI_SCHEMA_DIR) + "/GenApiSchema_Version_1_1.xsd";
    // Fails, never skips, when the schema is missing.
    const bool have_schema = std::filesystem::is_regular_file(schema);
    EXPECT_TRUE(have_schema) << "The GenICam GenApi schema " << schema
                             << " is missing: set the CMake cache variable "
                                "GENTESK_GENAPI_SCHEMA_DIR to the folder that holds "
                                "GenApiSchema_Version_1_1.xsd";
    const std::string root_attributes =
        "xmlns xmlns:xsi xsi:schemaLocation ModelName VendorName ToolTip StandardNameSpace "
        "SchemaMajorVersion SchemaMinorVersion SchemaSubMinorVersion MajorVersion MinorVersion "
        "SubMinorVersion ProductGuid VersionGuid ";
    for (const DocumentRow& row : DOCUMENTS) {
        SCOPED_TRACE(row.name);
        const auto& document = documents.Document(row.module);
        const std::string& text = document.text;
        EXPECT_EQ(Sha1(text), std::string(document.sha1.begin(), document.sha1.end()));
        EXPECT_EQ(0u, text.rfind("<RegisterDescription\n", 0)) << "no BOM, no declaration";
        for (char c : text)
            ASSERT_TRUE(c != '\r' && c != '\0' && static_cast<unsigned char>(c) < 0x80) << int(c);

        // Fails, never skips, when xmllint is missing.
        if (have_schema) {
            const auto file =
                std::filesystem::temp_directory_path() /
                (std::string("genapi_") + row.name + std::to_string(getpid()) + ".xml");
            std::ofstream(file, std::ios::binary) << text;
            const std::string command =
                "xmllint --noout --schema '" + schema + "' '" + file.string() + "'";
            EXPECT_EQ(0, std::system(command.c_str())) << command;
            std::filesystem::remove(file);
        }

        tinyxml2::XMLDocument xml;
        ASSERT_EQ(tinyxml2::XML_SUCCESS, xml.Parse(text.data(), text.size()));
        std::string attributes;
        for (auto* a = xml.RootElement()->FirstAttribute(); a; a = a->Next())
            attributes += a->Name() + std::string(" ");
        EXPECT_EQ(root_attributes, attributes);
        EXPECT_STREQ("Root", xml.RootElement()->FirstChildElement()->Attribute("Name"));

        Tree expected = ManifestTree(row.name);
        EXPECT_EQ(row.node_count, expected.size());
        size_t count = 0;
        for (auto* e = xml.RootElement()->FirstChildElement(); e; e = e->NextSiblingElement()) {
            ++count;
            const std::string name = e->Attribute("Name");
            SCOPED_TRACE(name);
            ASSERT_EQ(1u, expected.count(name)) << "not in the manifest, or twice in the document";
            Node want = expected[name];
            want.fields.erase("record");
            const Node got = Extract(*e);
            EXPECT_EQ(want.kind, got.kind);
            EXPECT_EQ(want.fields, got.fields);
            expected.erase(name);
        }
        EXPECT_EQ(row.node_count, count);

        // The engine resolves the same tree (the local device and the stream
        // have no port to read through without an open device).
        const TestSupport::NodeMap map(text);
        ASSERT_TRUE(map.IsBuilt()) << map.Error();
        EXPECT_EQ(ManifestWalk(row.name), map.Walk());
    }
}

// The remote device's formulas alone, over plain memory: the pixel formats a
// region and component offer, and the reference translation as the diagonal.
TEST(GenApiDocumentTest, RemoteDeviceFormulasGiveFormatsAndTranslation)
{
    const TestSupport::NodeMap map(GenTLCore::ZoTL::ModuleXmlDocuments::Instance()
                                       .Document(DocumentModule::RemoteDevice)
                                       .text);
    ASSERT_TRUE(map.IsBuilt()) << map.Error();
    const struct {
        const char* name;
        int64_t region, component;
        std::vector<std::string> available;
    } rows[] = {{"sensor region", 0, 0, {"Mono8"}},
                {"intensity", 1, 0, {"Mono10"}},
                {"range", 1, 1, {"Coord3D_ABC32f", "Coord3D_ABC16", "Mono16"}}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ("", map.WriteInteger("RegionSelector_Val", row.region));
        ASSERT_EQ("", map.WriteInteger("ComponentSelector_Val", row.component));
        EXPECT_EQ(row.available, map.AvailableEntries("PixelFormat"));
    }
    ASSERT_EQ("", map.WriteInteger("Width_Val", 3));
    ASSERT_EQ("", map.WriteInteger("Height_Val", 4));
    EXPECT_EQ("5", map.Read("Scan3dCoordinateReferenceTranslationZ_ValCalc"));
}

// Every register node on a module's own port has its record in that module's
// register tables, with the same address, length, access and sign; every
// record but the document's (and the System's test registers) is named once.
TEST(GenApiDocumentTest, RegisterNodesMatchTheirModulesRegisterTables)
{
    using namespace GenTLCore;
    using Table = std::span<const RegisterDefinition>;
    const struct {
        const char *name, *port;
        std::vector<Table> tables;
        const ModuleRegisterIds* ids;  // null: no common registers
    } rows[] = {
        {"System", "TLPort", {GenTLSystem::RegisterTable()}, &GenTLSystem::CommonRegisterIds()},
        {"Interface",
         "InterfacePort",
         {GenTLInterface::RegisterTable(), ZoTL::INTERFACE_CUSTOM_REGISTERS},
         &GenTLInterface::CommonRegisterIds()},
        {"LocalDevice",
         "DevicePort",
         {GenTLLocalDevice::RegisterTable(), ZoTL::LOCAL_DEVICE_CUSTOM_REGISTERS},
         &GenTLLocalDevice::CommonRegisterIds()},
        {"DataStream",
         "StreamPort",
         {GenTLDataStream::RegisterTable()},
         &GenTLDataStream::CommonRegisterIds()},
        {"RemoteDevice", "Device", {ZoTL::REMOTE_DEVICE_REGISTERS}, nullptr},
    };
    constexpr uint64_t TEST_REGISTERS_ADDRESS = 0xE0000000;  // the System's, unnamed
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        // The registers every module's map adds beside its tables.
        const ModuleRegisterIds ids = row.ids ? *row.ids : ModuleRegisterIds{};
        const RegisterDefinition common[] = {
            {ids.magic_read_zero, REG_TYPE_UINT32, MAGIC_READ_ZERO_ADDRESS, 4, REG_ACCESS_RO,
             false},
            {ids.persistence_start, REG_TYPE_UINT32, FEATURE_PERSISTENCE_START_ADDRESS, 4,
             REG_ACCESS_WO, false},
            {ids.persistence_end, REG_TYPE_UINT32, FEATURE_PERSISTENCE_END_ADDRESS, 4,
             REG_ACCESS_WO, false},
            {ids.streaming_start, REG_TYPE_UINT32, REGISTERS_STREAMING_START_ADDRESS, 4,
             REG_ACCESS_WO, false},
            {ids.streaming_end, REG_TYPE_UINT32, REGISTERS_STREAMING_END_ADDRESS, 4, REG_ACCESS_WO,
             false},
        };
        std::map<uint32_t, RegisterDefinition> records;
        std::vector<Table> tables = row.tables;
        if (row.ids != nullptr) tables.push_back(common);
        for (Table table : tables)
            for (const RegisterDefinition& record : table)
                EXPECT_TRUE(records.emplace(record.id, record).second) << record.id;

        std::map<uint32_t, int> named;
        for (const auto& [name, node] : ManifestTree(row.name)) {
            if (node.fields.count("addr") == 0 || node.fields.at("port") != row.port) continue;
            SCOPED_TRACE(name);
            ASSERT_EQ(1u, node.fields.count("record"));
            const uint32_t id = std::stoul(node.fields.at("record"));
            ++named[id];
            ASSERT_EQ(1u, records.count(id)) << id;
            const RegisterDefinition& record = records.at(id);
            EXPECT_EQ(record.address, std::stoull(node.fields.at("addr"), nullptr, 16));
            if (node.kind == "Register") {  // its length node tells the current size
                EXPECT_TRUE(record.variable_size);
            } else {
                EXPECT_EQ(record.size, std::stoull(node.fields.at("len")));
            }
            const char* access = record.access == REG_ACCESS_RW   ? "RW"
                                 : record.access == REG_ACCESS_RO ? "RO"
                                                                  : "WO";
            EXPECT_EQ(access, node.fields.at("access"));
            const bool is_signed = record.type == REG_TYPE_INT32 || record.type == REG_TYPE_INT64;
            if (node.kind == "IntReg") {
                EXPECT_EQ(is_signed ? "Signed" : "Unsigned", node.fields.at("sign"));
            }
        }
        for (const auto& [id, record] : records) {
            if (record.address < TEST_REGISTERS_ADDRESS || std::string(row.name) != "System") {
                EXPECT_EQ(1, named[id]) << "record " << id;
            }
        }
    }
}

// A consumer's view: the System and the Interface with one discovered sensor
// in a namespace of the test's own; the local device opened on a simulated
// sensor at the loopback address.
class GenApiPortTest : public TestSupport::ProducerSession {
protected:
    void SetUp() override
    {
        ProducerSession::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        const std::string ns = net.AddNamespace("G");
        ASSERT_TRUE(net.Link("g0", "10.214.1.1/24", ns, "g1", "10.214.1.2/24"));
        {
            TestSupport::EnterNamespace entered(ns);
            ASSERT_TRUE(entered.Entered());
            discovered = std::make_unique<TestSupport::SimulatedDiscovery>(
                std::vector{TestSupport::SensorIdentity("10.214.1.2", "4711")});
        }
        ASSERT_EQ(GC_ERR_SUCCESS, cti->IFUpdateDeviceList(iface, nullptr, 0));
        uint32_t devices = 0;
        ASSERT_EQ(GC_ERR_SUCCESS, cti->IFGetNumDevices(iface, &devices));
        ASSERT_EQ(1u, devices);
    }
    void Open(bool with_stream = false)
    {
        StartSensor();
        ASSERT_EQ(GC_ERR_SUCCESS, OpenDevice());
        if (with_stream) OpenStream();
    }

    std::string UrlInfo(void* port, URL_INFO_CMD command)
    {
        char buffer[512] = {};
        size_t size = sizeof buffer;
        INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
        EXPECT_EQ(GC_ERR_SUCCESS, cti->GCGetPortURLInfo(port, 0, command, &type, buffer, &size));
        return type == INFO_DATATYPE_STRING ? std::string(buffer) : std::string(buffer, size);
    }

    std::unique_ptr<TestSupport::SimulatedDiscovery> discovered;
};

// Each module's port serves its document and every register it names with
// that register's access; the engine reads every feature through the port
// but those fed by what it cannot give: GenTL events and delivered chunks.
TEST_F(GenApiPortTest, ServesEachDocumentAndEveryRegisterAndFeatureItNames)
{
    Open(true);
    const struct {
        const char* name;
        void* port;
        const char* port_node;
        std::vector<std::string> unread;
    } rows[] = {{"System", system, "TLPort", {}},
                {"Interface", iface, "InterfacePort", {}},
                {"LocalDevice", device, "DevicePort", {"EventDeviceLost"}},
                {"DataStream", stream, "StreamPort", {}},
                {"RemoteDevice",
                 port,
                 "Device",
                 {"ChunkCounterValue", "ChunkEncoderValue", "ChunkLineStatusAll"}}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        uint64_t size = 0;
        std::memcpy(&size, UrlInfo(row.port, URL_INFO_FILE_SIZE).data(), sizeof size);
        std::ostringstream url;
        url << "local:" << UrlInfo(row.port, URL_INFO_FILENAME) << ";f0000000;" << std::hex << size;
        EXPECT_EQ(url.str(), UrlInfo(row.port, URL_INFO_URL));
        std::string text(size + 1, '\0');
        size_t read = size + 1;
        EXPECT_EQ(GC_ERR_INVALID_ADDRESS,
                  cti->GCReadPort(row.port, 0xF0000000, text.data(), &read));
        read = size;
        ASSERT_EQ(GC_ERR_SUCCESS, cti->GCReadPort(row.port, 0xF0000000, text.data(), &read));
        text.resize(size);
        EXPECT_EQ(Sha1(text), UrlInfo(row.port, URL_INFO_FILE_SHA1_HASH));

        const Tree tree = ManifestTree(row.name);
        for (const auto& [name, node] : tree) {
            if (node.fields.count("addr") == 0 || node.fields.at("port") != row.port_node) continue;
            SCOPED_TRACE(name);
            const std::string& access = node.fields.at("access");
            const uint64_t address = std::stoull(node.fields.at("addr"), nullptr, 16);
            size_t length = node.fields.count("len") ? std::stoul(node.fields.at("len")) : 0;
            if (node.fields.count("plen")) {  // a variable length: its register tells it
                const uint64_t at =
                    std::stoull(tree.at(node.fields.at("plen")).fields.at("addr"), nullptr, 16);
                uint32_t current = 0;
                size_t four = sizeof current;
                EXPECT_EQ(GC_ERR_SUCCESS, cti->GCReadPort(row.port, at, &current, &four));
                length = current;
            }
            std::vector<char> bytes(length);
            const GC_ERROR result = cti->GCReadPort(row.port, address, bytes.data(), &length);
            EXPECT_EQ(access == "WO", result != GC_ERR_SUCCESS) << result;
            if (access == "RO") {
                EXPECT_EQ(GC_ERR_ACCESS_DENIED,
                          cti->GCWritePort(row.port, address, bytes.data(), &length));
            }
        }
        const TestSupport::NodeMap map(cti.Functions(), row.port);
        ASSERT_TRUE(map.IsBuilt()) << map.Error();
        EXPECT_EQ(ManifestWalk(row.name), map.Walk());
        std::vector<std::string> unread;
        for (const std::string& failure : map.ReadEveryFeature())
            unread.push_back(failure.substr(0, failure.find(':')));
        EXPECT_EQ(row.unread, unread);
    }
    const TestSupport::NodeMap interface_map(cti.Functions(), iface);
    EXPECT_EQ("TK3D-100_4711", interface_map.Read("DeviceID"));
    EXPECT_EQ(0x0AD60102, interface_map.ReadInteger("DeviceIPAddress"));
    const TestSupport::NodeMap local(cti.Functions(), device);
    EXPECT_EQ("OpenReadWrite", local.Read("DeviceAccessStatus"));
    EXPECT_EQ("DeviceLost", local.Read("EventSelector"));
    // The event-engine features stand or fall with the device's _Impl register.
    const bool engine = local.ReadInteger("DeviceEventEngineControl_Impl") != 0;
    for (const char* feature : {"DeviceEventsThreadPriority", "DeviceEventsThreadApplyPriority"})
        EXPECT_EQ(engine, local.IsImplemented(feature)) << feature;
}

// The stream's auxiliary buffer count keeps to 0..20, and it and the buffer
// handling mode are locked while the stream acquires.
TEST_F(GenApiPortTest, NodeMapLimitsAndLocksTheStreamsBufferHandling)
{
    Open(true);
    const TestSupport::NodeMap map(cti.Functions(), stream);
    ASSERT_TRUE(map.IsBuilt()) << map.Error();
    EXPECT_EQ(map.ReadInteger("ModifiesPayload_Val") != 0, map.IsAvailable("PayloadSize"));
    EXPECT_NE("", map.WriteInteger("StreamAuxiliaryBufferCount", 21));
    EXPECT_NE("", map.WriteInteger("StreamAuxiliaryBufferCount", -1));
    for (int64_t count : {20, 0}) {
        EXPECT_EQ("", map.WriteInteger("StreamAuxiliaryBufferCount", count));
        EXPECT_EQ(count, map.ReadInteger("StreamAuxiliaryBufferCount"));
    }
    for (const char* feature : {"StreamAuxiliaryBufferCount", "StreamBufferHandlingMode"})
        EXPECT_FALSE(map.IsLocked(feature)) << feature;

    const int64_t payload = map.ReadInteger("PayloadSize_Val");
    ASSERT_GT(payload, 0);
    BUFFER_HANDLE buffer = nullptr;
    ASSERT_EQ(GC_ERR_SUCCESS, cti->DSAllocAndAnnounceBuffer(stream, payload, nullptr, &buffer));
    ASSERT_EQ(GC_ERR_SUCCESS, cti->DSQueueBuffer(stream, buffer));
    ASSERT_EQ(GC_ERR_SUCCESS, cti->DSStartAcquisition(stream, ACQ_START_FLAGS_DEFAULT, 1));
    for (const char* feature : {"StreamAuxiliaryBufferCount", "StreamBufferHandlingMode"})
        EXPECT_TRUE(map.IsLocked(feature)) << feature;
    EXPECT_NE("", map.WriteInteger("StreamAuxiliaryBufferCount", 1));
    EXPECT_EQ(GC_ERR_SUCCESS, cti->DSStopAcquisition(stream, ACQ_STOP_FLAGS_KILL));
    EXPECT_FALSE(map.IsLocked("StreamAuxiliaryBufferCount"));
}

// The sensor as a GenICam consumer sees it: every feature read through the
// remote device's port, the selectors driving locks, limits and entries, and
// feature writes reaching the sensor as its commands.
TEST_F(GenApiPortTest, NodeMapDrivesTheRemoteDevice)
{
    Open(true);
    const TestSupport::NodeMap map(cti.Functions(), port);
    ASSERT_TRUE(map.IsBuilt()) << map.Error();

    // The parameters lock: what the stream fixes is locked, acquisition start is not.
    EXPECT_TRUE(map.IsLocked("AcquisitionStart"));
    EXPECT_FALSE(map.IsLocked("Width"));
    EXPECT_EQ("", map.WriteInteger("TLParamsLocked", 1));
    EXPECT_TRUE(map.IsLocked("Width"));
    EXPECT_FALSE(map.IsLocked("AcquisitionStart"));
    EXPECT_EQ("", map.WriteInteger("TLParamsLocked", 0));

    EXPECT_EQ("", map.WriteInteger("RegionSelector", 1));
    EXPECT_EQ((std::pair<int64_t, int64_t>{1, 10000}), map.IntegerRange("Height"));
    // Features as "Name" available, "!Name" unavailable, "#Name" locked.
    const struct {
        const char *name, *selector;
        int64_t value;
        const char* features;
    } rows[] = {
        {"extraction region", "RegionSelector", 1, "ComponentSelector #Width #OffsetX #OffsetY"},
        {"back to the sensor region", "RegionSelector", 0, ""},
        {"software trigger", "TriggerSource", 7, "TriggerSoftware !TriggerDelay !TriggerDivider"},
        {"second encoder", "EncoderSelector", 1, "!EncoderSourceA !EncoderSourceB"},
        {"coordinate B", "Scan3dCoordinateSelector", 1,
         "Scan3dCoordinateSource !Scan3dAxisMinStart"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ("", map.WriteInteger(row.selector, row.value));
        std::istringstream features(row.features);
        for (std::string f; features >> f;)
            EXPECT_TRUE(f[0] == '#'   ? map.IsLocked(f.substr(1))
                        : f[0] == '!' ? !map.IsAvailable(f.substr(1))
                                      : map.IsAvailable(f))
                << f;
    }

    // Sensor settings go out as its commands; the selectors and the pixel
    // format stay in the producer, which shapes the payload by them.
    const struct {
        const char* feature;
        int64_t value;
        const char* command;
    } writes[] = {{"Width", 320, "SetROI1WidthX=320"},
                  {"TriggerMode", 1, "SetTriggerSource=3"},  // the software source
                  {"TriggerMode", 0, "SetTriggerSource=0"},
                  {"RegionSelector", 1, nullptr},
                  {"ComponentSelector", 1, nullptr},
                  {"PixelFormat", 0x023000B9, nullptr}};  // Coord3D_ABC16
    for (const auto& row : writes) {
        SCOPED_TRACE(std::string(row.feature) + "=" + std::to_string(row.value));
        sensor->ClearCommands();
        EXPECT_EQ("", map.WriteInteger(row.feature, row.value));
        if (row.command) {
            EXPECT_TRUE(sensor->WaitForCommand(row.command));
        }
        EXPECT_EQ(row.value, map.ReadInteger(row.feature));
    }
    EXPECT_EQ("", map.WriteInteger("RegionSelector", 0));
    // The signal widths limit each other, and the sensor confirms each write.
    using Range = std::pair<int64_t, int64_t>;
    for (const auto& [feature, value] : {std::pair{"SignalWidthMax", 10}, {"SignalWidthMin", 5}}) {
        EXPECT_EQ("", map.WriteInteger(feature, value));
        EXPECT_EQ(value, map.ReadInteger(std::string(feature) + "_Val")) << feature;
    }
    EXPECT_EQ((Range{0, 10}), map.IntegerRange("SignalWidthMin"));
    EXPECT_EQ((Range{5, 63}), map.IntegerRange("SignalWidthMax"));
    // The chunk view's coordinate selector and the 3D one are one register.
    EXPECT_EQ("", map.WriteInteger("ChunkScan3dCoordinateSelector", 2));
    EXPECT_EQ(2, map.ReadInteger("Scan3dCoordinateSelector"));
    // A consumer acquires through features alone: PayloadSize sizes the
    // buffers, AcquisitionStart and AcquisitionStop run the sensor.
    ASSERT_EQ("", map.WriteInteger("RegionSelector", 1));
    ASSERT_EQ("", map.WriteInteger("Width", 64));
    ASSERT_EQ("", map.WriteInteger("Height", 4));
    const int64_t payload = map.ReadInteger("PayloadSize");
    ASSERT_GT(payload, 0);
    for (int i = 0; i < 2; ++i) {
        BUFFER_HANDLE buffer = nullptr;
        ASSERT_EQ(GC_ERR_SUCCESS, cti->DSAllocAndAnnounceBuffer(stream, payload, nullptr, &buffer));
        ASSERT_EQ(GC_ERR_SUCCESS, cti->DSQueueBuffer(stream, buffer));
    }
    EVENT_HANDLE new_buffer = nullptr;
    ASSERT_EQ(GC_ERR_SUCCESS, cti->GCRegisterEvent(stream, EVENT_NEW_BUFFER, &new_buffer));
    ASSERT_EQ(GC_ERR_SUCCESS,
              cti->DSStartAcquisition(stream, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE));
    EXPECT_EQ("", map.WriteInteger("TLParamsLocked", 1));
    ASSERT_EQ("", map.Execute("AcquisitionStart"));
    for (int i = 0; i < 2; ++i) {
        void* datum[2] = {};  // the buffer handle, then the user pointer
        size_t size = sizeof datum;
        EXPECT_EQ(GC_ERR_SUCCESS, cti->EventGetData(new_buffer, datum, &size, 3000)) << i;
    }
    EXPECT_EQ("", map.Execute("AcquisitionStop"));
    EXPECT_EQ("", map.WriteInteger("TLParamsLocked", 0));
    EXPECT_EQ(GC_ERR_SUCCESS, cti->DSStopAcquisition(stream, ACQ_STOP_FLAGS_DEFAULT));
}

// The selected device's network registers are never cached: a forced address
// reads back at once, and an emptied list hides every selected feature.
TEST_F(GenApiPortTest, NodeMapRereadsTheSelectedDeviceAfterForceIpAndListUpdate)
{
    const TestSupport::NodeMap map(cti.Functions(), iface);
    ASSERT_TRUE(map.IsBuilt()) << map.Error();
    ASSERT_EQ(0x0AD60102, map.ReadInteger("DeviceIPAddress"));
    EXPECT_EQ("", map.WriteInteger("DeviceForceIPAddress", 0x0AD6010A));
    EXPECT_EQ("", map.Execute("DeviceForceIP"));
    EXPECT_EQ(0, map.ReadInteger("DeviceForceIP_Val")) << "the command is done";
    EXPECT_EQ(0x0AD6010A, map.ReadInteger("DeviceIPAddress"));

    discovered.reset();
    EXPECT_EQ("", map.Execute("DeviceUpdateList"));
    EXPECT_FALSE(map.IsAvailable("DeviceSelector"));
    for (const char* selected : {"DeviceID", "DeviceIPAddress", "DeviceForceIP", "DeviceUserID"})
        EXPECT_FALSE(map.IsAvailable(selected)) << selected;
    EXPECT_EQ(0, map.ReadInteger("DeviceSelector_ValDisp"));
}

}  // namespace
