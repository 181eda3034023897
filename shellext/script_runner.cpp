#include "shellext/script_runner.h"

namespace {

class Runner {
 public:
  Runner(const ScriptTree& tree, RegistryAccess* access) : tree_(tree), access_(access) {}

  long registerChildren(int parent, RegistryKey key) {
    for (int i = tree_.nodes[parent].firstChild; i != kNoNode; i = tree_.nodes[i].nextSibling) {
      const ScriptNode& node = tree_.nodes[i];
      long result = node.kind == NODE_VALUE ? writeValue(key, node, scriptNodeName(tree_, node))
                                            : registerKey(key, i);
      if (result != 0) return result;
    }
    return 0;
  }

  void unregisterChildren(int parent, RegistryKey key) {
    for (int i = tree_.nodes[parent].firstChild; i != kNoNode; i = tree_.nodes[i].nextSibling) {
      const ScriptNode& node = tree_.nodes[i];
      if (node.kind == NODE_VALUE)
        access_->deleteValue(key, scriptNodeName(tree_, node));
      else
        unregisterKey(key, i);
    }
  }

 private:
  long writeValue(RegistryKey key, const ScriptNode& node, const char* name) {
    return access_->setValue(key, name, node.valueType, scriptNodeData(tree_, node), node.dataSize);
  }

  long registerKey(RegistryKey parent, int index) {
    const ScriptNode& node = tree_.nodes[index];
    const char* name = scriptNodeName(tree_, node);
    if (node.prefix == KEY_DELETE || node.prefix == KEY_FORCE_REMOVE) {
      long removed = access_->deleteKeyTree(parent, name);
      if (removed != 0 && removed != kRegistryNotFound) return removed;
      if (node.prefix == KEY_DELETE) return 0;
    }
    RegistryKey key = nullptr;
    long result = access_->openKey(parent, name, true, &key);
    if (result != 0) return result;
    if (node.valueType != VALUE_NONE) result = writeValue(key, node, nullptr);
    if (result == 0) result = registerChildren(index, key);
    access_->closeKey(key);
    return result;
  }

  void unregisterKey(RegistryKey parent, int index) {
    const ScriptNode& node = tree_.nodes[index];
    const char* name = scriptNodeName(tree_, node);
    switch (node.prefix) {
      case KEY_DELETE:
        return;
      case KEY_FORCE_REMOVE:
        access_->deleteKeyTree(parent, name);
        return;
      default:
        break;
    }
    RegistryKey key = nullptr;
    if (access_->openKey(parent, name, false, &key) != 0) return;
    unregisterChildren(index, key);
    bool empty = !access_->hasSubKeys(key);
    access_->closeKey(key);
    if (node.prefix == KEY_PLAIN && empty) access_->deleteKeyTree(parent, name);
  }

  const ScriptTree& tree_;
  RegistryAccess* access_;
};

}  // namespace

long runRegistryScript(const ScriptTree& tree, int mode, RegistryAccess* access) {
  if (!access) return kRegistryInvalidParameter;
  Runner runner(tree, access);
  for (int r = tree.firstRoot; r != kNoNode; r = tree.nodes[r].nextSibling) {
    RegistryKey root = access->rootKey(tree.nodes[r].root);
    if (mode == SCRIPT_REGISTER) {
      long result = runner.registerChildren(r, root);
      if (result != 0) return result;
    } else {
      runner.unregisterChildren(r, root);
    }
  }
  return 0;
}
