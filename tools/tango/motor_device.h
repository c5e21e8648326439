// SPDX-License-Identifier: MIT
// CorvexMotor: one station of a line as a Tango device (properties Address and Line).
#pragma once

#include "failure.h"
#include "line.h"
#include "tango_glue.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace corvextango {

class Motor : public Tango::Device_5Impl {
public:
    Motor(Tango::DeviceClass *deviceClass, std::string &name);
    ~Motor() override;

    void init_device() override;
    void delete_device() override;
    // MOVING while the station runs, ALARM while a limit switch is active, FAULT when the
    // line is lost or not open or the station does not answer, ON otherwise. Reads the
    // position right after the status register and records it as Position (see
    // recordPosition), so the two never disagree about the end of a move.
    Tango::DevState dev_state() override;
    Tango::ConstDevString dev_status() override;

    void readPosition(Tango::Attribute &attribute);
    void writePosition(Tango::WAttribute &attribute);
    void readEncoder(Tango::Attribute &attribute);
    void readVelocity(Tango::Attribute &attribute);
    void writeVelocity(Tango::WAttribute &attribute);
    void readBaseRate(Tango::Attribute &attribute);
    void writeBaseRate(Tango::WAttribute &attribute);
    void readAcceleration(Tango::Attribute &attribute);
    void writeAcceleration(Tango::WAttribute &attribute);
    void readCurrent(Tango::Attribute &attribute);
    void writeCurrent(Tango::WAttribute &attribute);
    void readStatusRegister(Tango::Attribute &attribute);
    void readStatusBit(Tango::Attribute &attribute);
    void readLimitSwitches(Tango::Attribute &attribute);
    void readDirection(Tango::Attribute &attribute);
    void writeDirection(Tango::WAttribute &attribute);

    void stop();
    void abort();
    void moveRelative(Tango::DevDouble steps);
    void jog(Tango::DevDouble velocity);
    void resetPosition();

private:
    // The line of the motor; a Failure when the Line property names none.
    Line &line();
    // The station's address text ("3"); a Failure when the device has no usable address.
    const char *address();
    int station();  // the address as a number, under the same check
    // A read of the station: waits out a silent station's back-off instead of asking again.
    void read(const char *what, const std::function<int(CorvexLinkLine *, const char *)> &call);
    // An action on the station (a write or a command): always asked.
    void act(const char *what, const std::function<int(CorvexLinkLine *, const char *)> &call);
    std::int32_t statusRegister();
    std::int32_t positionCount();
    // Reads the position and puts it (or the failure) in Position's polling buffer and its
    // change events.
    void recordPosition();
    void readKnown(Tango::Attribute &attribute, std::optional<int> value, Tango::DevDouble &slot);
    std::string faultText(const Failure &failure) const;

    std::shared_ptr<Line> line_;
    std::string lineProblem_;  // why there is no line

    std::optional<int> address_;
    std::string addressText_;
    std::string addressProblem_;  // why there is no address

    // A station that did not answer is asked again only after a pause, so polling a
    // missing station does not hold the line for 600 ms at every period.
    std::optional<Failure> silence_;
    std::chrono::steady_clock::time_point silentUntil_{};
    unsigned silentGeneration_ = 0;

    Tango::DevState lastState_ = Tango::UNKNOWN;
    std::string lastStatus_;

    // The values handed to Tango stay valid after a read returns.
    Tango::DevDouble position_ = 0;
    Tango::DevDouble recordedPosition_ = 0;
    Tango::DevDouble velocity_ = 0;
    Tango::DevDouble baseRate_ = 0;
    Tango::DevDouble acceleration_ = 0;
    Tango::DevLong current_ = 0;
    Tango::DevLong encoder_ = 0;
    Tango::DevLong statusRegister_ = 0;
    Tango::DevBoolean statusBit_ = false;
    Tango::DevBoolean limitSwitches_[2] = {false, false};
    Tango::DevShort direction_ = 1;
};

class MotorClass : public ServedClass {
public:
    static MotorClass *create(const char *name);
    void command_factory() override;
    void attribute_factory(std::vector<Tango::Attr *> &attributes) override;
    void device_factory(const Tango::DevVarStringArray *names) override;

private:
    explicit MotorClass(std::string &name) : ServedClass(name) {}
};

}  // namespace corvextango
