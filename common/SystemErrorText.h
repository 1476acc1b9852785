// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// Why a system call failed, in the operator's Japanese: the errno values the program meets
// have their own words; any other is named by its number, never in the C library's English.
std::string SystemErrorText(int errnoValue);
