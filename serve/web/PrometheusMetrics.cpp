// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/web/PrometheusMetrics.h"

#include "analysis/NoiseStatistics.h"
#include "serve/ScpiInstrument.h"
#include "common/JsonText.h"

namespace {

constexpr double kVoltsPerMicrovolt = 1e-6;

// A label value as the format escapes it.
std::string Label(const std::string& value) {
    std::string escaped;
    for (const char c : value) {
        if (c == '\\' || c == '"') {
            escaped += '\\';
        }
        escaped += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return escaped;
}

std::string Head(const std::string& name, const std::string& type, const std::string& help) {
    return "# HELP " + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
}

std::string ChannelMetrics(const Measurement& samples) {
    std::string mean = Head("selkoran_mean_volts", "gauge", "Mean input of the last run.");
    std::string rms = Head("selkoran_rms_noise_volts", "gauge",
                           "RMS noise (standard deviation, divided by n) of the last run.");
    std::string peak =
        Head("selkoran_peak_to_peak_volts", "gauge", "Peak-to-peak value of the last run.");
    for (int channel = 0; channel < 2; ++channel) {
        const auto codes = samples.Taken(channel);
        if (codes.empty()) {
            continue;
        }
        NoiseStatisticsSums sums;
        sums.Add(codes);
        const NoiseStatistics figures = sums.Result(1.0);
        const std::string label = "{channel=\"" + std::to_string(channel) + "\"} ";
        mean += "selkoran_mean_volts" + label +
                JsonText::Number(figures.meanMicrovolts * kVoltsPerMicrovolt) + '\n';
        rms += "selkoran_rms_noise_volts" + label +
               JsonText::Number(figures.rmsMicrovolts * kVoltsPerMicrovolt) + '\n';
        peak += "selkoran_peak_to_peak_volts" + label +
                JsonText::Number(figures.peakToPeakMicrovolts * kVoltsPerMicrovolt) + '\n';
    }
    return mean + rms + peak;
}

}  // namespace

std::string PrometheusMetrics::Text(const ScpiInstrument& instrument, std::uint64_t samplesTotal) {
    return Head("selkoran_info", "gauge", "The board and the program.") +
           "selkoran_info{serial=\"" + Label(instrument.SerialNumber()) + "\",board_version=\"" +
           Label(instrument.Version()) + "\",program_version=\"" + Label(SELKORAN_VERSION) +
           "\"} 1\n" + Head("selkoran_up", "gauge", "1 while the board answers.") + "selkoran_up " +
           (instrument.Answering() ? "1" : "0") + '\n' +
           Head("selkoran_running", "gauge", "1 while a run is under way.") + "selkoran_running " +
           (instrument.Running() ? "1" : "0") + '\n' +
           Head("selkoran_samples_total", "counter",
                "Samples per channel taken since the server started.") +
           "selkoran_samples_total " + std::to_string(samplesTotal) + '\n' +
           ChannelMetrics(instrument.Samples());
}
