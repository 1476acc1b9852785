// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/RecordingSink.h"

#include <algorithm>
#include <cctype>

#include "record/CsvRecordingSink.h"
#include "record/Hdf5RecordingSink.h"

RecordingSink::Type RecordingSink::TypeOf(const std::string& path) {
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower.ends_with(".h5") || lower.ends_with(".hdf5") ? Type::Hdf5 : Type::Csv;
}

std::unique_ptr<RecordingSink> RecordingSink::Make(Type type, Options options, NowFunction now) {
    if (type == Type::Hdf5) {
        return std::make_unique<Hdf5RecordingSink>(std::move(options), std::move(now));
    }
    return std::make_unique<CsvRecordingSink>(std::move(options), std::move(now));
}
