// Applies a parsed registry script to a registry, for registering or for
// unregistering. The registry itself sits behind RegistryAccess, so that the
// rules below run on the real registry in the DLL and on a model in tests.
//
// Register:   a key is opened or created and its default value and values are
//             written; a ForceRemove key is first deleted with everything
//             beneath it; a Delete key is deleted with everything beneath it
//             and its block is skipped.
// Unregister: a ForceRemove key is deleted with everything beneath it; a
//             NoRemove key is entered (if it exists) but never deleted; a plain
//             key is entered, its values named in the script are deleted, and
//             it is deleted when no sub-key is left in it; a Delete key is left
//             alone. Missing keys and values are no failure.
#pragma once
#include <stddef.h>

#include "shellext/registry_script.h"

typedef void* RegistryKey;

// Result codes are the system's own error numbers: 0 for success.
const long kRegistryNotFound = 2;
const long kRegistryInvalidParameter = 87;

class RegistryAccess {
 public:
  virtual RegistryKey rootKey(int root) = 0;  // ScriptRoot; never closed
  // Opens the sub-key name of parent, creating it (and missing levels) when
  // create is set.
  virtual long openKey(RegistryKey parent, const char* name, bool create, RegistryKey* key) = 0;
  virtual void closeKey(RegistryKey key) = 0;
  // Deletes the sub-key name of parent with everything beneath it;
  // kRegistryNotFound if it is missing.
  virtual long deleteKeyTree(RegistryKey parent, const char* name) = 0;
  virtual bool hasSubKeys(RegistryKey key) = 0;
  // name null: the key's default value.
  virtual long setValue(RegistryKey key, const char* name, int valueType, const void* data, size_t size) = 0;
  virtual long deleteValue(RegistryKey key, const char* name) = 0;

 protected:
  ~RegistryAccess() = default;
};

enum ScriptMode { SCRIPT_REGISTER, SCRIPT_UNREGISTER };

// Returns 0, or the first registry failure when registering. Unregistering
// goes on past failures and returns 0.
long runRegistryScript(const ScriptTree& tree, int mode, RegistryAccess* access);
