// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "link/Ft_fifo.h"

// Value 0..15 of a hexadecimal digit character; any other character counts as 0.
unsigned HexDigitValue(char c);
// Code of the six hexadecimal characters at `text`, first character most significant.
std::int32_t HexToCode(const char* text);
// Five upper-case hexadecimal digits of `count` into `dst` (no NUL); "00000" above 0xFFFFF.
void CountToHex5(std::int32_t count, char* dst);
// Rate character of a data-rate index: 0..9, A..F, and X for 16; NUL outside 0..16.
char RateCharacter(int index);

// The converter board's command language on top of the byte link: identification,
// filter and rate selection, start and stop of a conversion, and the block reads that
// turn hexadecimal sample records into converter codes in place. What each call sends (a
// carriage return ends every line) and what it waits for, at most kCommandTimeoutMs:
//   Ping                   "?"                          "OK"
//   SelectSinc3/5          "S3" / "S5"                  "OK"
//   SetDataRate            "F" + RateCharacter(index)   "OK"
//   ReadBoardName          "U?"                         one line; "NG" is a refusal
//   ReadBoardVersion       "V?"                         one line; "NG" is a refusal
//   StartConversion        "A" + channel digit 0/1/2    nothing; the records follow
//                          + CountToHex5(count)
//   StopConversion         "AX"                         nothing
// All but SetDataRate and StopConversion purge the link first. A record is six upper-case
// hexadecimal digits per channel and a carriage return: kRecordBytes1CH or kRecordBytes2CH.
// A block is taken whole or not at all; a record that does not end in its carriage return
// fails the read, after the records before it.
class TADC : public Tft_FIFO {
public:
    static constexpr int kCommandTimeoutMs = 100;
    static constexpr unsigned kSampleAreaSize = 1310;
    static constexpr unsigned kCommandAreaSize = 20;
    static constexpr unsigned kReplyAreaSize = 26;
    static constexpr unsigned kMaxReplyText = 10;  // dst of the name and version queries holds 11
    static constexpr int kMaxBlockRecords = 100;
    static constexpr unsigned kRecordBytes1CH = 7;
    static constexpr unsigned kRecordBytes2CH = 13;
    static constexpr int kMaxRateIndex = 16;

    explicit TADC(FifoDriver& fifoDriver, LinkTiming linkTiming = {});

    bool OpenBoard();
    void CloseBoard();
    bool Ping();
    bool ReadBoardName(char* dst);
    bool ReadBoardVersion(char* dst);
    bool SelectSinc3();
    bool SelectSinc5();
    bool SetDataRate(int index);
    bool StartConversion(int channelSel, int count);
    bool ReadSamples1CH(std::int32_t* dst, int* got, int count);
    bool ReadSamples2CH(std::int32_t* dst0, std::int32_t* dst1, int count, int* got);
    bool StopConversion();
    int GetGainFactor() const { return 1; }

private:
    bool PurgeAndWaitOK(const char* text);
    bool PurgeAndReadReply(const char* text, char* dst);
    enum class BlockRead { Failed, NotYet, Ready };
    BlockRead FetchBlock(unsigned recordBytes, int count);
    // dst1 is null for one-channel records.
    bool ReadSamples(std::int32_t* dst0, std::int32_t* dst1, unsigned recordBytes, int count,
                     int* got);
    bool ParseRecords(std::int32_t* dst0, std::int32_t* dst1, unsigned recordBytes, int count,
                      int* got);

    char sampleArea[kSampleAreaSize];
    char commandArea[kCommandAreaSize];
    char replyArea[kReplyAreaSize];
};
