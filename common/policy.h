// The machine's policies for the manager, as administrators set them: by
// Group Policy (the templates in installer/policies write the first key) or
// by hand in the program's own key, which earlier versions read alone.
//
// Every value is read from HKEY_LOCAL_MACHINE in the 64-bit view of the
// registry (the same value for the 32-bit program on 64-bit Windows as for the
// administrators' 64-bit tools; 32-bit Windows has one view), first under
// kPolicyKey, then under kPolicyProgramKey. A value of another type, another
// size or out of range counts as absent there, and the next key is asked;
// with neither, the default holds. Nothing is cached: each call reads anew.
//
// The names and types below are the ones the readers use; the templates'
// test reads them from this header.
#pragma once
#include <stddef.h>

constexpr wchar_t kPolicyKey[] = L"Software\\Policies\\Kyvomar";
constexpr wchar_t kPolicyProgramKey[] = L"Software\\Kyvomar";

// The registry types the readers take (REG_DWORD, REG_SZ; this header does
// not include windows.h, policy_win.cpp checks the numbers against it).
constexpr unsigned long kPolicyDwordType = 4;
constexpr unsigned long kPolicyTextType = 1;

// Which container format new results are written in: a REG_DWORD of 1 or 2.
// Readers take both formats whatever it says.
constexpr wchar_t kPolicyContainerFormatValue[] = L"ContainerFormat";
constexpr unsigned long kPolicyContainerFormatType = kPolicyDwordType;
constexpr unsigned long kPolicyContainerFormatMin = 1;
constexpr unsigned long kPolicyContainerFormatMax = 2;
// 1 (the default) or 2.
int policyContainerFormat();

// The form of a result the file-name dialog preselects: a REG_SZ holding one
// of kPolicyResultFormTexts, in any case ("EXE" is "exe", as a file name's
// extension is), without blanks.
constexpr wchar_t kPolicyResultFormValue[] = L"ResultForm";
constexpr unsigned long kPolicyResultFormType = kPolicyTextType;
enum PolicyResultForm { RESULT_FORM_EXE, RESULT_FORM_EX_, RESULT_FORM_KYVO };
constexpr const wchar_t* kPolicyResultFormTexts[] = {L"exe", L"ex_", L"kyvo"};  // by PolicyResultForm
// RESULT_FORM_EXE by default.
PolicyResultForm policyResultForm();

// A text for the body of every new mail that carries a result (how to open
// it, say): a REG_SZ of at most kPolicyMailNoteMaxLength UTF-16 units. A
// REG_EXPAND_SZ counts as another type: its variables would be the sender's.
constexpr wchar_t kPolicyMailNoteTextValue[] = L"MailNoteText";
constexpr unsigned long kPolicyMailNoteTextType = kPolicyTextType;
constexpr size_t kPolicyMailNoteMaxLength = 1024;
// Copies the note into out and returns true when there is one; false, with
// out empty, when there is none: no value, or an empty one (an empty value
// under kPolicyKey still wins: the administrator asked for no note). out holds
// cap units: kPolicyMailNoteMaxLength + 1 takes every note, a smaller buffer
// only the notes that fit (a longer one counts as too long).
bool policyMailNoteText(wchar_t* out, size_t cap);
