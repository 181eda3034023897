#include "shellext/menu_texts.h"

namespace {

struct Command {
  const char* menuText;
  const char* helpText;
  int bitmapId;
};

// The first two help texts hold an ASCII blank after "暗号化して", the third
// an ideographic comma.
const Command kCommands[kCommandCount] = {
    {"暗号化してドライブに保存", "暗号化して ドライブに保存します。（手動暗号化プログラムの起動）", kSaveBitmapId},
    {"暗号化して外部メディアに保存", "暗号化して 外部メディアに保存します。（手動暗号化プログラムの起動）", kSaveBitmapId},
    {"暗号化してメール添付", "暗号化して、メール添付します。（手動暗号化プログラムの起動）", kMailBitmapId},
};

}  // namespace

const char* commandMenuText(unsigned offset) { return offset < kCommandCount ? kCommands[offset].menuText : nullptr; }
const char* commandHelpText(unsigned offset) { return offset < kCommandCount ? kCommands[offset].helpText : nullptr; }
int commandBitmapId(unsigned offset) { return offset < kCommandCount ? kCommands[offset].bitmapId : 0; }
