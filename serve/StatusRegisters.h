// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// One connection's IEEE 488.2 status: the standard event register (ESR) with its enable mask
// (ESE), the questionable status register's events with their enable mask, and the status byte
// (STB) with its service request enable (SRE).
class StatusRegisters {
public:
    // Event bits of the ESR.
    static constexpr std::uint8_t kOperationComplete = 0x01;
    static constexpr std::uint8_t kQueryError = 0x04;
    static constexpr std::uint8_t kDeviceError = 0x08;
    static constexpr std::uint8_t kExecutionError = 0x10;
    static constexpr std::uint8_t kCommandError = 0x20;
    // Bits of the questionable status register: a reading below or above its limits.
    static constexpr std::uint16_t kLowerLimitFailed = 0x0800;
    static constexpr std::uint16_t kUpperLimitFailed = 0x1000;
    // Bits of the STB.
    static constexpr std::uint8_t kErrorAvailable = 0x04;
    static constexpr std::uint8_t kQuestionableSummary = 0x08;
    static constexpr std::uint8_t kMessageAvailable = 0x10;
    static constexpr std::uint8_t kEventSummary = 0x20;
    static constexpr std::uint8_t kRequestService = 0x40;

    // The event bit an error number sets: -1xx command, -2xx execution, -3xx device, -4xx query.
    void NoteError(int number);
    void SetEvent(std::uint8_t bits) { esr |= bits; }
    // *ESR?: the events so far, cleared by reading.
    std::uint8_t TakeEvents();
    std::uint8_t EventEnable() const { return ese; }
    void SetEventEnable(std::uint8_t mask) { ese = mask; }
    std::uint8_t ServiceEnable() const { return sre; }
    // Bit 6 cannot be enabled: it summarises the others.
    void SetServiceEnable(std::uint8_t mask) { sre = mask & ~kRequestService; }
    // Questionable conditions that have come true.
    void SetQuestionable(std::uint16_t bits) { questionable |= bits; }
    // STATus:QUEStionable[:EVENt]?: the events so far, cleared by reading.
    std::uint16_t TakeQuestionable();
    std::uint16_t QuestionableEnable() const { return questionableEnable; }
    void SetQuestionableEnable(std::uint16_t mask) { questionableEnable = mask; }
    std::uint8_t StatusByte(bool fErrors, bool fOutput) const;
    // *CLS: the events (the enable masks stay).
    void ClearEvents() {
        esr = 0;
        questionable = 0;
    }

private:
    std::uint8_t esr = 0;
    std::uint8_t ese = 0;
    std::uint8_t sre = 0;
    std::uint16_t questionable = 0;
    std::uint16_t questionableEnable = 0;
};
