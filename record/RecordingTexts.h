// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

// What the operator reads about a recording's file, the same in the window and on the
// command line: why it could not be made or written, and what it keeps after an early end.
namespace RecordingTexts {

// "データ保存できませんでした：FILE（REASON）" for an errno value.
std::string FileFailed(const std::string& fileName, int errorNumber);
// "ファイル：FILEにデータ N 個を保存しました", or that it holds no data.
std::string Kept(const std::string& fileName, std::int64_t samples);

}  // namespace RecordingTexts
