// SPDX-License-Identifier: GPL-3.0-or-later
// Connections to the shared instrument as bench scripts use them: runs, settings during a run,
// aborted runs, short runs, status bits; on the simulated board with its clock moved by the test,
// the instrument woken and its run ends told as the server's loop does.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "boardsim/SampleSource.h"
#include "serve/ScpiSession.h"
#include "tests/fakes/TappedBoard.h"

using namespace std::chrono_literals;

namespace {

constexpr std::string_view kNoError = "0,\"No error\"";

std::vector<std::string> Split(const std::string& text, char separator = ',') {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t at = text.find(separator); at != std::string::npos;
         at = text.find(separator, start)) {
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

std::vector<double> Figures(const std::string& text) {
    std::vector<double> figures;
    for (const std::string& part : Split(text)) {
        figures.push_back(std::strtod(part.c_str(), nullptr));
    }
    return figures;
}

// One connection: its session and the responses that have left it.
struct Client {
    explicit Client(ScpiInstrument& instrument) : session(instrument) {}

    // One program message; what left since the last call, without the line end.
    std::string Ask(std::string_view message) {
        session.Receive(message, output);
        return Take();
    }
    std::string Take() {
        std::string taken = std::exchange(output, {});
        if (taken.ends_with('\n')) {
            taken.pop_back();
        }
        return taken;
    }

    ScpiSession session;
    std::string output;
};

class ServeSession : public ::testing::Test {
protected:
    ServeSession() { EXPECT_EQ(instrument.Identify(), Acquisition::StartResult::Started); }

    Client& Connect() { return *clients.emplace_back(std::make_unique<Client>(instrument)); }

    // The server's loop while a run goes on: the board's clock moves by `step` a wake, and every
    // run's end is told to every connection. `wakes` at most (none: until the run has ended).
    void Serve(std::chrono::microseconds step, int wakes = 100000) {
        for (int i = 0; i < wakes && instrument.Running(); ++i) {
            clock.Advance(step);
            instrument.Wake();
            TellEnds();
        }
        TellEnds();
    }
    void TellEnds() {
        for (const ScpiInstrument::RunEnd& end : instrument.TakeEnds()) {
            for (auto& client : clients) {
                client->session.RunEnded(end, client->output);
            }
        }
    }
    bool StartSent() {
        const std::vector<std::string> sent = board.TakeCommands();
        return std::any_of(sent.begin(), sent.end(),
                           [](const std::string& c) { return c.starts_with('A'); });
    }

    FakeClock clock;
    TappedBoard board{clock};
    TADC adc{board, clock.Timing()};
    ScpiInstrument instrument{adc, [this] { return clock.Now(); }};
    std::vector<std::unique_ptr<Client>> clients;
};

TEST_F(ServeSession, SettingsChangedDuringARunAreRefusedAndTheDataStayThoseOfTheRun) {
    Client& runner = Connect();
    Client& other = Connect();
    EXPECT_EQ(runner.Ask("VOLT:RATE 10;:SAMP:COUN 20;:INIT"), "");
    Serve(100ms, 3);
    ASSERT_TRUE(instrument.Busy());
    for (const char* change : {"VOLT:RATE 1000", "SENS:VOLT:DC:FILT SINC3", "ROUT:SCAN (@0,1)",
                               "SAMP:COUN 5", "TRIG:SOUR BUS", "CONF", "CONF:VOLT:DC 1,DEF"}) {
        EXPECT_EQ(other.Ask(change), "") << change;
        EXPECT_EQ(other.Ask("SYST:ERR?"), "-221,\"Settings conflict\"") << change;
    }
    EXPECT_EQ(other.Ask("MEAS?"), "");
    EXPECT_EQ(other.Ask("SYST:ERR?;ERR?"), "-221,\"Settings conflict\";" + std::string(kNoError));
    EXPECT_EQ(other.Ask("VOLT:RATE?;FILT?;:ROUT:SCAN?;:SAMP:COUN?;:TRIG:SOUR?"),
              "1E+01;SINC5;(@0);20;IMM");

    Serve(100ms);
    SampleSource source(BoardOptions{}.seed, BoardOptions{}.ch0Microvolts,
                        BoardOptions{}.ch1Microvolts);
    const std::vector<std::string> codes = Split(other.Ask("FETC:CODE?"));
    ASSERT_EQ(codes.size(), 20U);
    for (const std::string& code : codes) {
        EXPECT_EQ(code, std::to_string(source.NextCodes(3, true)[0])) << "a sample of 10 sps";
    }
    EXPECT_EQ(other.Ask("VOLT:RATE 1000;RATE?;:SYST:ERR?"), "1.007E+03;" + std::string(kNoError))
        << "taken once the run is over";
}

TEST_F(ServeSession, ReadWithTheBusTriggerIsADeadlockAtOnceAndArmsNothing) {
    Client& client = Connect();
    board.TakeCommands();
    EXPECT_EQ(client.Ask("TRIG:SOUR BUS;:READ?"), "");
    EXPECT_FALSE(client.session.Waiting());
    EXPECT_EQ(client.Ask("SYST:ERR?"), "-214,\"Trigger deadlock\"");
    EXPECT_EQ(client.Ask("*TRG;:SYST:ERR?"), "-211,\"Trigger ignored\"") << "no run armed";
    EXPECT_FALSE(StartSent());
    // MEASure? sets the trigger to IMMediate, as multimeters do, so it measures.
    EXPECT_EQ(client.Ask("MEAS?"), "");
    EXPECT_TRUE(client.session.Waiting());
    Serve(1ms);
    EXPECT_EQ(Figures(client.Take()).size(), 1U);
}

TEST_F(ServeSession, FiguresOfARunTooShortForThemAreNotANumber) {
    Client& client = Connect();
    EXPECT_EQ(client.Ask("CALC:NOIS?"), "");
    EXPECT_EQ(client.Ask("SYST:ERR?"), "-230,\"Data corrupt or stale\"") << "no run at all";

    client.Ask("ROUT:SCAN (@0,1);:SAMP:COUN 1;:INIT");
    Serve(1ms);
    EXPECT_EQ(client.Ask("CALC:NOIS?"),
              "9.91E+37,9.91E+37,9.91E+37,9.91E+37,9.91E+37,"
              "9.91E+37,9.91E+37,9.91E+37,9.91E+37,9.91E+37");
    const std::vector<std::string> average = Split(client.Ask("CALC:AVER:ALL?"));
    ASSERT_EQ(average.size(), 8U);
    for (const std::size_t channel : {0U, 4U}) {
        EXPECT_EQ(average[channel + 1], "9.91E+37") << "one sample has no deviation";
        EXPECT_EQ(average[channel], average[channel + 2]) << "the mean is the one sample";
        EXPECT_EQ(average[channel], average[channel + 3]);
    }
    EXPECT_NEAR(std::strtod(average[4].c_str(), nullptr), 1.25, 1e-4);
    EXPECT_EQ(client.Ask("SYST:ERR?"), kNoError);

    client.Ask("SAMP:COUN 2;:INIT");
    Serve(1ms);
    const std::vector<double> noise = Figures(client.Ask("CALC:NOIS?"));
    ASSERT_EQ(noise.size(), 10U);
    EXPECT_LT(noise[0], 1e-3) << "two samples have an rms";
    EXPECT_LT(Figures(client.Ask("CALC:AVER:ALL?"))[1], 1e-3);
}

TEST_F(ServeSession, AFetchWhoseRunAnotherConnectionAbortsGetsWhatArrivedAndIsTold) {
    Client& reader = Connect();
    Client& other = Connect();
    for (const char* abort : {"ABOR", "*RST"}) {
        reader.Ask("VOLT:RATE 10;:SAMP:COUN 1000");
        EXPECT_EQ(reader.Ask("READ?"), "");
        Serve(100ms, 30);
        const std::string points = other.Ask("DATA:POIN?");
        ASSERT_GT(std::stoi(points), 10) << abort;
        // The aborting connection starts again at once in the same message.
        EXPECT_EQ(other.Ask(std::string(abort) + ";:SAMP:COUN 5;:INIT;:SYST:ERR?"), kNoError);
        TellEnds();
        EXPECT_EQ(Split(reader.Take()).size(), static_cast<std::size_t>(std::stoi(points)))
            << abort;
        EXPECT_EQ(reader.Ask("SYST:ERR?;ERR?"),
                  "-200,\"Execution error;run aborted\";" + std::string(kNoError));
        Serve(1ms);
        EXPECT_EQ(Split(reader.Ask("FETC?")).size(), 5U) << "the new run's";
    }
    // *RST forgets the last measurement.
    EXPECT_EQ(reader.Ask("*RST;FETC?"), "");
    EXPECT_EQ(reader.Ask("SYST:ERR?;:DATA:POIN?"), "-230,\"Data corrupt or stale\";0");
}

TEST_F(ServeSession, MultimeterFormsTakeRangeAndResolutionAndQueriesTakeMinAndMax) {
    Client& client = Connect();
    for (const char* form : {"MEAS? 2.5,1E-6", "MEAS:VOLT:DC? AUTO,DEF", "MEAS:VOLT? MAX,MIN",
                             "MEAS? -2.5", "MEASURE:VOLTAGE? DEF"}) {
        EXPECT_EQ(client.Ask(form), "") << form;
        Serve(1ms);
        EXPECT_EQ(Figures(client.Take()).size(), 1U) << form;
        EXPECT_EQ(client.Ask("SYST:ERR?"), kNoError) << form;
    }
    const std::pair<const char*, const char*> refused[] = {
        {"MEAS? 10", "-222,\"Data out of range\""},
        {"MEAS? 2.6,1E-6", "-222,\"Data out of range\""},
        {"MEAS? 1,0", "-222,\"Data out of range\""},
        {"MEAS? WIDE", "-224,\"Illegal parameter value\""},
        {"MEAS? 1,1,1", "-108,\"Parameter not allowed\""},
        {"CONF 3", "-222,\"Data out of range\""},
        {"VOLT:RATE? 10", "-224,\"Illegal parameter value\""},
        {"VOLT:FILT? MIN", "-108,\"Parameter not allowed\""},
    };
    board.TakeCommands();
    for (const auto& [form, error] : refused) {
        EXPECT_EQ(client.Ask(form), "") << form;
        EXPECT_EQ(client.Ask("SYST:ERR?"), error) << form;
    }
    EXPECT_FALSE(StartSent()) << "nothing measured";
    client.Ask("CONF 2,1E-5;:SAMP:COUN 300;:TRIG:SOUR BUS");
    EXPECT_EQ(client.Ask("CONF MIN,MAX;:SAMP:COUN?;:TRIG:SOUR?;:SYST:ERR?"),
              "1;IMM;" + std::string(kNoError));
    // The filters' slowest and fastest rates, the largest count of a run, the registers' span.
    for (const char* filter : {"SINC5", "SINC3"}) {
        client.Ask(std::string("VOLT:FILT ") + filter);
        EXPECT_EQ(client.Ask("VOLT:RATE? MIN;RATE? MAXIMUM;RATE?"), "1.25E+00;3.125E+04;3.125E+04");
    }
    EXPECT_EQ(client.Ask("SAMP:COUN? MIN;COUN? MAX;COUN?"), "1;1048575;1");
    EXPECT_EQ(client.Ask("*ESE? MAX;*ESE? MIN;*SRE? MAX;*ESE?"), "255;0;255;0");
}

TEST_F(ServeSession, EachScanListMeasuresTheChannelsItNames) {
    Client& client = Connect();
    const std::pair<const char*, std::vector<double>> scans[] = {
        {"(@0)", {0.0}}, {"(@1)", {1.25}}, {"(@0,1)", {0.0, 1.25}}, {"(@1,0)", {0.0, 1.25}}};
    for (const auto& [list, levels] : scans) {
        client.Ask(std::string("ROUT:SCAN ") + list + ";:SAMP:COUN 10;:READ?");
        Serve(1ms);
        const std::vector<double> volts = Figures(client.Take());
        ASSERT_EQ(volts.size(), 10 * levels.size()) << list;
        for (std::size_t i = 0; i < volts.size(); ++i) {
            EXPECT_NEAR(volts[i], levels[i % levels.size()], 1e-3) << list << " value " << i;
        }
    }
}

TEST_F(ServeSession, TheSummaryBitOfTheStatusByteFollowsTheEventEnableMask) {
    Client& client = Connect();
    client.Ask("SAMP:COUN 0");  // an execution error: ESR bit 4; the queue holds it (STB bit 2)
    EXPECT_EQ(client.Ask("*STB?"), "4") << "no event enabled";
    EXPECT_EQ(client.Ask("*ESE 32;*STB?"), "4") << "only command errors enabled";
    EXPECT_EQ(client.Ask("*ESE 16;*STB?"), "36");
    EXPECT_EQ(client.Ask("*SRE 32;*STB?"), "100") << "the summary requests service";
    EXPECT_EQ(client.Ask("*ESR?;*STB?"), "16;4") << "read, the event is gone";
    EXPECT_EQ(client.Ask("*ESE 255;*SRE 0;NOPE;*STB?"), "36") << "a command error";
    EXPECT_EQ(client.Ask("*ESE 223;*STB?"), "4") << "everything but command errors enabled";
}

}  // namespace
