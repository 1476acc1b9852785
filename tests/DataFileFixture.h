// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/ChannelSeries.h"
#include "common/MeasureSettings.h"
#include "datafile/Myfile.h"
#include "tests/fakes/FakePrompts.h"

// Real files in a fresh directory, the file object under test with recording prompts,
// and two channels of fixed arrays.
class DataFileFixture : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const {
        return directory.path().toStdString() + "/" + name;
    }

    static void WriteBytes(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }

    static std::string ReadBytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // Names in the directory, sorted: shows that no temporary file was left behind.
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(Path(""))) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    QTemporaryDir directory;
    FakePrompts prompts;
    TmyFile file{prompts};
    ChannelBuffer ch0;
    ChannelBuffer ch1;
};
