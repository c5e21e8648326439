// SPDX-License-Identifier: MIT
// CorvexLine: opening, scanning and initialising the line from the device's properties;
// its state, attributes and commands.
#include "line_device.h"

#include "checks.h"

#include <CorvexLink.h>

#include <iostream>

namespace corvextango {

namespace {

std::string joined(const std::vector<int> &values) {
    std::string text;
    for (int v : values) text += (text.empty() ? "" : ", ") + std::to_string(v);
    return text.empty() ? "none" : text;
}

// A board's user I/O port (1 to 3) as the address text of its controller.
std::string userPortAddress(long board, long port) {
    inRange(board, 0, kBoards - 1, "The board");
    inRange(port, 1, kUserPorts, "The user I/O port");
    return std::to_string(4 * board + port);
}

}  // namespace

LineDevice::LineDevice(Tango::DeviceClass *deviceClass, std::string &name)
    : Tango::Device_5Impl(deviceClass, name), line_(Lines::instance().add(name)) {
    init_device();
}

LineDevice::~LineDevice() {
    delete_device();
    Tango::string_free(lastErrorText_);
    const LineHealth health = line_->health();
    const bool wasOpen = health == LineHealth::Open || health == LineHealth::Lost;
    // The motors may still hold the line: closed here, its calls fail from now on.
    line_->close();
    Lines::instance().remove(get_name());
    if (wasOpen) std::cout << "corvexlink-tango: " << line_->portText() << " closed" << std::endl;
}

void LineDevice::delete_device() {}

void LineDevice::init_device() {
    const bool initCommand = started_;
    started_ = true;
    startProblem_.clear();
    LineSettings settings;
    std::vector<Tango::DbDatum> properties = deviceProperties(*this, {"Port", "Rate"});
    if (!properties[0].is_empty()) properties[0] >> settings.port;
    if (!properties[1].is_empty()) properties[1] >> settings.rate;

    // A failure here is not thrown: the server must start (and Init return) so that
    // clients can read the state and the status that say why, and Reconnect later.
    try {
        if (!initCommand) {
            line_->open(settings);
            line_->scan();
        } else {
            // Init: the line is opened again only when its properties changed or it is
            // not in use, and scanned again only when a new line was opened (another port
            // or rate: its station table is empty); then the boards are initialised. So a
            // recovery or an initialisation stays well within a client's 3 s time-out; a
            // scan alone takes 2.4 s with twelve silent addresses.
            bool fresh = false;
            if (settings != line_->settings() || line_->health() != LineHealth::Open)
                fresh = line_->open(settings);
            if (fresh) line_->scan();
            line_->initialiseBoards();
        }
    } catch (const Failure &failure) {
        startProblem_ = failure.what();
    }
    dev_state();
}

Tango::DevState LineDevice::dev_state() {
    Tango::DevState state = Tango::FAULT;
    std::string status;
    switch (line_->health()) {
    case LineHealth::Open:
        state = Tango::ON;
        status = line_->portText() + " is open at " + std::to_string(line_->rate()) +
                 " baud; stations found: " + joined(line_->stations());
        if (!startProblem_.empty()) status += "\nThe last initialisation failed: " + startProblem_;
        break;
    case LineHealth::Lost:
    case LineHealth::OpenFailed: status = line_->healthText(); break;
    case LineHealth::Closed: status = "The line is closed"; break;
    }
    set_state(state);
    set_status(status);
    return state;
}

Tango::ConstDevString LineDevice::dev_status() {
    dev_state();
    return get_status().c_str();
}

void LineDevice::readStations(Tango::Attribute &attribute) {
    const std::vector<int> found = line_->stations();
    for (std::size_t i = 0; i < found.size(); ++i) stations_[i] = found[i];
    attribute.set_value(stations_, static_cast<long>(found.size()));
}

void LineDevice::readRate(Tango::Attribute &attribute) {
    rate_ = static_cast<Tango::DevLong>(line_->rate());
    attribute.set_value(&rate_);
}

void LineDevice::writeRate(Tango::WAttribute &attribute) {
    Tango::DevLong rate = 0;
    attribute.get_write_value(rate);
    line_->changeRate(rate);
}

void LineDevice::readLastError(Tango::Attribute &attribute) {
    Tango::string_free(lastErrorText_);
    lastErrorText_ = Tango::string_dup(line_->lastError().message.c_str());
    attribute.set_value(&lastErrorText_);
}

void LineDevice::readLastErrorNumber(Tango::Attribute &attribute) {
    lastErrorNumber_ = line_->lastError().number;
    attribute.set_value(&lastErrorNumber_);
}

std::vector<Tango::DevLong> LineDevice::scan() {
    const std::vector<int> found = line_->scan();
    return {found.begin(), found.end()};
}

void LineDevice::stopAll() {
    std::string failures;
    std::optional<int> number;
    for (int address : line_->stations()) {
        try {
            line_->stop(address);
        } catch (const Failure &failure) {
            // Every station is asked to stop, whatever happened to the one before.
            if (failure.kind() != FailureKind::Library) throw;
            failures += (failures.empty() ? "" : "; ") + std::string("station ") +
                        std::to_string(address) + ": " + failure.what();
            number = failure.number();
        }
    }
    if (!failures.empty()) throw Failure(FailureKind::Library, failures, number);
}

void LineDevice::reconnect() {
    startProblem_.clear();
    line_->reconnect();
}

std::vector<Tango::DevLong> LineDevice::readAnalogInputs(Tango::DevShort board) {
    const std::string master = std::to_string(4 * inRange(board, 0, kBoards - 1, "The board"));
    std::int32_t values[CORVEXLINK_ADC_CHANNELS] = {};
    line_->call("ReadAllChannelsADC", [&](CorvexLinkLine *l) {
        return CorvexLinkLineReadAllChannelsADC(l, master.c_str(), CORVEXLINK_ADC_RESOLUTION_MAX,
                                                values);
    });
    return {values, values + CORVEXLINK_ADC_CHANNELS};
}

std::vector<Tango::DevLong> LineDevice::readDigitalInputs(Tango::DevShort board) {
    std::vector<Tango::DevLong> inputs;
    for (int port = 1; port <= kUserPorts; ++port) {
        const std::string address = userPortAddress(board, port);
        std::int32_t value = 0;
        line_->call("ReadDigitalUserIO", [&](CorvexLinkLine *l) {
            return CorvexLinkLineReadDigitalUserIO(l, address.c_str(), &value);
        });
        inputs.push_back(value);
    }
    return inputs;
}

void LineDevice::writeDigitalOutputs(std::vector<Tango::DevLong> boardPortValue) {
    if (boardPortValue.size() != 3)
        throw Failure(FailureKind::Argument,
                      "WriteDigitalOutputs takes three numbers: board, port (1 to 3), outputs");
    const std::string address = userPortAddress(boardPortValue[0], boardPortValue[1]);
    const int outputs = inRange(boardPortValue[2], 0, kMaxUserLines, "The outputs");
    line_->call("WriteDigitalUserIO", [&](CorvexLinkLine *l) {
        return CorvexLinkLineWriteDigitalUserIO(l, address.c_str(), outputs);
    });
}

void LineDevice::configureDigitalIO(std::vector<Tango::DevLong> boardPortOutputs) {
    if (boardPortOutputs.size() != 3)
        throw Failure(FailureKind::Argument,
                      "ConfigureDigitalIO takes three numbers: board, port (1 to 3), output lines");
    const std::string address = userPortAddress(boardPortOutputs[0], boardPortOutputs[1]);
    const int config = inRange(boardPortOutputs[2], 0, kMaxUserLines, "The output lines");
    line_->call("ConfigureDigitalUserIO", [&](CorvexLinkLine *l) {
        return CorvexLinkLineConfigureDigitalUserIO(l, address.c_str(), config);
    });
}

// ---------------------------------------------------------------------------------------

LineClass *LineClass::create(const char *name) {
    std::string text = name;
    return new LineClass(text);
}

void LineClass::command_factory() {
    command_list.push_back(
        command("Scan", &LineDevice::scan, "", "The addresses that answered, ascending"));
    command_list.push_back(command("StopAll", &LineDevice::stopAll));
    command_list.push_back(command("Reconnect", &LineDevice::reconnect));
    command_list.push_back(command("ReadAnalogInputs", &LineDevice::readAnalogInputs,
                                   "Board 0 to 3", "The 11 analog inputs at 12 bits"));
    command_list.push_back(command("ReadDigitalInputs", &LineDevice::readDigitalInputs,
                                   "Board 0 to 3", "The inputs of user I/O ports 1, 2 and 3"));
    command_list.push_back(command("WriteDigitalOutputs", &LineDevice::writeDigitalOutputs,
                                   "Board 0 to 3, user I/O port 1 to 3, outputs 0 to 255"));
    command_list.push_back(command("ConfigureDigitalIO", &LineDevice::configureDigitalIO,
                                   "Board 0 to 3, user I/O port 1 to 3, output lines 0 to 255"));
}

void LineClass::attribute_factory(std::vector<Tango::Attr *> &attributes) {
    using A = MemberAttribute<LineDevice>;
    using S = MemberAttribute<LineDevice, Tango::SpectrumAttr>;
    attributes.push_back(new S("Stations", Tango::DEV_LONG, kStations, &LineDevice::readStations,
                               {"Addresses of the stations found by the last scan"}));
    attributes.push_back(
        new A("Rate", Tango::DEV_LONG, &LineDevice::readRate, &LineDevice::writeRate,
              {"Line rate; writing moves every station found and the port to it", "baud"}));
    attributes.push_back(new A("LastError", Tango::DEV_STRING, &LineDevice::readLastError, nullptr,
                               {"Message of the last failure the server met on the line"}));
    attributes.push_back(new A("LastErrorNumber", Tango::DEV_LONG, &LineDevice::readLastErrorNumber,
                               nullptr, {"The library's number of that failure (0: none yet)"}));
}

void LineClass::device_factory(const Tango::DevVarStringArray *names) {
    pollStateByDefault();
    for (CORBA::ULong i = 0; i < names->length(); ++i) {
        std::string name = (*names)[i].in();
        LineDevice *device = new LineDevice(this, name);
        device_list.push_back(device);
        exportServed(device);
    }
}

void LineClass::device_name_factory(std::vector<std::string> &names) {
    names.push_back("corvex/line/1");
}

}  // namespace corvextango
