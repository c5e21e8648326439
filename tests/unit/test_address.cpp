// SPDX-License-Identifier: MIT
// Address texts: the forms a caller may write and the prefixes they become.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "commands/address.h"

using namespace corvex::commands;

namespace {

std::string prefixOf(const char *text) { return ParseStationAddress(text).prefix; }

}  // namespace

TEST(ParseStationAddress, AllInAnyCaseIsTheWholeLine) {
    for (const char *text : {"ALL", "all", "All", "aLl"}) {
        const ParsedAddress p = ParseStationAddress(text);
        EXPECT_EQ(p.kind, AddressKind::Group) << text;
        EXPECT_EQ(p.mask, 0xFFFF) << text;
        EXPECT_STREQ(p.prefix, "FFFF") << text;
    }
    // Anything around the word makes it a text that does not start with a digit.
    for (const char *text : {" ALL", "ALL,", "ALLX", "AL"}) {
        EXPECT_EQ(ParseStationAddress(text).kind, AddressKind::Wrong) << text;
    }
}

TEST(ParseStationAddress, SingleAddressesUseUpperCaseHex) {
    const ParsedAddress p = ParseStationAddress("12");
    EXPECT_EQ(p.kind, AddressKind::Single);
    EXPECT_EQ(p.address, 12u);
    EXPECT_STREQ(p.prefix, "_C");
    EXPECT_EQ(prefixOf("0"), "_0");
    EXPECT_EQ(prefixOf("3"), "_3");
    EXPECT_EQ(prefixOf("007"), "_7");   // leading zeros are digits like any other
    EXPECT_EQ(prefixOf("5abc"), "_5");  // the leading digits are the address
}

TEST(ParseStationAddress, ListsBecomeMasks) {
    EXPECT_EQ(prefixOf("0,4,8,12"), "1111");
    EXPECT_EQ(prefixOf("0,1"), "0003");
    EXPECT_EQ(prefixOf("15,0"), "8001");
    EXPECT_EQ(prefixOf("1,2,"), "0006");  // a trailing comma ends the list
    const ParsedAddress twice = ParseStationAddress("3,3");
    EXPECT_EQ(twice.kind, AddressKind::Group);  // two pieces, even if the same address
    EXPECT_STREQ(twice.prefix, "0008");
    const ParsedAddress empty = ParseStationAddress("");
    EXPECT_EQ(empty.kind, AddressKind::Group);
    EXPECT_STREQ(empty.prefix, "0000");
}

TEST(ParseStationAddress, PiecesThatDoNotStartWithADigitAreWrong) {
    for (const char *text : {"1,,2", " 3", "-1", ",", ",1", "x", "1,a", "1, 2"}) {
        EXPECT_EQ(ParseStationAddress(text).kind, AddressKind::Wrong) << '"' << text << '"';
    }
}

TEST(ParseStationAddress, AddressesAboveFifteen) {
    EXPECT_EQ(ParseStationAddress("0,16").kind, AddressKind::Wrong);
    EXPECT_EQ(ParseStationAddress("16,16").kind, AddressKind::Wrong);
    // A single address above 15 is reported as such; the exports refuse it.
    const ParsedAddress sixteen = ParseStationAddress("16");
    EXPECT_EQ(sixteen.kind, AddressKind::Single);
    EXPECT_EQ(sixteen.address, 16u);
    EXPECT_STREQ(sixteen.prefix, "_10");
    // Digits beyond any integer saturate rather than wrap round to a small address.
    const ParsedAddress huge = ParseStationAddress("4294967296");  // 2^32 would wrap to 0
    EXPECT_EQ(huge.kind, AddressKind::Single);
    EXPECT_GT(huge.address, 15u);
    EXPECT_EQ(ParseStationAddress("1,4294967296").kind, AddressKind::Wrong);
}

TEST(ParseStationAddress, NullAndOverlongTexts) {
    EXPECT_EQ(ParseStationAddress(nullptr).kind, AddressKind::Wrong);

    // 63 characters is the longest text taken: "0,0,...,0" with 32 pieces.
    std::string longest;
    for (int i = 0; i < 32; ++i) longest += i ? ",0" : "0";
    ASSERT_EQ(longest.size(), 63u);
    EXPECT_EQ(ParseStationAddress(longest.c_str()).kind, AddressKind::Group);
    EXPECT_EQ(ParseStationAddress((longest + ",").c_str()).kind, AddressKind::Wrong);
    EXPECT_EQ(ParseStationAddress(std::string(500, '1').c_str()).kind, AddressKind::Wrong);
}

TEST(ParseStationAddress, UnterminatedTextIsReadNoFurtherThanItsLimit) {
    // 64 bytes without a NUL in a heap block of exactly that size: a read past the block
    // is reported by the address sanitizer.
    char *block = static_cast<char *>(std::malloc(kAddressTextLimit + 1));
    ASSERT_NE(block, nullptr);
    std::memset(block, '1', kAddressTextLimit + 1);
    EXPECT_EQ(ParseStationAddress(block).kind, AddressKind::Wrong);
    EXPECT_EQ(parseAddressList(block, kAddressTextLimit).status, ListStatus::WrongAddress);
    EXPECT_EQ(boundedLength(block, kAddressTextLimit), -1);
    std::free(block);
}

TEST(parseAddressList, MotorAndUserIoLists) {
    const AddressList list = parseAddressList("1,5,5,15,", 39);
    EXPECT_EQ(list.status, ListStatus::Ok);
    EXPECT_EQ(list.mask, (1u << 1) | (1u << 5) | (1u << 15));

    EXPECT_EQ(parseAddressList("", 39).status, ListStatus::Ok);
    EXPECT_EQ(parseAddressList("", 39).mask, 0);
    EXPECT_EQ(parseAddressList("1,x", 39).status, ListStatus::NotANumber);
    EXPECT_EQ(parseAddressList("ALL", 39).status, ListStatus::NotANumber);
    EXPECT_EQ(parseAddressList("16", 39).status, ListStatus::WrongAddress);
    EXPECT_EQ(parseAddressList("1,16", 39).status, ListStatus::WrongAddress);
    EXPECT_EQ(parseAddressList(nullptr, 39).status, ListStatus::WrongAddress);

    const std::string forty(40, '1');
    EXPECT_EQ(parseAddressList(forty.c_str(), 39).status, ListStatus::WrongAddress);
    EXPECT_EQ(parseAddressList(forty.c_str(), 51).status, ListStatus::WrongAddress);  // 11...1 > 15
}

TEST(LeadingNumber, ReadsLikeAtoiWithoutOverflow) {
    EXPECT_EQ(leadingNumber("12,4"), 12);
    EXPECT_EQ(leadingNumber("  -250>"), -250);
    EXPECT_EQ(leadingNumber("\r\n+7"), 7);
    EXPECT_EQ(leadingNumber("abc"), 0);
    EXPECT_EQ(leadingNumber(""), 0);
    EXPECT_EQ(leadingNumber("99999999999"), 2147483647);
    EXPECT_EQ(leadingNumber("-99999999999"), -2147483647);
}
