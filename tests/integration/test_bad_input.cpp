// SPDX-License-Identifier: MIT
// Every export fed what a careless caller may pass: null pointers, empty, over-long and
// unterminated texts, the extremes of int, negative counts, absurd ports and rates. Each
// call must return a defined result, refuse what it cannot use without sending anything,
// and leave the line working (run under AddressSanitizer and UBSan, which catch reads past
// a text or arithmetic that overflows).
#include <climits>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link_fixture.h"

namespace {

// All sixteen stations present, so no call waits for a silent address.
class BadInputTest : public LinkTest {
protected:
    BadInputTest() : LinkTest({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, true) {}
};

// A text of `size` bytes without a terminating NUL, in a block of exactly that size, so
// that a read past its end is caught.
std::unique_ptr<char[]> unterminated(std::size_t size, char fill) {
    std::unique_ptr<char[]> text(new char[size]);
    std::memset(text.get(), fill, size);
    return text;
}

struct Texts {
    std::string overlong = std::string(5000, '1');
    std::unique_ptr<char[]> raw = unterminated(64, '1');
    std::unique_ptr<char[]> rawList = unterminated(64, ',');
    // Texts that must be refused before anything is sent.
    std::vector<const char *> refused() const {
        return {nullptr, overlong.c_str(), raw.get(),  rawList.get(), "16",
                "-1",    "4294967296",     "\xff\x80", "0,99"};
    }
    // Texts that name stations (one, a list, all). The empty text, a group of no station,
    // would only make every call wait out its time-out.
    std::vector<const char *> valid() const { return {"0", "15", "1,2", "ALL"}; }
};

const int kInts[] = {INT_MIN, INT_MIN + 1, -1, 0, 1, 255, 256, 65535, INT_MAX - 1, INT_MAX};

using TextIntOut = std::function<int(const char *, int, int32_t *)>;

struct Export {
    const char *name;
    TextIntOut call;
    bool takesOut = false;  // a NULL out-parameter is refused
    bool fifo = false;      // queues: the station's FIFO is reset after each call
};

#define TEXT_ONLY(f)                                                                               \
    {                                                                                              \
#        f, [](const char *t, int, int32_t *) { return f(t); }                                     \
    }
#define TEXT_INT(f)                                                                                \
    {                                                                                              \
#        f, [](const char *t, int v, int32_t *) { return f(t, v); }                                \
    }
#define TEXT_OUT(f)                                                                                \
    {                                                                                              \
#        f, [](const char *t, int, int32_t *o) { return f(t, o); }, true                           \
    }
#define TEXT_INT_OUT(f)                                                                            \
    {                                                                                              \
#        f, [](const char *t, int v, int32_t *o) { return f(t, v, o); }, true, true                \
    }

const std::vector<Export> &addressedExports() {
    static const std::vector<Export> exports = {
        TEXT_INT(MotorSetCurrent),
        {"MotorSpeed", [](const char *t, int v, int32_t *) { return MotorSpeed(t, v, v, v); }},
        TEXT_INT(MotorConfigureMode),
        TEXT_ONLY(GetMotorDirection),
        TEXT_INT(MotorDirection),
        TEXT_INT(MotorSlewRate),
        TEXT_INT(MotorFirstRate),
        TEXT_INT(MotorAccelDecel),
        TEXT_INT(MotorChangeJogSpeed),
        TEXT_INT(MotorNumberStepRel),
        TEXT_INT(MotorGoAbsPos),
        TEXT_INT(MotorJog),
        TEXT_ONLY(MotorRepeat),
        TEXT_ONLY(MotorStop),
        TEXT_ONLY(MotorSoftReset),
        TEXT_OUT(MotorGetPosition),
        TEXT_INT(MotorSetPosition),
        TEXT_INT(MotorEncoderFailsStep),
        TEXT_OUT(MotorGetStatusRegister),
        TEXT_INT(EncoderSetPosition),
        TEXT_OUT(EncoderGetPosition),
        TEXT_INT(MotorPowerON),
        TEXT_ONLY(MotorPowerOFF),
        TEXT_ONLY(CheckControllerAddress),
        TEXT_ONLY(MotorTriggerON),
        TEXT_ONLY(MotorTriggerOFF),
        TEXT_ONLY(MotorPauseON),
        TEXT_ONLY(MotorPauseOFF),
        TEXT_INT(ConfigureSPI),
        TEXT_OUT(ReadSPI),
        TEXT_INT(WriteSPI),
        TEXT_OUT(ReadDigitalUserIO),
        TEXT_INT(ConfigureDigitalUserIO),
        TEXT_INT(WriteDigitalUserIO),
        {"GetADCchannel",
         [](const char *t, int v, int32_t *o) { return GetADCchannel(t, 12, v, o); }, true},
        {"GetADCchannel (resolution)",
         [](const char *t, int v, int32_t *o) { return GetADCchannel(t, v, 3, o); }, true},
        {"ReadAllChannelsADC",
         [](const char *t, int v, int32_t *o) { return ReadAllChannelsADC(t, v, o); }, true},
        TEXT_ONLY(EnterProgMode),
        TEXT_ONLY(ExecStoredProg),
        TEXT_ONLY(ProgramLoop),
        TEXT_INT(MotorWait),
        TEXT_ONLY(FIFOReset),
        TEXT_OUT(FIFOGetIndexCounter),
        TEXT_OUT(FIFOGetRemainingBytes),
        TEXT_INT_OUT(FIFOWriteUserIO),
        TEXT_INT_OUT(FIFOWriteSPI),
        TEXT_INT_OUT(FIFOMotorNumberStepRel),
        TEXT_INT_OUT(FIFOMotorGoAbsPos),
        TEXT_INT_OUT(FIFOMotorSlewRate),
        TEXT_INT_OUT(FIFOMotorFirstRate),
        TEXT_INT_OUT(FIFOMotorSlope),
        {"FIFOMotorRepeat", [](const char *t, int, int32_t *o) { return FIFOMotorRepeat(t, o); },
         true, true},
        TEXT_INT_OUT(FIFOMotorWait),
        {"WriteCommandtoKX4417",
         [](const char *t, int, int32_t *) { return WriteCommandtoKX4417(t); }},
    };
    return exports;
}

TEST_F(BadInputTest, RefusedTextsSendNothing) {
    const Texts texts;
    int32_t values[16] = {};
    const std::vector<const char *> refused = texts.refused();
    for (const Export &e : addressedExports()) {
        for (std::size_t index = 0; index < refused.size(); ++index) {
            const char *text = refused[index];
            // WriteCommandtoKX4417 sends any text that fits: only the unusable ones apply.
            if (std::strcmp(e.name, "WriteCommandtoKX4417") == 0 && text != nullptr &&
                text != texts.overlong.c_str() && text != texts.raw.get() &&
                text != texts.rawList.get()) {
                continue;
            }
            SCOPED_TRACE(std::string(e.name) + " with refused text #" + std::to_string(index));
            sim().clearTranscript();
            values[0] = 12345;
            const int result = e.call(text, 1, values);
            EXPECT_EQ(result, -1) << e.name;
            EXPECT_TRUE(frames().empty())
                << e.name << " sent " << (frames().empty() ? "" : frames()[0]);
        }
    }
}

TEST_F(BadInputTest, NullOutParametersAreRefusedUnsent) {
    for (const Export &e : addressedExports()) {
        if (!e.takesOut) continue;
        SCOPED_TRACE(e.name);
        sim().clearTranscript();
        EXPECT_EQ(e.call("0", 12, nullptr), -1);
        EXPECT_TRUE(frames().empty());
    }
}

TEST_F(BadInputTest, ExtremeNumbersGiveDefinedResults) {
    const Texts texts;
    int32_t values[16];
    for (const Export &e : addressedExports()) {
        for (const char *text : texts.valid()) {
            for (int value : kInts) {
                SCOPED_TRACE(std::string(e.name) + "(" + text + ", " + std::to_string(value) + ")");
                std::fill(std::begin(values), std::end(values), 7);
                const int result = e.call(text, value, values);
                EXPECT_TRUE(result == 1 || result == -1 || result == 0 || result == 2) << result;
                // Nothing is written beyond the eleven analog channels.
                for (int i = CORVEXLINK_ADC_CHANNELS; i < 16; ++i) EXPECT_EQ(values[i], 7) << i;
                if (e.fifo) FIFOReset(text);
            }
        }
    }
    EXPECT_EQ(WriteCommandtoKX4417("_0"), 1);  // the line still works
}

TEST_F(BadInputTest, PortsRatesAndBuffers) {
    for (int port : {INT_MIN, -1, 0, 257, INT_MAX}) {
        SCOPED_TRACE(port);
        EXPECT_EQ(PortOpen(port, 9600), -1);
        EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_OPEN_FAILED);
        EXPECT_EQ(ZelmarGetPort(), port);
    }
    for (int rate : {INT_MIN, -1, 0, 99, INT_MAX}) {
        SCOPED_TRACE(rate);
        ASSERT_EQ(PortOpen(1, rate), 1);  // the line keeps its rate
        EXPECT_EQ(ZelmarGetBaudRate(), rate);
        EXPECT_EQ(sim().hostBaudRate(), 9600);
        setStationTable("0NNNNNNNNNNNNNNN");
        EXPECT_EQ(ZelmarChangeBaudRate(rate), 1);  // code 0: the stations stay at 9600
        EXPECT_EQ(sim().hostBaudRate(), 9600);
    }
    for (int speed : {INT_MIN, -1, 0, INT_MAX}) {
        const int s = GetFixedSpeed(speed);
        EXPECT_TRUE(s >= 16 && s <= 10240) << speed << " gave " << s;
    }
    EXPECT_EQ(GetConnectedControllers(nullptr), -1);
    EXPECT_EQ(ZelmarGetErrorMessageVb(nullptr), -1);
    EXPECT_EQ(GetLastestCommand(nullptr), -1);
    EXPECT_EQ(WriteCommandtoKX4417("_0"), 1);
}

}  // namespace
