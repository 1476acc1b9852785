// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "common/ChannelSeries.h"
#include "common/MeasureSettings.h"
#include "common/Prompts.h"
#include "datafile/FileFailure.h"

// Writes and reads ".DTA" data files: the settings of one measurement and the converter
// codes of one channel or of both, as text lines ending in CR LF. Keeps no state between
// calls; every operation opens, uses and closes its file within the call. A file of both
// channels (one channel has one code per line):
//   AD7172_DataFile:
//   M:
//   spsSel:3
//   DataCountSel:3
//   CHSel:2
//   GainSel:0
//   fSinc5:1
//   fBUF_ON:0
//   MEND:
//   D:
//   8388621,12582914
//   ...
//   DEND:
// Loading reads lines of at most 255 bytes, skips lines that begin with ";" or NUL and drops
// every CR and LF; unknown settings keys are passed over. An integer takes leading blanks, a
// sign, and decimal digits or hexadecimal ones after "$", "x" or "0x" (the sign applies to
// them too); the signed value must fit in 32 bits. A load fails for more samples than a series
// holds (kSeriesCapacity) and for a rate, count or channel index outside its list, so the
// window can use them as indexes. Only a regular file is loaded (a link to one is fine).
class TmyFile {
public:
    explicit TmyFile(Prompts& operatorPrompts);

    // True when the file was written, and also when it existed and the operator declined
    // to overwrite it (then nothing is written). A failed save leaves an existing file as
    // it was. `failure`, when given, says why a save failed.
    bool SaveOneChannel(const std::string& fileName, const MeasureSettings& settings,
                        const ChannelSeries& series, FileFailure* failure = nullptr);
    bool SaveTwoChannels(const std::string& fileName, const MeasureSettings& settings,
                         const ChannelSeries& ch0, const ChannelSeries& ch1,
                         FileFailure* failure = nullptr);

    // `settings` holds the caller's starting values; a key the file lacks keeps its value.
    // True when the file was read through "DEND:". `failure`, when given, says why a load
    // failed and on which line the reading stopped.
    bool Load(const std::string& fileName, MeasureSettings& settings, ChannelSeries& ch0,
              ChannelSeries& ch1, FileFailure* failure = nullptr);

private:
    enum class DataLine { Sample, End, Bad };

    FileFailure Save(const std::string& fileName, const std::string& text);
    FileFailure Read(const std::string& fileName, MeasureSettings& settings, ChannelSeries& ch0,
                     ChannelSeries& ch1);
    bool ConfirmOverwrite(const std::string& fileName);

    static std::string WriteFileStart(const MeasureSettings& settings);
    static void WriteLine(std::string& text, std::string_view line);
    static void WriteSettingsSection(std::string& text, const MeasureSettings& settings);
    static void WriteDataOneColumn(std::string& text, const ChannelSeries& series);
    static void WriteDataTwoColumns(std::string& text, const ChannelSeries& ch0,
                                    const ChannelSeries& ch1);

    static bool ReadLine(std::FILE* file, std::string& line);
    static bool FindMarker(std::FILE* file, std::string_view marker);
    static bool ReadSettingsSection(std::FILE* file, MeasureSettings& settings);
    static bool StoreSetting(std::string_view key, std::string_view value,
                             MeasureSettings& settings);
    // The data section: None when read through "DEND:", else what stopped it.
    static FileFailure::Kind ReadDataSection(std::FILE* file, std::int32_t chSel,
                                             ChannelSeries& ch0, ChannelSeries& ch1);
    static DataLine NextDataLine(std::FILE* file, std::string& line);
    static FileFailure::Kind ReadDataOneColumn(std::FILE* file, ChannelSeries& series);
    static FileFailure::Kind ReadDataTwoColumns(std::FILE* file, ChannelSeries& ch0,
                                                ChannelSeries& ch1);
    static FileFailure::Kind DataEnd(DataLine kind);

    static bool ParseInteger(std::string_view text, std::int32_t& value);
    static bool ParsePlainDecimal(std::string_view text, std::int32_t& value);
    static bool ParseFlag(std::string_view text, bool& flag);

    Prompts& prompts;
};
