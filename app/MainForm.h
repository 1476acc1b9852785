// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>
#include <QString>
#include <memory>

#include "common/MeasureSettings.h"

class AnchorLayout;
class GraphPanel;
class PaintBox;
class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QMainWindow;
class QMenu;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QWidget;

// The main window's controls and menus, made and placed as its layout table says (positions,
// anchors, captions, items, fonts, tab order), the way a form designer's generated code is: the
// window inherits them and wires their events to its own handlers.
class MainForm {
public:
    static constexpr int kClientWidth = 792;
    static constexpr int kClientHeight = 458;
    static constexpr int kBorderWidth = 0;
    static inline const QString kStartCaption = QStringLiteral("測定開始");
    static inline const QString kStopCaption = QStringLiteral("測定停止");

    MainForm();
    ~MainForm();

    PaintBox* PaintBox1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label11 = nullptr;
    QLabel* Label12 = nullptr;
    QLabel* Label13 = nullptr;
    QLabel* Label14 = nullptr;
    QLabel* Label15 = nullptr;
    QLabel* Label16 = nullptr;
    QFrame* Panel2 = nullptr;
    QRadioButton* Sinc3_RB = nullptr;
    QRadioButton* Sinc5_RB = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QComboBox* ComboBox2 = nullptr;
    QComboBox* ComboBox3 = nullptr;
    QPushButton* MeasureBtn = nullptr;
    QPushButton* QuitBtn = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QMenu* File1 = nullptr;
    QAction* Exit1 = nullptr;
    QMenu* Data1 = nullptr;
    QAction* Save1 = nullptr;
    QAction* Load1 = nullptr;
    QAction* N1 = nullptr;
    QAction* DataClear = nullptr;
    QMenu* MenuY = nullptr;
    QAction* MenuY_Volt = nullptr;
    QMenu* Analysis1 = nullptr;
    QAction* NoiseAnalysis1 = nullptr;
    QAction* AnalyseFile1 = nullptr;
    QAction* LongRecording1 = nullptr;

protected:
    // Makes every control and menu of `window`, at the design size.
    void SetupUi(QMainWindow& mainWindow);
    // Re-places the anchored controls for the client area's new size.
    void ApplyAnchors();
    // The start caption, rate 10 sps, 1000 samples, CH0, Sinc5+Sinc1.
    void SetDefaultControls();
    // Menus, settings, the quit button and (where allowed) the measure button; the labels, the
    // settings panel, the status bar and the paint box are never disabled.
    void SetControlsEnabled(bool enabled, bool fMeasureAllowed);
    // The settings the controls show, on top of `base` (the other fields stay as they are).
    MeasureSettings ReadSettingsFromControls(const MeasureSettings& base) const;
    void ShowSettingsInControls(const MeasureSettings& settings);
    // The status bar 20 pixels high and flush with the bottom of the client area.
    void RelayoutStatusBar();
    // The unit of the graph and the statistics: microvolts while "電圧値" is checked.
    bool VoltMode() const;
    // "SELKORAN / v1.10", and " : " and the file name when the data came from or went to one.
    void UpdateTitle(const QString& fileName);

    QMainWindow* window = nullptr;
    QWidget* client = nullptr;
    std::unique_ptr<GraphPanel> graphPanel;  // the paint box and the graph's axis labels

private:
    QLabel* AddLabel(const QString& text, QRect design, int anchors);
    void SetupGraph();
    void SetupSettings();
    void SetupMenus(QMainWindow& mainWindow);

    std::unique_ptr<AnchorLayout> anchors;
};
