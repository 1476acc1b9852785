// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/ErrorQueue.h"

namespace {

struct Entry {
    int number;
    const char* text;
};

constexpr Entry kTexts[] = {
    {0, "No error"},
    {ScpiError::kCommand, "Command error"},
    {ScpiError::kSyntax, "Syntax error"},
    {ScpiError::kParameterNotAllowed, "Parameter not allowed"},
    {ScpiError::kMissingParameter, "Missing parameter"},
    {ScpiError::kUndefinedHeader, "Undefined header"},
    {ScpiError::kHeaderSuffix, "Header suffix out of range"},
    {ScpiError::kExecution, "Execution error"},
    {ScpiError::kTriggerIgnored, "Trigger ignored"},
    {ScpiError::kInitIgnored, "Init ignored"},
    {ScpiError::kTriggerDeadlock, "Trigger deadlock"},
    {ScpiError::kSettingsConflict, "Settings conflict"},
    {ScpiError::kDataOutOfRange, "Data out of range"},
    {ScpiError::kTooMuchData, "Too much data"},
    {ScpiError::kIllegalParameterValue, "Illegal parameter value"},
    {ScpiError::kDataStale, "Data corrupt or stale"},
    {ScpiError::kHardware, "Hardware error"},
    {ScpiError::kMassStorage, "Mass storage error"},
    {ScpiError::kQueueOverflow, "Queue overflow"},
};

}  // namespace

const char* ScpiError::Text(int number) {
    for (const Entry& entry : kTexts) {
        if (entry.number == number) {
            return entry.text;
        }
    }
    return "Execution error";
}

void ErrorQueue::Push(int number, std::string_view detail) {
    if (errors.size() < kCapacity) {
        errors.push_back({number, detail});
    } else {
        errors.back() = {ScpiError::kQueueOverflow, {}};
    }
}

std::string ErrorQueue::Next() {
    const Entry entry = errors.empty() ? Entry{} : errors.front();
    if (!errors.empty()) {
        errors.pop_front();
    }
    std::string text = std::to_string(entry.number) + ",\"" + ScpiError::Text(entry.number);
    if (!entry.detail.empty()) {
        text += ';';
        text += entry.detail;
    }
    return text + '"';
}
