// The seam between start-up and the two workflows: the program runs with the
// real wizards and jobs; tests swap entries to observe what the dispatcher and
// the wizards start.
#pragma once

#include "manager/startup/job_control.h"

struct AppFlows {
  void (*runEncryptionWizard)();
  void (*runDecryptionWizard)();
  JobBody runEncryptionJob;  // the bodies the wizards start on the worker thread
  JobBody runDecryptionJob;
};

extern AppFlows appFlows;
