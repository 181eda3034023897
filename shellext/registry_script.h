// Registry scripts: the text form in which the DLL carries its registry
// entries. This file turns a script into a tree of keys and values; the tree
// is applied to a registry by script_runner.h. Pure byte work, no windows.h.
//
// Grammar (whitespace separates every token; CR, LF, blank and tab are
// whitespace):
//   script := { root "{" { key } "}" }
//   root   := HKCR HKCU HKLM HKU HKPD HKDD HKCC or a long form such as
//             HKEY_CLASSES_ROOT
//   key    := [ NoRemove | ForceRemove | Delete ] name [ "=" type value ]
//             [ "{" { key | "val" name "=" type value } "}" ]
//   type   := s (text) | d (32-bit number) | b (hex bytes), either case
// A name or value is a bare word or a text in single quotation marks, where a
// doubled quotation mark stands for one. Keywords ignore ASCII letter case.
#pragma once
#include <stddef.h>
#include <stdint.h>

enum ScriptStatus {
  SCRIPT_OK = 0,
  SCRIPT_SYNTAX_ERROR = 1,
  SCRIPT_TOO_LARGE = 2,  // more nodes, text or nesting than a tree holds
};

enum ScriptRoot {
  ROOT_CLASSES_ROOT,
  ROOT_CURRENT_USER,
  ROOT_LOCAL_MACHINE,
  ROOT_USERS,
  ROOT_PERFORMANCE_DATA,
  ROOT_DYN_DATA,
  ROOT_CURRENT_CONFIG,
};

enum ScriptNodeKind { NODE_ROOT, NODE_KEY, NODE_VALUE };

enum KeyPrefix { KEY_PLAIN, KEY_NO_REMOVE, KEY_FORCE_REMOVE, KEY_DELETE };

enum ScriptValueType { VALUE_NONE, VALUE_TEXT, VALUE_DWORD, VALUE_BINARY };

const int kNoNode = -1;
const int kMaxScriptNodes = 64;
const int kMaxScriptDepth = 16;
const size_t kScriptTextCapacity = 4096;

struct ScriptNode {
  uint8_t kind;       // ScriptNodeKind
  uint8_t prefix;     // KeyPrefix (keys only)
  uint8_t valueType;  // ScriptValueType: a key's default value, or a value's type
  uint8_t root;       // ScriptRoot (roots only)
  int parent;
  int firstChild;
  int lastChild;
  int nextSibling;
  uint32_t name;      // offset of the NUL-terminated name in ScriptTree::text
  uint32_t data;      // offset of the value bytes in ScriptTree::text
  uint32_t dataSize;  // text: bytes with the terminator; number: 4; binary: count
};

struct ScriptTree {
  ScriptNode nodes[kMaxScriptNodes];
  int nodeCount;
  int firstRoot;  // roots are chained through nextSibling
  char text[kScriptTextCapacity];
  size_t textUsed;
  size_t errorOffset;  // where parsing stopped, for diagnostics
};

// Parses length bytes of script (a NUL byte also ends it) into tree.
int parseRegistryScript(const char* script, size_t length, ScriptTree* tree);

inline const char* scriptNodeName(const ScriptTree& tree, const ScriptNode& node) {
  return tree.text + node.name;
}
inline const unsigned char* scriptNodeData(const ScriptTree& tree, const ScriptNode& node) {
  return reinterpret_cast<const unsigned char*>(tree.text + node.data);
}

// Copies length bytes of script into out with every %name% replaced by value
// and %% turned into one %; any other % is a syntax error. The result is
// NUL-terminated; *outLength receives its length.
int expandScriptMacro(const char* script, size_t length, const char* name, const char* value,
                      char* out, size_t outSize, size_t* outLength);

// Copies text into out with every single quotation mark doubled, so that it
// can stand inside a quoted script value. False if it does not fit.
bool doubleSingleQuotes(const char* text, char* out, size_t outSize);
