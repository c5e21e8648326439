// SPDX-License-Identifier: MIT
// Subcommands for the board lines and peripherals: trigger, pause, io, adc, spi.
#include "arguments.h"
#include "commands.h"

#include <CorvexLink.h>

#include <cstdint>
#include <memory>

namespace corvexctl {

namespace {

struct ListState {
    std::string list;
    std::string state;
};

// trigger and pause: a motor list and on|off, one call for each state.
void addLineCommand(CLI::App &app, CommandTable &table, const std::string &name,
                    const std::string &help, int (*on)(CorvexLinkLine *, const char *),
                    int (*off)(CorvexLinkLine *, const char *)) {
    auto args = std::make_shared<ListState>();
    auto *cmd = addCommand(app, name, help);
    cmd->add_option("MOTORS", args->list, "motor list such as 0 or 0,1,5")
        ->required()
        ->check(addressList(false));
    cmd->add_option("STATE", args->state, "on or off")
        ->required()
        ->check(CLI::IsMember({"on", "off"}));
    cmd->footer("Each run of corvexctl starts with every trigger and pause line off: the command "
                "sends the\n"
                "whole line state of the boards concerned, so lines that an earlier run switched "
                "on go off\n"
                "(hold several lines from one process with the Python package).");
    table.push_back({cmd, name, [args, name, on, off](Session &s) {
                         CorvexLinkLine *line = s.line();
                         check(line,
                               args->state == "on" ? on(line, args->list.c_str())
                                                   : off(line, args->list.c_str()),
                               name == "trigger" ? "MotorTrigger" : "MotorPause");
                         s.out().result(name,
                                        {{"motors", *parseAddressList(args->list, false)},
                                         {"state", args->state}},
                                        name + " " + args->state + ": " + args->list);
                     }});
}

struct ListValue {
    std::string list;
    int value = 0;
};

// io write / io configure and spi write / spi configure: an address and a value.
void addWriteCommand(CLI::App &group, CommandTable &table, const std::string &name,
                     const std::string &help, const std::string &valueHelp, bool allowList,
                     int (*call)(CorvexLinkLine *, const char *, int)) {
    auto args = std::make_shared<ListValue>();
    auto *cmd = addCommand(group, name.substr(name.rfind(' ') + 1), help);
    cmd->add_option("ADDR", args->list,
                    allowList ? "station address or list" : "station address 0-15")
        ->required()
        ->check(allowList ? addressList(false) : singleAddress());
    cmd->add_option("VALUE", args->value, valueHelp)->required()->transform(wholeNumber(0, 65535));
    table.push_back({cmd, name, [args, name, call](Session &s) {
                         CorvexLinkLine *line = s.line();
                         check(line, call(line, args->list.c_str(), args->value), name.c_str());
                         s.out().result(name, {{"address", args->list}, {"value", args->value}},
                                        name + " " + args->list + ": " +
                                            std::to_string(args->value));
                     }});
}

// io read / spi read: one station, one value.
void addReadCommand(CLI::App &group, CommandTable &table, const std::string &name,
                    const std::string &help,
                    int (*call)(CorvexLinkLine *, const char *, int32_t *)) {
    auto address = std::make_shared<std::string>();
    auto *cmd = addCommand(group, "read", help);
    cmd->add_option("ADDR", *address, "station address 0-15")->required()->check(singleAddress());
    table.push_back({cmd, name, [address, name, call](Session &s) {
                         CorvexLinkLine *line = s.line();
                         int32_t value = 0;
                         check(line, call(line, address->c_str(), &value), name.c_str());
                         s.out().result(name, {{"address", std::stoi(*address)}, {"value", value}},
                                        std::to_string(value));
                     }});
}

}  // namespace

void addBoardCommands(CLI::App &app, CommandTable &table) {
    addLineCommand(app, table, "trigger", "Switch the trigger lines of motors on or off",
                   CorvexLinkLineMotorTriggerON, CorvexLinkLineMotorTriggerOFF);
    addLineCommand(app, table, "pause", "Switch the pause lines of motors on or off",
                   CorvexLinkLineMotorPauseON, CorvexLinkLineMotorPauseOFF);

    auto *io =
        addCommand(app, "io", "Digital user I/O of the user-I/O controllers (not 0, 4, 8, 12)");
    io->require_subcommand(1);
    addReadCommand(*io, table, "io read", "Read the user inputs of a station",
                   CorvexLinkLineReadDigitalUserIO);
    addWriteCommand(*io, table, "io write", "Write the user outputs", "output value 0-65535", true,
                    CorvexLinkLineWriteDigitalUserIO);
    addWriteCommand(*io, table, "io configure", "Configure the user I/O",
                    "configuration value 0-65535", true, CorvexLinkLineConfigureDigitalUserIO);

    struct AdcArgs {
        std::string master;
        std::optional<int> channel;
        int bits = 12;
    };
    auto adc = std::make_shared<AdcArgs>();
    auto *adcCmd = addCommand(app, "adc", "Read one analog channel, or all eleven, of a board");
    adcCmd->add_option("ADDR", adc->master, "the board's master address: 0, 4, 8 or 12")
        ->required()
        ->check(masterAddress());
    adcCmd
        ->add_option("CHANNEL", adc->channel,
                     "channel 0-10 (11-13: references); all channels when left out")
        ->transform(wholeNumber(0, 13));
    adcCmd
        ->add_option("--bits", adc->bits,
                     "resolution: 10 or 12 (8 for one channel too); default 12")
        ->transform(wholeNumberOf({8, 10, 12}));
    table.push_back(
        {adcCmd, "adc", [adc](Session &s) {
             if (!adc->channel && adc->bits == 8)
                 throw CLI::ValidationError("--bits", "all channels are read at 10 or 12 bits");
             CorvexLinkLine *line = s.line();
             nlohmann::json fields = {{"address", std::stoi(adc->master)}, {"bits", adc->bits}};
             if (adc->channel) {
                 int32_t reading = 0;
                 check(line,
                       CorvexLinkLineGetADCchannel(line, adc->master.c_str(), adc->bits,
                                                   *adc->channel, &reading),
                       "GetADCchannel");
                 fields["channel"] = *adc->channel;
                 fields["value"] = reading;
                 s.out().result("adc", fields, std::to_string(reading));
             } else {
                 int32_t values[CORVEXLINK_ADC_CHANNELS] = {};
                 check(
                     line,
                     CorvexLinkLineReadAllChannelsADC(line, adc->master.c_str(), adc->bits, values),
                     "ReadAllChannelsADC");
                 std::vector<int> list(values, values + CORVEXLINK_ADC_CHANNELS);
                 fields["values"] = list;
                 std::string text;
                 for (int i = 0; i < CORVEXLINK_ADC_CHANNELS; ++i)
                     text += (i ? "\n" : "") + std::string("channel ") + std::to_string(i) + ": " +
                             std::to_string(values[i]);
                 s.out().result("adc", fields, text);
             }
         }});

    auto *spi = addCommand(app, "spi", "The SPI bus of a station");
    spi->require_subcommand(1);
    addReadCommand(*spi, table, "spi read", "Read the SPI bus", CorvexLinkLineReadSPI);
    addWriteCommand(*spi, table, "spi write", "Write a value on the SPI bus", "value 0-65535", true,
                    CorvexLinkLineWriteSPI);
    addWriteCommand(*spi, table, "spi configure", "Configure the SPI of a station",
                    "configuration value 0-65535", false, CorvexLinkLineConfigureSPI);
}

}  // namespace corvexctl
