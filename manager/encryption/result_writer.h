// The result of an encryption, written as the archive is made: the program
// image first, then the container, its body enciphered as the packer hands
// over its entries, its header and the trailer last. The file is a working
// file beside the result (working_file.h), so that a failed, stopped or
// killed job leaves none of it; only a complete result takes its name.
//
// An entry that the packer completes only after its data is held until its
// header is final, in memory up to RESULT_HOLD_LIMIT bytes; beyond that it
// spills to a working file in the temporary folder, enciphered under a key
// drawn for that entry alone and wiped once the entry is through. No byte of
// the selection reaches a disk readable.
#pragma once
#include <windows.h>
#include <stddef.h>
#include <stdint.h>

#include "common/progress.h"
#include "common/working_file.h"
#include "manager/archive/packer.h"
#include "manager/cipher/container_stream.h"
#include "manager/cipher/key_material.h"

enum { RESULT_HOLD_LIMIT = 2 << 20 };

class ResultWriter final : public ArchiveSink {
 public:
  explicit ResultWriter(const wchar_t* outputPath);
  ~ResultWriter();
  ResultWriter(const ResultWriter&) = delete;
  ResultWriter& operator=(const ResultWriter&) = delete;

  // Derives the container's keys, creates the working files (the result's
  // and the spill file), writes the program image of programPath (without
  // one, the data form's header: data_form.h) and starts the container. 0, or the code of the step that failed: the container's
  // (205, 207, 209, 211, 212, 299) or the assembly's (32 a file can't be
  // created, 35/36 the image can't be read, 37/46 written).
  int begin(const wchar_t* programPath, int format, const char* password, const Progress& progress);

  bool write(const void* data, size_t size) override;
  bool holdEntry(const unsigned char* provisionalHeader) override;
  bool completeEntry(const unsigned char* header) override;

  // Ends the container and the trailer and gives the result its name: 0,
  // 97 for an empty archive, 207 or 37..39/46 for a failed write, 32 when
  // the result can't take its name.
  int finish();

  // The archive's bytes so far, and those of them that went through the
  // spill file.
  uint64_t archiveBytes() const { return container_.archiveBytes(); }
  uint64_t spilledBytes() const { return spilled_; }
  // The files the writer makes while the selection is packed, which the
  // packer must not take for part of it (a result saved into a selected
  // folder); null where there is none.
  const wchar_t* workingPath() const { return file_ ? file_.path() : nullptr; }
  const wchar_t* spillPath() const { return spill_ ? spill_.path() : nullptr; }
  // True when the cipher (of the container or of the spill file) failed:
  // the job stops with the cipher's code, not the packer's.
  bool cipherFailed() const { return cipherFailed_ || container_.cipherFailed(); }

 private:
  bool spillHeld();
  bool replaySpill();
  void dropSpill();

  const wchar_t* outputPath_;
  WorkingFile file_;
  ContainerWriter container_;
  bool holding_ = false;
  unsigned char* held_ = nullptr;     // RESULT_HOLD_LIMIT bytes
  size_t heldBytes_ = 0, heldPeak_ = 0;
  WipedBlock piece_;                  // two pieces for reading the spill back
  WorkingFile spill_;
  bool spillKeyed_ = false, cipherFailed_ = false;
  CipherKey spillKey_ = {};
  unsigned char spillIv_[CIPHER_BLOCK] = {};
  uint64_t spillBytes_ = 0, spilled_ = 0;
};
