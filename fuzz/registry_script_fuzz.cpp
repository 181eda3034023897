// Registry scripts with the module path put in: the parser must refuse, never
// run past its tree.
#include <stdint.h>
#include <stddef.h>
#include <string.h>

#include "shellext/registry_script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ScriptTree tree;
  const char* script = reinterpret_cast<const char*>(data);
  if (parseRegistryScript(script, size, &tree) == SCRIPT_OK) {
    if (tree.nodeCount < 0 || tree.nodeCount > kMaxScriptNodes || tree.textUsed > kScriptTextCapacity)
      __builtin_trap();
    for (int i = 0; i < tree.nodeCount; ++i) {
      const ScriptNode& node = tree.nodes[i];
      if (node.kind == NODE_ROOT) continue;
      if (node.name >= tree.textUsed || node.data + node.dataSize > tree.textUsed) __builtin_trap();
      (void)strlen(scriptNodeName(tree, node));
    }
  }
  static char expanded[8192];
  size_t length = 0;
  expandScriptMacro(script, size, "MODULE", "C:\\Program Files\\Kyvo''s\\Kyvoshell.dll", expanded,
                    sizeof expanded, &length);
  char doubled[64];
  char text[32];
  size_t n = size < sizeof text - 1 ? size : sizeof text - 1;
  memcpy(text, data, n);
  text[n] = '\0';
  doubleSingleQuotes(text, doubled, sizeof doubled);
  return 0;
}
