// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <functional>
#include <memory>

#include "common/Prompts.h"

// The two guards around the program's start, and the event loop it runs on.

// Chooses Qt's own event loop over glib's, before the application object is made: a run wakes
// the window about 300 times a second at the board's top rate, and glib's dispatch costs each
// wake more than the run's own work does. Nothing the window uses needs glib's loop (its file
// dialogs are Qt's own). An operator who sets QT_NO_GLIB (even empty) keeps that choice.
void ChooseEventLoop();

// The application object on the display, on the event loop ChooseEventLoop picks. Without a
// display Qt would abort the process with its own lines; instead the operator gets one line on
// standard error and exit code 1. Qt's other messages while the application starts are held
// back and passed on once it runs.
std::unique_ptr<QApplication> StartApplicationOrExit(int& argc, char** argv);

// Runs `start`, the window's whole life, and returns its exit code. An exception that
// escapes it is shown in an error box captioned "SELKORAN" and gives exit code 1: a failed
// start is never reported as success.
int RunGuarded(Prompts& prompts, const std::function<int()>& start);
