#include "manager/archive/data_form.h"

#include <string.h>

#include "common/le_bytes.h"
#include "common/text_util.h"

namespace {
const unsigned char kSignature[DATA_FORM_SIGNATURE_SIZE] = {0x89, 0x4B, 0x59, 0x56, 0x0D, 0x0A, 0x1A, 0x0A};
}

void encodeDataFormHeader(unsigned char out[DATA_FORM_HEADER_SIZE]) {
  memcpy(out, kSignature, sizeof kSignature);
  putLe32(out + 8, DATA_FORM_VERSION);
  putLe32(out + 12, 0);
}

bool hasDataFormSignature(const unsigned char* head, size_t size) {
  return size >= sizeof kSignature && memcmp(head, kSignature, sizeof kSignature) == 0;
}

bool isDataFormHeader(const unsigned char* head, size_t size) {
  return size >= DATA_FORM_HEADER_SIZE && hasDataFormSignature(head, size) &&
         getLe32(head + 8) == DATA_FORM_VERSION && getLe32(head + 12) == 0;
}

bool isDataFormName(const wchar_t* path) {
  size_t length = textLength(path);
  return length >= 5 && equalsIgnoreAsciiCase(path + length - 5, L".kyvo");
}
