// The program's command line, run as a process.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

namespace {

struct Outcome {
    int exitCode;
    QString out;
    QString err;
};

Outcome RunProgram(const QStringList& args) {
    QTemporaryDir runtime;
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    env.insert("SELKORAN_INSTANCE", "command-line-test");
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(SELKORAN_BUILD_DIR "/selkoran"), args);
    if (!program.waitForFinished(20000)) {
        program.kill();
        program.waitForFinished();
        return {-1, {}, {}};
    }
    return {program.exitCode(), QString::fromUtf8(program.readAllStandardOutput()),
            QString::fromUtf8(program.readAllStandardError())};
}

TEST(AppCommandLine, VersionHelpAndBadDevice) {
    const Outcome version = RunProgram({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.trimmed(), "SELKORAN 1.10");

    const Outcome help = RunProgram({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("--device")) << help.out.toStdString();

    const Outcome bad = RunProgram({"--device", "serial:7"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_FALSE(bad.err.isEmpty());

    const Outcome unknown = RunProgram({"--frobnicate"});
    EXPECT_NE(unknown.exitCode, 0);
}

}  // namespace
