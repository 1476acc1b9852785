// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A two-channel data file small enough to work out by hand, and the status bar's statistics
// line of each channel in each unit.

#include <QByteArray>
#include <QString>

// CH0 codes 8388608 and 8388618 (0 and 2.98 uV), CH1 8388609 and 8388610.
inline const QByteArray kTwoChannels =
    "AD7172_DataFile:\r\nM:\r\nspsSel:13\r\nDataCountSel:0\r\n"
    "CHSel:2\r\nGainSel:0\r\nfSinc5:1\r\nfBUF_ON:0\r\nMEND:\r\nD:\r\n"
    "8388608,8388609\r\n8388618,8388610\r\nDEND:\r\n";
inline const QString kCh0Codes =
    "CH0 : 最大値：8388618 / 最小値：8388608 / pp値：10 digit / 標準偏差：5.00 digit";
inline const QString kCh1Codes =
    "CH1 : 最大値：8388610 / 最小値：8388609 / pp値：1 digit / 標準偏差：0.50 digit";
inline const QString kCh0Volts =
    "CH0 : 最大値：2.98[uV] / 最小値：0.00[uV] / pp値：2.98[uV] / 標準偏差：1.49[uV]";
inline const QString kCh1Volts =
    "CH1 : 最大値：0.60[uV] / 最小値：0.30[uV] / pp値：0.30[uV] / 標準偏差：0.15[uV]";
