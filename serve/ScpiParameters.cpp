// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/ScpiParameters.h"

#include <cmath>

#include "serve/ScpiInterpreter.h"

namespace {

// The board's one input range, ±2.5 V.
constexpr double kRangeVolts = 2.5;

}  // namespace

std::optional<double> ScpiParameters::Numeric(ScpiInterpreter& interpreter, const std::string& text,
                                              double first, double last) {
    std::optional<double> value = ScpiParser::Number(text);
    if (ScpiParser::Matches(text, "MINimum")) {
        value = first;
    } else if (ScpiParser::Matches(text, "MAXimum")) {
        value = last;
    } else if (!value) {
        interpreter.Error(ScpiError::kIllegalParameterValue);
        return std::nullopt;
    }
    if (*value < first || *value > last) {
        interpreter.Error(ScpiError::kDataOutOfRange);
        return std::nullopt;
    }
    return value;
}

std::optional<std::size_t> ScpiParameters::Choice(ScpiInterpreter& interpreter,
                                                  const std::string& text,
                                                  std::initializer_list<std::string_view> choices) {
    std::size_t index = 0;
    for (const std::string_view choice : choices) {
        if (ScpiParser::Matches(text, choice)) {
            return index;
        }
        ++index;
    }
    interpreter.Error(ScpiError::kIllegalParameterValue);
    return std::nullopt;
}

std::optional<double> ScpiParameters::Queried(ScpiInterpreter& interpreter, const ScpiUnit& unit,
                                              double current, double first, double last) {
    if (unit.parameters.empty()) {
        return current;
    }
    const auto choice = Choice(interpreter, unit.parameters.front(), {"MINimum", "MAXimum"});
    if (!choice) {
        return std::nullopt;
    }
    return *choice == 0 ? first : last;
}

void ScpiParameters::TwoWay(ScpiInterpreter& interpreter, const ScpiUnit& unit,
                            const std::array<std::string_view, 2>& keywords, bool& flag,
                            bool fFlagIsSecond) {
    if (unit.fQuery) {
        interpreter.Answer() += ScpiParser::ShortForm(keywords[flag == fFlagIsSecond ? 1 : 0]);
    } else if (const auto choice =
                   Choice(interpreter, unit.parameters.front(), {keywords[0], keywords[1]})) {
        flag = (*choice == 1) == fFlagIsSecond;
    }
}

bool ScpiParameters::MultimeterForm(ScpiInterpreter& interpreter, const ScpiUnit& unit) {
    for (std::size_t i = 0; i < unit.parameters.size(); ++i) {
        const std::string& text = unit.parameters[i];
        const bool fRange = i == 0;
        if (ScpiParser::Matches(text, "MINimum") || ScpiParser::Matches(text, "MAXimum") ||
            ScpiParser::Matches(text, "DEFault") || (fRange && ScpiParser::Matches(text, "AUTO"))) {
            continue;
        }
        const std::optional<double> figure = ScpiParser::Number(text);
        if (!figure) {
            interpreter.Error(ScpiError::kIllegalParameterValue);
            return false;
        }
        if (fRange ? std::abs(*figure) > kRangeVolts : *figure <= 0.0) {
            interpreter.Error(ScpiError::kDataOutOfRange);
            return false;
        }
    }
    return true;
}

std::optional<int> ScpiParameters::ChannelSelection(std::string_view text) {
    if (!text.starts_with("(@") || !text.ends_with(')')) {
        return std::nullopt;
    }
    text = text.substr(2, text.size() - 3);
    unsigned mask = 0;
    for (const ScpiUnit& item : ScpiParser::Parse("X " + std::string(text))) {
        for (const std::string& entry : item.parameters) {
            const std::size_t colon = entry.find(':');
            const std::optional<double> from = ScpiParser::Number(entry.substr(0, colon));
            const std::optional<double> to =
                colon == std::string::npos ? from : ScpiParser::Number(entry.substr(colon + 1));
            if (!from || !to || (*from != 0.0 && *from != 1.0) || (*to != 0.0 && *to != 1.0)) {
                return std::nullopt;
            }
            mask |= (1U << static_cast<unsigned>(*from)) | (1U << static_cast<unsigned>(*to));
        }
    }
    if (mask == 0) {
        return std::nullopt;
    }
    return mask == 1 ? 0 : mask == 2 ? 1 : 2;
}
