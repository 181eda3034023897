// The mail hand-off through a fake Simple MAPI provider.
#include "manager/encryption/mail_attachment.h"

#include <gtest/gtest.h>
#include <string.h>
#include <windows.h>

#include "fake_mapi/fake_mapi.h"
#include "support/message_capture.h"
#include "support/narrow_paths.h"
#include "support/test_files.h"

namespace {

const char kMailerFailed[] = "メーラーを起動できませんでした";

bool mapiLoaded() { return GetModuleHandleA("MAPI32.DLL") != nullptr; }

class MailAttachment : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(mapiLoaded());
    ASSERT_FALSE(fileExists(programFolder() + "MAPI32.DLL")) << "a MAPI32.DLL lies beside the tests";
    ASSERT_FALSE(fileExists(FakeMapiInProcess::systemPath() + ".kyvo-saved")) << "the system's MAPI32.DLL is away";
    attachment = dir / "表ソ能.crpt.exe";
    ASSERT_TRUE(writeFile(attachment, patternBytes(5000, 7)));
  }
  TempDir dir;
  std::string attachment;
  MessageCapture messages;
};

// A result runs from wherever it was saved: a MAPI32.DLL planted beside the
// program is never loaded, the system folder's is.
TEST_F(MailAttachment, OnlyTheSystemFoldersMailLibraryIsLoaded) {
  FakeMapiInProcess mapi(FAKE_MAPI_SEND_MAIL);
  ASSERT_TRUE(mapi.ok());
  std::string planted = programFolder() + "MAPI32.DLL";
  ASSERT_TRUE(CopyFileA(fakeMapiDllPath(FAKE_MAPI_NO_ENTRY).c_str(), planted.c_str(), FALSE));
  int result = attachToMail(attachment.c_str());
  DeleteFileA(planted.c_str());
  EXPECT_EQ(result, 0);  // the planted one has no MAPISendMail
  std::vector<FakeMapiCall> calls = readFakeMapiCalls(mapi.recordPath());
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0]["provider"], FakeMapiInProcess::systemPath());
}

TEST_F(MailAttachment, NewMessageWithoutRecipientsAndTheFileAttached) {
  FakeMapiInProcess mapi(FAKE_MAPI_SEND_MAIL);
  ASSERT_TRUE(mapi.ok());
  EXPECT_EQ(attachToMail(attachment.c_str()), 0);
  EXPECT_FALSE(mapiLoaded());  // freed before returning
  EXPECT_TRUE(messages.texts().empty());
  std::vector<FakeMapiCall> calls = readFakeMapiCalls(mapi.recordPath());
  ASSERT_EQ(calls.size(), 1u);
  FakeMapiCall& c = calls[0];
  EXPECT_EQ(c["lhSession"], "0");
  EXPECT_EQ(c["ulUIParam"], "0");
  EXPECT_EQ(c["flFlags"], "0x9");
  EXPECT_EQ(c["ulReserved"], "0");
  EXPECT_EQ(c["message.ulReserved"], "0");
  EXPECT_EQ(c["message.lpszSubject"], "\"\"");
  EXPECT_EQ(c["message.lpszNoteText"], "\"\"");
  EXPECT_EQ(c["message.lpszMessageType"], "null");
  EXPECT_EQ(c["message.lpszDateReceived"], "null");
  EXPECT_EQ(c["message.lpszConversationID"], "null");
  EXPECT_EQ(c["message.flFlags"], "0x0");
  EXPECT_EQ(c["message.lpOriginator"], "null");
  EXPECT_EQ(c["message.nRecipCount"], "0");
  EXPECT_EQ(c["message.nFileCount"], "1");
  // The prepared, uncounted recipient.
  EXPECT_EQ(c["message.lpRecips"], "set");
  EXPECT_EQ(c["recip[0].ulReserved"], "0");
  EXPECT_EQ(c["recip[0].ulRecipClass"], "1");
  EXPECT_EQ(c["recip[0].lpszName"], "\"\"");
  EXPECT_EQ(c["recip[0].lpszAddress"], "null");
  EXPECT_EQ(c["recip[0].ulEIDSize"], "0");
  EXPECT_EQ(c["recip[0].lpEntryID"], "null");
  // The one attachment: the full path, no display name, not inside the text.
  EXPECT_EQ(c["file[0].ulReserved"], "0");
  EXPECT_EQ(c["file[0].flFlags"], "0x0");
  EXPECT_EQ(c["file[0].nPosition"], "0xffffffff");
  EXPECT_EQ(c["file[0].lpszPathName"], "\"" + attachment + "\"");
  EXPECT_EQ(c["file[0].lpszFileName"], "null");
  EXPECT_EQ(c["file[0].lpFileType"], "null");
  EXPECT_EQ(c["file[0].exists"], "1");
  EXPECT_EQ(c["file[0].size"], "5000");
  // The provider got the file itself, and it is still in place afterwards.
  EXPECT_EQ(readFile(mapi.copyFolder() + "\\表ソ能.crpt.exe"), patternBytes(5000, 7));
  EXPECT_TRUE(fileExists(attachment));
}

// Whatever the name, the mail program gets a path that opens the file: the
// wide call where the provider has it (recorded in UTF-8), else the ANSI call
// with the short form of a path its code page cannot hold, and the file's own
// name beside it where the code page holds that.
TEST_F(MailAttachment, AttachmentReachesTheMailProgramWholeUnderAnyName) {
  const std::wstring korean = L"\xD55C\xAD6D\xC5B4", mixed = L"caf\x00E9 " + korean + L".crpt.exe";
  const struct {
    FakeMapiVariant variant;
    std::wstring folder, name;
    const char* displayName;  // as recorded; null: the full path, no short form
  } cases[] = {
      {FAKE_MAPI_WIDE, L"", W("表ソ能.crpt.exe"), nullptr},
      {FAKE_MAPI_WIDE, korean, mixed, nullptr},
      {FAKE_MAPI_SEND_MAIL, korean, W("表示.crpt.exe"), "\"表示.crpt.exe\""},
      {FAKE_MAPI_SEND_MAIL, L"", mixed, "null"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(A(c.name));
    TempDir here;
    std::wstring path = (c.folder.empty() ? W(here.path()) : here / c.folder) + L"\\" + c.name;
    makeFolder(path.substr(0, path.rfind(L'\\')));
    ASSERT_TRUE(writeFile(path, patternBytes(3000, 2)));
    FakeMapiInProcess mapi(c.variant);
    ASSERT_TRUE(mapi.ok());
    EXPECT_EQ(attachToMail(path.c_str()), 0);
    std::vector<FakeMapiCall> calls = readFakeMapiCalls(mapi.recordPath());
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0]["entry"], c.variant == FAKE_MAPI_WIDE ? "MAPISendMailW" : "MAPISendMail");
    EXPECT_EQ(calls[0]["file[0].size"], "3000");  // the provider could open it
    wchar_t sent[MAX_PATH];
    if (c.displayName) GetShortPathNameW(path.c_str(), sent, MAX_PATH);
    char text[MAX_PATH * 4];
    WideCharToMultiByte(c.displayName ? 932 : CP_UTF8, 0, c.displayName ? sent : path.c_str(), -1, text, sizeof text,
                        nullptr, nullptr);
    EXPECT_EQ(calls[0]["file[0].lpszPathName"], "\"" + std::string(text) + "\"");
    EXPECT_EQ(calls[0]["file[0].lpszFileName"], c.displayName ? c.displayName : "null");
  }
  EXPECT_TRUE(messages.texts().empty());
}

// The user closing the compose window counts as done; a mail system that
// refuses the file does not: no mail program took it.
TEST_F(MailAttachment, UserCancellingCountsAsDoneAndARefusalDoesNot) {
  for (const char* mode : {"abort", "failure"}) {
    FakeMapiInProcess mapi(FAKE_MAPI_SEND_MAIL, mode);
    ASSERT_TRUE(mapi.ok());
    EXPECT_EQ(attachToMail(attachment.c_str()), strcmp(mode, "abort") == 0 ? 0 : -1) << mode;
    EXPECT_EQ(readFakeMapiCalls(mapi.recordPath()).size(), 1u) << mode;
    EXPECT_FALSE(mapiLoaded());
  }
  EXPECT_TRUE(messages.texts().empty());
}

TEST_F(MailAttachment, NoProviderGivesMinusOneWithoutAMessage) {
  FakeMapiInProcess mapi = FakeMapiInProcess::none();
  ASSERT_TRUE(mapi.ok());
  EXPECT_EQ(attachToMail(attachment.c_str()), -1);
  EXPECT_TRUE(messages.texts().empty());
  EXPECT_FALSE(fileExists(mapi.recordPath()));
}

TEST_F(MailAttachment, ProviderWithoutTheEntryPointGivesMinusOneAndIsFreed) {
  FakeMapiInProcess mapi(FAKE_MAPI_NO_ENTRY);
  ASSERT_TRUE(mapi.ok());
  EXPECT_EQ(attachToMail(attachment.c_str()), -1);
  EXPECT_FALSE(mapiLoaded());
  EXPECT_TRUE(messages.texts().empty());
  EXPECT_FALSE(fileExists(mapi.recordPath()));
}

#if defined(__i386__)  // the 64-bit test build calls the provider unguarded
TEST_F(MailAttachment, ProviderThatFaultsIsReportedAndTheProcessGoesOn) {
  {
    FakeMapiInProcess mapi(FAKE_MAPI_SEND_MAIL, "fault");
    ASSERT_TRUE(mapi.ok());
    EXPECT_EQ(attachToMail(attachment.c_str()), -1);
    EXPECT_EQ(readFakeMapiCalls(mapi.recordPath()).size(), 1u);  // it was called, then faulted
    EXPECT_FALSE(mapiLoaded());
    ASSERT_EQ(messages.messages().size(), 1u);
    const CapturedMessage& m = messages.messages()[0];
    EXPECT_EQ(m.text, kMailerFailed);
    EXPECT_EQ(m.caption, "手動暗号 ");
    EXPECT_EQ(m.owner, nullptr);
    EXPECT_EQ(m.flags, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
  }
  // A later call works normally.
  FakeMapiInProcess mapi(FAKE_MAPI_SEND_MAIL);
  EXPECT_EQ(attachToMail(attachment.c_str()), 0);
  EXPECT_EQ(messages.messages().size(), 1u);
}

DWORD WINAPI mailOnThread(void* context) {
  return static_cast<DWORD>(attachToMail(static_cast<const char*>(context)));
}

TEST_F(MailAttachment, FaultOnTheWorkerThreadIsCaughtThere) {
  FakeMapiInProcess mapi(FAKE_MAPI_SEND_MAIL, "fault");
  ASSERT_TRUE(mapi.ok());
  HANDLE thread = CreateThread(nullptr, 0, mailOnThread, const_cast<char*>(attachment.c_str()), 0, nullptr);
  ASSERT_TRUE(thread);
  WaitForSingleObject(thread, INFINITE);
  DWORD code = 0;
  GetExitCodeThread(thread, &code);
  CloseHandle(thread);
  EXPECT_EQ(static_cast<int>(code), -1);
  EXPECT_EQ(messages.texts(), std::vector<std::string>{kMailerFailed});
}
#endif

}  // namespace
