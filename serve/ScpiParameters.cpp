// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/ScpiParameters.h"

#include <cmath>

#include "serve/ScpiInterpreter.h"
#include "serve/ScpiResponse.h"

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

void ScpiParameters::Real(ScpiInterpreter& interpreter, const ScpiUnit& unit, double& field,
                          double first, double last) {
    if (unit.fQuery) {
        if (const auto answer = Queried(interpreter, unit, field, first, last)) {
            ScpiResponse::AppendReal(interpreter.Answer(), *answer);
        }
    } else if (const auto value = Numeric(interpreter, unit.parameters.front(), first, last)) {
        field = *value;
    }
}

std::optional<unsigned> ScpiParameters::Mask(ScpiInterpreter& interpreter, const ScpiUnit& unit,
                                             unsigned current, unsigned largest) {
    if (unit.fQuery) {
        if (const auto answer = Queried(interpreter, unit, current, 0.0, largest)) {
            interpreter.Answer() += std::to_string(std::lround(*answer));
        }
    } else if (const auto mask = Numeric(interpreter, unit.parameters.front(), 0.0, largest)) {
        return static_cast<unsigned>(std::lround(*mask));
    }
    return std::nullopt;
}

void ScpiParameters::OnOff(ScpiInterpreter& interpreter, const ScpiUnit& unit, bool& flag) {
    if (unit.fQuery) {
        interpreter.Answer() += flag ? '1' : '0';
        return;
    }
    const std::string& text = unit.parameters.front();
    if (ScpiParser::Matches(text, "ON") || ScpiParser::Matches(text, "OFF")) {
        flag = ScpiParser::Matches(text, "ON");
    } else if (const std::optional<double> number = ScpiParser::Number(text)) {
        flag = std::lround(*number) != 0;
    } else {
        interpreter.Error(ScpiError::kIllegalParameterValue);
    }
}

std::optional<std::size_t> ScpiParameters::HeaderChannel(ScpiInterpreter& interpreter,
                                                         const ScpiUnit& unit) {
    const int suffix = ScpiParser::Suffix(unit.header.front());
    if (suffix != 1 && suffix != 2) {
        interpreter.Error(ScpiError::kHeaderSuffix);
        return std::nullopt;
    }
    return static_cast<std::size_t>(suffix - 1);
}

std::optional<std::string> ScpiParameters::Text(ScpiInterpreter& interpreter, std::string_view text,
                                                std::size_t longest) {
    const char quote = text.empty() ? '\0' : text.front();
    if (quote != '"' && quote != '\'') {
        interpreter.Error(ScpiError::kIllegalParameterValue);
        return std::nullopt;
    }
    std::string inner;
    std::size_t characters = 0;
    std::size_t i = 1;
    for (; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == static_cast<unsigned char>(quote)) {
            if (i + 1 == text.size() || text[i + 1] != quote) {
                break;  // the closing quote
            }
            ++i;  // a doubled quote stands for one
        } else if (c < 0x20 || c == 0x7F) {
            break;
        }
        characters += (c & 0xC0) != 0x80 ? 1 : 0;  // UTF-8: one lead byte per character
        inner += static_cast<char>(c);
    }
    if (i + 1 != text.size() || text[i] != quote) {
        interpreter.Error(ScpiError::kIllegalParameterValue);
        return std::nullopt;
    }
    if (characters > longest) {
        interpreter.Error(ScpiError::kDataOutOfRange);
        return std::nullopt;
    }
    return inner;
}

std::string ScpiParameters::Quoted(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c == '"' ? "\"\"" : std::string(1, c);
    }
    return quoted + '"';
}
