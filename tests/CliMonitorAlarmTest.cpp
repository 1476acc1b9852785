// SPDX-License-Identifier: GPL-3.0-or-later
// monitor --limit as a lab watches a reference: a separate process on the simulated board with
// a slow sine on CH0, its alarms read back from a real mosquitto started by the test, from the
// CSV of intervals and from standard error, against the transitions the intervals' own figures
// call for.

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <optional>
#include <vector>

#include "tests/CliTestSupport.h"
#include "tests/MosquittoSupport.h"

namespace {

struct Row {
    qint64 seq = 0;
    double mean = 0, min = 0, max = 0;  // volts
};

struct Alarm {
    QString state;
    double value = 0;
    std::optional<double> limit;
    qint64 seq = 0;
    QString time;
};

Alarm AlarmOf(const QString& json) {
    const QJsonObject o = QJsonDocument::fromJson(json.toUtf8()).object();
    EXPECT_EQ(o.keys(), (QStringList{"limit", "seq", "state", "time", "value"}))
        << json.toStdString();
    return {o["state"].toString(), o["value"].toDouble(),
            o["limit"].isNull() ? std::nullopt : std::optional(o["limit"].toDouble()),
            o["seq"].toInteger(), o["time"].toString()};
}

// The CSV's rows of CH0 and its alarm lines.
void ReadCsv(const QString& path, std::vector<Row>& rows, std::vector<Alarm>& alarms) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    for (const QString& line : QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(QStringLiteral("# alarm:ch0:"))) {
            alarms.push_back(AlarmOf(line.section(':', 2)));
        } else if (!line.startsWith('#') && !line.startsWith(QStringLiteral("seq"))) {
            const QStringList f = line.split(',');
            rows.push_back({f[0].toLongLong(), f[5].toDouble() / 1e6, f[7].toDouble() / 1e6,
                            f[8].toDouble() / 1e6});
        }
    }
}

// The state changes a band of low..high calls for, worked out from the rows: by their means
// or extremes, back inside only `border` within the limit crossed. The first row's state comes
// first whatever it is.
std::vector<std::pair<qint64, QString>> Expected(const std::vector<Row>& rows, double low,
                                                 double high, bool fExtremes, double border) {
    std::vector<std::pair<qint64, QString>> changes;
    QString state;
    for (const Row& row : rows) {
        const double least = fExtremes ? row.min : row.mean;
        const double most = fExtremes ? row.max : row.mean;
        QString next = most > high ? "high" : least < low ? "low" : "ok";
        if ((state == "high" && most > high - border) || (state == "low" && least < low + border)) {
            next = state;
        }
        if (next != state) {
            changes.emplace_back(row.seq, next);
            state = next;
        }
    }
    return changes;
}

QStringList SineMonitor(const QStringList& extra) {
    return QStringList{"monitor", "--device",   "sim:sine=1,amp=1000000",
                       "--rate",  "31250",      "--interval",
                       "0.05s",   "--duration", "1.5s",
                       "--csv",   "iv.csv"} +
           extra;
}

using CliMonitorAlarm = CliFixture;

TEST_F(CliMonitorAlarm, OutAndBackInAreRetainedOnceEachAndReplaceAnEarlierRunsState) {
    MosquittoBroker broker(dir.path());
    ASSERT_TRUE(broker.Start());
    // An earlier run left the reference out of its band.
    const QStringList pub = {
        "-h", "127.0.0.1",         "-p", QString::number(broker.Port()), "-r", "-q", "1",
        "-t", "lab/ref/ch0/alarm", "-m", R"({"state":"high"})"};
    ASSERT_EQ(QProcess::execute("mosquitto_pub", pub), 0);
    Subscriber all(broker.Port(), "lab/#");
    ASSERT_TRUE(all.WaitReady());
    const CliResult run =
        Run(SineMonitor({"--mqtt", broker.Url(), "--id", "ref", "--limit", "ch0:-0.5:0.5"}));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    ASSERT_TRUE(all.WaitFor("lab/ref/status offline", 5000));

    std::vector<Alarm> published;
    for (const QString& line : all.Lines()) {
        if (line.startsWith(QStringLiteral("0 lab/ref/ch0/alarm "))) {
            published.push_back(AlarmOf(line.section(' ', 2)));
        }
    }
    std::vector<Row> rows;
    std::vector<Alarm> written;
    ReadCsv(Path("iv.csv"), rows, written);
    ASSERT_EQ(rows.size(), 30U);
    const auto expected = Expected(rows, -0.5, 0.5, false, 0.0);
    // 1.5 cycles of a 1 V sine: in, out above, back, out below, back, out above, back.
    ASSERT_EQ(expected.size(), 7U);
    ASSERT_EQ(published.size(), expected.size()) << all.Lines().join('\n').toStdString();
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        const Alarm& a = published[i];
        EXPECT_EQ(std::pair(a.seq, a.state), expected[i]);
        const Row& row = rows[static_cast<std::size_t>(a.seq - 1)];
        EXPECT_DOUBLE_EQ(a.value, row.mean);
        EXPECT_EQ(a.limit, i == 0 ? std::nullopt : std::optional(row.mean > 0 ? 0.5 : -0.5));
    }
    EXPECT_EQ(published[0].state, "ok") << "the earlier run's state is replaced at once";
    // The CSV and standard error have the alarms and their ends, not the first state inside.
    ASSERT_EQ(written.size(), expected.size() - 1);
    const QStringList said = run.err.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(said.size(), static_cast<qsizetype>(written.size())) << run.err.toStdString();
    for (std::size_t i = 0; i < written.size(); ++i) {
        EXPECT_EQ(written[i].seq, published[i + 1].seq);
        EXPECT_EQ(written[i].time, published[i + 1].time);
    }
    EXPECT_TRUE(said[0].startsWith(QString::number(written[0].seq) + ' ' + written[0].time +
                                   QStringLiteral(" CH0 警報：上限を超えました（値：")))
        << said[0].toStdString();
    EXPECT_TRUE(said[0].endsWith(QStringLiteral("[V] / 上限：0.5[V]）")));
    EXPECT_TRUE(said[1].contains(QStringLiteral(" CH0 警報：範囲内に戻りました（値：")));
    EXPECT_TRUE(said[2].contains(QStringLiteral(" CH0 警報：下限を下回りました（値：")));
    EXPECT_TRUE(said[3].endsWith(QStringLiteral("[V] / 下限：-0.5[V]）")));

    // A subscriber that comes later finds the last state, kept by the broker.
    Subscriber later(broker.Port(), "lab/ref/ch0/alarm");
    ASSERT_TRUE(later.WaitFor("alarm", 5000));
    const QString kept = later.Lines().first();
    ASSERT_TRUE(kept.startsWith(QStringLiteral("1 lab/ref/ch0/alarm "))) << kept.toStdString();
    EXPECT_EQ(AlarmOf(kept.section(' ', 2)).seq, published.back().seq);
}

TEST_F(CliMonitorAlarm, ExtremesInTheScaledUnitWithAHysteresisDoNotFlap) {
    const CliResult run = Run(SineMonitor({"--limit", "ch0:-500:500", "--limit-by", "extremes",
                                           "--hysteresis", "300", "--scale", "1000,0,mV"}));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    std::vector<Row> rows;
    std::vector<Alarm> written;
    ReadCsv(Path("iv.csv"), rows, written);
    auto expected = Expected(rows, -0.5, 0.5, true, 0.3);
    ASSERT_EQ(expected.front().second, "ok");
    expected.erase(expected.begin());
    ASSERT_GE(expected.size(), 4U);
    ASSERT_EQ(written.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(std::pair(written[i].seq, written[i].state), expected[i]);
        const Row& row = rows[static_cast<std::size_t>(written[i].seq - 1)];
        const bool fLowSide = written[i].limit == -500.0;
        EXPECT_NEAR(written[i].value, 1000.0 * (fLowSide ? row.min : row.max), 1e-9);
        if (written[i].state == "ok") {
            EXPECT_TRUE(fLowSide ? written[i].value >= -200.0 : written[i].value <= 200.0);
        }
    }
    // Without the hysteresis the same sine comes back sooner: more intervals are inside.
    ASSERT_TRUE(QFile::remove(Path("iv.csv")));
    const CliResult plain = Run(
        SineMonitor({"--limit", "ch0:-500:500", "--limit-by", "extremes", "--scale", "1000,0,mV"}));
    ASSERT_EQ(plain.exitCode, 0) << plain.err.toStdString();
    EXPECT_TRUE(plain.err.contains(QStringLiteral("[mV] / 上限：500[mV]）")));
    std::vector<Row> plainRows;
    std::vector<Alarm> plainWritten;
    ReadCsv(Path("iv.csv"), plainRows, plainWritten);
    ASSERT_FALSE(plainWritten.empty());
    EXPECT_LT(plainWritten[1].seq, written[1].seq) << "the first return, without and with";
}

TEST_F(CliMonitorAlarm, LimitsThatCannotBeWatchedAreUsageErrors) {
    const struct {
        QStringList arguments;
        QString error;
    } cases[] = {
        {{"--limit", "ch1:0:1"},
         QStringLiteral("--limit の ch1 は測定しないチャンネルです（--channel で選んでください）")},
        {{"--limit", "ch0:0:1", "--limit", "ch0:2:3"},
         QStringLiteral("--limit が ch0 に二度指定されています")},
        {{"--limit", "ch0:1:1"},
         QStringLiteral("オプションの値が正しくありません：--limit ch0:1:1")},
        {{"--limit", "ch2:0:1"},
         QStringLiteral("オプションの値が正しくありません：--limit ch2:0:1")},
        {{"--limit", "ch0:0:1", "--hysteresis", "1"},
         QStringLiteral("--hysteresis は ch0 の範囲の幅より小さくしてください")},
        {{"--hysteresis", "0.1"},
         QStringLiteral(
             "--limit-by、--hysteresis、--null、--scale は --limit と一緒に指定してください")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const CliResult result =
            Run(QStringList{"monitor", "--device", "sim:silent", "--interval", "1s"} + c.arguments);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_TRUE(result.err.startsWith(c.error + '\n')) << result.err.toStdString();
    }
    // Both channels measured: a band each.
    const CliResult both =
        Run({"monitor", "--device", "sim", "--rate", "31250", "--channel", "2", "--interval",
             "0.1s", "--duration", "0.2s", "--limit", "ch0:-1:1", "--limit", "ch1:1.2:1.3"});
    EXPECT_EQ(both.exitCode, 0) << both.err.toStdString();
    EXPECT_EQ(both.err, "") << "both inside: nothing to warn of";
}

}  // namespace
