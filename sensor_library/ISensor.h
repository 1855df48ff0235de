// ISensor.h: one sensor seen through the library, for callers that drive one
// sensor at a time.
#pragma once

#include <string>
#include <vector>

// What leaves the .cti: the sensor library's C interface, its facade class
// and the event functions; everything else stays hidden.
#define SCANVO_EXPORT __attribute__((visibility("default")))
#define SCANVO_HIDDEN __attribute__((visibility("hidden")))

enum SensorType : int {
    SENSOR_TYPE_SCANVO = 0,
};

// A pure interface; the implementation decides which sensor it drives and
// which threads may call it.
class SCANVO_EXPORT ISensor {
public:
    virtual std::string getLibraryVersion() = 0;
    virtual SensorType type() = 0;
    // True when the sensor's connection was set up (not yet that it answers).
    virtual bool openTransfer() = 0;
    virtual bool closeTransfer() = 0;
    virtual int getConnectStatus(int* status) = 0;
    virtual int getXmlDescription(char* buffer, int size) = 0;
    virtual int getData(double* x, double* z, int* intensity, int* peak_width, int buffer_size,
                        int timeout_ms) = 0;
    virtual int writeData(const std::vector<unsigned char>& data) = 0;
    virtual int writeData(const char* text) = 0;
    virtual int readData(const char* name, char* buffer, int size, int max_age_ms) = 0;
    virtual ~ISensor() = default;
};
