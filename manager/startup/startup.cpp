#include "manager/startup/startup.h"

#include <stdlib.h>
#include <string.h>
#include <utility>

#include "common/command_line.h"
#include "common/policy.h"
#include "common/text_util.h"
#include "common/ui_language.h"
#include "common/unique_handle.h"
#include "manager/archive/self_decrypting.h"
#include "manager/startup/app_flows.h"
#include "manager/startup/configuration.h"
#include "manager/base/job_state.h"
#include "manager/base/message_box.h"

const char kConfigFileName[] = "Kyvomar.Cfg";

int initModulePaths() {
  jobState.moduleDir[0] = 0;
  jobState.moduleFileName[0] = 0;
  wchar_t path[2048];
  DWORD n = GetModuleFileNameW(nullptr, path, countOf(path));
  if (n == 0 || n >= countOf(path)) return 1;
  WidePathParts parts;
  splitPath(path, &parts);
  wchar_t dir[countOf(jobState.moduleDir)];
  formatText(dir, countOf(dir), L"%ls%ls", parts.drive, parts.dir);
  if (!endsWithSeparator(dir) && !appendText(dir, countOf(dir), L"\\")) return 1;
  copyText(jobState.moduleDir, countOf(jobState.moduleDir), dir);
  formatText(jobState.moduleFileName, countOf(jobState.moduleFileName), L"%ls%ls", parts.name, parts.ext);
  return 0;
}

void readConfiguration() {
  wchar_t path[2048];
  if (!formatText(path, countOf(path), L"%ls%hs", jobState.moduleDir, kConfigFileName)) return;
  UniqueFile file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  char content[CONFIG_MAX_BYTES + 1];
  DWORD got = 0;
  if (!ReadFile(file.get(), content, CONFIG_MAX_BYTES, &got, nullptr)) return;
  content[got] = '\0';
  long writeLog = jobState.writeLog;
  applyConfigurationText(content, got, &writeLog);
  jobState.writeLog = writeLog;
}

static void endWithMessage(const char* text, UINT flags) {
  showMessage(jobState.mainWindow, text, nullptr, flags);
  jobState.quitRequested = 1;
}

// A file that starts with the program but whose payload is cut short or
// followed by other bytes: neither a program to start nor a result to open.
static void endWithDamagedResult() {
  endWithMessage(uiText(TEXT_RESULT_DAMAGED),
                 MB_OK | MB_ICONEXCLAMATION);
}

// A name typed relative to the current folder (or to the current drive, or to
// a drive's current folder) becomes the full path it names from there, before
// anything takes it: the folder a result proposes for its files is its own.
static void makeFullPath(UniqueWideText* path) {
  const wchar_t* p = path->get();
  auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
  if (!p[0] || (separator(p[0]) && separator(p[1])) || (p[1] == L':' && separator(p[2]))) return;
  DWORD n = GetFullPathNameW(p, 0, nullptr, nullptr);
  if (n == 0) return;
  UniqueWideText full(static_cast<wchar_t*>(malloc(n * sizeof(wchar_t))));
  if (full && GetFullPathNameW(p, n, full.get(), nullptr) < n) *path = std::move(full);
}

void dispatchCommandLine(const wchar_t* text) {
  CommandLineInfo info;
  classifyCommandLine(text, &info);
  jobState.pathListText = info.pathList;
  readConfiguration();
  jobState.containerFormat = policyContainerFormat();
  jobState.destinationMode = DESTINATION_NONE;

  size_t size = textLength(info.pathList) + 1;
  if (size < 261) size = 261;
  UniqueWideText trimmed(static_cast<wchar_t*>(malloc(size * sizeof(wchar_t))));
  if (!trimmed) {
    endWithMessage(uiText(TEXT_NO_MEMORY), MB_OK);
    return;
  }
  trimCommandLinePath(trimmed.get(), size, info.pathList);
  wchar_t self[2048];
  DWORD selfLength = GetModuleFileNameW(nullptr, self, countOf(self));
  bool haveSelf = selfLength > 0 && selfLength < countOf(self);

  switch (info.form) {
    case FORM_SWITCH:
      jobState.destinationMode = info.destinationMode;
      jobState.modeFromCommandLine = 1;
      appFlows.runEncryptionWizard();
      return;
    case FORM_EMPTY: {
      ResultFileKind kind = haveSelf ? probeResultFile(self) : RESULT_FILE_OTHER;
      if (kind == RESULT_FILE_DAMAGED) {
        endWithDamagedResult();
      } else if (kind == RESULT_FILE_INTACT ||
                 (kind == RESULT_FILE_OTHER && haveSelf && SplitSelfMeltFile(self) == 0)) {
        jobState.decryptExternalFile = 0;
        appFlows.runDecryptionWizard();
      } else {
        endWithMessage(uiText(TEXT_DROP_HINT), MB_OK | MB_ICONINFORMATION);
      }
      return;
    }
    case FORM_PLAIN:
      makeFullPath(&trimmed);
      if (haveSelf && probeResultFile(trimmed.get(), self) == RESULT_FILE_DAMAGED) {
        endWithDamagedResult();
        return;
      }
      if (SplitSelfMeltFile(trimmed.get()) != 0) {
        jobState.modeFromCommandLine = 0;
        appFlows.runEncryptionWizard();
        return;
      }
      if (!copyText(jobState.encryptedInputPath, countOf(jobState.encryptedInputPath), trimmed.get())) {
        jobState.encryptedInputPath[0] = 0;
        endWithMessage(uiText(TEXT_SOURCE_PATH_TOO_LONG),
                       MB_OK | MB_ICONEXCLAMATION);
        return;
      }
      jobState.decryptExternalFile = 1;
      appFlows.runDecryptionWizard();
      return;
  }
}
