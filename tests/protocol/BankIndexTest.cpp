#include <gtest/gtest.h>

#include <tuple>

#include "protocol/BankIndex.h"
#include "support/Bytes.h"

namespace
{
using Kind = BankMessageKind;
const Bytes Header{0xF0, 0x00, 0x00, 0x10, 0x02, 0x41};
}

TEST(BankIndex, NamesEachMessageFromItsHeader)
{
    const struct { const char* name; Bytes message; Kind kind; int number, deviceNumber, command; } cases[] = {
        {"program 1", Header + Bytes{0x42, 0x00, 0x00, 0x11, 0xF7}, Kind::ProgramDump, 1, 3, 0x42},
        {"program 200", Header + Bytes{0x42, 0x01, 0x47, 0xF7}, Kind::ProgramDump, 200, 3, 0x42},
        {"command 42 without a number", Header + Bytes{0x42, 0x01, 0xF7}, Kind::DeviceMessage, 0, 3, 0x42},
        {"algorithm 127", Header + Bytes{0x30, 0x7E, 0x05, 0xF7}, Kind::AlgorithmDump, 127, 3, 0x30},
        {"command 30 without a number", Header + Bytes{0x30, 0xF7}, Kind::DeviceMessage, 0, 3, 0x30},
        {"error reply", Header + Bytes{0x61, 0, 1, 0, 2, 0xF7}, Kind::ErrorReply, 0, 3, 0x61},
        {"device 16, command 21", {0xF0, 0, 0, 0x10, 0x0F, 0x41, 0x21, 0xF7}, Kind::DeviceMessage, 0, 16, 0x21},
        {"another product", {0xF0, 0, 0, 0x10, 0, 0x42, 0x42, 0, 0, 0xF7}, Kind::OtherMaker, 0, 0, 0},
        {"another maker", {0xF0, 0x41, 0x10, 0x00, 0x00, 0x41, 0x42, 0xF7}, Kind::OtherMaker, 0, 0, 0},
        {"header without command", Header + Bytes{0xF7}, Kind::OtherMaker, 0, 0, 0},
        {"F0 F7", {0xF0, 0xF7}, Kind::OtherMaker, 0, 0, 0},
        {"no F7", Header + Bytes{0x42, 0, 0, 0x11}, Kind::NotAMessage, 0, 0, 0},
        {"bytes before F0", Bytes{0x00} + Header + Bytes{0x42, 0, 0, 0xF7}, Kind::NotAMessage, 0, 0, 0},
        {"status byte inside", Header + Bytes{0x42, 0, 0, 0x90, 0xF7}, Kind::NotAMessage, 0, 0, 0},
        {"a lone F7", {0xF7}, Kind::NotAMessage, 0, 0, 0},
    };
    for (const auto& c : cases)
    {
        const BankMessage m = ClassifyMessage(c.message.data(), c.message.size());
        EXPECT_EQ(std::make_tuple(c.kind, c.number, c.deviceNumber, c.command, c.message.size()),
                  std::tie(m.kind, m.number, m.deviceNumber, m.command, m.length)) << c.name;
    }
}

TEST(BankIndex, CutsWhereTheBulkSendCuts)
{
    const Bytes program = Header + Bytes{0x42, 0x00, 0x04, 0xF7};
    const Bytes data = program + Bytes{0x01, 0x02} + program + Bytes{0xF7, 0xF0, 0x00};
    const std::vector<BankMessage> index = IndexBank(data.data(), data.size());
    std::vector<std::pair<std::size_t, std::size_t>> extents;
    for (const BankMessage& m : index)
        extents.emplace_back(m.offset, m.length);
    ASSERT_EQ((decltype(extents){{0, 10}, {10, 12}, {22, 1}, {23, 2}}), extents);
    EXPECT_EQ(5, index[0].number);
    EXPECT_EQ(Kind::NotAMessage, index[1].kind);
    EXPECT_TRUE(IndexBank(nullptr, 0).empty());
}

TEST(BankIndex, ComparesPastTheRewrittenHeader)
{
    const Bytes row{0xF0, 0, 0, 0x10, 0, 0x41, 0x42, 0, 4, 0x10, 0x20, 0xF7};
    const struct { const char* name; Bytes reply; DumpComparison result; std::size_t offset, expected, actual; } cases[] = {
        {"same but the header", {0xF0, 0, 0, 0x10, 3, 0x41, 0x40, 1, 9, 0x10, 0x20, 0xF7}, DumpComparison::Same, 0, 0, 0},
        {"first byte after the header", {0xF0, 0, 0, 0x10, 0, 0x41, 0x42, 0, 4, 0x11, 0x21, 0xF7},
         DumpComparison::Differs, 9, 0x10, 0x11},
        {"last byte", {0xF0, 0, 0, 0x10, 0, 0x41, 0x42, 0, 4, 0x10, 0x20, 0x00}, DumpComparison::Differs, 11, 0xF7, 0},
        {"one byte more", {0xF0, 0, 0, 0x10, 0, 0x41, 0x42, 0, 4, 0x10, 0x20, 0x30, 0xF7},
         DumpComparison::DifferentLength, 0, 12, 13},
    };
    for (const auto& c : cases)
    {
        const DumpDifference d = CompareDumps(row.data(), row.size(), c.reply.data(), c.reply.size(), 9);
        EXPECT_EQ(std::tie(c.result, c.offset, c.expected, c.actual), std::tie(d.result, d.offset, d.expected, d.actual))
            << c.name;
    }
}
