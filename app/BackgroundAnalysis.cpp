// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/BackgroundAnalysis.h"

BackgroundAnalysis::BackgroundAnalysis(RecordingAnalysis::Request request)
    : worker([this, request]() mutable {
          request.progress = &progress;
          outcome.recording =
              RecordingAnalysis::Analyse(request, &outcome.failure, &outcome.reason);
          fOver.store(true);
          // Posted to the owner's thread; dropped with the object if it is gone by then.
          QMetaObject::invokeMethod(this, &BackgroundAnalysis::Finished, Qt::QueuedConnection);
      }) {}

BackgroundAnalysis::~BackgroundAnalysis() {
    progress.Cancel();
    worker.join();
}
