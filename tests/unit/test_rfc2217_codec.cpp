// SPDX-License-Identifier: MIT
// The RFC 2217 framing on byte sequences recorded from a session with ser2net 4.3.11
// serving the simulator: its greeting, the acknowledgements of the line settings, answers
// of a station, and the edges of the Telnet framing (doubled 0xFF, commands inside data,
// subnegotiations split anywhere, refused options).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/rfc2217_codec.h"

namespace {

using namespace corvex::platform::rfc2217;

std::string bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s += static_cast<char>(b);
    return s;
}

Decoded decode(Decoder &d, const std::string &wire) {
    Decoded out;
    d.receive(wire.data(), wire.size(), out);
    return out;
}

// What ser2net sends unprompted as soon as a client connects (WILL/DO suppress-go-ahead,
// WILL ECHO, DONT ECHO, DO/WILL binary, DO COM-PORT).
const std::string kGreeting =
    bytes({0xff, 0xfb, 0x03, 0xff, 0xfd, 0x03, 0xff, 0xfb, 0x01, 0xff, 0xfe,
           0x01, 0xff, 0xfd, 0x00, 0xff, 0xfb, 0x00, 0xff, 0xfd, 0x2c});
// Its answers to SET-BAUDRATE 9600, SET-DATASIZE 8, SET-PARITY none, SET-STOPSIZE 1 and
// SET-CONTROL no flow control, sent in one piece.
const std::string kSettingAcks =
    bytes({0xff, 0xfa, 0x2c, 0x65, 0x00, 0x00, 0x25, 0x80, 0xff, 0xf0, 0xff, 0xfa, 0x2c,
           0x66, 0x08, 0xff, 0xf0, 0xff, 0xfa, 0x2c, 0x67, 0x01, 0xff, 0xf0, 0xff, 0xfa,
           0x2c, 0x68, 0x01, 0xff, 0xf0, 0xff, 0xfa, 0x2c, 0x69, 0x01, 0xff, 0xf0});
// A station's answer to "_0P\r".
const std::string kAnswer = "\r\n0\r\n>";

TEST(Rfc2217Codec, OpeningAgainstTheGreetingOfSer2net) {
    Decoder d;
    EXPECT_EQ(d.opening(),
              bytes({0xff, 0xfb, 0x2c, 0xff, 0xfb, 0x00, 0xff, 0xfd, 0x00, 0xff, 0xfd, 0x03}));
    EXPECT_EQ(d.comPort(), ComPortAgreement::Pending);
    const Decoded out = decode(d, kGreeting);
    // Requests already made are not answered again; DO suppress-go-ahead is agreed to and
    // the server's echo is refused.
    EXPECT_EQ(out.replies, bytes({0xff, 0xfb, 0x03, 0xff, 0xfe, 0x01}));
    EXPECT_EQ(out.data, "");
    EXPECT_TRUE(out.messages.empty());
    EXPECT_EQ(d.comPort(), ComPortAgreement::Accepted);

    // What came next in the recording: the modem state, and DO suppress-go-ahead once more
    // (already agreed: no answer, so no endless exchange).
    const Decoded next =
        decode(d, bytes({0xff, 0xfa, 0x2c, 0x6b, 0x00, 0xff, 0xf0, 0xff, 0xfd, 0x03}));
    EXPECT_EQ(next.replies, "");
    EXPECT_EQ(next.messages, (std::vector<ComPortMessage>{{107, std::string(1, '\0')}}));
}

TEST(Rfc2217Codec, GreetingWithoutOpeningIsAnsweredOptionByOption) {
    Decoder d;
    const Decoded out = decode(d, kGreeting);
    EXPECT_EQ(out.replies, bytes({0xff, 0xfd, 0x03, 0xff, 0xfb, 0x03, 0xff, 0xfe, 0x01, 0xff, 0xfb,
                                  0x00, 0xff, 0xfd, 0x00, 0xff, 0xfb, 0x2c}));
    EXPECT_EQ(d.comPort(), ComPortAgreement::Accepted);
    // The same greeting again changes no state: nothing to answer.
    EXPECT_EQ(decode(d, kGreeting).replies, bytes({0xff, 0xfe, 0x01}));
}

TEST(Rfc2217Codec, AcknowledgementsAndDataDecodeTheSameAtEverySplit) {
    const std::string wire = kSettingAcks + kAnswer + kSettingAcks.substr(0, 10) + kAnswer;
    const std::vector<ComPortMessage> expected = {{101, bytes({0x00, 0x00, 0x25, 0x80})},
                                                  {102, "\x08"},
                                                  {103, "\x01"},
                                                  {104, "\x01"},
                                                  {105, "\x01"},
                                                  {101, bytes({0x00, 0x00, 0x25, 0x80})}};
    for (std::size_t a = 0; a <= wire.size(); ++a) {
        for (std::size_t b = a; b <= wire.size(); b += 3) {
            SCOPED_TRACE(std::to_string(a) + "," + std::to_string(b));
            Decoder d;
            Decoded out;
            d.receive(wire.data(), a, out);
            d.receive(wire.data() + a, b - a, out);
            d.receive(wire.data() + b, wire.size() - b, out);
            ASSERT_EQ(out.data, kAnswer + kAnswer);
            ASSERT_EQ(out.messages, expected);
            ASSERT_EQ(out.replies, "");
        }
    }
    EXPECT_EQ(baudRateOf(expected[0].value), 9600u);
}

TEST(Rfc2217Codec, RequestsAsSer2netTakesThem) {
    EXPECT_EQ(request(kSetBaudRate, baudRateValue(57600)),
              bytes({0xff, 0xfa, 0x2c, 0x01, 0x00, 0x00, 0xe1, 0x00, 0xff, 0xf0}));
    EXPECT_EQ(request(kSetDataSize, 8), bytes({0xff, 0xfa, 0x2c, 0x02, 0x08, 0xff, 0xf0}));
    EXPECT_EQ(request(kSetControl, kControlNoFlow),
              bytes({0xff, 0xfa, 0x2c, 0x05, 0x01, 0xff, 0xf0}));
    EXPECT_EQ(request(kPurgeData, kPurgeBoth), bytes({0xff, 0xfa, 0x2c, 0x0c, 0x03, 0xff, 0xf0}));
    // A value byte 0xFF is doubled inside the subnegotiation, and read back undoubled.
    const std::string odd = request(kSetBaudRate, baudRateValue(0x0001ff00));
    EXPECT_EQ(odd, bytes({0xff, 0xfa, 0x2c, 0x01, 0x00, 0x01, 0xff, 0xff, 0x00, 0xff, 0xf0}));
    Decoder d;
    const Decoded out = decode(d, odd);
    ASSERT_EQ(out.messages.size(), 1u);
    EXPECT_EQ(baudRateOf(out.messages[0].value), 0x0001ff00u);
    EXPECT_EQ(baudRateOf("\x01\x02"), 0u);
    // A command byte 0xFF is doubled as well.
    const Decoded own = decode(d, request(0xff, "\xff"));
    EXPECT_EQ(own.messages, (std::vector<ComPortMessage>{{0xff, "\xff"}}));
}

TEST(Rfc2217Codec, DataBytesFF) {
    const std::string data = bytes({0x41, 0xff, 0x0d, 0x00, 0xff, 0xff, 0x0d, 0x0a});
    const std::string wire = escapeData(data.data(), data.size());
    EXPECT_EQ(wire, bytes({0x41, 0xff, 0xff, 0x0d, 0x00, 0xff, 0xff, 0xff, 0xff, 0x0d, 0x0a}));
    Decoder d;
    EXPECT_EQ(decode(d, wire).data, data);  // CR NUL and CR LF pass unchanged

    // How much of the data a partly sent wire form carries: a doubled 0xFF counts once
    // both halves are out.
    EXPECT_EQ(dataBytesSent(data.data(), data.size(), 0), 0u);
    EXPECT_EQ(dataBytesSent(data.data(), data.size(), 1), 1u);
    EXPECT_EQ(dataBytesSent(data.data(), data.size(), 2), 1u);
    EXPECT_EQ(dataBytesSent(data.data(), data.size(), 3), 2u);
    EXPECT_EQ(dataBytesSent(data.data(), data.size(), wire.size() - 1), data.size() - 1);
    EXPECT_EQ(dataBytesSent(data.data(), data.size(), wire.size()), data.size());

    // An undoubled 0xFF before a byte that is no command: both are dropped, as ser2net does.
    Decoder e;
    EXPECT_EQ(decode(e, bytes({0x41, 0xff, 0x42, 0x43})).data, "AC");
    // One-byte commands (no-operation, go-ahead) inside data leave the data alone.
    EXPECT_EQ(decode(e, bytes({0x31, 0xff, 0xf1, 0x32, 0xff, 0xf9, 0x33})).data, "123");
}

TEST(Rfc2217Codec, OptionsNotUsedAreRefusedOnce) {
    Decoder d;
    d.opening();
    // Terminal type offered, echo asked for, a server that wants to be the COM-port client.
    const Decoded out =
        decode(d, bytes({0xff, 0xfb, 0x18, 0xff, 0xfd, 0x01, 0xff, 0xfb, 0x2c, 0xff, 0xfc, 0x18}));
    EXPECT_EQ(out.replies, bytes({0xff, 0xfe, 0x18, 0xff, 0xfc, 0x01, 0xff, 0xfe, 0x2c}));
    // WONT and DONT for options that are off are not answered.
    EXPECT_EQ(decode(d, bytes({0xff, 0xfc, 0x05, 0xff, 0xfe, 0x05})).replies, "");
    // Binary, once on, switched off by the server: acknowledged once.
    decode(d, bytes({0xff, 0xfb, 0x00, 0xff, 0xfd, 0x00}));
    EXPECT_EQ(decode(d, bytes({0xff, 0xfc, 0x00, 0xff, 0xfe, 0x00})).replies,
              bytes({0xff, 0xfe, 0x00, 0xff, 0xfc, 0x00}));
    EXPECT_EQ(decode(d, bytes({0xff, 0xfc, 0x00, 0xff, 0xfe, 0x00})).replies, "");
}

TEST(Rfc2217Codec, ServerRefusingTheComPortOption) {
    Decoder d;
    d.opening();
    EXPECT_EQ(decode(d, bytes({0xff, 0xfe, 0x2c})).replies, "");
    EXPECT_EQ(d.comPort(), ComPortAgreement::Refused);
}

TEST(Rfc2217Codec, BrokenSubnegotiations) {
    Decoder d;
    // Longer than any COM-port message: dropped whole, the data after it kept.
    std::string longSub = bytes({0xff, 0xfa, 0x2c, 0x65});
    longSub += std::string(Decoder::kMaxSubnegotiation + 10, 'x');
    longSub += bytes({0xff, 0xf0});
    Decoded out = decode(d, longSub + "ok");
    EXPECT_TRUE(out.messages.empty());
    EXPECT_EQ(out.data, "ok");
    // Cut off by a command: the part is dropped and the command is read.
    out = decode(d, bytes({0xff, 0xfa, 0x2c, 0x65, 0x00, 0xff, 0xfb, 0x18}) + "ok");
    EXPECT_TRUE(out.messages.empty());
    EXPECT_EQ(out.replies, bytes({0xff, 0xfe, 0x18}));
    EXPECT_EQ(out.data, "ok");
    // Other options' subnegotiations and empty ones carry nothing for the line.
    out = decode(d, bytes({0xff, 0xfa, 0x18, 0x01, 0xff, 0xf0, 0xff, 0xfa, 0xff, 0xf0, 0xff, 0xfa,
                           0x2c, 0xff, 0xf0}));
    EXPECT_TRUE(out.messages.empty());
    EXPECT_EQ(out.data, "");
}

}  // namespace
