// SPDX-License-Identifier: MIT
// Failures as Tango exceptions, attribute defaults, device properties and the export of a
// device with or without a database server.
#include "tango_glue.h"

namespace corvextango {

void throwTango(const Failure &failure, const std::string &origin) {
    std::string description = failure.what();
    if (failure.number()) description += " (error " + std::to_string(*failure.number()) + ")";
    Tango::Except::throw_exception(failure.reason(), description, origin);
}

Tango::DevFailed tangoError(const Failure &failure, const std::string &origin) {
    try {
        throwTango(failure, origin);
    } catch (const Tango::DevFailed &error) {
        return error;
    }
}

void applyText(Tango::Attr &attr, const AttributeText &text) {
    Tango::UserDefaultAttrProp properties;
    properties.set_description(text.description.c_str());
    if (!text.unit.empty()) properties.set_unit(text.unit.c_str());
    if (!text.minValue.empty()) properties.set_min_value(text.minValue.c_str());
    if (!text.maxValue.empty()) properties.set_max_value(text.maxValue.c_str());
    if (!text.absChange.empty()) properties.set_abs_change(text.absChange.c_str());
    if (!text.format.empty()) properties.set_format(text.format.c_str());
    attr.set_default_properties(properties);
}

std::vector<Tango::DbDatum> deviceProperties(Tango::DeviceImpl &device,
                                             const std::vector<std::string> &names) {
    Tango::DbData data;
    for (const std::string &name : names) data.push_back(Tango::DbDatum(name));
    if (Tango::Util::_UseDb) device.get_db_device()->get_property(data);
    return data;
}

void ServedClass::exportServed(Tango::DeviceImpl *device) {
    // Without a database server the object key must be the device name, or clients that
    // ask for tango://HOST:PORT/<name>#dbase=no do not find the device.
    if (Tango::Util::_UseDb && !Tango::Util::_FileDb)
        export_device(device);
    else
        export_device(device, device->get_name().c_str());
}

void ServedClass::pollStateByDefault() {
    for (Tango::Command *command : get_command_list())
        if (command->get_lower_name() == "state") command->set_polling_period(kPollingPeriod);
}

}  // namespace corvextango
