// SPDX-License-Identifier: GPL-3.0-or-later
// The program's command line, run as a process.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

struct Outcome {
    int exitCode;
    QString out;
    QString err;
};

// The environment of a session without any display: X named but not there.
QProcessEnvironment NoDisplay(const QString& runtime) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("XDG_RUNTIME_DIR", runtime);
    env.insert("SELKORAN_INSTANCE", "command-line-test");
    return env;
}

Outcome RunProgram(const QStringList& args) {
    QTemporaryDir runtime;
    QProcess program;
    program.setProcessEnvironment(NoDisplay(runtime.path()));
    program.start(QStringLiteral(SELKORAN_BUILD_DIR "/selkoran"), args);
    if (!program.waitForFinished(20000)) {
        program.kill();
        program.waitForFinished();
        return {-1, {}, {}};
    }
    return {program.exitCode(), QString::fromUtf8(program.readAllStandardOutput()),
            QString::fromUtf8(program.readAllStandardError())};
}

// Help, version and the device are read before the display is needed.
TEST(AppCommandLine, OptionsWorkWithoutADisplay) {
    const Outcome version = RunProgram({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.trimmed(), "SELKORAN 1.10");

    // The help in the operator's Japanese, like selkoran-cli's, without Qt's English.
    const Outcome help = RunProgram({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith("使い方：selkoran [オプション]\n")) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains("\nオプション：\n"));
    for (const char* option : {"  -h, --help ", "  -v, --version ", "  --device D "}) {
        EXPECT_TRUE(help.out.contains(option)) << option;
    }
    EXPECT_FALSE(help.out.contains(QRegularExpression("Usage|Options|Displays|[Tt]he ")));

    const Outcome bad = RunProgram({"--device", "serial:7"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(bad.err.startsWith("selkoran: デバイスの指定が正しくありません: serial:7"))
        << bad.err.toStdString();

    const Outcome unknown = RunProgram({"--frobnicate"});
    EXPECT_NE(unknown.exitCode, 0);
}

// An option the program does not know is named in Japanese once the toolkit has taken its own.
TEST(AppCommandLine, AnUnknownOptionIsNamedWithWhereTheHelpIs) {
    QTemporaryDir runtime;
    QProcessEnvironment env = NoDisplay(runtime.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    for (const auto& [arguments, cause] :
         {std::pair<QStringList, QString>{{"--frobnicate"}, "不明なオプションです：--frobnicate"},
          {{"--device"}, "--device の値がありません"}}) {
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(SELKORAN_BUILD_DIR "/selkoran"), arguments);
        ASSERT_TRUE(program.waitForFinished(20000));
        EXPECT_EQ(program.exitCode(), 2);
        const QString err = QString::fromUtf8(program.readAllStandardError());
        EXPECT_TRUE(
            err.endsWith("selkoran: " + cause + "\n詳しくは selkoran --help を見てください\n"))
            << err.toStdString();
    }
}

TEST(AppCommandLine, StartWithoutADisplaySaysSoInOneLine) {
    const Outcome start = RunProgram({"--device", "sim"});
    EXPECT_EQ(start.exitCode, 1);
    EXPECT_EQ(start.err,
              "selkoran: 画面に接続できませんでした。デスクトップの中から起動してください\n");
}

// A runtime folder so deep that no socket can be made in it: the program still runs, and
// says once on standard error that a second copy cannot reach it.
TEST(AppCommandLine, CopyThatCannotListenRunsAndSaysSo) {
    QTemporaryDir runtime(QDir::tempPath() + '/' + QString(120, 'r') + "-XXXXXX");
    QProcessEnvironment env = NoDisplay(runtime.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess program;
    program.setProcessEnvironment(env);
    program.setReadChannel(QProcess::StandardError);
    program.start(QStringLiteral(SELKORAN_BUILD_DIR "/selkoran"), {"--device", "sim"});
    ASSERT_TRUE(program.waitForReadyRead(20000));
    program.waitForReadyRead(500);  // anything more than the one line
    const QString err = QString::fromUtf8(program.readAllStandardError());
    EXPECT_EQ(program.state(), QProcess::Running);
    EXPECT_EQ(err.count('\n'), 1) << err.toStdString();
    EXPECT_TRUE(err.startsWith("selkoran: " + runtime.path())) << err.toStdString();
    program.terminate();
    program.waitForFinished();
}

}  // namespace
