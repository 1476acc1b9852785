// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Why a recording's file refused a start: it exists (and may not be replaced), or it cannot be
// made.
enum class FileRefusal { None, Exists, Failed };
