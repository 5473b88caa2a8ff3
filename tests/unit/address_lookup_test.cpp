// Addresses as people write them, and where a line of a simulation log holds one.
#include "inspect/address_lookup.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace qvek::test {
namespace {

constexpr auto A = AddressReading::Address;
constexpr auto N = AddressReading::NotANumber;
constexpr auto B = AddressReading::Beyond;

TEST(AddressLookup, ReadsTheThreeFormsAndRefusesTheRest) {
    const struct {
        const char* word;
        AddressReading reading;
        uint32_t address;
    } cases[] = {
        {"0x1A3", A, 0x1a3}, {"0X1a3", A, 0x1a3}, {"1a3", A, 0x1a3},
        {"H1A3", A, 0x1a3},  {"h1a3", A, 0x1a3},  {"X1A3", A, 0x1a3},
        {"0", A, 0},         {"fff", A, 0xfff},   {"0x0000fff", A, 0xfff},
        {"1000", B, 0},      {"0x1000", B, 0},    {"Hffffffffffffffffffff", B, 0},
        {"", N, 0},          {"0x", N, 0},        {"H", N, 0},
        {"1a3g", N, 0},      {"0xx1", N, 0},      {"B101", B, 0},  // hexadecimal B101, not the source language's binary
        {"-1", N, 0},        {"1 2", N, 0},
    };
    for (const auto& c : cases) {
        uint32_t address = 0;
        EXPECT_EQ(readAddress(c.word, std::strlen(c.word), address), c.reading) << c.word;
        if (c.reading == A) {
            EXPECT_EQ(address, c.address) << c.word;
        }
    }
}

TEST(AddressLookup, FindsTheAddressOfALogLine) {
    const struct {
        const char* line;
        AddressReading reading;
        const char* word;  // the word found
    } cases[] = {
        {"1a3", A, "1a3"},
        {"  H1A3 \r", A, "H1A3"},
        {"# 1250 ns: pc=0x01f op=9", A, "0x01f"},  // the bare numbers before it do not count
        {"pc=0xzz next=0x2", A, "0x2"},            // a word that only begins 0x is passed over
        {"data=0xdeadbeef pc=0x1", B, "0xdeadbeef"},
        {"FACE", B, "FACE"},
        {"1250 ns", N, nullptr},
        {"HELLO", N, nullptr},
        {"", N, nullptr},
        {"pc_0x1a3", N, nullptr},  // part of a name
    };
    for (const auto& c : cases) {
        const LogAddress found = findLogAddress(c.line, std::strlen(c.line));
        EXPECT_EQ(found.reading, c.reading) << c.line;
        EXPECT_EQ(found.word == nullptr ? std::string("-") : std::string(found.word, found.length),
                  c.word == nullptr ? "-" : c.word)
            << c.line;
    }
}

}  // namespace
}  // namespace qvek::test
