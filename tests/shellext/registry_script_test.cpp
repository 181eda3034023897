// The registry-script reader: tokens, quoting, prefixes, value types, the
// module macro, and damaged scripts.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "shellext/registry_script.h"

namespace {

// The script the DLL carries, with its CR LF line ends.
const char kProductScript[] =
    "HKCR\r\n{\r\n\tNoRemove CLSID\r\n\t{\r\n"
    "\t\tForceRemove {5B1E0C7A-93D4-4F2B-A6E1-0C84D2F7B319} = s 'KyvoShlExt Class'\r\n\t\t{\r\n"
    "\t\t\tInprocServer32 = s '%MODULE%'\r\n\t\t\t{\r\n\t\t\t\tval ThreadingModel = s 'Apartment'\r\n"
    "\t\t\t}\r\n\t\t}\r\n\t}\r\n\r\n"
    "    NoRemove AllFilesystemObjects\r\n    {\r\n        NoRemove ShellEx\r\n        {\r\n"
    "            NoRemove ContextMenuHandlers\r\n            {\r\n"
    "                ForceRemove KyvoShlExt = s '{5B1E0C7A-93D4-4F2B-A6E1-0C84D2F7B319}'\r\n"
    "            }\r\n        }\r\n    }\r\n\r\n}\r\n";

struct Parsed {
  ScriptTree tree;
  int status;
  explicit Parsed(const std::string& script) { status = parseRegistryScript(script.data(), script.size(), &tree); }
  const ScriptNode& node(int i) const { return tree.nodes[i]; }
  std::string name(int i) const { return scriptNodeName(tree, tree.nodes[i]); }
  std::string text(int i) const {
    const ScriptNode& n = tree.nodes[i];
    return std::string(reinterpret_cast<const char*>(scriptNodeData(tree, n)), n.dataSize ? n.dataSize - 1 : 0);
  }
  std::string bytes(int i) const {
    const ScriptNode& n = tree.nodes[i];
    return std::string(reinterpret_cast<const char*>(scriptNodeData(tree, n)), n.dataSize);
  }
  // Children of node i as "name" list, keys and values alike.
  std::vector<int> children(int i) const {
    std::vector<int> out;
    for (int c = tree.nodes[i].firstChild; c != kNoNode; c = tree.nodes[c].nextSibling) out.push_back(c);
    return out;
  }
  int child(int i, const std::string& wanted) const {
    for (int c : children(i))
      if (name(c) == wanted) return c;
    return kNoNode;
  }
};

std::string expand(const std::string& script, const char* value, int* status, size_t outSize = 4096) {
  std::string out(outSize, '\0');
  size_t length = 0;
  *status = expandScriptMacro(script.data(), script.size(), "MODULE", value, &out[0], outSize, &length);
  return *status == SCRIPT_OK ? out.substr(0, length) : std::string();
}

TEST(RegistryScript, ProductScriptGivesTheTwoKeyTrees) {
  int status = -1;
  std::string script = expand(kProductScript, "C:\\Pro''s\\Kyvoshell.dll", &status);
  ASSERT_EQ(status, SCRIPT_OK);
  Parsed p(script);
  ASSERT_EQ(p.status, SCRIPT_OK) << p.tree.errorOffset;
  int root = p.tree.firstRoot;
  ASSERT_NE(root, kNoNode);
  EXPECT_EQ(p.node(root).kind, NODE_ROOT);
  EXPECT_EQ(p.node(root).root, ROOT_CLASSES_ROOT);
  EXPECT_EQ(p.node(root).nextSibling, kNoNode);
  ASSERT_EQ(p.children(root).size(), 2u);

  int clsid = p.child(root, "CLSID");
  ASSERT_NE(clsid, kNoNode);
  EXPECT_EQ(p.node(clsid).prefix, KEY_NO_REMOVE);
  EXPECT_EQ(p.node(clsid).valueType, VALUE_NONE);
  int cls = p.child(clsid, "{5B1E0C7A-93D4-4F2B-A6E1-0C84D2F7B319}");
  ASSERT_NE(cls, kNoNode);
  EXPECT_EQ(p.node(cls).prefix, KEY_FORCE_REMOVE);
  EXPECT_EQ(p.node(cls).valueType, VALUE_TEXT);
  EXPECT_EQ(p.text(cls), "KyvoShlExt Class");
  int server = p.child(cls, "InprocServer32");
  ASSERT_NE(server, kNoNode);
  EXPECT_EQ(p.node(server).prefix, KEY_PLAIN);
  EXPECT_EQ(p.text(server), "C:\\Pro's\\Kyvoshell.dll");  // the doubled mark is one again
  ASSERT_EQ(p.children(server).size(), 1u);
  int model = p.children(server)[0];
  EXPECT_EQ(p.node(model).kind, NODE_VALUE);
  EXPECT_EQ(p.name(model), "ThreadingModel");
  EXPECT_EQ(p.text(model), "Apartment");
  EXPECT_EQ(p.node(model).dataSize, 10u);  // with the terminator

  int all = p.child(root, "AllFilesystemObjects");
  ASSERT_NE(all, kNoNode);
  int shellEx = p.child(all, "ShellEx");
  ASSERT_NE(shellEx, kNoNode);
  int handlers = p.child(shellEx, "ContextMenuHandlers");
  ASSERT_NE(handlers, kNoNode);
  EXPECT_EQ(p.node(handlers).prefix, KEY_NO_REMOVE);
  int handler = p.child(handlers, "KyvoShlExt");
  ASSERT_NE(handler, kNoNode);
  EXPECT_EQ(p.node(handler).prefix, KEY_FORCE_REMOVE);
  EXPECT_EQ(p.text(handler), "{5B1E0C7A-93D4-4F2B-A6E1-0C84D2F7B319}");
  EXPECT_TRUE(p.children(handler).empty());
}

TEST(RegistryScript, RootNamesShortAndLongInAnyCase) {
  const char* names[][2] = {{"HKCR", "HKEY_CLASSES_ROOT"},  {"HKCU", "HKEY_CURRENT_USER"},
                            {"HKLM", "HKEY_LOCAL_MACHINE"}, {"HKU", "HKEY_USERS"},
                            {"HKPD", "HKEY_PERFORMANCE_DATA"}, {"HKDD", "HKEY_DYN_DATA"},
                            {"HKCC", "HKEY_CURRENT_CONFIG"}};
  for (int r = 0; r < 7; ++r) {
    for (const char* name : names[r]) {
      Parsed p(std::string(name) + " { a }");
      ASSERT_EQ(p.status, SCRIPT_OK) << name;
      EXPECT_EQ(p.node(p.tree.firstRoot).root, r) << name;
    }
  }
  Parsed lower("hkcu { a } hkey_local_machine { b }");
  ASSERT_EQ(lower.status, SCRIPT_OK);
  int first = lower.tree.firstRoot;
  EXPECT_EQ(lower.node(first).root, ROOT_CURRENT_USER);
  ASSERT_NE(lower.node(first).nextSibling, kNoNode);
  EXPECT_EQ(lower.node(lower.node(first).nextSibling).root, ROOT_LOCAL_MACHINE);
  EXPECT_NE(Parsed("HKXX { a }").status, SCRIPT_OK);
  EXPECT_NE(Parsed("'HKCR' { a }").status, SCRIPT_OK);  // a quoted word is never a keyword
}

TEST(RegistryScript, PrefixesAndKeywordsIgnoreLetterCase) {
  Parsed p("HKCU { noremove a { VAL x = S 'v' } FORCEREMOVE b delete c 'NoRemove' }");
  ASSERT_EQ(p.status, SCRIPT_OK);
  int root = p.tree.firstRoot;
  ASSERT_EQ(p.children(root).size(), 4u);
  EXPECT_EQ(p.node(p.child(root, "a")).prefix, KEY_NO_REMOVE);
  EXPECT_EQ(p.node(p.child(root, "b")).prefix, KEY_FORCE_REMOVE);
  EXPECT_EQ(p.node(p.child(root, "c")).prefix, KEY_DELETE);
  int quoted = p.child(root, "NoRemove");  // quoted: a key of that name
  ASSERT_NE(quoted, kNoNode);
  EXPECT_EQ(p.node(quoted).prefix, KEY_PLAIN);
  int x = p.child(p.child(root, "a"), "x");
  ASSERT_NE(x, kNoNode);
  EXPECT_EQ(p.node(x).kind, NODE_VALUE);
  EXPECT_EQ(p.text(x), "v");
}

TEST(RegistryScript, ValueTypesTextNumberAndBytesInEitherCase) {
  Parsed p("HKCU { k = d '305419896' { val n = D 0x10 val h = d 0XfFfFfFfF val b = b '00FFa5' "
           "val e = B '' val t = S 'it''s' val q = s '''' } }");
  ASSERT_EQ(p.status, SCRIPT_OK) << p.tree.errorOffset;
  int k = p.child(p.tree.firstRoot, "k");
  EXPECT_EQ(p.node(k).valueType, VALUE_DWORD);
  EXPECT_EQ(p.bytes(k), std::string("\x78\x56\x34\x12", 4));
  EXPECT_EQ(p.bytes(p.child(k, "n")), std::string("\x10\0\0\0", 4));
  EXPECT_EQ(p.bytes(p.child(k, "h")), std::string("\xFF\xFF\xFF\xFF", 4));
  int b = p.child(k, "b");
  EXPECT_EQ(p.node(b).valueType, VALUE_BINARY);
  EXPECT_EQ(p.bytes(b), std::string("\x00\xFF\xA5", 3));
  EXPECT_EQ(p.node(p.child(k, "e")).dataSize, 0u);
  EXPECT_EQ(p.text(p.child(k, "t")), "it's");
  EXPECT_EQ(p.text(p.child(k, "q")), "'");
}

TEST(RegistryScript, QuotedNamesKeepBlanksAndBraces) {
  Parsed p("HKCU { 'My Key' = s 'a { b } c' { val 'x y' = s '' } '}' }");
  ASSERT_EQ(p.status, SCRIPT_OK);
  int key = p.child(p.tree.firstRoot, "My Key");
  ASSERT_NE(key, kNoNode);
  EXPECT_EQ(p.text(key), "a { b } c");
  EXPECT_NE(p.child(key, "x y"), kNoNode);
  EXPECT_NE(p.child(p.tree.firstRoot, "}"), kNoNode);
}

TEST(RegistryScript, ShiftJisBytesPassThrough) {
  // 表 (95 5C) and ソ (83 5C) end in the byte of a backslash.
  Parsed p("HKCU { k = s 'C:\\\x95\x5C\\\x83\x5C.dll' }");
  ASSERT_EQ(p.status, SCRIPT_OK);
  EXPECT_EQ(p.text(p.child(p.tree.firstRoot, "k")), "C:\\\x95\x5C\\\x83\x5C.dll");
}

TEST(RegistryScript, EmptyScriptHasNoRoots) {
  Parsed empty("");
  EXPECT_EQ(empty.status, SCRIPT_OK);
  EXPECT_EQ(empty.tree.firstRoot, kNoNode);
  Parsed blanks(" \r\n\t ");
  EXPECT_EQ(blanks.status, SCRIPT_OK);
  EXPECT_EQ(blanks.tree.firstRoot, kNoNode);
}

TEST(RegistryScript, NulByteEndsTheScript) {
  std::string script("HKCU { a }\0HKCU {", 17);
  Parsed p(script);
  EXPECT_EQ(p.status, SCRIPT_OK);
  EXPECT_EQ(p.node(p.tree.firstRoot).nextSibling, kNoNode);
}

TEST(RegistryScript, DamagedScriptsAreRefused) {
  const char* damaged[] = {
      "HKCR",                            // no block
      "HKCR {",                          // block never closes
      "HKCR { a { }",                    // inner block closed, outer not
      "HKCR a }",                        // no opening brace
      "HKCR { a = s 'open }",            // quotation never closes
      "HKCR { a = s }",                  // no value
      "HKCR { a = s bare }",             // text must be quoted
      "HKCR { a = x 'v' }",              // unknown type
      "HKCR { a = ss 'v' }",             // type is one letter
      "HKCR { a = d '12x' }",            // not a number
      "HKCR { a = d 4294967296 }",       // more than 32 bits
      "HKCR { a = d 0x }",               // no digits
      "HKCR { a = b 'ABC' }",            // odd number of digits
      "HKCR { a = b 'GG' }",             // not hex
      "HKCR { val a = s 'v' }",          // a value directly below a root
      "HKCR { a { val = s 'v' } }",      // value without a name
      "HKCR { a { val b s 'v' } }",      // value without equals sign
      "HKCR { NoRemove }",               // prefix without a name
      "HKCR { NoRemove { } }",           // brace is no name
      "HKCR { = s 'v' }",                // no key name
      "HKCR { a = }",                    // equals without type
      "HKCR { '' }",                     // empty name
      "HKCR { a } }",                    // stray closing brace
  };
  for (const char* script : damaged) {
    Parsed p(script);
    EXPECT_NE(p.status, SCRIPT_OK) << script;
  }
}

TEST(RegistryScript, DeepOrLargeScriptsAreRefusedNotOverrun) {
  std::string deep = "HKCU ";
  for (int i = 0; i < 40; ++i) deep += "{ k" + std::to_string(i) + " ";
  for (int i = 0; i < 40; ++i) deep += "} ";
  EXPECT_EQ(Parsed(deep).status, SCRIPT_TOO_LARGE);

  std::string wide = "HKCU { ";
  for (int i = 0; i < kMaxScriptNodes + 5; ++i) wide += "k" + std::to_string(i) + " ";
  wide += "}";
  EXPECT_EQ(Parsed(wide).status, SCRIPT_TOO_LARGE);

  std::string longText = "HKCU { a = s '" + std::string(5000, 'x') + "' }";
  EXPECT_EQ(Parsed(longText).status, SCRIPT_TOO_LARGE);

  // Many medium names fill the text store before the node table.
  std::string full = "HKCU { ";
  for (int i = 0; i < 10; ++i) full += "'" + std::string(500, static_cast<char>('a' + i)) + "' ";
  full += "}";
  EXPECT_EQ(Parsed(full).status, SCRIPT_TOO_LARGE);

  // The largest nesting still fits.
  std::string fits = "HKCU ";
  for (int i = 0; i < kMaxScriptDepth; ++i) fits += "{ k" + std::to_string(i) + " ";
  for (int i = 0; i < kMaxScriptDepth; ++i) fits += "} ";
  EXPECT_EQ(Parsed(fits).status, SCRIPT_OK);
}

TEST(RegistryScript, MacroIsReplacedAndPercentSignsDoubled) {
  int status = -1;
  EXPECT_EQ(expand("a '%MODULE%' b", "C:\\x.dll", &status), "a 'C:\\x.dll' b");
  EXPECT_EQ(status, SCRIPT_OK);
  EXPECT_EQ(expand("%MODULE%%MODULE%", "z", &status), "zz");
  EXPECT_EQ(expand("100%% sure", "z", &status), "100% sure");
  EXPECT_EQ(expand("", "z", &status), "");
  EXPECT_EQ(status, SCRIPT_OK);
  expand("%OTHER%", "z", &status);
  EXPECT_EQ(status, SCRIPT_SYNTAX_ERROR);
  expand("trailing %", "z", &status);
  EXPECT_EQ(status, SCRIPT_SYNTAX_ERROR);
  expand("%MODULE", "z", &status);
  EXPECT_EQ(status, SCRIPT_SYNTAX_ERROR);
  // The result must fit with its terminator.
  expand("%MODULE%", "12345", &status, 6);
  EXPECT_EQ(status, SCRIPT_OK);
  expand("%MODULE%", "123456", &status, 6);
  EXPECT_EQ(status, SCRIPT_TOO_LARGE);
  expand("abcdef", "z", &status, 6);
  EXPECT_EQ(status, SCRIPT_TOO_LARGE);
}

TEST(RegistryScript, SingleQuotesAreDoubledWithinBounds) {
  char out[16];
  ASSERT_TRUE(doubleSingleQuotes("C:\\a'b'c", out, sizeof out));
  EXPECT_STREQ(out, "C:\\a''b''c");
  ASSERT_TRUE(doubleSingleQuotes("", out, sizeof out));
  EXPECT_STREQ(out, "");
  char small[5];
  EXPECT_FALSE(doubleSingleQuotes("ab''", small, sizeof small));  // needs 7 bytes
  EXPECT_STREQ(small, "");
  EXPECT_FALSE(doubleSingleQuotes("abc'", small, sizeof small));  // needs 6
  EXPECT_STREQ(small, "");
  EXPECT_TRUE(doubleSingleQuotes("ab'", small, sizeof small));  // exactly 5
  EXPECT_STREQ(small, "ab''");
}

}  // namespace
