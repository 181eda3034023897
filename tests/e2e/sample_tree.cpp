#include "e2e/sample_tree.h"

#include "support/test_files.h"

std::string makeSampleTree(const std::string& root) {
  std::string top = root + "\\サンプル";
  makeFolder(top + "\\報告書\\能力");
  makeFolder(top + "\\空のフォルダ");
  writeFile(top + "\\表.txt", "表計算の結果です。\r\n");
  writeFile(top + "\\空.txt", "");
  writeFile(top + "\\報告書\\ソース.doc", patternBytes(32768, 1));
  writeFile(top + "\\報告書\\能力\\memo.txt", std::string(40000, 'a') + "end");
  writeFile(top + "\\画像.bin", patternBytes(300000, 2));
  return top;
}
