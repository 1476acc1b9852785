// SPDX-License-Identifier: GPL-3.0-or-later
// selkoran-cli monitor as a lab runs it: a separate process on the simulated board, publishing
// to a real mosquitto started by the test, read back with mosquitto_sub and from its CSV.

#include <gtest/gtest.h>
#include <signal.h>

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <numeric>
#include <set>

#include "boardsim/BoardOptions.h"
#include "boardsim/SampleSource.h"
#include "common/Codes.h"
#include "tests/CliTestSupport.h"
#include "tests/MosquittoSupport.h"

namespace {

constexpr int kTopRate = 16;

// A stats message or CSV row: one channel over one interval.
struct Stats {
    qint64 seq = 0;
    int channel = 0;
    qint64 n = 0;
    double mean = 0, std = 0, min = 0, max = 0;
    QString start, end;
    QString run;  // JSON only
};

// The JSON stats messages of `lines` ("RETAINED TOPIC PAYLOAD"), in arrival order.
std::vector<Stats> JsonStats(const QStringList& lines) {
    std::vector<Stats> stats;
    for (const QString& line : lines) {
        const QStringList parts = line.split(' ');
        if (parts.size() != 3 || !parts[1].endsWith("/stats")) {
            continue;
        }
        const QJsonObject o = QJsonDocument::fromJson(parts[2].toUtf8()).object();
        EXPECT_EQ(o.keys(), (QStringList{"end", "max_uV", "mean_uV", "min_uV", "n", "run", "seq",
                                         "start", "std_uV"}));
        stats.push_back({o["seq"].toInteger(), parts[1].section('/', -2, -2).mid(2).toInt(),
                         o["n"].toInteger(), o["mean_uV"].toDouble(), o["std_uV"].toDouble(),
                         o["min_uV"].toDouble(), o["max_uV"].toDouble(), o["start"].toString(),
                         o["end"].toString(), o["run"].toString()});
    }
    return stats;
}

// The rows of a CSV of intervals.
std::vector<Stats> CsvStats(const QString& path) {
    std::vector<Stats> stats;
    for (const QString& line : FileLines(path)) {
        const QStringList f = line.split(',');
        if (line.startsWith('#') || f[0] == "seq") {
            continue;
        }
        stats.push_back({f[0].toLongLong(),
                         f[3].toInt(),
                         f[4].toLongLong(),
                         f[5].toDouble(),
                         f[6].toDouble(),
                         f[7].toDouble(),
                         f[8].toDouble(),
                         f[1],
                         f[2],
                         {}});
    }
    return stats;
}

// Each interval's figures against the simulated board's samples (seed 1), in order.
void ExpectBoardFigures(const std::vector<Stats>& stats, int chSel) {
    const BoardOptions board;
    SampleSource source(board.seed, board.ch0Microvolts, board.ch1Microvolts);
    const std::size_t perInterval = chSel == 2 ? 2 : 1;
    for (std::size_t k = 0; k < stats.size(); k += perInterval) {
        std::vector<double> uv[2];
        for (qint64 i = 0; i < stats[k].n; ++i) {
            const auto codes = source.NextCodes(kTopRate, true);
            for (int ch = 0; ch < 2; ++ch) {
                uv[ch].push_back(CodeToMicrovolts(codes[ch], 1));
            }
        }
        for (std::size_t j = k; j < k + perInterval; ++j) {
            const std::vector<double>& v = uv[stats[j].channel];
            double mean = 0, var = 0;
            for (const double x : v) {
                mean += x / static_cast<double>(v.size());
            }
            for (const double x : v) {
                var += (x - mean) * (x - mean) / static_cast<double>(v.size());
            }
            EXPECT_EQ(stats[j].seq, static_cast<qint64>(k / perInterval) + 1);
            EXPECT_NEAR(stats[j].mean, mean, 1e-9 * std::max(1.0, std::abs(mean)));
            EXPECT_NEAR(stats[j].std, std::sqrt(var), 1e-9);
            EXPECT_EQ(stats[j].min, *std::min_element(v.begin(), v.end()));
            EXPECT_EQ(stats[j].max, *std::max_element(v.begin(), v.end()));
        }
    }
}

class CliMonitor : public CliFixture {
protected:
    // A two-channel top-rate monitor of 1 s in intervals of 0.2 s.
    QStringList Monitor(const QStringList& extra) const {
        return QStringList{"monitor", "--device",   "sim",  "--rate",     "31250", "--channel",
                           "2",       "--interval", "0.2s", "--duration", "1s"} +
               extra;
    }
    std::unique_ptr<QProcess> Start(const QStringList& arguments) {
        auto process = std::make_unique<QProcess>();
        process->setWorkingDirectory(dir.path());
        process->start(BuildPath("selkoran-cli"), arguments);
        process->waitForStarted(5000);
        return process;
    }
};

TEST_F(CliMonitor, PublishesStatusMetaAndStatsWhoseFiguresAreTheBoardsSamples) {
    MosquittoBroker broker(dir.path());
    ASSERT_TRUE(broker.Start());
    Subscriber all(broker.Port(), "lab/#");
    ASSERT_TRUE(all.WaitReady());
    const CliResult run =
        Run(Monitor({"--mqtt", broker.Url(), "--id", "bench-1", "--csv", "iv.csv"}));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.OutLines().size(), 5);
    EXPECT_TRUE(run.OutLines()[0].contains(" n=6250 CH0 平均値：")) << run.out.toStdString();
    ASSERT_TRUE(all.WaitFor("lab/bench-1/status offline", 5000));
    const QStringList lines = all.Lines();
    EXPECT_EQ(lines.first(), "0 lab/bench-1/status online");
    EXPECT_TRUE(lines[1].startsWith("0 lab/bench-1/meta {"));
    const std::vector<Stats> stats = JsonStats(lines);
    ASSERT_EQ(stats.size(), 10u);
    ExpectBoardFigures(stats, 2);
    const std::vector<Stats> rows = CsvStats(Path("iv.csv"));
    ASSERT_EQ(rows.size(), stats.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].mean, stats[i].mean);
        EXPECT_EQ(rows[i].end, stats[i].end);
        EXPECT_EQ(rows[i].start, i < 2 ? rows[i].start : rows[i - 2].end);
    }

    // A subscriber that comes later finds the status and the meta kept by the broker.
    Subscriber later(broker.Port(), "lab/bench-1/+");
    ASSERT_TRUE(later.WaitFor("meta", 5000));
    ASSERT_TRUE(later.WaitFor("status", 5000));
    const QStringList kept = later.Lines();
    EXPECT_TRUE(kept.contains("1 lab/bench-1/status offline"));
    const auto meta = std::find_if(kept.begin(), kept.end(), [](const QString& l) {
        return l.startsWith("1 lab/bench-1/meta ");
    });
    ASSERT_NE(meta, kept.end());
    const QJsonObject m = QJsonDocument::fromJson(meta->section(' ', 2).toUtf8()).object();
    EXPECT_EQ(m["board"].toString(), "SELKORAN");
    EXPECT_EQ(m["sample_rate"].toDouble(), 31250.0);
    EXPECT_EQ(m["filter"].toString(), "sinc5");
    EXPECT_EQ(m["channels"].toVariant().toList().size(), 2);
    EXPECT_EQ(m["interval_s"].toDouble(), 0.2);
    EXPECT_EQ(m["program_version"].toString(), SELKORAN_VERSION);
    // Every interval names its run: the run's start, where the first interval begins.
    EXPECT_EQ(m["run"].toString(), m["start"].toString());
    for (const Stats& s : stats) {
        EXPECT_EQ(s.run, stats.front().start);
    }
    EXPECT_EQ(stats.front().run, m["run"].toString());
}

// A monitor started again without --append counts seq from 1 again: run and seq together
// still tell every interval apart, so a subscriber removing QoS 1 repeats keeps both runs.
TEST_F(CliMonitor, ARunStartedAgainIsToldApartByItsRunThoughSeqStartsAgain) {
    MosquittoBroker broker(dir.path());
    ASSERT_TRUE(broker.Start());
    Subscriber all(broker.Port(), "lab/#");
    ASSERT_TRUE(all.WaitReady());
    const QStringList run = {"monitor",    "--device", "sim",        "--rate", "31250",
                             "--interval", "0.25s",    "--duration", "0.5s",   "--mqtt",
                             broker.Url(), "--id",     "restarted"};
    ASSERT_EQ(Run(run).exitCode, 0);
    ASSERT_EQ(Run(run).exitCode, 0);
    ASSERT_TRUE(all.WaitForCount("lab/restarted/status offline", 2, 5000));
    const std::vector<Stats> stats = JsonStats(all.Lines());
    ASSERT_EQ(stats.size(), 4u);
    std::set<std::pair<QString, qint64>> identities;
    for (const Stats& s : stats) {
        identities.insert({s.run, s.seq});
    }
    EXPECT_EQ(identities.size(), 4u);
    EXPECT_EQ(stats[0].seq, stats[2].seq);
    EXPECT_LT(stats[0].run, stats[2].run);
}

TEST_F(CliMonitor, EverySeqArrivesInOrderAfterTheBrokerWasAwayFiveSeconds) {
    MosquittoBroker broker(dir.path(),
                           "allow_anonymous true\npersistence true\n"
                           "persistence_location " +
                               dir.path() + "/\n");
    ASSERT_TRUE(broker.Start());
    Subscriber all(broker.Port(), "lab/#", {}, {"-c", "-i", "outage-subscriber"});
    ASSERT_TRUE(all.WaitReady());
    auto monitor = Start({"monitor", "--device", "sim", "--rate", "31250", "--interval", "0.25s",
                          "--duration", "10s", "--mqtt", broker.Url(), "--id", "b"});
    QThread::sleep(2);
    broker.Stop();
    QThread::sleep(5);
    ASSERT_TRUE(broker.Start());
    ASSERT_TRUE(monitor->waitForFinished(20000));
    EXPECT_EQ(monitor->exitCode(), 0);
    const QString err = QString::fromUtf8(monitor->readAllStandardError());
    EXPECT_TRUE(err.contains("MQTT：ブローカーとの接続が切れました")) << err.toStdString();
    EXPECT_TRUE(err.contains("MQTT：再接続しました")) << err.toStdString();
    ASSERT_TRUE(all.WaitFor("lab/b/status offline", 10000));
    std::vector<qint64> firstSeen;  // QoS 1 may repeat a message: its seq tells
    for (const Stats& s : JsonStats(all.Lines())) {
        if (std::find(firstSeen.begin(), firstSeen.end(), s.seq) == firstSeen.end()) {
            firstSeen.push_back(s.seq);
        }
    }
    std::vector<qint64> expected(40);
    std::iota(expected.begin(), expected.end(), 1);
    EXPECT_EQ(firstSeen, expected);
}

TEST_F(CliMonitor, TheLastWillSaysOfflineWhenTheMonitorIsKilled) {
    MosquittoBroker broker(dir.path());
    ASSERT_TRUE(broker.Start());
    Subscriber status(broker.Port(), "lab/+/status");
    // Without --id the topics carry the board's USB serial number.
    auto monitor = Start({"monitor", "--device", "sim:serial=FT7SIM01", "--rate", "10",
                          "--interval", "1s", "--mqtt", broker.Url()});
    ASSERT_TRUE(status.WaitFor("lab/FT7SIM01/status online", 10000));
    ::kill(static_cast<pid_t>(monitor->processId()), SIGKILL);
    monitor->waitForFinished(5000);
    ASSERT_TRUE(status.WaitFor("lab/FT7SIM01/status offline", 5000));
    EXPECT_EQ(status.Lines(),
              (QStringList{"0 lab/FT7SIM01/status online", "0 lab/FT7SIM01/status offline"}));
}

TEST_F(CliMonitor, TlsWithTheTestsOwnAuthorityAndAPasswordFile) {
    const auto openssl = [this](const QStringList& arguments) {
        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.start("openssl", arguments);
        return process.waitForFinished(30000) && process.exitCode() == 0;
    };
    for (const QString name : {"ca", "other"}) {
        ASSERT_TRUE(
            openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", name + ".key",
                     "-out", name + ".crt", "-days", "2", "-subj", "/CN=" + name}));
    }
    WriteText(Path("san"), "subjectAltName=DNS:localhost\n");
    ASSERT_TRUE(openssl({"req", "-newkey", "rsa:2048", "-nodes", "-keyout", "broker.key", "-out",
                         "broker.csr", "-subj", "/CN=localhost"}));
    ASSERT_TRUE(
        openssl({"x509", "-req", "-in", "broker.csr", "-CA", "ca.crt", "-CAkey", "ca.key",
                 "-CAcreateserial", "-out", "broker.crt", "-days", "2", "-extfile", "san"}));
    WriteText(Path("passwd"), "");
    ASSERT_EQ(QProcess::execute("mosquitto_passwd", {"-b", Path("passwd"), "mon", "s3cret"}), 0);
    WriteText(Path("password"), "s3cret\n");
    ASSERT_TRUE(QFile::setPermissions(Path("password"), QFile::ReadOwner | QFile::WriteOwner));
    MosquittoBroker broker(dir.path(), "allow_anonymous false\npassword_file " + Path("passwd") +
                                           "\ncafile " + Path("ca.crt") + "\ncertfile " +
                                           Path("broker.crt") + "\nkeyfile " + Path("broker.key"));
    ASSERT_TRUE(broker.Start());
    const QStringList login = {"-h", "localhost", "--cafile", Path("ca.crt"),
                               "-u", "mon",       "-P",       "s3cret"};
    Subscriber all(broker.Port(), "lab/#", login);
    ASSERT_TRUE(all.WaitReady());
    const QString url = broker.Url("mqtts", "localhost");
    const CliResult good = Run(Monitor({"--mqtt", url, "--mqtt-ca", "ca.crt", "--mqtt-user", "mon",
                                        "--mqtt-password-file", "password", "--id", "t"}));
    EXPECT_EQ(good.exitCode, 0) << good.err.toStdString();
    EXPECT_TRUE(all.WaitFor("lab/t/status offline", 5000));
    EXPECT_EQ(JsonStats(all.Lines()).size(), 10u);

    struct Refusal {
        QStringList options;
        QString password;  // SELKORAN_MQTT_PASSWORD
        QString cause;
    };
    const Refusal refusals[] = {
        {{"--mqtt-ca", "ca.crt", "--mqtt-user", "mon"}, "wrong", "ログインを拒否されました"},
        {{"--mqtt-ca", "other.crt", "--mqtt-user", "mon"},
         "s3cret",
         "証明書を検証できませんでした"},
        {{"--mqtt-ca", "ca.crt"}, "", "ログインを拒否されました"}};
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.options.join(' ').toStdString());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("SELKORAN_MQTT_PASSWORD", refusal.password);
        const CliResult refused = Run(
            Monitor(QStringList{"--mqtt", url, "--csv", "no.csv"} + refusal.options), environment);
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_TRUE(
            refused.err.startsWith("MQTT：ブローカー localhost:" + QString::number(broker.Port()) +
                                   " に接続できませんでした"))
            << refused.err.toStdString();
        EXPECT_TRUE(refused.err.contains(refusal.cause)) << refused.err.toStdString();
        EXPECT_TRUE(refused.out.isEmpty());
        EXPECT_FALSE(QFile::exists(Path("no.csv")));  // nothing was measured
    }
    // Where nothing listens, the TLS client is refused, at every address of the name.
    const CliResult closed =
        Run(Monitor({"--mqtt", "mqtts://localhost:" + QString::number(FreePort()) + "/lab",
                     "--mqtt-ca", "ca.crt"}));
    EXPECT_EQ(closed.exitCode, 1);
    EXPECT_TRUE(closed.err.contains("（接続を拒否されました")) << closed.err.toStdString();
}

// A password file others may read is refused as ssh refuses such a key, and so is one without
// a password: at the start, with the reason, before the board is asked anything.
TEST_F(CliMonitor, APasswordFileOthersMayReadOrWithoutAPasswordIsRefused) {
    WriteText(Path("passwd"), "");
    ASSERT_EQ(QProcess::execute("mosquitto_passwd", {"-b", Path("passwd"), "mon", "s3cret"}), 0);
    MosquittoBroker broker(dir.path(), "allow_anonymous false\npassword_file " + Path("passwd"));
    ASSERT_TRUE(broker.Start());
    const auto monitor = [&](const QString& device, const QByteArray& text,
                             QFile::Permissions permissions) {
        WriteText(Path("password"), text);
        EXPECT_TRUE(QFile::setPermissions(Path("password"), permissions));
        return Run({"monitor", "--device", device, "--interval", "0.2s", "--duration", "0.4s",
                    "--mqtt", broker.Url(), "--mqtt-user", "mon", "--mqtt-password-file",
                    "password", "--csv", "iv.csv", "--force"});
    };
    const QFile::Permissions owner = QFile::ReadOwner | QFile::WriteOwner;
    const struct {
        QFile::Permissions permissions;
        QByteArray text;
        QString reason;
    } refused[] = {{owner | QFile::ReadGroup | QFile::ReadOther, "s3cret\n",
                    "所有者のほかにも許可があります（モード 0644）。chmod 600 で所有者だけにしてく"
                    "ださい"},
                   {owner | QFile::ReadGroup, "s3cret\n",
                    "所有者のほかにも許可があります（モード 0640）。chmod 600 で所有者だけにしてく"
                    "ださい"},
                   {owner, "", "1 行目にパスワードがありません"},
                   {owner, "\ns3cret\n", "1 行目にパスワードがありません"}};
    for (const auto& row : refused) {
        SCOPED_TRACE(row.reason.toStdString());
        // A silent board would keep a start waiting: the refusal comes before it is asked.
        const CliResult result = monitor("sim:silent", row.text, row.permissions);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, "パスワードファイルを使えません：password（" + row.reason + "）\n");
        EXPECT_FALSE(QFile::exists(Path("iv.csv")));
    }
    const CliResult accepted = monitor("sim", "s3cret\n", owner);
    EXPECT_EQ(accepted.exitCode, 0) << accepted.err.toStdString();
    EXPECT_EQ(CsvStats(Path("iv.csv")).size(), 2u);
}

TEST_F(CliMonitor, InfluxLinesParseOneByOne) {
    MosquittoBroker broker(dir.path());
    ASSERT_TRUE(broker.Start());
    Subscriber all(broker.Port(), "lab/+/+/stats");
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    const CliResult run = Run(Monitor(
        {"--mqtt", broker.Url(), "--mqtt-format", "influx", "--id", "lab-3", "--csv", "iv.csv"}));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    ASSERT_TRUE(all.WaitFor("seq=5i", 5000));
    static const QRegularExpression line(QStringLiteral(
        "^0 lab/lab-3/ch([01])/stats selkoran,board=lab-3,ch=([01]) n=(\\d+)i,mean_uV=(\\S+),"
        "std_uV=(\\S+),min_uV=(\\S+),max_uV=(\\S+),seq=(\\d+)i (\\d+)$"));
    const std::vector<Stats> rows = CsvStats(Path("iv.csv"));
    const QStringList lines = all.Lines();
    ASSERT_EQ(lines.size(), 10);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QRegularExpressionMatch m = line.match(lines[i]);
        ASSERT_TRUE(m.hasMatch()) << lines[i].toStdString();
        const Stats& row = rows[static_cast<std::size_t>(i)];
        EXPECT_EQ(m.captured(1), m.captured(2));
        EXPECT_EQ(m.captured(2).toInt(), row.channel);
        EXPECT_EQ(m.captured(3).toLongLong(), row.n);
        EXPECT_EQ(m.captured(4).toDouble(), row.mean);
        EXPECT_EQ(m.captured(5).toDouble(), row.std);
        EXPECT_EQ(m.captured(6).toDouble(), row.min);
        EXPECT_EQ(m.captured(7).toDouble(), row.max);
        EXPECT_EQ(m.captured(8).toLongLong(), row.seq);
        const qint64 endMs = m.captured(9).toLongLong() / 1000000;
        EXPECT_EQ(
            QDateTime::fromMSecsSinceEpoch(endMs, Qt::UTC).toString("yyyy-MM-ddTHH:mm:ss.zzzZ"),
            row.end);
        EXPECT_GE(endMs, before);
    }
}

TEST_F(CliMonitor, TheCsvOfIntervalsIsRefusedContinuedOrReplaced) {
    const QStringList base = {"monitor", "--device",   "sim",  "--rate", "31250", "--interval",
                              "0.1s",    "--duration", "0.5s", "--csv",  "iv.csv"};
    ASSERT_EQ(Run(base).exitCode, 0);
    const QStringList first = FileLines(Path("iv.csv"));
    EXPECT_EQ(first.filter(QRegularExpression("^[0-9]")).size(), 5);
    EXPECT_TRUE(first.contains("# interval:0.1"));
    EXPECT_TRUE(first.contains("# count:15625"));

    const CliResult refused = Run(base);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.startsWith("ファイル：iv.csvがあります。"))
        << refused.err.toStdString();
    EXPECT_EQ(FileLines(Path("iv.csv")), first);

    // A crash cut the last row; the continued file drops it and goes on with the sequence.
    QFile cut(Path("iv.csv"));
    ASSERT_TRUE(cut.open(QIODevice::Append));
    cut.write("6,2025-01-01T00:0");
    cut.close();
    ASSERT_EQ(Run(base + QStringList{"--append"}).exitCode, 0);
    const QStringList continued = FileLines(Path("iv.csv"));
    const std::vector<Stats> rows = CsvStats(Path("iv.csv"));
    ASSERT_EQ(rows.size(), 10u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].seq, static_cast<qint64>(i) + 1);
    }
    EXPECT_EQ(continued.count("seq,start,end,channel,n,mean_uV,std_uV,min_uV,max_uV"), 1);
    EXPECT_EQ(continued.filter("# board:").size(), 2);

    WriteText(Path("rec.csv"), "sample,ch0_code,ch0_microvolts\n1,8388608,0\n");
    const CliResult other =
        Run({"monitor", "--device", "sim", "--interval", "1s", "--csv", "rec.csv", "--append"});
    EXPECT_EQ(other.exitCode, 1);
    EXPECT_EQ(other.err.trimmed(), "ファイル：rec.csvは区間統計の CSV ファイルではありません");

    ASSERT_EQ(Run(base + QStringList{"--force"}).exitCode, 0);
    EXPECT_EQ(CsvStats(Path("iv.csv")).size(), 5u);
}

TEST_F(CliMonitor, BadOptionsAreUsageErrorsAndAnAbsentBrokerEndsTheStart) {
    const QStringList rows[] = {
        {"--interval", "1s", "--rate", "3"},
        {"--rate", "31250"},
        {"--interval", "1s", "--mqtt", "mqtt://h/p", "--mqtt-ca", "ca"},
        {"--interval", "1s", "--csv", "a.csv", "--force", "--append"},
        {"--interval", "1s", "--mqtt", "mqtt://h/p", "--id", "a/b"},
        {"--interval", "1s", "--mqtt", "mqtt://h"},
        {"--interval", "1s", "--mqtt", "mqtt://h/p", "--mqtt-format", "xml"},
        {"--interval", "1s", "--mqtt-user", "u"},
        {"--interval", "1s", "--mqtt-password", "x"}};
    for (const QStringList& options : rows) {
        SCOPED_TRACE(options.join(' ').toStdString());
        const CliResult result = Run(QStringList{"monitor", "--device", "sim"} + options);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_TRUE(result.err.endsWith("詳しくは selkoran-cli monitor --help を見てください\n"));
    }
    // A broker's address without the prefix of the topics says that this is what is missing.
    const CliResult noPrefix =
        Run({"monitor", "--device", "sim", "--interval", "1s", "--mqtt", "mqtt://broker:1883"});
    EXPECT_EQ(noPrefix.exitCode, 2);
    EXPECT_TRUE(noPrefix.err.startsWith("MQTT：トピックの接頭辞がありません：mqtt://broker:1883"))
        << noPrefix.err.toStdString();
    const QString url = "mqtt://127.0.0.1:" + QString::number(FreePort()) + "/lab";
    const CliResult absent =
        Run({"monitor", "--device", "sim", "--interval", "1s", "--mqtt", url, "--csv", "a.csv"});
    EXPECT_EQ(absent.exitCode, 1);
    EXPECT_TRUE(absent.err.contains("接続を拒否されました")) << absent.err.toStdString();
    EXPECT_FALSE(QFile::exists(Path("a.csv")));
}

}  // namespace
