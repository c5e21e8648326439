// SPDX-License-Identifier: MIT
// CorvexLine: one line of the server as a Tango device (properties Port and Rate): its
// health, the stations found, the rate, the last error, scan, board initialisation, stop of
// every motor, reconnection, and the boards' analog inputs and digital user I/O. A server
// has any number of them, each with a line of its own.
#pragma once

#include "checks.h"
#include "line.h"
#include "tango_glue.h"

#include <memory>
#include <string>
#include <vector>

namespace corvextango {

class LineDevice : public Tango::Device_5Impl {
public:
    LineDevice(Tango::DeviceClass *deviceClass, std::string &name);
    ~LineDevice() override;

    // Reads the properties, opens the line and scans it; the Init command also
    // initialises the boards found.
    void init_device() override;
    void delete_device() override;
    // ON while the line is open, FAULT when it cannot be opened or is lost.
    Tango::DevState dev_state() override;
    Tango::ConstDevString dev_status() override;

    void readStations(Tango::Attribute &attribute);
    void readRate(Tango::Attribute &attribute);
    void writeRate(Tango::WAttribute &attribute);
    void readLastError(Tango::Attribute &attribute);
    void readLastErrorNumber(Tango::Attribute &attribute);

    std::vector<Tango::DevLong> scan();
    void stopAll();
    void reconnect();
    std::vector<Tango::DevLong> readAnalogInputs(Tango::DevShort board);
    std::vector<Tango::DevLong> readDigitalInputs(Tango::DevShort board);
    void writeDigitalOutputs(std::vector<Tango::DevLong> boardPortValue);
    void configureDigitalIO(std::vector<Tango::DevLong> boardPortOutputs);

private:
    std::shared_ptr<Line> line_;
    bool started_ = false;      // init_device ran once: later runs are the Init command
    std::string startProblem_;  // why the last open, scan or initialisation failed

    Tango::DevLong stations_[kStations] = {};
    Tango::DevLong rate_ = 0;
    Tango::DevLong lastErrorNumber_ = 0;
    std::string lastError_;
    Tango::DevString lastErrorText_ = nullptr;
};

class LineClass : public ServedClass {
public:
    static LineClass *create(const char *name);
    void command_factory() override;
    void attribute_factory(std::vector<Tango::Attr *> &attributes) override;
    void device_factory(const Tango::DevVarStringArray *names) override;
    // Without a database and without -dlist for this class: one line device.
    void device_name_factory(std::vector<std::string> &names) override;

private:
    explicit LineClass(std::string &name) : ServedClass(name) {}
};

}  // namespace corvextango
