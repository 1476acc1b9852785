// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "link/driver/FtdiReceiveQueue.h"

namespace {

using Bytes = std::vector<unsigned char>;

// One bulk transfer as the chip sends it, and the data it carries.
struct Transfer {
    Bytes raw;
    Bytes data;
};

// Every piece starts with the two status bytes and carries `dataPerPiece[i]` data bytes,
// numbered on from `first`.
Transfer MakeTransfer(const std::vector<std::size_t>& dataPerPiece, unsigned char first = 0) {
    Transfer transfer;
    unsigned char next = first;
    for (const std::size_t count : dataPerPiece) {
        transfer.raw.insert(transfer.raw.end(), {0x31, 0x60});
        for (std::size_t i = 0; i < count; ++i, ++next) {
            transfer.raw.push_back(next);
            transfer.data.push_back(next);
        }
    }
    return transfer;
}

Bytes TakeAll(FtdiReceiveQueue& queue) {
    Bytes out(queue.Size() + 8);
    out.resize(queue.Take(out.data(), out.size()));
    return out;
}

struct StripCase {
    std::string name;
    std::size_t packetSize;
    std::vector<std::size_t> dataPerPiece;
};

void PrintTo(const StripCase& c, std::ostream* out) {
    *out << c.name;
}

class FtdiReceiveQueueStrip : public testing::TestWithParam<StripCase> {};

TEST_P(FtdiReceiveQueueStrip, KeepsOnlyTheDataOfEveryPiece) {
    const StripCase& c = GetParam();
    FtdiReceiveQueue queue(64 * 1024, c.packetSize);
    const Transfer transfer = MakeTransfer(c.dataPerPiece);

    EXPECT_EQ(queue.AppendTransfer(transfer.raw.data(), transfer.raw.size()), transfer.data.size());
    EXPECT_EQ(queue.Size(), transfer.data.size());
    EXPECT_EQ(TakeAll(queue), transfer.data);
}

INSTANTIATE_TEST_SUITE_P(Pieces, FtdiReceiveQueueStrip,
                         testing::Values(StripCase{"FullSpeedWholePackets", 64, {62, 62, 62}},
                                         StripCase{"FullSpeedShortLastPiece", 64, {62, 62, 10}},
                                         StripCase{"FullSpeedOneDataByteLast", 64, {62, 1}},
                                         StripCase{"FullSpeedStatusOnlyLast", 64, {62, 62, 0}},
                                         StripCase{"StatusOnlyTransfer", 64, {0}},
                                         StripCase{"EmptyTransfer", 64, {}},
                                         StripCase{"HighSpeedWholePackets", 512, {510, 510}},
                                         StripCase{"HighSpeedShortLastPiece", 512, {510, 510, 100}},
                                         StripCase{"HighSpeedStatusOnlyLast", 512, {510, 0}}),
                         [](const testing::TestParamInfo<StripCase>& param) {
                             return param.param.name;
                         });

TEST(FtdiReceiveQueue, DeliversSuccessiveTransfersInOrderAcrossTheRingEnd) {
    FtdiReceiveQueue queue(100, 64);
    const Transfer first = MakeTransfer({62}, 0);
    const Transfer second = MakeTransfer({62}, 62);
    queue.AppendTransfer(first.raw.data(), first.raw.size());
    Bytes out(50);
    ASSERT_EQ(queue.Take(out.data(), 50), 50u);
    EXPECT_EQ(out, Bytes(first.data.begin(), first.data.begin() + 50));

    // 12 bytes left; the next 62 wrap past the end of the 100-byte store.
    queue.AppendTransfer(second.raw.data(), second.raw.size());
    ASSERT_EQ(queue.Size(), 74u);
    Bytes expected(first.data.begin() + 50, first.data.end());
    expected.insert(expected.end(), second.data.begin(), second.data.end());
    Bytes part(5);
    ASSERT_EQ(queue.Take(part.data(), 5), 5u);
    Bytes rest = TakeAll(queue);
    part.insert(part.end(), rest.begin(), rest.end());
    EXPECT_EQ(part, expected);
    EXPECT_EQ(queue.Take(out.data(), out.size()), 0u);
}

TEST(FtdiReceiveQueue, RefusesATransferItCannotTakeWhole) {
    FtdiReceiveQueue queue(200, 64);
    EXPECT_TRUE(queue.CanTake(200));
    EXPECT_FALSE(queue.CanTake(201));

    const Transfer transfer = MakeTransfer({62, 62});
    queue.AppendTransfer(transfer.raw.data(), transfer.raw.size());
    EXPECT_TRUE(queue.CanTake(76));
    EXPECT_FALSE(queue.CanTake(77));

    Bytes out(10);
    queue.Take(out.data(), out.size());
    EXPECT_TRUE(queue.CanTake(86));
    EXPECT_FALSE(queue.CanTake(87));
}

TEST(FtdiReceiveQueue, NeverHoldsMoreThanItsCapacity) {
    FtdiReceiveQueue queue(100, 64);
    const Transfer transfer = MakeTransfer({62, 62, 62});

    EXPECT_EQ(queue.AppendTransfer(transfer.raw.data(), transfer.raw.size()), 100u);
    EXPECT_EQ(queue.Size(), 100u);
    EXPECT_EQ(TakeAll(queue), Bytes(transfer.data.begin(), transfer.data.begin() + 100));
}

TEST(FtdiReceiveQueue, ClearDropsEverythingQueued) {
    FtdiReceiveQueue queue(100, 64);
    const Transfer stale = MakeTransfer({62}, 0);
    const Transfer fresh = MakeTransfer({20}, 200);
    queue.AppendTransfer(stale.raw.data(), stale.raw.size());
    Bytes out(7);
    queue.Take(out.data(), out.size());

    queue.Clear();
    EXPECT_EQ(queue.Size(), 0u);
    EXPECT_TRUE(queue.CanTake(100));
    queue.AppendTransfer(fresh.raw.data(), fresh.raw.size());
    EXPECT_EQ(TakeAll(queue), fresh.data);
}

}  // namespace
