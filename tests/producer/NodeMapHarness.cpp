#include "producer/NodeMapHarness.h"

#include <arv.h>

#include <functional>
#include <map>

namespace {

// An ArvDevice whose memory is one GenTL module's port.
struct GenTLPortDevice {
    ArvDevice parent;
    const TestSupport::GenTLFunctions* gentl;  // borrowed: outlives the NodeMap; null: memory
    void* port;
    std::map<uint64_t, uint8_t>* memory;  // without a port: bytes written so far, others 0
};
struct GenTLPortDeviceClass {
    ArvDeviceClass parent_class;
};

G_DEFINE_TYPE(GenTLPortDevice, gentl_port_device, ARV_TYPE_DEVICE)

GenTLPortDevice* AsPortDevice(ArvDevice* device)
{
    return G_TYPE_CHECK_INSTANCE_CAST(device, gentl_port_device_get_type(), GenTLPortDevice);
}

gboolean Fail(GC_ERROR result, GError** error)
{
    if (result == GC_ERR_SUCCESS) return TRUE;
    g_set_error(error, ARV_DEVICE_ERROR, ARV_DEVICE_ERROR_PROTOCOL_ERROR, "GenTL port error %d",
                result);
    return FALSE;
}

gboolean ReadMemory(ArvDevice* device, guint64 address, guint32 size, void* buffer, GError** error)
{
    GenTLPortDevice* self = AsPortDevice(device);
    size_t length = size;
    if (self->gentl == nullptr) {
        for (guint32 i = 0; i < size; ++i) {
            const auto byte = self->memory->find(address + i);
            static_cast<guint8*>(buffer)[i] = byte == self->memory->end() ? 0 : byte->second;
        }
        return TRUE;
    }
    return Fail(self->gentl->GCReadPort(self->port, address, buffer, &length), error);
}

gboolean WriteMemory(ArvDevice* device, guint64 address, guint32 size, void* buffer, GError** error)
{
    GenTLPortDevice* self = AsPortDevice(device);
    size_t length = size;
    if (self->gentl == nullptr) {
        for (guint32 i = 0; i < size; ++i)
            (*self->memory)[address + i] = static_cast<const guint8*>(buffer)[i];
        return TRUE;
    }
    return Fail(self->gentl->GCWritePort(self->port, address, buffer, &length), error);
}

gboolean ReadRegister(ArvDevice* device, guint64 address, guint32* value, GError** error)
{
    return ReadMemory(device, address, sizeof *value, value, error);
}

gboolean WriteRegister(ArvDevice* device, guint64 address, guint32 value, GError** error)
{
    return WriteMemory(device, address, sizeof value, &value, error);
}

void gentl_port_device_init(GenTLPortDevice*) {}

void gentl_port_device_class_init(GenTLPortDeviceClass* klass)
{
    ArvDeviceClass* device_class = ARV_DEVICE_CLASS(klass);
    device_class->read_memory = ReadMemory;
    device_class->write_memory = WriteMemory;
    device_class->read_register = ReadRegister;
    device_class->write_register = WriteRegister;
}

// The message of a failed engine call, or empty; frees the error.
std::string Take(GError* error)
{
    if (error == nullptr) return std::string();
    std::string message = error->message;
    g_error_free(error);
    return message.empty() ? "unknown error" : message;
}

}  // namespace

namespace TestSupport {

NodeMap::NodeMap(const GenTLFunctions& gentl, void* port)
{
    uint64_t size = 0;
    size_t info_size = sizeof size;
    INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
    if (gentl.GCGetPortURLInfo(port, 0, URL_INFO_FILE_SIZE, &type, &size, &info_size) !=
        GC_ERR_SUCCESS) {
        error = "no document size";
        return;
    }
    std::string text(size, '\0');
    size_t length = size;
    if (gentl.GCReadPort(port, 0xF0000000, text.data(), &length) != GC_ERR_SUCCESS) {
        error = "document not readable";
        return;
    }
    Build(text, &gentl, port);
}

NodeMap::NodeMap(const std::string& text)
{
    Build(text, nullptr, nullptr);
}

void NodeMap::Build(const std::string& text, const GenTLFunctions* gentl, void* port)
{
    auto* self = static_cast<GenTLPortDevice*>(g_object_new(gentl_port_device_get_type(), nullptr));
    self->gentl = gentl;
    self->port = port;
    self->memory = &memory;
    device = &self->parent;
    gc = arv_gc_new(device, text.data(), text.size());
    if (gc == nullptr || arv_gc_get_node(gc, "Root") == nullptr) error = "no node map with a Root";
}

NodeMap::~NodeMap()
{
    if (gc != nullptr) g_object_unref(gc);
    if (device != nullptr) g_object_unref(device);
}

std::vector<std::string> NodeMap::Walk() const
{
    std::vector<std::string> names;
    std::function<void(const char*)> visit = [&](const char* name) {
        ArvGcNode* node = arv_gc_get_node(gc, name);
        if (name != std::string("Root"))
            names.push_back(node == nullptr ? std::string("unresolved ") + name : name);
        if (node == nullptr || !ARV_IS_GC_CATEGORY(node)) return;
        for (const GSList* f = arv_gc_category_get_features(ARV_GC_CATEGORY(node)); f; f = f->next)
            visit(static_cast<const char*>(f->data));
    };
    visit("Root");
    return names;
}

std::vector<std::string> NodeMap::ReadEveryFeature() const
{
    std::vector<std::string> failures;
    for (const std::string& name : Walk()) {
        ArvGcNode* node = arv_gc_get_node(gc, name.c_str());
        if (node == nullptr || ARV_IS_GC_CATEGORY(node) || !ARV_IS_GC_FEATURE_NODE(node)) continue;
        auto* feature = ARV_GC_FEATURE_NODE(node);
        GError* failure = nullptr;
        const bool readable =
            arv_gc_feature_node_is_implemented(feature, &failure) &&
            arv_gc_feature_node_is_available(feature, &failure) &&
            arv_gc_feature_node_get_actual_access_mode(feature) != ARV_GC_ACCESS_MODE_WO;
        if (failure == nullptr && readable && ARV_IS_GC_REGISTER(node)) {
            // A raw block has no text form: read its current length of bytes.
            const guint64 length = arv_gc_register_get_length(ARV_GC_REGISTER(node), &failure);
            std::string bytes(failure == nullptr ? length : 0, '\0');
            if (failure == nullptr)
                arv_gc_register_get(ARV_GC_REGISTER(node), bytes.data(), length, &failure);
        } else if (failure == nullptr && readable) {
            arv_gc_feature_node_get_value_as_string(feature, &failure);
        }
        if (failure != nullptr) failures.push_back(name + ": " + Take(failure));
    }
    return failures;
}

bool NodeMap::Is(const std::string& name, gboolean (*test)(ArvGcFeatureNode*, GError**)) const
{
    ArvGcNode* node = arv_gc_get_node(gc, name.c_str());
    GError* failure = nullptr;
    return node != nullptr && test(ARV_GC_FEATURE_NODE(node), &failure) && Take(failure).empty();
}

bool NodeMap::IsImplemented(const std::string& name) const
{
    return Is(name, arv_gc_feature_node_is_implemented);
}

bool NodeMap::IsAvailable(const std::string& name) const
{
    return Is(name, arv_gc_feature_node_is_available);
}

bool NodeMap::IsLocked(const std::string& name) const
{
    return Is(name, arv_gc_feature_node_is_locked);
}

std::vector<std::string> NodeMap::AvailableEntries(const std::string& name) const
{
    ArvGcNode* node = arv_gc_get_node(gc, name.c_str());
    if (node == nullptr || !ARV_IS_GC_ENUMERATION(node)) return {"no enumeration " + name};
    GError* failure = nullptr;
    guint count = 0;
    const char** values =
        arv_gc_enumeration_dup_available_string_values(ARV_GC_ENUMERATION(node), &count, &failure);
    const std::string message = Take(failure);
    std::vector<std::string> entries(values, values + (values ? count : 0));
    g_free(values);
    return message.empty() ? entries : std::vector<std::string>{"error: " + message};
}

std::string NodeMap::Read(const std::string& name) const
{
    ArvGcNode* node = arv_gc_get_node(gc, name.c_str());
    if (node == nullptr) return "error: no node " + name;
    GError* failure = nullptr;
    const char* value =
        arv_gc_feature_node_get_value_as_string(ARV_GC_FEATURE_NODE(node), &failure);
    const std::string message = Take(failure);
    return message.empty() ? std::string(value ? value : "") : "error: " + message;
}

int64_t NodeMap::ReadInteger(const std::string& name) const
{
    ArvGcNode* node = arv_gc_get_node(gc, name.c_str());
    if (node == nullptr || !ARV_IS_GC_INTEGER(node)) return -1;
    GError* failure = nullptr;
    const int64_t value = arv_gc_integer_get_value(ARV_GC_INTEGER(node), &failure);
    return Take(failure).empty() ? value : -1;
}

std::pair<int64_t, int64_t> NodeMap::IntegerRange(const std::string& name) const
{
    ArvGcNode* node = arv_gc_get_node(gc, name.c_str());
    if (node == nullptr || !ARV_IS_GC_INTEGER(node)) return {-1, -1};
    GError* failure = nullptr;
    const int64_t min = arv_gc_integer_get_min(ARV_GC_INTEGER(node), &failure);
    const int64_t max = failure ? 0 : arv_gc_integer_get_max(ARV_GC_INTEGER(node), &failure);
    return Take(failure).empty() ? std::pair{min, max} : std::pair<int64_t, int64_t>{-1, -1};
}

std::string NodeMap::WriteInteger(const std::string& name, int64_t value) const
{
    ArvGcNode* node = arv_gc_get_node(gc, name.c_str());
    if (node == nullptr || !ARV_IS_GC_INTEGER(node)) return "no integer " + name;
    GError* failure = nullptr;
    arv_gc_integer_set_value(ARV_GC_INTEGER(node), value, &failure);
    return Take(failure);
}

std::string NodeMap::Execute(const std::string& name) const
{
    ArvGcNode* node = arv_gc_get_node(gc, name.c_str());
    if (node == nullptr || !ARV_IS_GC_COMMAND(node)) return "no command " + name;
    GError* failure = nullptr;
    arv_gc_command_execute(ARV_GC_COMMAND(node), &failure);
    return Take(failure);
}

}  // namespace TestSupport
