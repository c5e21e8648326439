// SPDX-License-Identifier: MIT
// The Telnet framing of a serial line reached through RFC 2217 (the COM-port option), as a
// pure unit: bytes from the server in, line data, negotiation answers and the server's
// COM-port messages out; and the byte sequences the client sends. It knows no socket and no
// clock, so it is tested and fuzzed on plain byte strings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace corvex::platform::rfc2217 {

// Telnet bytes.
inline constexpr unsigned char kIac = 255;
inline constexpr unsigned char kDont = 254;
inline constexpr unsigned char kDo = 253;
inline constexpr unsigned char kWont = 252;
inline constexpr unsigned char kWill = 251;
inline constexpr unsigned char kSb = 250;
inline constexpr unsigned char kSe = 240;

// Telnet options this client takes part in.
inline constexpr unsigned char kOptionBinary = 0;
inline constexpr unsigned char kOptionSuppressGoAhead = 3;
inline constexpr unsigned char kOptionComPort = 44;

// COM-port commands as the client sends them; the server answers with the same code plus
// kServerOffset.
enum ComPortCommand : unsigned char {
    kSetBaudRate = 1,
    kSetDataSize = 2,
    kSetParity = 3,
    kSetStopSize = 4,
    kSetControl = 5,
    kNotifyLineState = 6,
    kNotifyModemState = 7,
    kPurgeData = 12,
};
inline constexpr unsigned char kServerOffset = 100;

// Values of SET-CONTROL and PURGE-DATA that the client uses.
inline constexpr unsigned char kControlNoFlow = 1;
inline constexpr unsigned char kControlXonXoff = 2;
inline constexpr unsigned char kControlHardware = 3;
inline constexpr unsigned char kControlDtrOn = 8;
inline constexpr unsigned char kControlDtrOff = 9;
inline constexpr unsigned char kControlRtsOn = 11;
inline constexpr unsigned char kPurgeBoth = 3;

// A COM-port subnegotiation from the server: its command code (kServerOffset and up for
// answers) and the value bytes, 0xFF undoubled.
struct ComPortMessage {
    unsigned char command = 0;
    std::string value;
    bool operator==(const ComPortMessage &) const = default;
};

// What one piece of the server's stream decoded to.
struct Decoded {
    std::string data;                      // line data
    std::string replies;                   // negotiation answers to send to the server
    std::vector<ComPortMessage> messages;  // the server's COM-port subnegotiations
};

// Whether the server takes the COM-port option from this client.
enum class ComPortAgreement { Pending, Accepted, Refused };

// The client side of one connection: decodes the server's stream across any split into
// reads and answers option negotiation. Options the client uses (binary transmission both
// ways, suppress-go-ahead both ways, the COM-port option from this side) are agreed to;
// every other one is refused. An answer is given only when an option's state changes,
// so two sides can never answer each other without end.
class Decoder {
public:
    // The client's own requests at connection: the COM-port option and the options it uses.
    std::string opening();
    // Decodes `count` bytes and appends what they hold to `out`.
    void receive(const void *bytes, std::size_t count, Decoded &out);
    ComPortAgreement comPort() const;

    // The longest subnegotiation kept; a longer one is dropped whole.
    static constexpr std::size_t kMaxSubnegotiation = 64;

private:
    enum class Q : unsigned char { No, Yes, WantYes };
    enum class State : unsigned char { Data, Iac, Option, Sub, SubIac };

    void negotiate(unsigned char verb, unsigned char option, std::string &replies);
    void endSubnegotiation(Decoded &out);

    State state_ = State::Data;
    unsigned char verb_ = 0;
    std::string sub_;  // option byte, then the subnegotiation's bytes
    bool subTooLong_ = false;
    Q him_[256] = {};  // the server's side of each option (WILL/WONT)
    Q us_[256] = {};   // this client's side (DO/DONT)
    bool comPortRefused_ = false;
};

// Line data as it goes on the wire: every 0xFF doubled.
std::string escapeData(const void *bytes, std::size_t count);
// How many of the first `count` bytes of `bytes` are complete on the wire once
// `wireBytes` bytes of escapeData(bytes, count) have been sent.
std::size_t dataBytesSent(const void *bytes, std::size_t count, std::size_t wireBytes);

// A COM-port request: IAC SB COM-PORT <command> <value, 0xFF doubled> IAC SE.
std::string request(unsigned char command, const std::string &value);
// A request with a one-byte value.
std::string request(unsigned char command, unsigned char value);
// The four value bytes of SET-BAUDRATE (network order), and back; 0 when not four bytes.
std::string baudRateValue(std::uint32_t rate);
std::uint32_t baudRateOf(const std::string &value);

}  // namespace corvex::platform::rfc2217
