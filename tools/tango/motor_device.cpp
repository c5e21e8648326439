// SPDX-License-Identifier: MIT
// CorvexMotor: position, counters, rates, current, status register and its bits, limit
// switches and direction of one station, its moves and stops, its state in Tango terms.
#include "motor_device.h"

#include "checks.h"

#include <CorvexLink.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace corvextango {

namespace {

constexpr auto kSilentPause = std::chrono::seconds(2);

Tango::DevState stateOf(MotorCondition condition) {
    switch (condition) {
    case MotorCondition::Moving: return Tango::MOVING;
    case MotorCondition::Alarm: return Tango::ALARM;
    case MotorCondition::Idle: break;
    }
    return Tango::ON;
}

// Tango compares attribute names without regard to case.
bool sameName(const std::string &a, const std::string &b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

template <class T>
T written(Tango::WAttribute &attribute) {
    T value{};
    attribute.get_write_value(value);
    return value;
}

}  // namespace

Motor::Motor(Tango::DeviceClass *deviceClass, std::string &name)
    : Tango::Device_5Impl(deviceClass, name) {
    init_device();
}

Motor::~Motor() { delete_device(); }

void Motor::delete_device() {}

void Motor::init_device() {
    address_.reset();
    addressProblem_.clear();
    silence_.reset();
    std::vector<Tango::DbDatum> properties = deviceProperties(*this, {"Address", "Line"});
    std::string lineName;
    if (!properties[1].is_empty()) properties[1] >> lineName;
    lineProblem_.clear();
    line_ = Lines::instance().find(lineName, lineProblem_);
    if (!properties[0].is_empty()) {
        std::string text;
        properties[0] >> text;
        char *end = nullptr;
        const long value = std::strtol(text.c_str(), &end, 10);
        if (text.empty() || *end != '\0' || value < 0 || value >= kStations)
            addressProblem_ =
                "The Address property must be a station address from 0 to 15, not \"" + text + "\"";
        else
            address_ = static_cast<int>(value);
    } else if (std::optional<int> fromName = addressFromName(get_name())) {
        address_ = fromName;
    } else {
        addressProblem_ = "No Address property, and the device name does not end in an address "
                          "from 0 to 15";
    }
    if (address_) addressText_ = std::to_string(*address_);

    lastState_ = Tango::UNKNOWN;
    lastStatus_ = "Not read yet";
    set_state(Tango::UNKNOWN);
    set_status(lastStatus_);
}

Line &Motor::line() {
    if (!line_) throw Failure(FailureKind::Argument, lineProblem_);
    return *line_;
}

const char *Motor::address() {
    if (!address_) throw Failure(FailureKind::Argument, addressProblem_);
    return addressText_.c_str();
}

int Motor::station() {
    address();
    return *address_;
}

void Motor::read(const char *what, const std::function<int(CorvexLinkLine *, const char *)> &call) {
    const char *text = address();
    if (silence_ && silentGeneration_ == line().generation() &&
        std::chrono::steady_clock::now() < silentUntil_) {
        line().checkUsable();  // a line that is lost or closed since says so first
        throw *silence_;
    }
    silence_.reset();
    try {
        line().call(what, [&](CorvexLinkLine *handle) { return call(handle, text); });
    } catch (const Failure &failure) {
        if (failure.kind() == FailureKind::Library &&
            failure.number() == CORVEXLINK_ERR_NO_ANSWER) {
            silence_ = failure;
            silentUntil_ = std::chrono::steady_clock::now() + kSilentPause;
            silentGeneration_ = line().generation();
        }
        throw;
    }
}

void Motor::act(const char *what, const std::function<int(CorvexLinkLine *, const char *)> &call) {
    const char *text = address();
    line().call(what, [&](CorvexLinkLine *handle) { return call(handle, text); });
    silence_.reset();
}

std::int32_t Motor::statusRegister() {
    std::int32_t status = 0;
    read("MotorGetStatusRegister", [&](CorvexLinkLine *l, const char *a) {
        return CorvexLinkLineMotorGetStatusRegister(l, a, &status);
    });
    return status;
}

std::int32_t Motor::positionCount() {
    std::int32_t position = 0;
    read("MotorGetPosition", [&](CorvexLinkLine *l, const char *a) {
        return CorvexLinkLineMotorGetPosition(l, a, &position);
    });
    return position;
}

void Motor::recordPosition() {
    std::string name = "Position";  // libtango takes the name by reference
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(since).count();
    const timeval now{static_cast<time_t>(micros / 1000000),
                      static_cast<suseconds_t>(micros % 1000000)};
    Tango::AttrHistoryStack<Tango::DevDouble> record;
    std::optional<Tango::DevFailed> error;
    try {
        recordedPosition_ = positionCount();
        record.push(Tango::TimedAttrData<Tango::DevDouble>(&recordedPosition_, now));
    } catch (const Failure &failure) {
        error = tangoError(failure, get_name() + " read Position");
        record.push(Tango::TimedAttrData<Tango::DevDouble>(error->errors, now));
    }
    try {
        // The buffer first: a client told of the new value reads it from there.
        Tango::Util::instance()->fill_attr_polling_buffer(this, name, record);
    } catch (const Tango::DevFailed &) {
        // Position's polling was stopped by a client: its reads go to the station.
    }
    try {
        if (error)
            push_change_event(name, &*error);
        else
            push_change_event(name, &recordedPosition_);
    } catch (const Tango::DevFailed &) {
        // Nobody to tell (the event system is not running): the buffer holds the value.
    }
}

std::string Motor::faultText(const Failure &failure) const {
    switch (failure.kind()) {
    case FailureKind::Lost:
    case FailureKind::Argument: return failure.what();
    case FailureKind::NotOpen: return std::string("The line is not open: ") + failure.what();
    case FailureKind::Busy: return failure.what();
    case FailureKind::Library: break;
    }
    const std::string station = "Station " + addressText_;
    if (failure.number() == CORVEXLINK_ERR_NO_ANSWER)
        return station + " does not answer: " + failure.what();
    return station + " reported a failure: " + failure.what() + " (error " +
           std::to_string(failure.number().value_or(0)) + ")";
}

Tango::DevState Motor::dev_state() {
    Tango::DevState state = Tango::FAULT;
    std::string status;
    try {
        const MotorReading reading = readStatus(statusRegister());
        state = stateOf(reading.condition);
        status = "Station " + addressText_ + ": " + reading.status;
    } catch (const Failure &failure) {
        if (failure.kind() == FailureKind::Busy) {
            // Not read: the line is busy for a moment. The last state stands.
            state = lastState_;
            status = lastStatus_ + " [not read now: " + failure.what() + "]";
        } else {
            status = faultText(failure);
        }
    }
    if (status.find("[not read now") == std::string::npos) {
        lastState_ = state;
        lastStatus_ = status;
    }
    // Read after the status register: when that says the move has ended, this is where it
    // ended. Recorded before State is, so a client that sees the end in State (or in its
    // change event) finds the final position in Position's polling buffer (and has had its
    // change event).
    recordPosition();
    set_state(state);
    set_status(status);
    return state;
}

Tango::ConstDevString Motor::dev_status() {
    dev_state();
    return get_status().c_str();
}

void Motor::readPosition(Tango::Attribute &attribute) {
    position_ = positionCount();
    attribute.set_value(&position_);
}

void Motor::writePosition(Tango::WAttribute &attribute) {
    const std::int32_t target =
        wholeNumber(written<Tango::DevDouble>(attribute), -CORVEXLINK_COUNT_MAX,
                    CORVEXLINK_COUNT_MAX, "Position", "steps");
    act("MotorGoAbsPos", [&](CorvexLinkLine *l, const char *a) {
        return CorvexLinkLineMotorGoAbsPos(l, a, target);
    });
}

void Motor::readEncoder(Tango::Attribute &attribute) {
    std::int32_t count = 0;
    read("EncoderGetPosition", [&](CorvexLinkLine *l, const char *a) {
        return CorvexLinkLineEncoderGetPosition(l, a, &count);
    });
    encoder_ = count;
    attribute.set_value(&encoder_);
}

void Motor::readKnown(Tango::Attribute &attribute, std::optional<int> value,
                      Tango::DevDouble &slot) {
    if (!value) {
        // The station cannot be asked; until the server has set the value it is unknown.
        attribute.set_quality(Tango::ATTR_INVALID);
        return;
    }
    slot = *value;
    attribute.set_value(&slot);
}

void Motor::readVelocity(Tango::Attribute &attribute) {
    readKnown(attribute, line().known(station()).slewRate, velocity_);
}

void Motor::writeVelocity(Tango::WAttribute &attribute) {
    const int rate = wholeNumber(written<Tango::DevDouble>(attribute), CORVEXLINK_RATE_MIN,
                                 CORVEXLINK_RATE_MAX, "Velocity", "steps/s");
    const int a = station();
    line().setKnown(a, [](KnownSettings &k) { k.slewRate.reset(); });
    act("MotorSlewRate", [&](CorvexLinkLine *l, const char *text) {
        return CorvexLinkLineMotorSlewRate(l, text, rate);
    });
    line().setKnown(a, [&](KnownSettings &k) { k.slewRate = rate; });
}

void Motor::readBaseRate(Tango::Attribute &attribute) {
    readKnown(attribute, line().known(station()).firstRate, baseRate_);
}

void Motor::writeBaseRate(Tango::WAttribute &attribute) {
    const int rate = wholeNumber(written<Tango::DevDouble>(attribute), CORVEXLINK_RATE_MIN,
                                 CORVEXLINK_RATE_MAX, "Base_rate", "steps/s");
    const int a = station();
    line().setKnown(a, [](KnownSettings &k) { k.firstRate.reset(); });
    act("MotorFirstRate", [&](CorvexLinkLine *l, const char *text) {
        return CorvexLinkLineMotorFirstRate(l, text, rate);
    });
    line().setKnown(a, [&](KnownSettings &k) { k.firstRate = rate; });
}

void Motor::readAcceleration(Tango::Attribute &attribute) {
    readKnown(attribute, line().known(station()).acceleration, acceleration_);
}

void Motor::writeAcceleration(Tango::WAttribute &attribute) {
    const int accel = wholeNumber(written<Tango::DevDouble>(attribute), CORVEXLINK_ACCEL_MIN,
                                  CORVEXLINK_ACCEL_MAX, "Acceleration", "(units of 1000 steps/s2)");
    const int a = station();
    line().setKnown(a, [](KnownSettings &k) { k.acceleration.reset(); });
    act("MotorAccelDecel", [&](CorvexLinkLine *l, const char *text) {
        return CorvexLinkLineMotorAccelDecel(l, text, accel);
    });
    line().setKnown(a, [&](KnownSettings &k) { k.acceleration = accel; });
}

void Motor::readCurrent(Tango::Attribute &attribute) {
    const std::optional<int> current = line().known(station()).current;
    if (!current) {
        attribute.set_quality(Tango::ATTR_INVALID);
        return;
    }
    current_ = *current;
    attribute.set_value(&current_);
}

void Motor::writeCurrent(Tango::WAttribute &attribute) {
    const int milliamps = inRange(written<Tango::DevLong>(attribute), CORVEXLINK_CURRENT_MIN,
                                  CORVEXLINK_CURRENT_MAX, "Current", "mA");
    const int a = station();
    // The library keeps the current for the next board initialisation even when sending
    // fails; so does the server.
    line().requestCurrent(a, milliamps);
    line().setKnown(a, [](KnownSettings &k) { k.current.reset(); });
    act("MotorSetCurrent", [&](CorvexLinkLine *l, const char *text) {
        return CorvexLinkLineMotorSetCurrent(l, text, milliamps);
    });
    line().setKnown(a, [&](KnownSettings &k) { k.current = milliamps; });
}

void Motor::readStatusRegister(Tango::Attribute &attribute) {
    statusRegister_ = statusRegister();
    attribute.set_value(&statusRegister_);
}

void Motor::readStatusBit(Tango::Attribute &attribute) {
    const std::string &name = attribute.get_name();
    int bit = 0;
    while (bit + 1 < CORVEXLINK_STATUS_BIT_COUNT && !sameName(statusBitAttribute(bit), name)) ++bit;
    statusBit_ = (statusRegister() >> bit) & 1;
    attribute.set_value(&statusBit_);
}

void Motor::readLimitSwitches(Tango::Attribute &attribute) {
    const std::int32_t status = statusRegister();
    limitSwitches_[0] = (status & CORVEXLINK_STATUS_LS_CCW) != 0;
    limitSwitches_[1] = (status & CORVEXLINK_STATUS_LS_CW) != 0;
    attribute.set_value(limitSwitches_, 2);
}

void Motor::readDirection(Tango::Attribute &attribute) {
    const char *text = address();
    // The library remembers the direction it last set; the station is not asked.
    direction_ = line().local([&](CorvexLinkLine *l) {
        return CorvexLinkLineGetMotorDirection(l, text);
    }) == 0
                     ? -1
                     : 1;
    attribute.set_value(&direction_);
}

void Motor::writeDirection(Tango::WAttribute &attribute) {
    const Tango::DevShort direction = written<Tango::DevShort>(attribute);
    if (direction != 1 && direction != -1)
        throw Failure(FailureKind::Argument,
                      "Direction must be 1 (clockwise, +) or -1 (counter-clockwise, -); " +
                          std::to_string(direction) + " was refused and nothing was sent");
    act("MotorDirection", [&](CorvexLinkLine *l, const char *a) {
        return CorvexLinkLineMotorDirection(l, a, direction == 1 ? 1 : 0);
    });
}

void Motor::stop() { line().stop(station()); }

// The station has one stop, which ends any motion at once: Abort sends it too.
void Motor::abort() { line().stop(station()); }

void Motor::moveRelative(Tango::DevDouble steps) {
    const std::int32_t count =
        wholeNumber(steps, -CORVEXLINK_COUNT_MAX, CORVEXLINK_COUNT_MAX, "MoveRelative", "steps");
    act("MotorNumberStepRel", [&](CorvexLinkLine *l, const char *a) {
        return CorvexLinkLineMotorNumberStepRel(l, a, count);
    });
}

void Motor::jog(Tango::DevDouble velocity) {
    const int speed =
        wholeNumber(std::fabs(velocity), CORVEXLINK_RATE_MIN, CORVEXLINK_RATE_MAX,
                    "The size of Jog's velocity (its sign is the direction)", "steps/s");
    const int direction = velocity > 0 ? 1 : 0;
    act("MotorJog", [&](CorvexLinkLine *l, const char *a) {
        return CorvexLinkLineMotorChangeJogSpeed(l, a, speed) == 1
                   ? CorvexLinkLineMotorJog(l, a, direction)
                   : -1;
    });
}

void Motor::resetPosition() {
    act("MotorSetPosition", [&](CorvexLinkLine *l, const char *a) {
        return CorvexLinkLineMotorSetPosition(l, a, 0) == 1
                   ? CorvexLinkLineEncoderSetPosition(l, a, 0)
                   : -1;
    });
}

// ---------------------------------------------------------------------------------------

MotorClass *MotorClass::create(const char *name) {
    std::string text = name;
    return new MotorClass(text);
}

void MotorClass::command_factory() {
    command_list.push_back(command("Stop", &Motor::stop));
    command_list.push_back(command("Abort", &Motor::abort));
    command_list.push_back(
        command("MoveRelative", &Motor::moveRelative,
                "Steps from the present position (negative: counter-clockwise)"));
    // libtango copies the description.
    const std::string jog = "Velocity in steps/s, " + limitText(CORVEXLINK_RATE_MIN) + " to " +
                            limitText(CORVEXLINK_RATE_MAX) + " (negative: counter-clockwise)";
    command_list.push_back(command("Jog", &Motor::jog, jog.c_str()));
    command_list.push_back(command("ResetPosition", &Motor::resetPosition));
}

void MotorClass::attribute_factory(std::vector<Tango::Attr *> &attributes) {
    using A = MemberAttribute<Motor>;
    using S = MemberAttribute<Motor, Tango::SpectrumAttr>;
    // The limits clients see are the library's, so Tango itself refuses what the library
    // would; the server checks again whatever a client sets them to.
    const std::string rateMin = limitText(CORVEXLINK_RATE_MIN);
    const std::string rateMax = limitText(CORVEXLINK_RATE_MAX);
    auto *position =
        new A("Position", Tango::DEV_DOUBLE, &Motor::readPosition, &Motor::writePosition,
              {"Position counter; writing starts an absolute move", "steps",
               limitText(-CORVEXLINK_COUNT_MAX), limitText(CORVEXLINK_COUNT_MAX), "1", "%.0f"});
    // Position is not polled on its own: the poll of State reads it right after the status
    // register and records it (Motor::recordPosition), with change events of its own.
    position->set_change_event(true, true);
    attributes.push_back(position);
    attributes.push_back(new A("Encoder", Tango::DEV_LONG, &Motor::readEncoder, nullptr,
                               {"Encoder counter", "counts"}));
    attributes.push_back(
        new A("Velocity", Tango::DEV_DOUBLE, &Motor::readVelocity, &Motor::writeVelocity,
              {"Slew (top) rate of moves", "steps/s", rateMin, rateMax, "", "%.0f"}));
    attributes.push_back(
        new A("Base_rate", Tango::DEV_DOUBLE, &Motor::readBaseRate, &Motor::writeBaseRate,
              {"First (start) rate of moves", "steps/s", rateMin, rateMax, "", "%.0f"}));
    attributes.push_back(new A(
        "Acceleration", Tango::DEV_DOUBLE, &Motor::readAcceleration, &Motor::writeAcceleration,
        {"Acceleration and deceleration, in 1000 steps/s2", "", limitText(CORVEXLINK_ACCEL_MIN),
         limitText(CORVEXLINK_ACCEL_MAX), "", "%.0f"}));
    attributes.push_back(new A("Current", Tango::DEV_LONG, &Motor::readCurrent,
                               &Motor::writeCurrent,
                               {"Winding current", "mA", limitText(CORVEXLINK_CURRENT_MIN),
                                limitText(CORVEXLINK_CURRENT_MAX)}));
    attributes.push_back(new A("StatusRegister", Tango::DEV_LONG, &Motor::readStatusRegister,
                               nullptr,
                               {"Status register of the station", "", "", "", "", "0x%03X"}));
    for (int bit = 0; bit < CORVEXLINK_STATUS_BIT_COUNT; ++bit) {
        // The attribute objects keep the name's pointer: the names live as long as the class.
        static std::string names[CORVEXLINK_STATUS_BIT_COUNT];
        names[bit] = statusBitAttribute(bit);
        attributes.push_back(new A(names[bit].c_str(), Tango::DEV_BOOLEAN, &Motor::readStatusBit,
                                   nullptr, {"Bit of the status register"}));
    }
    attributes.push_back(
        new S("Limit_switches", Tango::DEV_BOOLEAN, 2, &Motor::readLimitSwitches,
              {"The counter-clockwise and the clockwise limit switch (LS-CCW, LS-CW)"}));
    attributes.push_back(new A("Direction", Tango::DEV_SHORT, &Motor::readDirection,
                               &Motor::writeDirection,
                               {"Direction of the next moves: 1 clockwise (+), -1 "
                                "counter-clockwise (-)",
                                "", "-1", "1"}));
}

void MotorClass::device_factory(const Tango::DevVarStringArray *names) {
    pollStateByDefault();
    for (CORBA::ULong i = 0; i < names->length(); ++i) {
        std::string name = (*names)[i].in();
        Motor *motor = new Motor(this, name);
        // Position's polling buffer is filled by the poll of State ("externally triggered",
        // period 0), unless the database's polled_attr gives Position a period of its own.
        std::vector<std::string> &polled = motor->get_polled_attr();
        bool listed = false;
        for (std::size_t at = 0; at < polled.size(); at += 2)
            listed = listed || sameName(polled[at], "Position");
        if (!listed) {
            polled.push_back("position");
            polled.push_back("0");
        }
        device_list.push_back(motor);
        exportServed(motor);
    }
}

}  // namespace corvextango
