// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <deque>
#include <string>
#include <string_view>

// The standard error numbers of the instrument language, and one connection's queue of them.
namespace ScpiError {
inline constexpr int kCommand = -100;
inline constexpr int kSyntax = -102;
inline constexpr int kParameterNotAllowed = -108;
inline constexpr int kMissingParameter = -109;
inline constexpr int kUndefinedHeader = -113;
inline constexpr int kHeaderSuffix = -114;
inline constexpr int kExecution = -200;
inline constexpr int kTriggerIgnored = -211;
inline constexpr int kInitIgnored = -213;
inline constexpr int kTriggerDeadlock = -214;
inline constexpr int kSettingsConflict = -221;
inline constexpr int kDataOutOfRange = -222;
inline constexpr int kTooMuchData = -223;
inline constexpr int kIllegalParameterValue = -224;
inline constexpr int kDataStale = -230;
inline constexpr int kHardware = -240;
inline constexpr int kMassStorage = -250;
inline constexpr int kQueueOverflow = -350;

// The standard text of an error number ("Undefined header"); "No error" for 0.
const char* Text(int number);
}  // namespace ScpiError

// Errors in the order they happened, at most kCapacity; the newest then becomes
// -350 "Queue overflow", as instruments report a full queue.
class ErrorQueue {
public:
    static constexpr std::size_t kCapacity = 32;

    // `detail` (a text that lives as long as the program) follows the standard text after ";".
    void Push(int number, std::string_view detail = {});
    // The oldest error as `number,"text"` (`number,"text;detail"`), removed; `0,"No error"`
    // when the queue is empty.
    std::string Next();
    std::size_t Count() const { return errors.size(); }
    void Clear() { errors.clear(); }

private:
    struct Entry {
        int number = 0;
        std::string_view detail;
    };

    std::deque<Entry> errors;
};
