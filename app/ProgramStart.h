// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <functional>
#include <memory>

#include "common/Prompts.h"

// The two guards around the program's start.

// The application object on the display. Without a display Qt would abort the process with
// its own lines; instead the operator gets one line on standard error and exit code 1. Qt's
// other messages while the application starts are held back and passed on once it runs.
std::unique_ptr<QApplication> StartApplicationOrExit(int& argc, char** argv);

// Runs `start`, the window's whole life, and returns its exit code. An exception that
// escapes it is shown in an error box captioned "SELKORAN" and gives exit code 1: a failed
// start is never reported as success.
int RunGuarded(Prompts& prompts, const std::function<int()>& start);
