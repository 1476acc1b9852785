// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <cstdint>

#include "measure/Acquisition.h"
#include "measure/Measurement.h"

class QLabel;
class QStatusBar;

// Puts every text of the window's three-panel status bar (StatusTexts) into its panel,
// sizing the panel to the text: panel 0 the board connection, panel 1 the measurement and
// the last file command, panel 2 progress and results (statistics in codes or microvolts).
// For checks that see the window only from outside (the emulated-chip harness), the
// environment variable SELKORAN_STATUS_LOG names a file to which every text a panel shows is
// appended as the panel number, a tab and the text; off unless the variable is set.
class TmyStatus {
public:
    static constexpr int kPanelCount = 3;
    static constexpr int kStartPanelWidth = 50;

    // Gives a status bar the three panels this class writes into (the window builds its bar
    // with it): 50 pixels wide each, no size grip.
    static void CreatePanels(QStatusBar& statusBar);
    // Fixes the panels' heights at those the bar's layout gives them now, once the bar is shown
    // at its height (a hidden bar's are left free): a panel whose size is fixed in both ways
    // does not have the bar laid out and repainted whole for a new text as wide as the last (a
    // read-out ten times a second).
    static void KeepPanelHeights(QStatusBar& statusBar);
    // Panel `index` of a bar built by CreatePanels; null if there is none.
    static QLabel* Panel(const QStatusBar& statusBar, int index);
    // Width of a panel whose text is `textWidth` pixels wide (in the bar's font): the text's
    // width plus 5 pixels when it is wider than 100 pixels, else 105 pixels.
    static int PanelWidthFor(int textWidth);

    TmyStatus(QStatusBar& statusBar, QString deviceName, std::int32_t highestPanel);

    // Draws the texts of a run once, off screen in the bar's font, so that their glyphs are
    // loaded before the first run instead of by its click and first read-outs: the window calls
    // it when it is first idle. No panel and no status log sees them.
    void LoadRunTextGlyphs() const;

    // A text for a panel above `highestPanel` is dropped.
    void SetPanelText(const QString& text, int index);

    void ShowBoardIdentity(const QString& name, const QString& version);
    void ShowBoardNotFound();
    void ShowBoardNoResponse();
    void ShowBoardError();
    void ShowMeasuring();
    void ShowFinished();
    void ShowStopped();
    void ShowLoaded();
    void ShowSaved();
    void ShowStarting();
    void ShowMeasureError();
    void ClearReadout();
    void ShowProgress(std::int32_t number, std::int32_t code);
    void ShowProgressTwo(std::int32_t number, std::int32_t ch0Code, std::int32_t ch1Code);
    void ShowCodeStatistics(std::int32_t maximum, std::int32_t minimum, double deviation,
                            int channel);
    void ShowVoltStatistics(int channel, double maximum, double minimum, double deviation);
    // One channel's statistics line of a measurement (its extremes and deviation), in
    // microvolts or codes.
    void ShowStatistics(const Measurement& data, int channel, bool fVolt);
    // The bar's tooltip while both channels hold data: a click shows the other channel.
    void ShowChannelSwitchHint(bool fBothChannels);
    // Panel 0 after an identification that failed: the board not found, or not answering.
    void ShowIdentifyFailure(Acquisition::StartResult result);

private:
    QStatusBar& statusBar;
    QString deviceName;
    std::int32_t highestPanel;
};
