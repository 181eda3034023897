// A small tree of the kind users encrypt: Japanese names (one whose last byte
// is 0x5C), a nested folder, an empty folder, an empty file, and files above
// and below the 32 KiB block size.
#pragma once
#include <string>

// Creates the tree under root\サンプル and returns that folder.
std::string makeSampleTree(const std::string& root);
