// SPDX-License-Identifier: GPL-3.0-or-later
#include <limits>

#include "tests/DataFileFixture.h"

namespace {

// Tests write their files with "\n"; most go through this to get the program's CR LF.
std::string Crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    return out;
}

std::string Lines(const std::string& line, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        out += line + "\n";
    }
    return out;
}

const std::string kId = "AD7172_DataFile:\n";

std::string Keys(const std::string& chSel = "0", const std::string& sps = "13",
                 const std::string& sinc = "1", const std::string& count = "0") {
    return "spsSel:" + sps + "\nDataCountSel:" + count + "\nCHSel:" + chSel +
           "\nGainSel:0\nfSinc5:" + sinc + "\nfBUF_ON:0\n";
}
const std::string kFiveKeys = "spsSel:13\nDataCountSel:0\nCHSel:0\nGainSel:0\nfSinc5:1\n";

std::string WithKeys(const std::string& keys, const std::string& data = "5\n") {
    return Crlf(kId + "M:\n" + keys + "MEND:\nD:\n" + data + "DEND:\n");
}

std::string Dta(const std::string& chSel, const std::string& data) {
    return WithKeys(Keys(chSel), data);
}

constexpr std::int32_t kStart0 = 7;  // counts the series hold before the load
constexpr std::int32_t kStart1 = 9;

struct LoadCase {
    std::string name;
    std::string bytes;
    bool fOk;
    std::int32_t count0;
    std::int32_t count1;
    std::int32_t sps = 13;  // checked after a successful load
};

std::vector<LoadCase> LoadCases() {
    const std::string longNote = "note:" + std::string(295, 'a') + "\n";
    const std::string fittingNote = "note:" + std::string(245, 'a') + "\n";
    return {
        {"one column CH0", Dta("0", "5\n6\n"), true, 2, 0},
        {"one column CH1", Dta("1", "5\n6\n"), true, 0, 2},
        {"two columns", Dta("2", "5,6\n7,8\n"), true, 2, 2},
        {"empty data section", Dta("2", ""), true, 0, 0},
        {"comments everywhere",
         Crlf(";a\n" + kId +
              ";b\nM:\n;c\nspsSel:13\n;d\nDataCountSel:0\nCHSel:0\nGainSel:0\n"
              "fSinc5:1\nfBUF_ON:0\n;e\nMEND:\n;f\nD:\n;g\n5\n;h\nDEND:\n"),
         true, 1, 0},
        {"NUL-first line skipped", Dta("0", std::string("\0junk\n5\n", 8)), true, 1, 0},
        {"line feeds alone", kId + "M:\n" + Keys() + "MEND:\nD:\n5\nDEND:\n", true, 1, 0},
        {"stray CRs removed", WithKeys(Keys("0", "1\r2"), "\r5\r\n"), true, 1, 0, 12},
        {"CR-only line is empty", Dta("0", "5\n\r\n6\n"), false, 1, kStart1},
        {"empty first line", Crlf("\n") + Dta("0", "5\n"), false, kStart0, kStart1},
        {"identification with blank",
         Crlf("AD7172_DataFile: \nM:\n" + Keys() + "MEND:\nD:\nDEND:\n"), false, kStart0, kStart1},
        {"identification lower case",
         Crlf("ad7172_datafile:\nM:\n" + Keys() + "MEND:\nD:\nDEND:\n"), false, kStart0, kStart1},
        {"M: after 9 lines", Crlf(kId + Lines("x:1", 9) + "M:\n" + Keys() + "MEND:\nD:\nDEND:\n"),
         true, 0, 0},
        {"M: after 10 lines", Crlf(kId + Lines("x:1", 10) + "M:\n" + Keys() + "MEND:\nD:\nDEND:\n"),
         false, kStart0, kStart1},
        {"D: after 9 lines",
         Crlf(kId + "M:\n" + Keys() + "MEND:\n" + Lines("x", 9) + "D:\nDEND:\n"), true, 0, 0},
        {"D: after 10 lines",
         Crlf(kId + "M:\n" + Keys() + "MEND:\n" + Lines("x", 10) + "D:\nDEND:\n"), false, kStart0,
         kStart1},
        {"MEND: as first line ignored", WithKeys("MEND:\n" + Keys()), true, 1, 0},
        {"MEND: as sixth line ignored", WithKeys(kFiveKeys), false, kStart0, kStart1},
        {"20 lines end the settings",
         Crlf(kId + "M:\n" + Keys() + Lines("n:", 14) + "D:\n5\nDEND:\n"), true, 1, 0},
        {"D: as 20th settings line",
         Crlf(kId + "M:\n" + Keys() + Lines("n:", 13) + "D:\n5\nDEND:\n"), false, kStart0, kStart1},
        {"order, repeats, unknown keys",
         WithKeys("GainSel:0\nfBUF_ON:0\nspsSel:1\n:\nCHSel:0\nnote:x:y\nfSinc5:1\nspsSel:12\n"),
         true, 1, 0, 12},
        {"keys are case-sensitive", WithKeys("spssel:12\nx:\n" + kFiveKeys.substr(10)), true, 1, 0,
         3},
        {"settings line without colon", WithKeys(Keys() + "note\n"), false, kStart0, kStart1},
        {"empty settings line", WithKeys("\n" + Keys()), false, kStart0, kStart1},
        {"flag 2", WithKeys(Keys("0", "13", "2")), false, kStart0, kStart1},
        {"flag empty", WithKeys(Keys("0", "13", "")), false, kStart0, kStart1},
        {"flag with leading blank", WithKeys(Keys("0", "13", " 1")), false, kStart0, kStart1},
        {"flag true as word", WithKeys(Keys("0", "13", "true")), false, kStart0, kStart1},
        {"spsSel empty", WithKeys(Keys("0", "")), false, kStart0, kStart1},
        {"spsSel trailing blank", WithKeys(Keys("0", "5 ")), false, kStart0, kStart1},
        {"spsSel letters", WithKeys(Keys("0", "abc")), false, kStart0, kStart1},
        {"spsSel leading blank", WithKeys(Keys("0", " 5")), true, 1, 0, 5},
        {"spsSel hexadecimal", WithKeys(Keys("0", "$A")), true, 1, 0, 10},
        {"spsSel 16", WithKeys(Keys("0", "16")), true, 1, 0, 16},
        {"spsSel 17", WithKeys(Keys("0", "17")), false, kStart0, kStart1},
        {"spsSel -1", WithKeys(Keys("0", "-1")), false, kStart0, kStart1},
        {"DataCountSel 7", WithKeys(Keys("0", "13", "1", "7")), false, kStart0, kStart1},
        {"CHSel 3", WithKeys(Keys("3")), false, kStart0, kStart1},
        {"CHSel -1", WithKeys(Keys("-1")), false, kStart0, kStart1},
        {"empty data line", Dta("0", "5\n\n6\n"), false, 1, kStart1},
        {"invalid data value", Dta("0", "5\n6a\n"), false, 1, kStart1},
        {"CH1 failure keeps CH0", Dta("1", "5\nx\n"), false, kStart0, 1},
        {"DEND: with a tail", Dta("0", "5\nDEND:x\n"), false, 1, kStart1},
        {"DEND: lower case", Dta("0", "5\ndend:\n"), false, 1, kStart1},
        {"missing DEND:", Crlf(kId + "M:\n" + Keys() + "MEND:\nD:\n5\n6\n"), false, 2, kStart1},
        {"nothing after DEND: is read", Dta("0", "5\n") + "garbage", true, 1, 0},
        {"third comma value", Dta("2", "1,2\n5,6,7\n"), false, 1, 1},
        {"no comma", Dta("2", "1,2\n5\n"), false, 1, 1},
        {"blank after comma", Dta("2", "5, 6\n"), true, 1, 1},
        {"blank before comma", Dta("2", "5 ,6\n"), false, 0, 0},
        {"empty right value", Dta("2", "5,\n"), false, 0, 0},
        {"300-byte settings line", WithKeys(Keys() + longNote), false, kStart0, kStart1},
        {"250-byte settings line", WithKeys(Keys() + fittingNote), true, 1, 0},
        {"300-byte comment", Dta("0", "5\n;" + std::string(299, 'c') + "\n6\n"), false, 1, kStart1},
        {"comment of 255 bytes with CR LF", Dta("0", "5\n;" + std::string(252, 'c') + "\n6\n"),
         true, 2, 0},
        {"comment of 256 bytes with CR LF", Dta("0", "5\n;" + std::string(253, 'c') + "\n6\n"),
         false, 1, kStart1},
        {"10100 samples", Dta("0", Lines("8388608", kSeriesCapacity)), true, kSeriesCapacity, 0},
        {"10101 samples", Dta("0", Lines("8388608", kSeriesCapacity + 1)), false, kSeriesCapacity,
         kStart1},
        {"10101 sample pairs", Dta("2", Lines("1,2", kSeriesCapacity + 1)), false, kSeriesCapacity,
         kSeriesCapacity},
    };
}

class DataFileLoadTest : public DataFileFixture {
protected:
    bool LoadBytes(const std::string& bytes) {
        WriteBytes(Path("in.DTA"), bytes);
        settings = MeasureSettings();
        ch0.Series.Count = kStart0;
        ch1.Series.Count = kStart1;
        ch0.Codes.fill(-1);
        ch1.Codes.fill(-1);
        return file.Load(Path("in.DTA"), settings, ch0.Series, ch1.Series);
    }

    MeasureSettings settings;
};

TEST_F(DataFileLoadTest, ReaderRulesOnMalformedAndOddFiles) {
    for (const LoadCase& c : LoadCases()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LoadBytes(c.bytes), c.fOk);
        EXPECT_EQ(ch0.Series.Count, c.count0);
        EXPECT_EQ(ch1.Series.Count, c.count1);
        if (c.fOk) {
            EXPECT_EQ(settings.spsSel, c.sps);
        }
        // A series the load did not fill keeps its codes.
        if (c.count0 == kStart0) {
            EXPECT_EQ(ch0.Codes[0], -1);
        }
        if (c.count1 == kStart1) {
            EXPECT_EQ(ch1.Codes[0], -1);
        }
    }
}

TEST_F(DataFileLoadTest, IntegerForms) {
    constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    struct Case {
        std::string text;
        bool fOk;
        std::int32_t value;
    };
    const Case cases[] = {
        {"0", true, 0},
        {"007", true, 7},
        {"+5", true, 5},
        {"-5", true, -5},
        {"-0", true, 0},
        {"   42", true, 42},
        {"42 ", false, 0},
        {"4 2", false, 0},
        {"\t5", false, 0},
        {"- 5", false, 0},
        {"--5", false, 0},
        {"+", false, 0},
        {"5.0", false, 0},
        {"1e3", false, 0},
        {"2147483647", true, kMax},
        {"2147483648", false, 0},
        {"-2147483648", true, kMin},
        {"-2147483649", false, 0},
        {"99999999999999999999", false, 0},
        {"$FFFFFF", true, kFullScaleCode},
        {"$ffffff", true, kFullScaleCode},
        {"x1f", true, 31},
        {"0x1F", true, 31},
        {" 0x10", true, 16},
        {"-$10", true, -16},
        {"+0x10", true, 16},
        {"$7FFFFFFF", true, kMax},
        {"$80000000", false, 0},
        {"-$80000000", true, kMin},
        {"$FFFFFFFF", false, 0},
        {"$", false, 0},
        {"0x", false, 0},
        {"x", false, 0},
        {"0X10", false, 0},
        {"X10", false, 0},
        {"$ 10", false, 0},
        {"$-10", false, 0},
        {"$+10", false, 0},
        {"$$1", false, 0},
        {"0x0x1", false, 0},
        {"$1G", false, 0},
        {std::string("5\0junk", 6), true, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("\"" + c.text + "\"");
        EXPECT_EQ(LoadBytes(Dta("0", c.text + "\n")), c.fOk);
        if (c.fOk) {
            EXPECT_EQ(ch0.Series.Count, 1);
            EXPECT_EQ(ch0.Codes[0], c.value);
        }
    }
}

TEST_F(DataFileLoadTest, MissingKeysKeepTheCallersSettings) {
    WriteBytes(Path("in.DTA"), WithKeys("CHSel:2\nfBUF_ON:1\n" + Lines("note:", 4), "1,2\n"));
    MeasureSettings current;
    current.spsSel = 11;
    current.DataCountSel = 5;
    current.GainSel = 3;
    current.GainFactor = 8;
    current.fSinc5 = false;
    MeasureSettings expected = current;
    expected.CHSel = 2;
    expected.fBUF_ON = true;
    ASSERT_TRUE(file.Load(Path("in.DTA"), current, ch0.Series, ch1.Series));
    EXPECT_EQ(current, expected);
}

TEST_F(DataFileLoadTest, UnopenableOrUnnamedFilesFail) {
    ch0.Series.Count = kStart0;
    ch1.Series.Count = kStart1;
    EXPECT_FALSE(file.Load("", settings, ch0.Series, ch1.Series));
    EXPECT_FALSE(file.Load(Path("absent.DTA"), settings, ch0.Series, ch1.Series));
    EXPECT_FALSE(file.Load(Path(""), settings, ch0.Series, ch1.Series));
    EXPECT_EQ(ch0.Series.Count, kStart0);
    EXPECT_EQ(ch1.Series.Count, kStart1);
    EXPECT_EQ(settings, MeasureSettings());
}

}  // namespace
