#pragma once

#include <QFont>

// The window's font, "ＭＳ Ｐゴシック" at the given pixel size; on Linux IPA P Gothic stands in
// for it.
QFont WindowFont(int pixelSize);
