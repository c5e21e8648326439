// SPDX-License-Identifier: MIT
// Small pieces shared by the two device classes: attributes and commands that call member
// functions of their device, and the server's failures turned into Tango exceptions.
#pragma once

#include "failure.h"

// libtango's headers are not warning-free under -Wall -Wextra; they are included as system
// headers (see CMakeLists.txt).
#include <tango.h>

#include <functional>
#include <string>
#include <type_traits>
#include <vector>

namespace corvextango {

// The polling period of State (both classes) defined in the code: it is not written to the
// database, and a polled_attr property there takes precedence. A motor's Position is read
// and recorded by the same poll.
inline constexpr long kPollingPeriod = 200;  // ms

// Throws `failure` as a DevFailed: its reason (CorvexLink_Error_<number>, ...), its message
// as the description, and `origin` (device and operation).
[[noreturn]] void throwTango(const Failure &failure, const std::string &origin);
// The same DevFailed, returned instead of thrown (for a polling buffer or an error event).
Tango::DevFailed tangoError(const Failure &failure, const std::string &origin);

// Runs `body`, turning a Failure into a DevFailed whose origin names the device, what was
// done (`how`: "read", "write", "command") and the attribute or command `name`.
template <class Body>
auto translated(Tango::DeviceImpl *device, const char *how, const std::string &name, Body &&body)
    -> decltype(body()) {
    try {
        return body();
    } catch (const Failure &failure) {
        throwTango(failure, device->get_name() + " " + how + " " + name);
    }
}

// Default properties of an attribute: label, unit, description, limits and the smallest
// change that makes a change event; an empty text sets nothing.
struct AttributeText {
    std::string description = {};
    std::string unit = {};
    std::string minValue = {};
    std::string maxValue = {};
    std::string absChange = {};
    std::string format = {};
};

// A limit of the library (CORVEXLINK_RATE_MAX, ...) as an attribute property's text.
inline std::string limitText(long value) { return std::to_string(value); }

void applyText(Tango::Attr &attr, const AttributeText &text);

// A scalar or spectrum attribute read (and written) by member functions of device D.
template <class D, class Base = Tango::Attr>
class MemberAttribute : public Base {
public:
    using Reader = void (D::*)(Tango::Attribute &);
    using Writer = void (D::*)(Tango::WAttribute &);

    // Scalar.
    MemberAttribute(const char *name, long type, Reader reader, Writer writer,
                    const AttributeText &text) requires std::is_same_v<Base, Tango::Attr>
        : Base(name, type, writer ? Tango::READ_WRITE : Tango::READ),
          reader_(reader),
          writer_(writer) {
        applyText(*this, text);
    }
    // Spectrum of at most `length` elements, read only.
    MemberAttribute(const char *name, long type, long length, Reader reader,
                    const AttributeText &text) requires std::is_same_v<Base, Tango::SpectrumAttr>
        : Base(name, type, length), reader_(reader), writer_(nullptr) {
        applyText(*this, text);
    }

    void read(Tango::DeviceImpl *device, Tango::Attribute &attribute) override {
        D *self = static_cast<D *>(device);
        translated(device, "read", this->get_name(),
                   [&] { std::invoke(reader_, self, attribute); });
    }
    void write(Tango::DeviceImpl *device, Tango::WAttribute &attribute) override {
        D *self = static_cast<D *>(device);
        translated(device, "write", this->get_name(),
                   [&] { std::invoke(writer_, self, attribute); });
    }
    bool is_allowed(Tango::DeviceImpl *, Tango::AttReqType) override { return true; }

private:
    Reader reader_;
    Writer writer_;
};

// The Tango argument type of a command's input or output.
template <class T>
constexpr Tango::CmdArgType argType() {
    if constexpr (std::is_void_v<T>)
        return Tango::DEV_VOID;
    else if constexpr (std::is_same_v<T, Tango::DevDouble>)
        return Tango::DEV_DOUBLE;
    else if constexpr (std::is_same_v<T, Tango::DevShort>)
        return Tango::DEV_SHORT;
    else if constexpr (std::is_same_v<T, Tango::DevLong>)
        return Tango::DEV_LONG;
    else {
        static_assert(std::is_same_v<T, std::vector<Tango::DevLong>>, "unsupported argument");
        return Tango::DEVVAR_LONGARRAY;
    }
}

template <class... T>
constexpr Tango::CmdArgType inputType() {
    if constexpr (sizeof...(T) == 0)
        return Tango::DEV_VOID;
    else
        return argType<T...>();
}

// A command that calls `Out D::method(In)` or `Out D::method()`.
template <class D, class Out, class... In>
class MemberCommand : public Tango::Command {
public:
    using Method = Out (D::*)(In...);

    MemberCommand(const char *name, Method method, const char *inText, const char *outText)
        : Tango::Command(name, inputType<In...>(), argType<Out>(), inText, outText,
                         Tango::OPERATOR),
          method_(method) {}

    CORBA::Any *execute(Tango::DeviceImpl *device, const CORBA::Any &in) override {
        D *self = static_cast<D *>(device);
        return translated(device, "command", get_name(), [&]() -> CORBA::Any * {
            if constexpr (sizeof...(In) == 0) {
                (void)in;
                return result([&] { return std::invoke(method_, self); });
            } else {
                return result([&] { return std::invoke(method_, self, argument<In...>(in)); });
            }
        });
    }
    bool is_allowed(Tango::DeviceImpl *, const CORBA::Any &) override { return true; }

private:
    template <class T>
    T argument(const CORBA::Any &in) {
        if constexpr (std::is_same_v<T, std::vector<Tango::DevLong>>) {
            const Tango::DevVarLongArray *values = nullptr;
            extract(in, values);
            return std::vector<Tango::DevLong>(values->get_buffer(),
                                               values->get_buffer() + values->length());
        } else {
            T value{};
            extract(in, value);
            return value;
        }
    }
    template <class Call>
    CORBA::Any *result(Call &&call) {
        if constexpr (std::is_void_v<Out>) {
            call();
            return insert();
        } else if constexpr (std::is_same_v<Out, std::vector<Tango::DevLong>>) {
            const std::vector<Tango::DevLong> values = call();
            auto *array = new Tango::DevVarLongArray();
            array->length(static_cast<CORBA::ULong>(values.size()));
            for (std::size_t i = 0; i < values.size(); ++i) (*array)[i] = values[i];
            return insert(array);
        } else {
            return insert(call());
        }
    }
    Method method_;
};

template <class D, class Out, class... In>
Tango::Command *command(const char *name, Out (D::*method)(In...), const char *inText = "",
                        const char *outText = "") {
    return new MemberCommand<D, Out, In...>(name, method, inText, outText);
}

// Properties of a device read from the database (or the file database); a server run
// with -nodb has none. `names` are asked for; the answer is in the same order.
std::vector<Tango::DbDatum> deviceProperties(Tango::DeviceImpl &device,
                                             const std::vector<std::string> &names);

// The base of the server's device classes.
class ServedClass : public Tango::DeviceClass {
protected:
    explicit ServedClass(std::string &name) : Tango::DeviceClass(name) {}
    // Exports a device, under its own name when there is no database server (-nodb or a
    // file database), so clients find it as tango://HOST:PORT/<name>#dbase=no.
    void exportServed(Tango::DeviceImpl *device);
    // Polls State every kPollingPeriod unless the database says otherwise (polled_attr),
    // so that clients can subscribe to its change events.
    void pollStateByDefault();
};

}  // namespace corvextango
