// The seam between start-up and the two workflows: the program runs the real
// wizards; tests swap entries to observe what the dispatcher starts.
#pragma once

struct AppFlows {
  void (*runEncryptionWizard)();
  void (*runDecryptionWizard)();
};

extern AppFlows appFlows;
