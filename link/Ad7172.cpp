// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Ad7172.h"

#include <cstring>
#include <utility>

unsigned HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<unsigned>(c - '0');
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<unsigned>(c - 'a' + 10);
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<unsigned>(c - 'A' + 10);
    }
    return 0;
}

std::int32_t HexToCode(const char* text) {
    std::uint32_t code = 0;
    for (int k = 0; k < 6; ++k) {
        code = (code << 4) | HexDigitValue(text[k]);
    }
    return static_cast<std::int32_t>(code);
}

void CountToHex5(std::int32_t count, char* dst) {
    const auto value = static_cast<std::uint32_t>(count > 0xFFFFF ? 0 : count);
    for (int k = 0; k < 5; ++k) {
        dst[k] = NibbleToHexChar((value >> (16 - 4 * k)) & 0xF);
    }
}

char RateCharacter(int index) {
    if (index < 0 || index > TADC::kMaxRateIndex) {
        return '\0';
    }
    // The sixteenth rate is "X", not the next hexadecimal letter.
    return index == TADC::kMaxRateIndex ? 'X' : NibbleToHexChar(static_cast<unsigned>(index));
}

TADC::TADC(FifoDriver& fifoDriver, LinkTiming linkTiming)
    : Tft_FIFO(fifoDriver, std::move(linkTiming)) {}

bool TADC::OpenBoard() {
    return Open() && Purge();
}

void TADC::CloseBoard() {
    if (IsOpen()) {
        Purge();
        Close();
    }
}

bool TADC::PurgeAndWaitOK(const char* text) {
    if (!IsOpen() || !Purge()) {
        return false;
    }
    SetTimeout(kCommandTimeoutMs);
    return SendCommandWaitOK(text);
}

bool TADC::Ping() {
    return PurgeAndWaitOK("?");
}

bool TADC::SelectSinc3() {
    return PurgeAndWaitOK("S3");
}

bool TADC::SelectSinc5() {
    return PurgeAndWaitOK("S5");
}

bool TADC::PurgeAndReadReply(const char* text, char* dst) {
    if (!IsOpen() || !Purge()) {
        return false;
    }
    replyArea[0] = '\0';
    SetTimeout(kCommandTimeoutMs);
    if (!SendCommandReadLine(text, replyArea, kReplyAreaSize)) {
        return false;
    }
    // A reply of "NG" (or anything shaped like it) is the board's refusal.
    if (replyArea[0] == 'N' || (replyArea[0] != '\0' && replyArea[1] == 'G')) {
        return false;
    }
    const std::size_t length = strnlen(replyArea, kMaxReplyText);
    std::memcpy(dst, replyArea, length);
    dst[length] = '\0';
    return true;
}

bool TADC::ReadBoardName(char* dst) {
    return PurgeAndReadReply("U?", dst);
}

bool TADC::ReadBoardVersion(char* dst) {
    return PurgeAndReadReply("V?", dst);
}

bool TADC::SetDataRate(int index) {
    const char rate = RateCharacter(index);
    if (rate == '\0') {
        return false;
    }
    commandArea[0] = 'F';
    commandArea[1] = rate;
    commandArea[2] = '\0';
    replyArea[0] = '\0';
    SetTimeout(kCommandTimeoutMs);
    return SendCommandWaitOK(commandArea);
}

bool TADC::StartConversion(int channelSel, int count) {
    if (channelSel < 0 || channelSel > 2 || !IsOpen()) {
        return false;
    }
    // Purging here drops whatever an earlier run left behind.
    if (!Purge()) {
        return false;
    }
    commandArea[0] = 'A';
    commandArea[1] = static_cast<char>('0' + channelSel);
    CountToHex5(count, commandArea + 2);
    commandArea[7] = '\0';
    return SendCommand(commandArea);
}

bool TADC::StopConversion() {
    if (!IsOpen()) {
        return false;
    }
    return SendCommand("AX");
}

TADC::BlockRead TADC::FetchBlock(unsigned recordBytes, int count) {
    // The sample area holds at most one block of the largest size.
    if (count < 1 || count > kMaxBlockRecords) {
        return BlockRead::Failed;
    }
    const unsigned blockBytes = recordBytes * static_cast<unsigned>(count);
    unsigned delivered = 0;
    if (!ReadExact(sampleArea, blockBytes, &delivered)) {
        return BlockRead::Failed;
    }
    if (delivered == 0) {
        return BlockRead::NotYet;
    }
    return delivered == blockBytes ? BlockRead::Ready : BlockRead::Failed;
}

bool TADC::ParseRecords(std::int32_t* dst0, std::int32_t* dst1, unsigned recordBytes, int count,
                        int* got) {
    const char* record = sampleArea;
    for (int i = 0; i < count; ++i, record += recordBytes) {
        if (record[recordBytes - 1] != '\r') {
            return false;
        }
        dst0[*got] = HexToCode(record);
        if (dst1 != nullptr) {
            dst1[*got] = HexToCode(record + 6);
        }
        ++*got;
    }
    return true;
}

bool TADC::ReadSamples(std::int32_t* dst0, std::int32_t* dst1, unsigned recordBytes, int count,
                       int* got) {
    if (!IsOpen()) {
        return false;
    }
    *got = 0;
    switch (FetchBlock(recordBytes, count)) {
        case BlockRead::Failed:
            return false;
        case BlockRead::NotYet:
            return true;
        case BlockRead::Ready:
            break;
    }
    return ParseRecords(dst0, dst1, recordBytes, count, got);
}

bool TADC::ReadSamples1CH(std::int32_t* dst, int* got, int count) {
    return ReadSamples(dst, nullptr, kRecordBytes1CH, count, got);
}

bool TADC::ReadSamples2CH(std::int32_t* dst0, std::int32_t* dst1, int count, int* got) {
    return ReadSamples(dst0, dst1, kRecordBytes2CH, count, got);
}
