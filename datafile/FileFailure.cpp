// SPDX-License-Identifier: GPL-3.0-or-later
#include "datafile/FileFailure.h"

#include "common/Codes.h"
#include "common/FileError.h"

std::string FileFailure::Reason() const {
    switch (kind) {
        case Kind::None:
            return {};
        case Kind::System:
            return FileErrorReason(error);
        case Kind::NotRegular:
            return FileErrorReason(PosixFile::kNotRegular);
        case Kind::Empty:
            return "空のファイルです";
        case Kind::NotDataFile:
            return "データファイルではありません";
        case Kind::BadLine:
            return std::to_string(line) + " 行目が正しくありません";
        case Kind::CutShort:
            return std::to_string(line) + " 行目で途切れています";
        case Kind::TooManySamples:
            return "データが " + std::to_string(kSeriesCapacity) + " 個を超えています";
        case Kind::BadSettings:
            return "設定の値が範囲外です";
    }
    return {};
}
