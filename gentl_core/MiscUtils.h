// MiscUtils.h: unique strings of modules, events and buffers, the producer's
// path, description-document URLs and alternative IDs.
#pragma once

#include <cstdint>
#include <string>

#include "GenTL.h"

namespace GenTLCore {

// Unique strings begin with the branding's UniqueIDPrefix, asked at each
// call. None of these functions takes a lock or reports an error.

// With `path` set, the producer's path when known; else prefix + "_SYSTEM".
std::string MakeSystemUniqueString(bool path);
// prefix + "_" + the interface ID; the ID must not be empty.
std::string MakeInterfaceUniqueString(const std::string& unique_str);
// The branding's custom device string when not empty, else
// prefix + "_DEV_" + device ID.
std::string MakeDeviceUniqueString(const std::string& device_id, const std::string& vendor_name,
                                   const std::string& model_name);
// prefix + "_RMT_" + the device's ID.
std::string MakeRemoteDeviceUniqueString(const std::string& device_id);
// The branding's custom stream string when not empty, else
// prefix + "_STM" + stream ID + "_" + device unique string (not empty).
std::string MakeStreamUniqueString(const std::string& dev_unique_str,
                                   const std::string& stream_id);
// The stream's unique string + "_BUF" + the buffer number.
std::string MakeBufferUniqueString(const std::string& dev_unique_str,
                                   const std::string& stream_id, uint32_t buffer_number);
// prefix + "_EVT" + a word for the event type ("unknown" for a type GenTL
// does not define).
std::string MakeEventUniqueString(EVENT_TYPE event_type);

// Address of every module's description document on its port.
constexpr uint64_t DESCRIPTION_REGISTER_ADDRESS = 0xF0000000;

// "local:<file name>;f0000000;<length in lower-case hex>" for a document
// served at DESCRIPTION_REGISTER_ADDRESS.
std::string MakePortURL(const std::string& file_name, const std::string& document);

// Absolute path of the module file that contains the producer; empty when
// the system cannot tell.
std::string GetProducerPath();
// The text after the last '/' or '\\'; the whole path when it has neither.
std::string GetFileNameFromPath(const std::string& path);

// An alternative ID is separator, key, separator, value, with the branding's
// AlternativeIDSeparator (asked once per process, then kept).
bool IsAlternativeID(const std::string& id);
// Splits an alternative ID; key and value stay empty when `id` is not one or
// lacks the second separator.
void ParseAlternativeID(const std::string& id, std::string& key, std::string& value);

}  // namespace GenTLCore
