// Registering and unregistering with a script, on a registry model: what is
// created, what ForceRemove and Delete wipe, what NoRemove keeps, and how
// failures come back.
#include <gtest/gtest.h>

#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "shellext/registry_script.h"
#include "shellext/script_runner.h"

namespace {

const char kProductScript[] =
    "HKCR\r\n{\r\n\tNoRemove CLSID\r\n\t{\r\n"
    "\t\tForceRemove {5B1E0C7A-93D4-4F2B-A6E1-0C84D2F7B319} = s 'KyvoShlExt Class'\r\n\t\t{\r\n"
    "\t\t\tInprocServer32 = s 'C:\\Kyvo\\Kyvoshell.dll'\r\n\t\t\t{\r\n\t\t\t\tval ThreadingModel = s 'Apartment'\r\n"
    "\t\t\t}\r\n\t\t}\r\n\t}\r\n\r\n"
    "    NoRemove AllFilesystemObjects\r\n    {\r\n        NoRemove ShellEx\r\n        {\r\n"
    "            NoRemove ContextMenuHandlers\r\n            {\r\n"
    "                ForceRemove KyvoShlExt = s '{5B1E0C7A-93D4-4F2B-A6E1-0C84D2F7B319}'\r\n"
    "            }\r\n        }\r\n    }\r\n\r\n}\r\n";

const char kClsid[] = "{5B1E0C7A-93D4-4F2B-A6E1-0C84D2F7B319}";

struct FakeKey {
  std::map<std::string, FakeKey> subKeys;
  std::map<std::string, std::pair<int, std::string>> values;  // "" is the default value
};

// A registry model: keys by name, values with their type and bytes. A name
// in failOn makes every operation on that key fail with error 5.
class FakeRegistry final : public RegistryAccess {
 public:
  FakeKey roots[7];
  std::string failOn;
  std::vector<std::string> log;
  int openHandles = 0;

  RegistryKey rootKey(int root) override { return &roots[root]; }
  long openKey(RegistryKey parent, const char* name, bool create, RegistryKey* key) override {
    log.push_back(std::string(create ? "create " : "open ") + name);
    if (name == failOn) return 5;
    auto& subs = static_cast<FakeKey*>(parent)->subKeys;
    auto found = subs.find(name);
    if (found == subs.end()) {
      if (!create) return kRegistryNotFound;
      found = subs.emplace(name, FakeKey()).first;
    }
    *key = &found->second;
    ++openHandles;
    return 0;
  }
  void closeKey(RegistryKey) override { --openHandles; }
  long deleteKeyTree(RegistryKey parent, const char* name) override {
    log.push_back(std::string("delete ") + name);
    if (name == failOn) return 5;
    return static_cast<FakeKey*>(parent)->subKeys.erase(name) ? 0 : kRegistryNotFound;
  }
  bool hasSubKeys(RegistryKey key) override { return !static_cast<FakeKey*>(key)->subKeys.empty(); }
  long setValue(RegistryKey key, const char* name, int type, const void* data, size_t size) override {
    std::string n = name ? name : "";
    log.push_back("set " + n);
    if (!failOn.empty() && n == failOn) return 5;
    static_cast<FakeKey*>(key)->values[n] = {type, std::string(static_cast<const char*>(data), size)};
    return 0;
  }
  long deleteValue(RegistryKey key, const char* name) override {
    log.push_back(std::string("unset ") + name);
    return static_cast<FakeKey*>(key)->values.erase(name) ? 0 : kRegistryNotFound;
  }

  FakeKey& classes() { return roots[ROOT_CLASSES_ROOT]; }
  // The key at a backslash-separated path below a root, or null.
  FakeKey* find(const std::string& path, int root = ROOT_CLASSES_ROOT) {
    FakeKey* key = &roots[root];
    size_t start = 0;
    while (start <= path.size()) {
      size_t end = path.find('\\', start);
      if (end == std::string::npos) end = path.size();
      auto found = key->subKeys.find(path.substr(start, end - start));
      if (found == key->subKeys.end()) return nullptr;
      key = &found->second;
      start = end + 1;
    }
    return key;
  }
  FakeKey& make(const std::string& path, int root = ROOT_CLASSES_ROOT) {
    FakeKey* key = &roots[root];
    size_t start = 0;
    while (start <= path.size()) {
      size_t end = path.find('\\', start);
      if (end == std::string::npos) end = path.size();
      key = &key->subKeys[path.substr(start, end - start)];
      start = end + 1;
    }
    return *key;
  }
};

std::string text(const char* s) { return std::string(s, strlen(s) + 1); }  // REG_SZ bytes with the NUL

long run(const char* script, int mode, FakeRegistry* registry) {
  static ScriptTree tree;
  int status = parseRegistryScript(script, strlen(script), &tree);
  EXPECT_EQ(status, SCRIPT_OK);
  long result = runRegistryScript(tree, mode, registry);
  EXPECT_EQ(registry->openHandles, 0) << "every opened key is closed";
  return result;
}

void expectProductEntries(FakeRegistry& r) {
  FakeKey* cls = r.find(std::string("CLSID\\") + kClsid);
  ASSERT_TRUE(cls);
  EXPECT_EQ(cls->values.size(), 1u);
  EXPECT_EQ(cls->values[""], std::make_pair(static_cast<int>(VALUE_TEXT), text("KyvoShlExt Class")));
  ASSERT_EQ(cls->subKeys.size(), 1u);
  FakeKey* server = r.find(std::string("CLSID\\") + kClsid + "\\InprocServer32");
  ASSERT_TRUE(server);
  EXPECT_TRUE(server->subKeys.empty());
  EXPECT_EQ(server->values.size(), 2u);
  EXPECT_EQ(server->values[""].second, text("C:\\Kyvo\\Kyvoshell.dll"));
  EXPECT_EQ(server->values["ThreadingModel"].second, text("Apartment"));
  FakeKey* handler = r.find("AllFilesystemObjects\\ShellEx\\ContextMenuHandlers\\KyvoShlExt");
  ASSERT_TRUE(handler);
  EXPECT_TRUE(handler->subKeys.empty());
  EXPECT_EQ(handler->values.size(), 1u);
  EXPECT_EQ(handler->values[""].second, text(kClsid));
}

TEST(ScriptRunner, RegisterWritesTheProductEntries) {
  FakeRegistry r;
  EXPECT_EQ(run(kProductScript, SCRIPT_REGISTER, &r), 0);
  expectProductEntries(r);
  EXPECT_EQ(r.classes().subKeys.size(), 2u);
  for (int root = 1; root < 7; ++root) EXPECT_TRUE(r.roots[root].subKeys.empty());
}

TEST(ScriptRunner, ForceRemoveKeyIsDeletedBeforeItIsWritten) {
  FakeRegistry r;
  run(kProductScript, SCRIPT_REGISTER, &r);
  std::vector<std::string> expected = {"create CLSID", std::string("delete ") + kClsid, std::string("create ") + kClsid,
                                       "set ", "create InprocServer32", "set ", "set ThreadingModel",
                                       "create AllFilesystemObjects", "create ShellEx", "create ContextMenuHandlers",
                                       "delete KyvoShlExt", "create KyvoShlExt", "set "};
  EXPECT_EQ(r.log, expected);
}

TEST(ScriptRunner, RegisteringTwiceWipesWhatStoodBeneathTheForceRemoveKeys) {
  FakeRegistry r;
  run(kProductScript, SCRIPT_REGISTER, &r);
  r.make(std::string("CLSID\\") + kClsid + "\\Extra\\Deeper").values["x"] = {VALUE_TEXT, text("1")};
  r.make(std::string("CLSID\\") + kClsid).values["Stale"] = {VALUE_TEXT, text("1")};
  r.make("AllFilesystemObjects\\ShellEx\\ContextMenuHandlers\\KyvoShlExt\\Extra");
  r.make("CLSID\\{00000000-0000-0000-0000-000000000001}").values[""] = {VALUE_TEXT, text("other")};
  r.make("AllFilesystemObjects\\ShellEx\\ContextMenuHandlers\\Other");
  EXPECT_EQ(run(kProductScript, SCRIPT_REGISTER, &r), 0);
  expectProductEntries(r);
  // Neighbours below the NoRemove keys stay.
  EXPECT_TRUE(r.find("CLSID\\{00000000-0000-0000-0000-000000000001}"));
  EXPECT_TRUE(r.find("AllFilesystemObjects\\ShellEx\\ContextMenuHandlers\\Other"));
}

TEST(ScriptRunner, UnregisterRemovesBothKeysAndKeepsTheNoRemoveParents) {
  FakeRegistry r;
  run(kProductScript, SCRIPT_REGISTER, &r);
  r.make(std::string("CLSID\\") + kClsid + "\\Extra");
  r.make("CLSID\\{00000000-0000-0000-0000-000000000001}");
  EXPECT_EQ(run(kProductScript, SCRIPT_UNREGISTER, &r), 0);
  EXPECT_FALSE(r.find(std::string("CLSID\\") + kClsid));
  EXPECT_FALSE(r.find("AllFilesystemObjects\\ShellEx\\ContextMenuHandlers\\KyvoShlExt"));
  EXPECT_TRUE(r.find("CLSID\\{00000000-0000-0000-0000-000000000001}"));
  FakeKey* handlers = r.find("AllFilesystemObjects\\ShellEx\\ContextMenuHandlers");
  ASSERT_TRUE(handlers);  // NoRemove: kept, even empty
  EXPECT_TRUE(handlers->subKeys.empty());
}

TEST(ScriptRunner, UnregisterOnAnEmptyRegistryCreatesNothing) {
  FakeRegistry r;
  EXPECT_EQ(run(kProductScript, SCRIPT_UNREGISTER, &r), 0);
  EXPECT_TRUE(r.classes().subKeys.empty());
}

TEST(ScriptRunner, PlainKeyGoesAtUnregisterOnlyWhenNoSubKeyIsLeft) {
  const char script[] = "HKCU { NoRemove Software { Mine { val A = s 'a' Inner = s 'i' } } }";
  FakeRegistry r;
  EXPECT_EQ(run(script, SCRIPT_REGISTER, &r), 0);
  ASSERT_TRUE(r.find("Software\\Mine\\Inner", ROOT_CURRENT_USER));
  EXPECT_EQ(r.find("Software\\Mine", ROOT_CURRENT_USER)->values["A"].second, text("a"));
  EXPECT_EQ(run(script, SCRIPT_UNREGISTER, &r), 0);
  EXPECT_FALSE(r.find("Software\\Mine", ROOT_CURRENT_USER));
  EXPECT_TRUE(r.find("Software", ROOT_CURRENT_USER));

  // A sub-key that the script doesn't know keeps the key; the script's values go.
  run(script, SCRIPT_REGISTER, &r);
  r.make("Software\\Mine\\Foreign", ROOT_CURRENT_USER);
  r.find("Software\\Mine", ROOT_CURRENT_USER)->values["Other"] = {VALUE_TEXT, text("o")};
  run(script, SCRIPT_UNREGISTER, &r);
  FakeKey* mine = r.find("Software\\Mine", ROOT_CURRENT_USER);
  ASSERT_TRUE(mine);
  EXPECT_TRUE(mine->subKeys.count("Foreign"));
  EXPECT_FALSE(mine->subKeys.count("Inner"));
  EXPECT_FALSE(mine->values.count("A"));
  EXPECT_TRUE(mine->values.count("Other"));
}

TEST(ScriptRunner, DeleteKeyIsRemovedAtRegisterAndLeftAtUnregister) {
  const char script[] = "HKLM { NoRemove Software { Delete Old { New } Kept } }";
  FakeRegistry r;
  r.make("Software\\Old\\Deep", ROOT_LOCAL_MACHINE);
  EXPECT_EQ(run(script, SCRIPT_REGISTER, &r), 0);
  EXPECT_FALSE(r.find("Software\\Old", ROOT_LOCAL_MACHINE));  // its block is not written
  EXPECT_TRUE(r.find("Software\\Kept", ROOT_LOCAL_MACHINE));
  EXPECT_EQ(run(script, SCRIPT_REGISTER, &r), 0);  // already gone: no failure
  r.make("Software\\Old", ROOT_LOCAL_MACHINE);
  run(script, SCRIPT_UNREGISTER, &r);
  EXPECT_TRUE(r.find("Software\\Old", ROOT_LOCAL_MACHINE));
  EXPECT_FALSE(r.find("Software\\Kept", ROOT_LOCAL_MACHINE));
}

TEST(ScriptRunner, NumbersAndBytesKeepTheirTypes) {
  FakeRegistry r;
  EXPECT_EQ(run("HKCU { k = d 7 { val b = b '0102' val s = s 'x' } }", SCRIPT_REGISTER, &r), 0);
  FakeKey* k = r.find("k", ROOT_CURRENT_USER);
  ASSERT_TRUE(k);
  EXPECT_EQ(k->values[""], std::make_pair(static_cast<int>(VALUE_DWORD), std::string("\x07\0\0\0", 4)));
  EXPECT_EQ(k->values["b"], std::make_pair(static_cast<int>(VALUE_BINARY), std::string("\x01\x02", 2)));
  EXPECT_EQ(k->values["s"], std::make_pair(static_cast<int>(VALUE_TEXT), text("x")));
}

TEST(ScriptRunner, RegisterStopsAtTheFirstFailureAndReportsIt) {
  FakeRegistry r;
  r.failOn = "InprocServer32";
  EXPECT_EQ(run(kProductScript, SCRIPT_REGISTER, &r), 5);
  EXPECT_FALSE(r.find("AllFilesystemObjects"));  // nothing after the failure

  FakeRegistry values;
  values.failOn = "ThreadingModel";
  EXPECT_EQ(run(kProductScript, SCRIPT_REGISTER, &values), 5);

  FakeRegistry wipe;  // a ForceRemove key that can't be deleted
  wipe.failOn = kClsid;
  EXPECT_EQ(run(kProductScript, SCRIPT_REGISTER, &wipe), 5);
}

TEST(ScriptRunner, UnregisterGoesOnPastFailures) {
  FakeRegistry r;
  run(kProductScript, SCRIPT_REGISTER, &r);
  r.failOn = kClsid;
  EXPECT_EQ(run(kProductScript, SCRIPT_UNREGISTER, &r), 0);
  EXPECT_TRUE(r.find(std::string("CLSID\\") + kClsid));  // that one failed
  EXPECT_FALSE(r.find("AllFilesystemObjects\\ShellEx\\ContextMenuHandlers\\KyvoShlExt"));
}

TEST(ScriptRunner, EveryRootIsReached) {
  FakeRegistry r;
  EXPECT_EQ(run("HKCR { a } HKCU { b } HKLM { c } HKU { d } HKPD { e } HKDD { f } HKCC { g }", SCRIPT_REGISTER, &r),
            0);
  const char* names[] = {"a", "b", "c", "d", "e", "f", "g"};
  for (int root = 0; root < 7; ++root) EXPECT_TRUE(r.find(names[root], root)) << root;
}

}  // namespace
