// SPDX-License-Identifier: GPL-3.0-or-later
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <limits>

#include "tests/DataFileFixture.h"

namespace {

MeasureSettings UnusualSettings(std::int32_t chSel) {
    MeasureSettings settings;
    settings.spsSel = 16;
    settings.DataCountSel = 6;
    settings.CHSel = chSel;
    settings.GainSel = -7;
    settings.GainFactor = 4;
    settings.fSinc5 = false;
    settings.fBUF_ON = true;
    return settings;
}

// Extremes first, then codes that differ from sample to sample and between channels.
void Fill(ChannelBuffer& buffer, std::int32_t count, std::int32_t seed) {
    const std::int32_t extremes[] = {std::numeric_limits<std::int32_t>::min(),
                                     std::numeric_limits<std::int32_t>::max(), 0, kFullScaleCode};
    buffer.Series.Count = count;
    for (std::int32_t i = 0; i < count; ++i) {
        buffer.Codes[i] = i < 4 ? extremes[i] : (seed + i * 7919) % (kFullScaleCode + 1);
    }
}

mode_t FileMode(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(stat(path.c_str(), &status), 0);
    return status.st_mode & 07777;
}

mode_t CurrentUmask() {
    const mode_t mask = umask(022);
    umask(mask);
    return mask;
}

constexpr int kNoUnprivilegedUser = 2;

// Runs `save` in a child process as user 65534: 0 when it returned true, 1 when false,
// kNoUnprivilegedUser when the child could not give up root.
int RunAsNobody(const std::function<bool()>& save) {
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        if (setgid(65534) != 0 || setuid(65534) != 0) {
            _exit(kNoUnprivilegedUser);
        }
        _exit(save() ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

class DataFileSaveTest : public DataFileFixture {
protected:
    bool SaveCh0(const std::string& path) {
        return file.SaveOneChannel(path, UnusualSettings(0), ch0.Series);
    }

    const std::string oldBytes = "old contents\r\nkept\r\n";
};

TEST_F(DataFileSaveTest, EverySaveLoadsBackItsSettingsAndCodes) {
    struct Case {
        std::int32_t chSel;
        std::int32_t count;
    };
    const Case cases[] = {
        {0, 5}, {1, 5}, {2, 5}, {0, 0}, {2, 0}, {1, kSeriesCapacity}, {2, kSeriesCapacity}};
    for (const Case& c : cases) {
        SCOPED_TRACE("CHSel " + std::to_string(c.chSel) + ", count " + std::to_string(c.count));
        const std::string path =
            Path("rt" + std::to_string(c.chSel) + "_" + std::to_string(c.count) + ".DTA");
        Fill(ch0, c.count, 11);
        Fill(ch1, c.count, 5000);
        const MeasureSettings saved = UnusualSettings(c.chSel);
        const bool fSaved =
            c.chSel == 2 ? file.SaveTwoChannels(path, saved, ch0.Series, ch1.Series)
                         : file.SaveOneChannel(path, saved, c.chSel == 0 ? ch0.Series : ch1.Series);
        ASSERT_TRUE(fSaved);

        ChannelBuffer in0;
        ChannelBuffer in1;
        in0.Series.Count = 9;
        in1.Series.Count = 9;
        MeasureSettings loaded;  // the caller's current settings: all different
        ASSERT_TRUE(file.Load(path, loaded, in0.Series, in1.Series));

        MeasureSettings expected = saved;
        expected.GainFactor = MeasureSettings().GainFactor;  // never stored in the file
        EXPECT_EQ(loaded, expected);
        const bool fHas0 = c.chSel != 1;
        const bool fHas1 = c.chSel != 0;
        EXPECT_EQ(in0.Series.Count, fHas0 ? c.count : 0);
        EXPECT_EQ(in1.Series.Count, fHas1 ? c.count : 0);
        for (std::int32_t i = 0; i < c.count; ++i) {
            if (fHas0) {
                ASSERT_EQ(in0.Codes[i], ch0.Codes[i]) << "CH0 sample " << i;
            }
            if (fHas1) {
                ASSERT_EQ(in1.Codes[i], ch1.Codes[i]) << "CH1 sample " << i;
            }
        }
    }
    EXPECT_TRUE(prompts.questions.empty());
}

TEST_F(DataFileSaveTest, WritesTheFixedLinesWithCrLf) {
    MeasureSettings settings;
    settings.spsSel = 13;
    settings.DataCountSel = 0;
    settings.CHSel = 2;
    settings.fSinc5 = true;
    settings.fBUF_ON = false;
    ch0.Series.Count = 2;
    ch0.Codes[0] = 8388741;
    ch0.Codes[1] = -5;
    ch1.Series.Count = 2;
    ch1.Codes[0] = 8388523;
    ch1.Codes[1] = 0;
    ASSERT_TRUE(file.SaveTwoChannels(Path("two.DTA"), settings, ch0.Series, ch1.Series));
    EXPECT_EQ(ReadBytes(Path("two.DTA")),
              "AD7172_DataFile:\r\nM:\r\nspsSel:13\r\nDataCountSel:0\r\nCHSel:2\r\n"
              "GainSel:0\r\nfSinc5:1\r\nfBUF_ON:0\r\nMEND:\r\nD:\r\n8388741,8388523\r\n"
              "-5,0\r\nDEND:\r\n");

    ch0.Series.Count = 0;
    ASSERT_TRUE(file.SaveOneChannel(Path("empty.DTA"), UnusualSettings(0), ch0.Series));
    EXPECT_EQ(ReadBytes(Path("empty.DTA")),
              "AD7172_DataFile:\r\nM:\r\nspsSel:16\r\nDataCountSel:6\r\nCHSel:0\r\n"
              "GainSel:-7\r\nfSinc5:0\r\nfBUF_ON:1\r\nMEND:\r\nD:\r\nDEND:\r\n");
}

TEST_F(DataFileSaveTest, NewFileGetsTheUmaskDefaultWithoutAQuestion) {
    Fill(ch0, 3, 1);
    ASSERT_TRUE(SaveCh0(Path("new.DTA")));
    EXPECT_TRUE(prompts.questions.empty());
    EXPECT_EQ(FileMode(Path("new.DTA")), 0666 & ~CurrentUmask());
    EXPECT_EQ(Entries(), std::vector<std::string>{"new.DTA"});
}

TEST_F(DataFileSaveTest, DecliningTheOverwriteQuestionKeepsTheFileAndSucceeds) {
    const std::string path = Path("run.DTA");
    WriteBytes(path, oldBytes);
    prompts.yesNoAnswers = {false};
    Fill(ch0, 3, 1);

    EXPECT_TRUE(SaveCh0(path));
    EXPECT_EQ(ReadBytes(path), oldBytes);
    ASSERT_EQ(prompts.questions.size(), 1u);
    const auto& question = prompts.questions[0];
    EXPECT_EQ(question.caption, "確認");
    EXPECT_EQ(question.text, "ファイル：" + path + "があります。\n上書きしますか");
    EXPECT_EQ(question.yesText, "はい(&Y)");
    EXPECT_EQ(question.noText, "いいえ(&N)");
    EXPECT_TRUE(question.defaultYes);
}

TEST_F(DataFileSaveTest, AcceptedOverwriteReplacesTheFileAndKeepsItsMode) {
    const std::string path = Path("run.DTA");
    WriteBytes(path, oldBytes);
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    std::filesystem::create_hard_link(path, Path("other.DTA"));
    Fill(ch0, 3, 1);
    ASSERT_TRUE(SaveCh0(Path("fresh.DTA")));

    prompts.yesNoAnswers = {true};
    EXPECT_TRUE(SaveCh0(path));
    EXPECT_EQ(prompts.questions.size(), 1u);
    EXPECT_EQ(ReadBytes(path), ReadBytes(Path("fresh.DTA")));
    EXPECT_EQ(FileMode(path), 0640u);
    // A new file under the saved name: its other name keeps the old measurement.
    EXPECT_EQ(ReadBytes(Path("other.DTA")), oldBytes);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"fresh.DTA", "other.DTA", "run.DTA"}));
}

TEST_F(DataFileSaveTest, OverwritingThroughALinkUpdatesTheLinkedFile) {
    WriteBytes(Path("real.DTA"), oldBytes);
    std::filesystem::create_symlink(Path("real.DTA"), Path("link.DTA"));
    std::filesystem::create_symlink("new.DTA", Path("dangling.DTA"));  // relative, no file yet
    Fill(ch0, 3, 1);
    ASSERT_TRUE(SaveCh0(Path("link.DTA")));
    ASSERT_TRUE(SaveCh0(Path("dangling.DTA")));
    EXPECT_TRUE(std::filesystem::is_symlink(Path("link.DTA")));
    EXPECT_TRUE(std::filesystem::is_symlink(Path("dangling.DTA")));
    EXPECT_NE(ReadBytes(Path("real.DTA")), oldBytes);
    EXPECT_EQ(ReadBytes(Path("new.DTA")), ReadBytes(Path("real.DTA")));
    EXPECT_EQ(Entries(),
              (std::vector<std::string>{"dangling.DTA", "link.DTA", "new.DTA", "real.DTA"}));
}

// No write bit at all is refused even for root, whom the bits would not stop.
TEST_F(DataFileSaveTest, ReadOnlyTargetFailsAndStaysUntouched) {
    const std::string path = Path("run.DTA");
    WriteBytes(path, oldBytes);
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    Fill(ch0, 3, 1);

    EXPECT_FALSE(SaveCh0(path));
    EXPECT_EQ(prompts.questions.size(), 1u);
    EXPECT_EQ(ReadBytes(path), oldBytes);
    EXPECT_EQ(FileMode(path), 0444u);
    EXPECT_EQ(Entries(), std::vector<std::string>{"run.DTA"});
}

TEST_F(DataFileSaveTest, FailedSavesChangeNothing) {
    WriteBytes(Path("run.DTA"), oldBytes);
    std::filesystem::create_directory(Path("folder.DTA"));
    Fill(ch0, 3, 1);
    ChannelSeries tooLong = ch0.Series;
    tooLong.Count = kSeriesCapacity + 1;
    ChannelSeries negative = ch0.Series;
    negative.Count = -1;
    const ChannelSeries missing{3, nullptr, nullptr};
    const MeasureSettings settings = UnusualSettings(0);

    EXPECT_FALSE(file.SaveOneChannel("", settings, ch0.Series));
    EXPECT_FALSE(file.SaveOneChannel(Path("absent/run.DTA"), settings, ch0.Series));
    EXPECT_FALSE(file.SaveOneChannel(Path("folder.DTA"), settings, ch0.Series));
    EXPECT_FALSE(file.SaveOneChannel(Path("run.DTA"), settings, tooLong));
    EXPECT_FALSE(file.SaveOneChannel(Path("run.DTA"), settings, negative));
    EXPECT_FALSE(file.SaveOneChannel(Path("run.DTA"), settings, missing));
    EXPECT_FALSE(file.SaveTwoChannels(Path("run.DTA"), settings, ch0.Series, missing));
    EXPECT_FALSE(file.SaveTwoChannels(Path("run.DTA"), settings, tooLong, ch1.Series));

    EXPECT_TRUE(prompts.questions.empty());
    EXPECT_EQ(ReadBytes(Path("run.DTA")), oldBytes);
    EXPECT_TRUE(std::filesystem::is_directory(Path("folder.DTA")));
    EXPECT_EQ(Entries(), (std::vector<std::string>{"folder.DTA", "run.DTA"}));
}

// A name that leads to no file (a loop of links) or to something else than a file (a pipe)
// fails without a question and is left as it was.
TEST_F(DataFileSaveTest, ALinkLoopOrAPipeFailsAndStaysAsItWas) {
    std::filesystem::create_symlink("b.DTA", Path("a.DTA"));
    std::filesystem::create_symlink("a.DTA", Path("b.DTA"));
    ASSERT_EQ(mkfifo(Path("pipe.DTA").c_str(), 0600), 0);
    Fill(ch0, 3, 1);
    const std::pair<std::string, std::string> cases[] = {
        {"a.DTA", "シンボリックリンクが循環しています"},
        {"pipe.DTA", "通常のファイルではありません"}};
    for (const auto& [name, reason] : cases) {
        SCOPED_TRACE(name);
        FileFailure failure;
        EXPECT_FALSE(file.SaveOneChannel(Path(name), UnusualSettings(0), ch0.Series, &failure));
        EXPECT_EQ(failure.Reason(), reason);
    }
    EXPECT_TRUE(prompts.questions.empty());
    EXPECT_EQ(std::filesystem::read_symlink(Path("a.DTA")), "b.DTA");
    EXPECT_EQ(std::filesystem::read_symlink(Path("b.DTA")), "a.DTA");
    EXPECT_TRUE(std::filesystem::is_fifo(Path("pipe.DTA")));
    EXPECT_EQ(Entries(), (std::vector<std::string>{"a.DTA", "b.DTA", "pipe.DTA"}));
}

// A file-size limit makes the writes fail part way, as a full disk would. The child
// reports the save's result; the same save without the limit then succeeds.
TEST_F(DataFileSaveTest, WriteErrorLeavesTheOldFileByteForByte) {
    const std::string path = Path("run.DTA");
    WriteBytes(path, oldBytes);
    Fill(ch0, kSeriesCapacity, 1);

    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(SaveCh0(path) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the save reported success";
    EXPECT_EQ(ReadBytes(path), oldBytes);
    EXPECT_EQ(Entries(), std::vector<std::string>{"run.DTA"});

    EXPECT_TRUE(SaveCh0(path));
    EXPECT_GT(ReadBytes(path).size(), 4096u);
}

// Permission bits do not stop root, so each save runs in a child that has become the
// unprivileged user 65534.
TEST_F(DataFileSaveTest, FolderThatRefusesNewEntriesGetsTheFileWrittenInPlace) {
    // A folder nobody else may write to, and a sticky one that lets nobody replace root's file.
    const std::string shut = Path("shut");
    const std::string sticky = Path("sticky");
    ASSERT_EQ(chmod(Path("").c_str(), 0755), 0);
    for (const auto& [folder, mode] : {std::pair{shut, 0755}, std::pair{sticky, 01777}}) {
        ASSERT_TRUE(std::filesystem::create_directory(folder));
        ASSERT_EQ(chmod(folder.c_str(), static_cast<mode_t>(mode)), 0);
        WriteBytes(folder + "/run.DTA", oldBytes);
        ASSERT_EQ(chmod((folder + "/run.DTA").c_str(), 0666), 0);
    }
    std::filesystem::create_hard_link(shut + "/run.DTA", shut + "/other.DTA");
    Fill(ch0, kSeriesCapacity, 1);
    ASSERT_TRUE(SaveCh0(Path("fresh.DTA")));
    const std::string fresh = ReadBytes(Path("fresh.DTA"));

    for (const std::string& folder : {shut, sticky}) {
        SCOPED_TRACE(folder);
        const int result = RunAsNobody([&] { return SaveCh0(folder + "/run.DTA"); });
        if (result == kNoUnprivilegedUser) {
            GTEST_SKIP() << "cannot become user 65534 here";
        }
        EXPECT_EQ(result, 0);
        EXPECT_TRUE(ReadBytes(folder + "/run.DTA") == fresh);
    }
    // In place, the file keeps its other name, and no stray file is left.
    EXPECT_TRUE(ReadBytes(shut + "/other.DTA") == fresh);
    EXPECT_EQ(std::filesystem::hard_link_count(shut + "/run.DTA"), 2u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(sticky), {}), 1);

    // A write that fails part way (here at a file-size limit) is a failed save, also in place.
    const rlimit limit{4096, 4096};
    EXPECT_EQ(RunAsNobody([&] {
                  return setrlimit(RLIMIT_FSIZE, &limit) == 0 && SaveCh0(shut + "/run.DTA");
              }),
              1);
}

}  // namespace
