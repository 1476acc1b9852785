// SPDX-License-Identifier: GPL-3.0-or-later
// Connections to the shared instrument as bench scripts use them, on the simulated board with
// its clock moved by the test; the instrument is woken and its run ends told as the server does.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "boardsim/SampleSource.h"
#include "serve/ScpiInterpreter.h"
#include "tests/fakes/TappedBoard.h"

using namespace std::chrono_literals;

namespace {

const std::string kNoError = "0,\"No error\"";

std::vector<double> Figures(const std::string& text) {
    std::vector<double> figures;
    std::istringstream in(text);
    for (std::string figure; std::getline(in, figure, ',');) {
        figures.push_back(std::stod(figure));
    }
    return figures;
}

// One connection and the responses that have left it (without their line end).
struct Client {
    std::string Ask(std::string_view message) {
        interpreter.Receive(message, output);
        return Take();
    }
    std::string Take() {
        const std::string taken = std::exchange(output, {});
        return taken.substr(0, taken.find_last_not_of('\n') + 1);
    }

    ScpiInterpreter interpreter;
    std::string output;
};

class ServeInterpreter : public ::testing::Test {
protected:
    explicit ServeInterpreter(BoardOptions options = {}) : board(clock, std::move(options)) {
        EXPECT_EQ(instrument.Identify(), Acquisition::StartResult::Started);
    }

    Client& Connect() { return *clients.emplace_back(new Client{ScpiInterpreter(instrument), {}}); }
    // Wakes as the server's loop does, the board's clock moving `step` a wake, `wakes` times
    // at most or until the run has ended.
    void Serve(std::chrono::microseconds step, int wakes = 100000) {
        for (int i = 0; i < wakes && instrument.Running(); ++i) {
            clock.Advance(step);
            instrument.Wake();
        }
        for (const ScpiInstrument::RunEnd& end : instrument.TakeEnds()) {
            for (auto& client : clients) {
                client->interpreter.RunEnded(end, client->output);
            }
        }
    }

    FakeClock clock;
    TappedBoard board;
    TADC adc{board, clock.Timing()};
    ScpiInstrument instrument{adc, [this] { return clock.Now(); }};
    std::vector<std::unique_ptr<Client>> clients;
};

TEST_F(ServeInterpreter, SettingsChangedDuringARunAreRefusedAndTheDataStayThoseOfTheRun) {
    Client& runner = Connect();
    Client& other = Connect();
    runner.Ask("VOLT:RATE 10;:SAMP:COUN 20;:INIT");
    Serve(100ms, 3);
    for (const char* change : {"VOLT:RATE 1000", "VOLT:FILT SINC3", "ROUT:SCAN (@0,1)",
                               "SAMP:COUN 5", "TRIG:SOUR BUS", "CONF 1,DEF", "MEAS?"}) {
        EXPECT_EQ(other.Ask(std::string(change) + ";:SYST:ERR?"), "-221,\"Settings conflict\"")
            << change;
    }
    EXPECT_EQ(other.Ask("VOLT:RATE?;FILT?;:ROUT:SCAN?;:SAMP:COUN?"), "1E+01;SINC5;(@0);20");
    Serve(100ms);
    SampleSource source(BoardOptions{}.seed, BoardOptions{}.ch0Microvolts,
                        BoardOptions{}.ch1Microvolts);
    std::string run;
    for (int i = 0; i < 20; ++i) {
        run += (i == 0 ? "" : ",") + std::to_string(source.NextCodes(3, true)[0]);
    }
    EXPECT_EQ(other.Ask("FETC:CODE?"), run) << "the samples of 10 sps";
    EXPECT_EQ(other.Ask("VOLT:RATE 1000;RATE?;:SYST:ERR?"), "1.007E+03;" + kNoError);
}

TEST_F(ServeInterpreter, ReadWithTheBusTriggerIsADeadlockAtOnceAndArmsNothing) {
    Client& client = Connect();
    EXPECT_EQ(client.Ask("TRIG:SOUR BUS;:READ?;:SYST:ERR?"), "-214,\"Trigger deadlock\"");
    EXPECT_EQ(client.Ask("*TRG;:SYST:ERR?"), "-211,\"Trigger ignored\"") << "nothing armed";
    client.Ask("MEAS?");  // sets the trigger to IMMediate, as multimeters do
    Serve(1ms);
    EXPECT_EQ(Figures(client.Take()).size(), 1U);
}

TEST_F(ServeInterpreter, FiguresOfARunTooShortForThemAreNotANumber) {
    Client& client = Connect();
    EXPECT_EQ(client.Ask("CALC:NOIS?;:SYST:ERR?"), "-230,\"Data corrupt or stale\"");
    client.Ask("SAMP:COUN 1;:INIT");
    Serve(1ms);
    EXPECT_EQ(client.Ask("CALC:NOIS?"), "9.91E+37,9.91E+37,9.91E+37,9.91E+37,9.91E+37");
    const std::vector<double> average = Figures(client.Ask("CALC:AVER:ALL?"));
    EXPECT_EQ(average, (std::vector<double>{average[0], 9.91e37, average[0], average[0]}));
    client.Ask("SAMP:COUN 2;:INIT");
    Serve(1ms);
    EXPECT_LT(Figures(client.Ask("CALC:NOIS?"))[0], 1e-3) << "two samples have an rms";
}

// A 2 V peak sine of 1234.5 Hz on CH0 with its second and third harmonic; CH1 holds 1.25 V.
class ServeSineInterpreter : public ServeInterpreter {
protected:
    ServeSineInterpreter() : ServeInterpreter(SineBoard()) {}

    static BoardOptions SineBoard() {
        BoardOptions options;
        options.sine = {1234.5, 2000000.0, -85.0, -95.0};
        return options;
    }
};

TEST_F(ServeSineInterpreter, DynamicFiguresGiveTheSetSineAndNotANumberWithoutOne) {
    Client& client = Connect();
    EXPECT_EQ(client.Ask("CALC:DYN?;:SYST:ERR?"), "-230,\"Data corrupt or stale\"");
    client.Ask("VOLT:RATE 31250;:ROUT:SCAN (@0,1);:SAMP:COUN 4096;:INIT");
    Serve(1ms);
    const std::vector<double> figures = Figures(client.Ask("CALCulate:DYNamic?"));
    ASSERT_EQ(figures.size(), 14U);
    EXPECT_NEAR(figures[0], 1234.5, 0.1);
    EXPECT_NEAR(figures[1], 20.0 * std::log10(2.0 / 2.5), 0.01);  // dBFS
    EXPECT_NEAR(figures[3], 10.0 * std::log10(std::pow(10.0, -8.5) + std::pow(10.0, -9.5)),
                0.3);                                           // THD
    EXPECT_NEAR(figures[5], 85.0, 0.3);                         // SFDR: the second harmonic
    EXPECT_NEAR(figures[6], (figures[4] - 1.76) / 6.02, 1e-6);  // ENOB of the SINAD
    EXPECT_GT(figures[2], figures[4]) << "SNR above SINAD, which counts the harmonics too";
    // CH1's level holds no sine.
    EXPECT_EQ(std::vector<double>(figures.begin() + 7, figures.end()),
              std::vector<double>(7, 9.91e37));
    // Below 1024 samples there is no transform to find a sine in.
    client.Ask("SAMP:COUN 1000;:INIT");
    Serve(1ms);
    EXPECT_EQ(Figures(client.Ask("CALC:DYN?")), std::vector<double>(14, 9.91e37));
}

TEST_F(ServeInterpreter, AFetchWhoseRunAnotherConnectionAbortsGetsWhatArrivedAndIsTold) {
    Client& reader = Connect();
    Client& other = Connect();
    for (const std::string abort : {"ABOR", "*RST"}) {
        reader.Ask("VOLT:RATE 10;:SAMP:COUN 1000;:READ?");
        Serve(100ms, 30);
        const std::size_t arrived = std::stoul(other.Ask("DATA:POIN?"));
        ASSERT_GT(arrived, 10U);
        // The aborting connection starts a new run in the same message, and is told nothing.
        EXPECT_EQ(other.Ask(abort + ";:SAMP:COUN 5;:INIT;:SYST:ERR?"), kNoError);
        Serve(1ms);
        EXPECT_EQ(Figures(reader.Take()).size(), arrived) << abort;
        EXPECT_EQ(reader.Ask("SYST:ERR?;ERR?"), "-200,\"Execution error;run aborted\";" + kNoError);
    }
    EXPECT_EQ(reader.Ask("*RST;FETC?;:SYST:ERR?"), "-230,\"Data corrupt or stale\"")
        << "*RST forgets the measurement";
}

TEST_F(ServeInterpreter, MultimeterFormsTakeRangeAndResolutionAndQueriesTakeMinAndMax) {
    Client& client = Connect();
    for (const char* form : {"MEAS? 2.5,1E-6", "MEAS:VOLT:DC? AUTO,DEF", "MEAS? MAX,MIN"}) {
        client.Ask(form);
        Serve(1ms);
        EXPECT_EQ(Figures(client.Take()).size(), 1U) << form;
    }
    EXPECT_EQ(client.Ask("MEAS? 10;:SYST:ERR?"), "-222,\"Data out of range\"") << "over 2.5 V";
    EXPECT_EQ(client.Ask("CONF 1,0;:SYST:ERR?"), "-222,\"Data out of range\"");
    EXPECT_EQ(client.Ask("SYST:ERR?"), kNoError);
    EXPECT_EQ(client.Ask("VOLT:FILT SINC3;RATE? MIN;RATE? MAX;:SAMP:COUN? MAX;*ESE? MAX"),
              "1.25E+00;3.125E+04;1048575;255");
}

TEST_F(ServeInterpreter, EachScanListMeasuresTheChannelsItNames) {
    Client& client = Connect();
    const std::pair<const char*, std::vector<double>> scans[] = {
        {"(@0)", {0.0}}, {"(@1)", {1.25}}, {"(@0,1)", {0.0, 1.25}}};
    for (const auto& [list, levels] : scans) {
        client.Ask(std::string("ROUT:SCAN ") + list + ";:SAMP:COUN 3;:READ?");
        Serve(1ms);
        const std::vector<double> volts = Figures(client.Take());
        ASSERT_EQ(volts.size(), 3 * levels.size()) << list;
        for (std::size_t i = 0; i < volts.size(); ++i) {
            EXPECT_NEAR(volts[i], levels[i % levels.size()], 1e-3) << list << " " << i;
        }
    }
}

// Each form's parameters are counted before it is executed: -108 for one too many, -109 for a
// missing value, -113 for a form the command lacks; a setting that would change the run under
// way is refused (-221) before its value is looked at.
TEST_F(ServeInterpreter, EachFormTakesTheParametersItNeedsAndNoMore) {
    const std::string tooMany = "-108,\"Parameter not allowed\"";
    const std::string missing = "-109,\"Missing parameter\"";
    const std::string undefined = "-113,\"Undefined header\"";
    const std::string conflict = "-221,\"Settings conflict\"";
    const std::pair<const char*, std::string> idle[] = {
        {"*IDN? 1", tooMany},        {"*RST 1", tooMany},          {"*OPC 1", tooMany},
        {"*ESE", missing},           {"*SRE 1,2", tooMany},        {"*ESE? MAX,MIN", tooMany},
        {"VOLT:RATE", missing},      {"VOLT:RATE 10,20", tooMany}, {"VOLT:FILT? SINC3", tooMany},
        {"ROUT:SCAN", missing},      {"TRIG:SOUR? BUS", tooMany},  {"FORM", missing},
        {"FORM REAL,64,1", tooMany}, {"FORM ASC,1", tooMany},      {"FORM? REAL", tooMany},
        {"FORM:BORD", missing},      {"CONF 1,DEF,3", tooMany},    {"CONF", kNoError},
        {"MEAS? 1,2,3", tooMany},    {"CALC:NOIS? 1", tooMany},    {"INIT?", undefined},
        {"*IDN", undefined},         {"FETC:CODE", undefined},
    };
    Client& client = Connect();
    for (const auto& [message, error] : idle) {
        EXPECT_EQ(client.Ask(std::string(message) + ";:SYST:ERR?"), error) << message;
    }
    client.Ask("VOLT:RATE 10;:SAMP:COUN 20;:INIT");
    const std::pair<const char*, std::string> running[] = {
        {"VOLT:RATE", conflict}, {"VOLT:RATE 10,20", tooMany},
        {"CONF", conflict},      {"*ESE", missing},
        {"FORM", missing},
    };
    for (const auto& [message, error] : running) {
        EXPECT_EQ(client.Ask(std::string(message) + ";:SYST:ERR?"), error) << message;
    }
}

TEST_F(ServeInterpreter, TheSummaryBitOfTheStatusByteFollowsTheEventEnableMask) {
    Client& client = Connect();
    client.Ask("SAMP:COUN 0");  // an execution error (ESR 16), queued (STB 4)
    EXPECT_EQ(client.Ask("*STB?;*ESE 32;*STB?;*ESE 16;*STB?"), "4;4;36");
    EXPECT_EQ(client.Ask("*SRE 32;*STB?;*ESR?;*STB?"), "100;16;4");
}

}  // namespace
