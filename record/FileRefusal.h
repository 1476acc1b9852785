// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Why a file a run writes could not be made or opened: it exists (and may not be replaced), a
// file to be continued is of another kind, or the system refused it (the file's errno says why).
enum class FileRefusal { None, Exists, WrongKind, Failed };
