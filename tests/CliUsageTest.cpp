// SPDX-License-Identifier: GPL-3.0-or-later
// selkoran-cli's command line as a user mistypes it: the cause of a usage error stays on the
// screen with one line pointing to the help, each command has its own help, and durations
// read as written.

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSet>

#include "cli/CommandTable.h"
#include "cli/MonitorOptions.h"
#include "cli/OptionTable.h"
#include "cli/RecordOptions.h"
#include "tests/CliTestSupport.h"

namespace {

const QStringList kCommands = {"info",    "measure", "record",  "serve",
                               "monitor", "show",    "analyze", "convert"};

class CliUsage : public CliFixture {};

TEST_F(CliUsage, AUsageErrorShowsItsCauseAndWhereTheHelpIs) {
    struct Row {
        QStringList arguments;
        QString cause;
        QString help;  // the command whose help the last line points to; empty: the overview
    };
    const Row rows[] = {
        {{"mesure", "--rate", "10"}, "不明なコマンドです：mesure", ""},
        {{},
         "コマンドを指定してください（info、measure、show、analyze、record、serve、monitor、"
         "convert）",
         ""},
        {{"measure", "--rate", "10", "--rate=5"},
         "オプションが二度指定されています：--rate",
         "measure"},
        {{"show", "a.DTA", "--volt", "--volt"}, "オプションが二度指定されています：--volt", "show"},
        {{"record", "--count", "1048576", "--output", "a.csv"},
         "--count 1048576 は記録できません。記録できるデータ数：1 から 1048575 まで（それより長い"
         "記録は --duration で指定してください）",
         "record"},
        {{"measure", "--count", "300"},
         "--count 300 は選べません。選べるデータ数：100、200、500、1000、2000、5000、10000",
         "measure"},
        {{"measure", "--port", "5025"}, "measure では使えないオプションです：--port", "measure"},
        {{"analyze", "a.DTA", "--frequency", "5"}, "不明なオプションです：--frequency", "analyze"},
        {{"measure", "--output"}, "--output の値がありません", "measure"},
        // The first mistake is the one told; a rate is checked against the filter named after it.
        {{"measure", "--rate", "abc", "--frequency", "5"},
         "オプションの値が正しくありません：--rate abc",
         "measure"},
        {{"show", "a.DTA", "--volt=1"}, "値を取らないオプションです：--volt=1", "show"},
        {{"measure", "--rate", "16", "--filter", "sinc3"},
         "--rate 16 は sinc3 "
         "フィルタのレートではありません。使えるレート（sps）：1.25、2.5、5、10、"
         "16.67、20.01、50、59.98、100.2、200.3、504、1008、2604、5208、10417、15625、31250",
         "measure"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.arguments.join(' ').toStdString());
        const CliResult result = Run(row.arguments);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_TRUE(result.out.isEmpty());
        const QString help = row.help.isEmpty() ? "--help" : row.help + " --help";
        EXPECT_EQ(result.err, row.cause + "\n詳しくは selkoran-cli " + help + " を見てください\n");
    }
}

// A command's help holds its usage and every option it takes, and nothing of the others'; its
// parser takes the same options.
TEST_F(CliUsage, EachCommandHasItsOwnHelpAndTheOverviewHasAll) {
    const CliResult overview = Run({"--help"});
    ASSERT_EQ(overview.exitCode, 0);
    QSet<QString> options;
    static const QRegularExpression optionName(QStringLiteral("--([a-z][a-z-]+)"));
    for (const auto& match : optionName.globalMatch(overview.out)) {
        options << match.captured(1);
    }
    EXPECT_GE(options.size(), 30);
    for (const QString& name : kCommands) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_TRUE(overview.out.contains("\n  selkoran-cli " + name + ' '));
        const CliResult help = Run({name, "--help"});
        EXPECT_EQ(help.exitCode, 0);
        EXPECT_TRUE(help.out.startsWith("使い方：\n  selkoran-cli " + name + ' '));
        EXPECT_EQ(help.out.count("selkoran-cli "), 1);  // no other command's usage
        const CommandTable::Row* command = CommandTable::Named(name);
        ASSERT_NE(command, nullptr);
        for (const QString& option : options) {
            const bool fListed = help.out.contains("\n  --" + option);
            EXPECT_EQ(fListed, OptionTable::Takes(name, option)) << option.toStdString();
            // What the help lists is what the command's parser takes, and no more.
            QString error;
            command->make({"--" + option}, error);
            EXPECT_EQ(error.contains("オプションです：--" + option), !fListed)
                << option.toStdString();
        }
    }
}

// "7d" is seven days, not seven hours: a week's monitor or recording asks for a week of samples.
TEST_F(CliUsage, DurationsReadDaysHoursMinutesAndSecondsInOrder) {
    const struct {
        const char* text;
        double seconds;
    } good[] = {{"7d", 604800}, {"1d12h", 129600}, {"1h30m", 5400}, {"1.5h", 5400},
                {"45m", 2700},  {"90s", 90},       {"0.5s", 0.5},   {"2d0h1m1s", 172861}};
    for (const auto& row : good) {
        SCOPED_TRACE(row.text);
        RecordOptions options;
        QString error;
        ASSERT_TRUE(options.Parse({"--duration", row.text, "--output", "a.csv"}, error))
            << error.toStdString();
        EXPECT_EQ(options.duration->count(), row.seconds);
    }
    for (const char* text : {"7", "7x", "1m1h", "d", "0s", "1h 30m", "-1h"}) {
        SCOPED_TRACE(text);
        MonitorOptions options;
        QString error;
        EXPECT_FALSE(options.Parse({"--interval", "1s", "--duration", text}, error));
    }
    RecordOptions week;
    QString error;
    ASSERT_TRUE(week.Parse({"--rate", "1.25", "--duration", "7d", "--output", "a.csv"}, error));
    EXPECT_EQ(week.Samples(), 756000);  // 7 x 86400 s x 1.25 per second
}

}  // namespace
