// SPDX-License-Identifier: MIT
// The Telnet framing of an RFC 2217 line: decoder state machine, option negotiation and
// the byte sequences the client sends.
#include "rfc2217_codec.h"

namespace corvex::platform::rfc2217 {
namespace {

// Options whose server side (WILL) the client agrees to.
bool wantHim(unsigned char option) {
    return option == kOptionBinary || option == kOptionSuppressGoAhead;
}

// Options the client agrees to perform itself (DO).
bool wantUs(unsigned char option) {
    return option == kOptionBinary || option == kOptionSuppressGoAhead || option == kOptionComPort;
}

void command(std::string &out, unsigned char verb, unsigned char option) {
    out += static_cast<char>(kIac);
    out += static_cast<char>(verb);
    out += static_cast<char>(option);
}

}  // namespace

std::string Decoder::opening() {
    std::string out;
    command(out, kWill, kOptionComPort);
    us_[kOptionComPort] = Q::WantYes;
    command(out, kWill, kOptionBinary);
    us_[kOptionBinary] = Q::WantYes;
    command(out, kDo, kOptionBinary);
    him_[kOptionBinary] = Q::WantYes;
    command(out, kDo, kOptionSuppressGoAhead);
    him_[kOptionSuppressGoAhead] = Q::WantYes;
    return out;
}

ComPortAgreement Decoder::comPort() const {
    if (us_[kOptionComPort] == Q::Yes) return ComPortAgreement::Accepted;
    return comPortRefused_ ? ComPortAgreement::Refused : ComPortAgreement::Pending;
}

void Decoder::receive(const void *bytes, std::size_t count, Decoded &out) {
    const auto *p = static_cast<const unsigned char *>(bytes);
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char b = p[i];
        switch (state_) {
        case State::Data:
            if (b == kIac) {
                state_ = State::Iac;
            } else {
                out.data += static_cast<char>(b);
            }
            break;
        case State::Iac:
            if (b == kIac) {
                out.data += static_cast<char>(kIac);  // a doubled 0xFF is one data byte
                state_ = State::Data;
            } else if (b >= kWill) {  // WILL, WONT, DO, DONT
                verb_ = b;
                state_ = State::Option;
            } else if (b == kSb) {
                sub_.clear();
                subTooLong_ = false;
                state_ = State::Sub;
            } else {
                // Go-ahead, no-operation, break and the other one-byte commands carry nothing
                // for a serial line; a byte that is no command at all is dropped with them.
                state_ = State::Data;
            }
            break;
        case State::Option:
            negotiate(verb_, b, out.replies);
            state_ = State::Data;
            break;
        case State::Sub:
            if (b == kIac) {
                state_ = State::SubIac;
            } else if (sub_.size() < kMaxSubnegotiation) {
                sub_ += static_cast<char>(b);
            } else {
                subTooLong_ = true;
            }
            break;
        case State::SubIac:
            if (b == kIac) {
                if (sub_.size() < kMaxSubnegotiation) {
                    sub_ += static_cast<char>(kIac);
                } else {
                    subTooLong_ = true;
                }
                state_ = State::Sub;
            } else if (b == kSe) {
                endSubnegotiation(out);
                state_ = State::Data;
            } else {
                // A command inside a subnegotiation ends it unfinished: what came so far is
                // dropped and the command is read as one.
                state_ = State::Iac;
                --i;
            }
            break;
        }
    }
}

void Decoder::endSubnegotiation(Decoded &out) {
    if (subTooLong_ || sub_.size() < 2) return;
    if (static_cast<unsigned char>(sub_[0]) != kOptionComPort) return;
    out.messages.push_back({static_cast<unsigned char>(sub_[1]), sub_.substr(2)});
}

void Decoder::negotiate(unsigned char verb, unsigned char option, std::string &replies) {
    Q &him = him_[option];
    Q &us = us_[option];
    switch (verb) {
    case kWill:
        if (him == Q::No) {
            if (wantHim(option)) {
                him = Q::Yes;
                command(replies, kDo, option);
            } else {
                command(replies, kDont, option);
            }
        } else if (him == Q::WantYes) {
            him = Q::Yes;
        }
        break;
    case kWont:
        if (him == Q::Yes) command(replies, kDont, option);
        him = Q::No;
        break;
    case kDo:
        if (us == Q::No) {
            if (wantUs(option)) {
                us = Q::Yes;
                command(replies, kWill, option);
            } else {
                command(replies, kWont, option);
            }
        } else if (us == Q::WantYes) {
            us = Q::Yes;
        }
        break;
    case kDont:
        if (us == Q::Yes) command(replies, kWont, option);
        if (option == kOptionComPort && us != Q::No) comPortRefused_ = true;
        us = Q::No;
        break;
    default: break;
    }
}

std::string escapeData(const void *bytes, std::size_t count) {
    const auto *p = static_cast<const unsigned char *>(bytes);
    std::string out;
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        out += static_cast<char>(p[i]);
        if (p[i] == kIac) out += static_cast<char>(kIac);
    }
    return out;
}

std::size_t dataBytesSent(const void *bytes, std::size_t count, std::size_t wireBytes) {
    const auto *p = static_cast<const unsigned char *>(bytes);
    std::size_t wire = 0;
    for (std::size_t i = 0; i < count; ++i) {
        wire += p[i] == kIac ? 2 : 1;
        if (wire > wireBytes) return i;
    }
    return count;
}

std::string request(unsigned char command, const std::string &value) {
    std::string out;
    out += static_cast<char>(kIac);
    out += static_cast<char>(kSb);
    out += static_cast<char>(kOptionComPort);
    // Every 0xFF inside a subnegotiation is doubled, the command byte's too.
    out += escapeData(&command, 1);
    out += escapeData(value.data(), value.size());
    out += static_cast<char>(kIac);
    out += static_cast<char>(kSe);
    return out;
}

std::string request(unsigned char command, unsigned char value) {
    return request(command, std::string(1, static_cast<char>(value)));
}

std::string baudRateValue(std::uint32_t rate) {
    std::string value(4, '\0');
    for (int i = 3; i >= 0; --i) {
        value[static_cast<std::size_t>(i)] = static_cast<char>(rate & 0xff);
        rate >>= 8;
    }
    return value;
}

std::uint32_t baudRateOf(const std::string &value) {
    if (value.size() != 4) return 0;
    std::uint32_t rate = 0;
    for (char c : value) rate = (rate << 8) | static_cast<unsigned char>(c);
    return rate;
}

}  // namespace corvex::platform::rfc2217
