// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>

// The window's font, "ＭＳ Ｐゴシック" at the given pixel size; on Linux IPA P Gothic stands in
// for it.
QFont WindowFont(int pixelSize);

// The font of the graph's axis numbers: the window's font with half-width digits, 6 pixels
// wide at 12 pixels as the window font's own digits are, so that an eight-digit code fits
// between its column and the graph's frame. IPA P Gothic's digits are wider; IPA Gothic's
// half-width ones have that width.
QFont AxisLabelFont(int pixelSize);
