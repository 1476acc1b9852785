// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "serve/ScpiInstrument.h"
#include "serve/web/ControlAccess.h"

// What the live view pages are told, as JSON messages, one per update: the state (the status
// text of the window, the settings, the statistics lines and noise figures of a finished run,
// what may be downloaded and whether this page may control the board) when it changed, and the
// chart's new pixel columns since the page's last message. A run started from SCPI shows as
// one started from a page.
class LiveView : public ScpiInstrument::Listener {
public:
    // Where one page stands; kept by its connection.
    struct Page {
        std::int64_t columns = 0;  // the chart's width in pixels; 0 before the page said
        ControlAccess::Note control;
        std::uint64_t stateSeen = 0;
        std::uint64_t chartRun = 0;
        std::int64_t chartCount = -1;
        std::int64_t chartWidth = 0;
        std::int64_t columnsSent = 0;   // columns complete and sent
        std::int64_t samplesSent = -1;  // samples the last chart message covered
    };

    explicit LiveView(ScpiInstrument& instrument);
    ~LiveView();
    LiveView(const LiveView&) = delete;
    LiveView& operator=(const LiveView&) = delete;

    void RunEnding(const ScpiInstrument::RunEnd& end) override;
    // Once every pass of the loop: a run's start and changed settings.
    void Notice();
    // The message `page` has not had yet; empty when it is up to date.
    std::string Update(Page& page);
    // Samples per channel of every run since the start, the one under way included.
    std::uint64_t SamplesTotal() const;
    // Something changed since `page` was last told (for the loop's next wake).
    bool Behind(const Page& page) const;

private:
    std::string StateJson(const Page& page);
    std::string ChartJson(Page& page) const;
    std::string SettingsJson() const;
    std::string ResultJson();
    // The noise (and, with a sine, dynamic) figures of the finished run, made once per run.
    const std::string& FiguresJson();
    void Changed() { ++version; }

    ScpiInstrument& instrument;
    std::string status;
    std::uint64_t version = 1;
    std::uint64_t runSeen = 0;
    bool fRunningSeen = false;
    std::string settingsSeen;
    std::uint64_t samplesBefore = 0;  // of the runs that ended
    std::uint64_t figuresRun = 0;
    std::int64_t figuresCount = -1;
    std::string figures;
};
