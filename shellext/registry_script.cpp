#include "shellext/registry_script.h"

#include <string.h>

namespace {

struct RootName {
  const char* shortName;
  const char* longName;
  ScriptRoot root;
};

const RootName kRoots[] = {
    {"HKCR", "HKEY_CLASSES_ROOT", ROOT_CLASSES_ROOT},
    {"HKCU", "HKEY_CURRENT_USER", ROOT_CURRENT_USER},
    {"HKLM", "HKEY_LOCAL_MACHINE", ROOT_LOCAL_MACHINE},
    {"HKU", "HKEY_USERS", ROOT_USERS},
    {"HKPD", "HKEY_PERFORMANCE_DATA", ROOT_PERFORMANCE_DATA},
    {"HKDD", "HKEY_DYN_DATA", ROOT_DYN_DATA},
    {"HKCC", "HKEY_CURRENT_CONFIG", ROOT_CURRENT_CONFIG},
};

bool isSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = lowerAscii(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// One token: a bare word, or a quoted text with its doubled quotation marks
// already undone, held in a bounded buffer.
struct Token {
  char text[1100];  // room for a module path of 1023 bytes
  size_t length;
  bool quoted;
};

class Parser {
 public:
  Parser(const char* script, size_t length, ScriptTree* tree) : p_(script), end_(script + length), tree_(tree) {
    const void* nul = memchr(script, 0, length);
    if (nul) end_ = static_cast<const char*>(nul);
    begin_ = script;
  }

  int run() {
    tree_->nodeCount = 0;
    tree_->firstRoot = kNoNode;
    tree_->textUsed = 0;
    tree_->errorOffset = 0;
    int lastRoot = kNoNode;
    Token token;
    for (;;) {
      int got = next(&token);
      if (got != SCRIPT_OK) return fail(got);
      if (atEnd_) return SCRIPT_OK;
      int root = rootOf(token);
      if (root < 0) return fail(SCRIPT_SYNTAX_ERROR);
      int node = newNode(NODE_ROOT, kNoNode);
      if (node < 0) return fail(SCRIPT_TOO_LARGE);
      tree_->nodes[node].root = static_cast<uint8_t>(root);
      if (lastRoot == kNoNode) tree_->firstRoot = node; else tree_->nodes[lastRoot].nextSibling = node;
      lastRoot = node;
      if ((got = expectOpen()) != SCRIPT_OK) return fail(got);
      if ((got = block(node, 1, false)) != SCRIPT_OK) return fail(got);
    }
  }

 private:
  int fail(int status) {
    tree_->errorOffset = static_cast<size_t>(p_ - begin_);
    return status;
  }

  // Reads the next token; at the end of the text atEnd_ is set instead.
  int next(Token* token) {
    while (p_ < end_ && isSpace(static_cast<unsigned char>(*p_))) ++p_;
    token->length = 0;
    token->quoted = false;
    atEnd_ = p_ >= end_;
    if (atEnd_) return SCRIPT_OK;
    if (*p_ == '\'') {
      token->quoted = true;
      ++p_;
      for (;;) {
        if (p_ >= end_) return SCRIPT_SYNTAX_ERROR;  // the quotation never closes
        if (*p_ == '\'') {
          if (p_ + 1 < end_ && p_[1] == '\'') {
            p_ += 2;
            if (!put(token, '\'')) return SCRIPT_TOO_LARGE;
            continue;
          }
          ++p_;
          break;
        }
        if (!put(token, *p_++)) return SCRIPT_TOO_LARGE;
      }
    } else {
      while (p_ < end_ && !isSpace(static_cast<unsigned char>(*p_)))
        if (!put(token, *p_++)) return SCRIPT_TOO_LARGE;
    }
    token->text[token->length] = '\0';
    return SCRIPT_OK;
  }

  static bool put(Token* token, char c) {
    if (token->length + 1 >= sizeof token->text) return false;
    token->text[token->length++] = c;
    return true;
  }

  static bool is(const Token& token, const char* word) {
    if (token.quoted) return false;
    size_t n = strlen(word);
    if (token.length != n) return false;
    for (size_t i = 0; i < n; ++i)
      if (lowerAscii(token.text[i]) != lowerAscii(word[i])) return false;
    return true;
  }

  static int rootOf(const Token& token) {
    for (const RootName& r : kRoots)
      if (is(token, r.shortName) || is(token, r.longName)) return r.root;
    return -1;
  }

  int expectOpen() {
    Token token;
    int got = next(&token);
    if (got != SCRIPT_OK) return got;
    return (!atEnd_ && is(token, "{")) ? SCRIPT_OK : SCRIPT_SYNTAX_ERROR;
  }

  int newNode(int kind, int parent) {
    if (tree_->nodeCount >= kMaxScriptNodes) return -1;
    int index = tree_->nodeCount++;
    ScriptNode& n = tree_->nodes[index];
    memset(&n, 0, sizeof n);
    n.kind = static_cast<uint8_t>(kind);
    n.parent = parent;
    n.firstChild = n.lastChild = n.nextSibling = kNoNode;
    if (parent != kNoNode) {
      ScriptNode& p = tree_->nodes[parent];
      if (p.lastChild == kNoNode) p.firstChild = index; else tree_->nodes[p.lastChild].nextSibling = index;
      p.lastChild = index;
    }
    return index;
  }

  // Stores bytes (plus a NUL) in the tree's text; returns the offset or -1.
  long store(const void* bytes, size_t size) {
    if (size + 1 > kScriptTextCapacity - tree_->textUsed) return -1;
    size_t at = tree_->textUsed;
    if (size) memcpy(tree_->text + at, bytes, size);
    tree_->text[at + size] = '\0';
    tree_->textUsed += size + 1;
    return static_cast<long>(at);
  }

  static bool validName(const Token& token) {
    if (token.quoted) return token.length > 0;
    return !is(token, "{") && !is(token, "}") && !is(token, "=");
  }

  // The items of a block up to its closing brace. Directly below a root only
  // keys may stand; below a key, values too.
  int block(int parent, int depth, bool valuesAllowed) {
    if (depth > kMaxScriptDepth) return SCRIPT_TOO_LARGE;
    Token token;
    for (;;) {
      int got = next(&token);
      if (got != SCRIPT_OK) return got;
      if (atEnd_) return SCRIPT_SYNTAX_ERROR;  // the block never closes
      if (is(token, "}")) return SCRIPT_OK;
      if (is(token, "val")) {
        if (!valuesAllowed) return SCRIPT_SYNTAX_ERROR;
        if ((got = value(parent)) != SCRIPT_OK) return got;
        continue;
      }
      if ((got = key(parent, &token, depth)) != SCRIPT_OK) return got;
    }
  }

  int value(int parent) {
    Token name;
    int got = next(&name);
    if (got != SCRIPT_OK) return got;
    if (atEnd_ || !validName(name)) return SCRIPT_SYNTAX_ERROR;
    int node = newNode(NODE_VALUE, parent);
    if (node < 0) return SCRIPT_TOO_LARGE;
    long at = store(name.text, name.length);
    if (at < 0) return SCRIPT_TOO_LARGE;
    tree_->nodes[node].name = static_cast<uint32_t>(at);
    Token equals;
    if ((got = next(&equals)) != SCRIPT_OK) return got;
    if (atEnd_ || !is(equals, "=")) return SCRIPT_SYNTAX_ERROR;
    return typedValue(node);
  }

  // Reads "type value" after an equals sign into node.
  int typedValue(int node) {
    Token type, data;
    int got = next(&type);
    if (got != SCRIPT_OK) return got;
    if (atEnd_ || type.quoted || type.length != 1) return SCRIPT_SYNTAX_ERROR;
    if ((got = next(&data)) != SCRIPT_OK) return got;
    if (atEnd_) return SCRIPT_SYNTAX_ERROR;
    ScriptNode& n = tree_->nodes[node];
    long at = -1;
    switch (lowerAscii(type.text[0])) {
      case 's': {
        if (!data.quoted) return SCRIPT_SYNTAX_ERROR;
        n.valueType = VALUE_TEXT;
        n.dataSize = static_cast<uint32_t>(data.length + 1);
        at = store(data.text, data.length);
        break;
      }
      case 'd': {
        uint32_t number = 0;
        if (!parseNumber(data, &number)) return SCRIPT_SYNTAX_ERROR;
        unsigned char bytes[4] = {static_cast<unsigned char>(number), static_cast<unsigned char>(number >> 8),
                                  static_cast<unsigned char>(number >> 16), static_cast<unsigned char>(number >> 24)};
        n.valueType = VALUE_DWORD;
        n.dataSize = 4;
        at = store(bytes, 4);
        break;
      }
      case 'b': {
        if (data.length % 2) return SCRIPT_SYNTAX_ERROR;
        unsigned char bytes[sizeof data.text / 2];
        for (size_t i = 0; i < data.length; i += 2) {
          int hi = hexDigit(data.text[i]), lo = hexDigit(data.text[i + 1]);
          if (hi < 0 || lo < 0) return SCRIPT_SYNTAX_ERROR;
          bytes[i / 2] = static_cast<unsigned char>(hi * 16 + lo);
        }
        n.valueType = VALUE_BINARY;
        n.dataSize = static_cast<uint32_t>(data.length / 2);
        at = store(bytes, data.length / 2);
        break;
      }
      default:
        return SCRIPT_SYNTAX_ERROR;
    }
    if (at < 0) return SCRIPT_TOO_LARGE;
    tree_->nodes[node].data = static_cast<uint32_t>(at);
    return SCRIPT_OK;
  }

  // Decimal, or hexadecimal after 0x; at most 32 bits.
  static bool parseNumber(const Token& token, uint32_t* out) {
    const char* s = token.text;
    size_t n = token.length;
    unsigned base = 10;
    if (n > 2 && s[0] == '0' && lowerAscii(s[1]) == 'x') {
      base = 16;
      s += 2;
      n -= 2;
    }
    if (n == 0) return false;
    uint64_t value = 0;
    for (size_t i = 0; i < n; ++i) {
      int d = base == 16 ? hexDigit(s[i]) : (s[i] >= '0' && s[i] <= '9' ? s[i] - '0' : -1);
      if (d < 0) return false;
      value = value * base + static_cast<unsigned>(d);
      if (value > 0xFFFFFFFFull) return false;
    }
    *out = static_cast<uint32_t>(value);
    return true;
  }

  int key(int parent, Token* first, int depth) {
    int prefix = KEY_PLAIN;
    if (is(*first, "NoRemove")) prefix = KEY_NO_REMOVE;
    else if (is(*first, "ForceRemove")) prefix = KEY_FORCE_REMOVE;
    else if (is(*first, "Delete")) prefix = KEY_DELETE;
    Token name;
    int got = SCRIPT_OK;
    if (prefix == KEY_PLAIN) {
      name = *first;
    } else {
      if ((got = next(&name)) != SCRIPT_OK) return got;
      if (atEnd_) return SCRIPT_SYNTAX_ERROR;
    }
    if (!validName(name)) return SCRIPT_SYNTAX_ERROR;
    int node = newNode(NODE_KEY, parent);
    if (node < 0) return SCRIPT_TOO_LARGE;
    tree_->nodes[node].prefix = static_cast<uint8_t>(prefix);
    long at = store(name.text, name.length);
    if (at < 0) return SCRIPT_TOO_LARGE;
    tree_->nodes[node].name = static_cast<uint32_t>(at);

    // Optional default value and optional block: look one token ahead.
    const char* mark = p_;
    Token token;
    if ((got = next(&token)) != SCRIPT_OK) return got;
    if (!atEnd_ && is(token, "=")) {
      if ((got = typedValue(node)) != SCRIPT_OK) return got;
      mark = p_;
      if ((got = next(&token)) != SCRIPT_OK) return got;
    }
    if (!atEnd_ && is(token, "{")) return block(node, depth + 1, true);
    p_ = mark;  // not ours: the next item or the closing brace
    atEnd_ = false;
    return SCRIPT_OK;
  }

  const char* p_;
  const char* end_;
  const char* begin_;
  ScriptTree* tree_;
  bool atEnd_ = false;
};

}  // namespace

int parseRegistryScript(const char* script, size_t length, ScriptTree* tree) {
  if (!script || !tree) return SCRIPT_SYNTAX_ERROR;
  Parser parser(script, length, tree);
  return parser.run();
}

int expandScriptMacro(const char* script, size_t length, const char* name, const char* value,
                      char* out, size_t outSize, size_t* outLength) {
  if (!script || !name || !value || !out || outSize == 0) return SCRIPT_TOO_LARGE;
  size_t nameLength = strlen(name), valueLength = strlen(value);
  size_t used = 0;
  out[0] = '\0';
  for (size_t i = 0; i < length && script[i] != '\0';) {
    const char* piece = script + i;
    size_t pieceLength = 1;
    if (script[i] == '%') {
      if (i + 1 < length && script[i + 1] == '%') {
        i += 2;
      } else if (i + nameLength + 1 < length && memcmp(script + i + 1, name, nameLength) == 0 &&
                 script[i + nameLength + 1] == '%') {
        piece = value;
        pieceLength = valueLength;
        i += nameLength + 2;
      } else {
        return SCRIPT_SYNTAX_ERROR;
      }
    } else {
      ++i;
    }
    if (pieceLength >= outSize - used) return SCRIPT_TOO_LARGE;
    memcpy(out + used, piece, pieceLength);
    used += pieceLength;
  }
  out[used] = '\0';
  if (outLength) *outLength = used;
  return SCRIPT_OK;
}

bool doubleSingleQuotes(const char* text, char* out, size_t outSize) {
  if (!text || !out || outSize == 0) return false;
  size_t used = 0;
  for (const char* p = text; *p; ++p) {
    size_t need = *p == '\'' ? 2 : 1;
    if (need >= outSize - used) {
      out[0] = '\0';
      return false;
    }
    out[used++] = *p;
    if (*p == '\'') out[used++] = '\'';
  }
  out[used] = '\0';
  return true;
}
