// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/ScpiResponse.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <string_view>

#include "common/Codes.h"

namespace {

constexpr double kMicrovoltsPerVolt = 1e6;
// Enough to tell every code from its neighbour (a code is 0.298 µV, 2.4E-7 of full scale).
constexpr int kSignificantDigits = 10;

// Appends the bytes of `value`, most significant first unless `fSwapped`.
template <typename T>
char* PutBytes(char* at, T value, bool fSwapped) {
    using Bits = std::conditional_t<sizeof(T) == 8, std::uint64_t, std::uint32_t>;
    auto bits = std::bit_cast<Bits>(value);
    const bool fBigEndian = !fSwapped;
    if (fBigEndian == (std::endian::native == std::endian::little)) {
        bits = sizeof(T) == 8
                   ? static_cast<Bits>(__builtin_bswap64(bits))
                   : static_cast<Bits>(__builtin_bswap32(static_cast<std::uint32_t>(bits)));
    }
    std::memcpy(at, &bits, sizeof bits);
    return at + sizeof bits;
}

template <typename T, typename Value, typename Convert>
void AppendBlock(std::string& out, std::span<const Value> ch0, std::span<const Value> ch1,
                 bool fSwapped, Convert convert) {
    const std::size_t count = ch0.size() + ch1.size();
    const std::string length = std::to_string(count * sizeof(T));
    out += '#';
    out += std::to_string(length.size());
    out += length;
    const std::size_t start = out.size();
    out.resize(start + count * sizeof(T));
    char* at = out.data() + start;
    for (std::size_t i = 0; i < std::max(ch0.size(), ch1.size()); ++i) {
        for (const auto channel : {ch0, ch1}) {
            if (i < channel.size()) {
                at = PutBytes<T>(at, convert(channel[i]), fSwapped);
            }
        }
    }
}

template <typename Value, typename Append>
void AppendText(std::string& out, std::span<const Value> ch0, std::span<const Value> ch1,
                Append append) {
    bool fFirst = true;
    for (std::size_t i = 0; i < std::max(ch0.size(), ch1.size()); ++i) {
        for (const auto channel : {ch0, ch1}) {
            if (i < channel.size()) {
                if (!fFirst) {
                    out += ',';
                }
                fFirst = false;
                append(channel[i]);
            }
        }
    }
}

}  // namespace

double ScpiResponse::Volts(std::int32_t code, std::int32_t gainFactor) {
    return CodeToMicrovolts(code, gainFactor) / kMicrovoltsPerVolt;
}

void ScpiResponse::AppendReal(std::string& out, double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value,
                                      std::chars_format::scientific, kSignificantDigits - 1);
    // "1.250000000e+00" as "1.25E+00": the zeros the rounding left say nothing.
    const std::string_view written(text, static_cast<std::size_t>(result.ptr - text));
    const std::size_t exponent = written.find('e');
    std::string_view mantissa = written.substr(0, exponent);
    if (mantissa.find('.') != std::string_view::npos) {
        mantissa.remove_suffix(mantissa.size() - 1 - mantissa.find_last_not_of('0'));
        if (mantissa.ends_with('.')) {
            mantissa.remove_suffix(1);
        }
    }
    out += mantissa;
    out += 'E';
    out += written.substr(exponent + 1);
}

void ScpiResponse::AppendValues(std::string& out, std::span<const double> ch0,
                                std::span<const double> ch1, const ScpiDataFormat& format) {
    switch (format.kind) {
        case ScpiDataFormat::Kind::Ascii:
            AppendText(out, ch0, ch1, [&out](double value) { AppendReal(out, value); });
            break;
        case ScpiDataFormat::Kind::Real32:
            AppendBlock<float>(out, ch0, ch1, format.fSwapped,
                               [](double value) { return static_cast<float>(value); });
            break;
        case ScpiDataFormat::Kind::Real64:
            AppendBlock<double>(out, ch0, ch1, format.fSwapped, [](double value) { return value; });
            break;
    }
}

void ScpiResponse::AppendCodes(std::string& out, std::span<const std::int32_t> ch0,
                               std::span<const std::int32_t> ch1, const ScpiDataFormat& format) {
    if (format.kind == ScpiDataFormat::Kind::Ascii) {
        AppendText(out, ch0, ch1, [&out](std::int32_t code) { out += std::to_string(code); });
    } else {
        AppendBlock<std::int32_t>(out, ch0, ch1, format.fSwapped,
                                  [](std::int32_t code) { return code; });
    }
}
