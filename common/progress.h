// The seam between a long step and whoever started it: the step reports its
// status line and counters through it and asks it, between blocks, whether
// to stop. The engines (packer, extractor, assembly, cipher) take one from
// their caller and know nothing else of the job: they name the stage they
// are at, and the job puts it into the user's words. The jobs bind it to the
// job record, tests to whatever they watch.
#pragma once
#include <stdint.h>

// The stages an engine reports.
enum ProgressPhase {
  PHASE_ENCRYPTING,      // a container's keys are made and its body written
  PHASE_DECRYPTING,      // a container's keys are made and its chunks checked
  PHASE_WRITING_RESULT,  // the program image goes into the result
};

struct Progress {
  void (*status)(const wchar_t* text);  // the status line: the item at hand, as it is named
  void (*phase)(ProgressPhase phase);   // the status line: the stage of the job
  void (*total)(int64_t total);         // the size of the current piece of work
  void (*done)(int64_t done);           // how much of it is done (or, count only, left)
  void (*advance)(int64_t amount);      // adds to done
  void (*countOnly)(bool countOnly);    // the counter shows one number, not "done / total"
  bool (*stopRequested)();              // the user asked the step to stop
};

// What every step returns when it ended because the user asked it to stop.
enum { RESULT_STOPPED = 99 };

// Reports nothing and never asks to stop.
extern const Progress quietProgress;

// Sets the status line to a text of the program's own (code page 932).
void reportStatus(const Progress& progress, const char* text);
