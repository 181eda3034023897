// Kyvoshell.dll as a COM server, without the registry: exports, the lock
// count that DllCanUnloadNow reports, the cached class factory, aggregation,
// and the resources the DLL carries.
#include <gtest/gtest.h>

#include <shlobj.h>
#include <stdio.h>
#include <string.h>
#include <winver.h>

#include <string>
#include <vector>

#include "kyvo_version.h"
#include "shell_fixture.h"
#include "support/test_files.h"

namespace {

#ifdef _WIN64
const char kOriginalFileName[] = "Kyvoshell64.DLL";
#else
const char kOriginalFileName[] = "Kyvoshell.DLL";
#endif

const HRESULT kCanUnload = S_OK;
const HRESULT kStayLoaded = S_FALSE;

struct Server : ::testing::Test {
  TempDir dir;
  LoadedShell shell{dir.path()};
  void SetUp() override { ASSERT_TRUE(shell.ok()) << shell.dllPath(); }
};

TEST_F(Server, ExportsByOrdinalAreTheNamedEntryPoints) {
  const char* names[] = {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"};
  for (int ordinal = 1; ordinal <= 4; ++ordinal) {
    FARPROC byOrdinal = GetProcAddress(shell.module(), MAKEINTRESOURCEA(ordinal));
    EXPECT_TRUE(byOrdinal) << ordinal;
    EXPECT_EQ(byOrdinal, GetProcAddress(shell.module(), names[ordinal - 1])) << names[ordinal - 1];
  }
  EXPECT_FALSE(GetProcAddress(shell.module(), "_DllGetClassObject@12"));
  EXPECT_FALSE(GetProcAddress(shell.module(), "DllGetClassObject@12"));
  EXPECT_FALSE(GetProcAddress(shell.module(), MAKEINTRESOURCEA(5)));
}

TEST_F(Server, FreshDllCanUnloadAndAFactoryReferenceKeepsIt) {
  EXPECT_EQ(shell.canUnloadNow(), kCanUnload);
  IClassFactory* factory = shell.factory();
  ASSERT_TRUE(factory);
  EXPECT_EQ(shell.canUnloadNow(), kStayLoaded);
  factory->Release();
  EXPECT_EQ(shell.canUnloadNow(), kCanUnload);  // the cached reference doesn't hold the DLL
}

TEST_F(Server, TwoRequestsGiveTheSameFactoryAndReleasingBothUnlocks) {
  IClassFactory* first = shell.factory();
  IClassFactory* second = shell.factory();
  ASSERT_TRUE(first);
  ASSERT_TRUE(second);
  EXPECT_EQ(first, second);
  first->Release();
  EXPECT_EQ(shell.canUnloadNow(), kStayLoaded);  // the second still holds it
  second->Release();
  EXPECT_EQ(shell.canUnloadNow(), kCanUnload);

  void* unknown = nullptr;
  ASSERT_EQ(shell.getClassObject(kKyvoShlExtClsid, IID_IUnknown, &unknown), S_OK);
  EXPECT_EQ(static_cast<IUnknown*>(unknown), static_cast<IUnknown*>(first));  // still the cached one
  static_cast<IUnknown*>(unknown)->Release();
  EXPECT_EQ(shell.canUnloadNow(), kCanUnload);
}

TEST_F(Server, FactoryAnswersOnlyItsInterfaces) {
  IClassFactory* factory = shell.factory();
  ASSERT_TRUE(factory);
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->QueryInterface(IID_IContextMenu, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(shell.getClassObject(kKyvoShlExtClsid, IID_IContextMenu, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  ASSERT_EQ(factory->QueryInterface(IID_IUnknown, &out), S_OK);
  static_cast<IUnknown*>(out)->Release();
  factory->Release();
  EXPECT_EQ(shell.canUnloadNow(), kCanUnload);
}

TEST_F(Server, UnknownClassAndMissingOutputAreRefused) {
  const CLSID other = {0x5B1E0C7A, 0x93D4, 0x4F2B, {0xA6, 0xE1, 0x0C, 0x84, 0xD2, 0xF7, 0xB3, 0x1A}};
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(shell.getClassObject(other, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(shell.getClassObject(kKyvoShlExtClsid, IID_IClassFactory, nullptr), E_POINTER);
  EXPECT_EQ(shell.canUnloadNow(), kCanUnload);
}

TEST_F(Server, LiveHandlerKeepsTheDllUntilItsLastRelease) {
  IClassFactory* factory = shell.factory();
  ASSERT_TRUE(factory);
  void* out = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellExtInit, &out), S_OK);
  factory->Release();
  IShellExtInit* init = static_cast<IShellExtInit*>(out);
  EXPECT_EQ(shell.canUnloadNow(), kStayLoaded);

  IContextMenu* menu = nullptr;
  ASSERT_EQ(init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)), S_OK);
  IUnknown* a = nullptr;
  IUnknown* b = nullptr;
  ASSERT_EQ(init->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a)), S_OK);
  ASSERT_EQ(menu->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b)), S_OK);
  EXPECT_EQ(a, b);  // one identity
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(menu->QueryInterface(IID_IDataObject, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(menu->QueryInterface(IID_IContextMenu, nullptr), E_POINTER);
  a->Release();
  b->Release();
  init->Release();
  EXPECT_EQ(shell.canUnloadNow(), kStayLoaded);
  EXPECT_EQ(menu->Release(), 0u);
  EXPECT_EQ(shell.canUnloadNow(), kCanUnload);
}

TEST_F(Server, CreateInstanceForAnInterfaceItLacksLeavesNothingAlive) {
  IClassFactory* factory = shell.factory();
  ASSERT_TRUE(factory);
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDataObject, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IShellExtInit, nullptr), E_POINTER);
  factory->Release();
  EXPECT_EQ(shell.canUnloadNow(), kCanUnload);  // the failed object is gone
}

TEST_F(Server, LockServerKeepsTheDllLoaded) {
  IClassFactory* factory = shell.factory();
  ASSERT_TRUE(factory);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory->Release();
  EXPECT_EQ(shell.canUnloadNow(), kStayLoaded);  // no matching unlock yet
  factory = shell.factory();
  ASSERT_TRUE(factory);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory->Release();
  EXPECT_EQ(shell.canUnloadNow(), kCanUnload);
}

// An outer object that counts the references its inner object passes on.
class Outer final : public IUnknown {
 public:
  ULONG refs = 1;
  STDMETHODIMP QueryInterface(REFIID, void** result) override {
    *result = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
};

TEST_F(Server, AggregationOnlyForIUnknown) {
  IClassFactory* factory = shell.factory();
  ASSERT_TRUE(factory);
  Outer outer;
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IContextMenu, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IShellExtInit, &out), CLASS_E_NOAGGREGATION);

  // With IUnknown the object is aggregated: its interfaces count on the outer object.
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, &out), S_OK);
  factory->Release();
  IUnknown* inner = static_cast<IUnknown*>(out);
  EXPECT_EQ(outer.refs, 1u);
  IContextMenu* menu = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)), S_OK);
  EXPECT_EQ(outer.refs, 2u);
  menu->AddRef();
  EXPECT_EQ(outer.refs, 3u);
  menu->Release();
  menu->Release();
  EXPECT_EQ(outer.refs, 1u);
  EXPECT_EQ(shell.canUnloadNow(), kStayLoaded);
  EXPECT_EQ(inner->Release(), 0u);
  EXPECT_EQ(shell.canUnloadNow(), kCanUnload);
}

// The resources, read straight from the DLL's resource section.
std::string resourceBytes(HMODULE module, const char* type, int id, WORD language) {
  HRSRC found = FindResourceExA(module, type, MAKEINTRESOURCEA(id), language);
  if (!found) return std::string();
  HGLOBAL loaded = LoadResource(module, found);
  const char* data = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  return data ? std::string(data, SizeofResource(module, found)) : std::string();
}

const WORD kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);

TEST_F(Server, RegistryScriptIsPlainAsciiWithCrLfLineEnds) {
  std::string script = resourceBytes(shell.module(), "REGISTRY", 101, kJapanese);
  ASSERT_FALSE(script.empty());
  for (size_t i = 0; i < script.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(script[i]);
    ASSERT_TRUE(c == '\t' || c == '\r' || c == '\n' || (c >= 0x20 && c < 0x7F)) << "byte " << i;
    if (c == '\n') {
      ASSERT_TRUE(i > 0 && script[i - 1] == '\r') << "bare LF at " << i;
    }
    if (c == '\r') {
      ASSERT_TRUE(i + 1 < script.size() && script[i + 1] == '\n') << "bare CR at " << i;
    }
  }
  EXPECT_EQ(script.substr(0, 6), "HKCR\r\n");
  EXPECT_NE(script.find("\t\t\tInprocServer32 = s '%MODULE%'\r\n"), std::string::npos);
  EXPECT_NE(script.find("                ForceRemove KyvoShlExt = s '{5B1E0C7A-93D4-4F2B-A6E1-0C84D2F7B319}'\r\n"),
            std::string::npos);
  EXPECT_EQ(script.substr(script.size() - 3), "}\r\n");
}

TEST_F(Server, MenuBitmapsAre11By11With256Colours) {
  for (int id : {201, 205}) {
    std::string bytes = resourceBytes(shell.module(), MAKEINTRESOURCEA(2) /* RT_BITMAP */, id, kJapanese);
    ASSERT_GE(bytes.size(), sizeof(BITMAPINFOHEADER)) << id;
    BITMAPINFOHEADER header;
    memcpy(&header, bytes.data(), sizeof header);
    EXPECT_EQ(header.biWidth, 11) << id;
    EXPECT_EQ(header.biHeight, 11) << id;
    EXPECT_EQ(header.biBitCount, 8) << id;
    EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB)) << id;
    EXPECT_TRUE(header.biClrUsed == 256 || header.biClrUsed == 0) << id;
    EXPECT_EQ(bytes.size(), sizeof header + 256 * 4 + 12 * 11) << id;  // palette, rows of 12 bytes
    HBITMAP bitmap = LoadBitmapA(shell.module(), MAKEINTRESOURCEA(id));
    ASSERT_TRUE(bitmap) << id;
    BITMAP info;
    ASSERT_TRUE(GetObjectA(bitmap, sizeof info, &info));
    EXPECT_EQ(info.bmWidth, 11);
    EXPECT_EQ(info.bmHeight, 11);
    DeleteObject(bitmap);
  }
  EXPECT_NE(resourceBytes(shell.module(), MAKEINTRESOURCEA(2), 201, kJapanese),
            resourceBytes(shell.module(), MAKEINTRESOURCEA(2), 205, kJapanese));
}

TEST_F(Server, ProjectNameString) {
  char text[64] = {};
  EXPECT_EQ(LoadStringA(shell.module(), 100, text, sizeof text), 9);
  EXPECT_STREQ(text, "Kyvoshell");
  EXPECT_FALSE(resourceBytes(shell.module(), MAKEINTRESOURCEA(6) /* RT_STRING */, 100 / 16 + 1, kJapanese).empty());
}

std::string versionText(const std::vector<char>& block, const char* name, bool* present) {
  char query[128];
  snprintf(query, sizeof query, "\\StringFileInfo\\041104b0\\%s", name);
  void* value = nullptr;
  UINT length = 0;
  *present = VerQueryValueA(block.data(), query, &value, &length) != 0;
  if (!*present || !value) return std::string();
  return std::string(static_cast<const char*>(value));
}

TEST_F(Server, VersionBlockMarksTheDllSelfRegistering) {
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(shell.dllPath().c_str(), &handle);
  ASSERT_GT(size, 0u);
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoA(shell.dllPath().c_str(), 0, size, block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  // The one version of the build, shown as "1, 2, 3, 4".
  const DWORD ms = (KYVO_VERSION_MAJOR << 16) | KYVO_VERSION_MINOR;
  const DWORD ls = (KYVO_VERSION_PATCH << 16) | KYVO_VERSION_BUILD;
  EXPECT_EQ(fixed->dwFileVersionMS, ms);
  EXPECT_EQ(fixed->dwFileVersionLS, ls);
  EXPECT_EQ(fixed->dwProductVersionMS, ms);
  EXPECT_EQ(fixed->dwProductVersionLS, ls);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
  char version[64];
  snprintf(version, sizeof version, "%u, %u, %u, %u", KYVO_VERSION_MAJOR, KYVO_VERSION_MINOR,
           KYVO_VERSION_PATCH, KYVO_VERSION_BUILD);

  struct Expected {
    const char* name;
    const char* text;
  } expected[] = {{"FileDescription", "Kyvoshell Module"}, {"FileVersion", version},
                  {"InternalName", "Kyvoshell"},          {"OriginalFilename", kOriginalFileName},
                  {"ProductName", "Kyvoshell Module"},    {"ProductVersion", version},
                  {"CompanyName", ""},                    {"OLESelfRegister", ""}};
  for (const Expected& e : expected) {
    bool present = false;
    EXPECT_EQ(versionText(block, e.name, &present), e.text) << e.name;
    EXPECT_TRUE(present) << e.name;
  }

  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                             &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(translation[0], 0x0411);
  EXPECT_EQ(translation[1], 0x04B0);
}

}  // namespace
