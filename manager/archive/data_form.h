// The data form of a result: the container without the program, for roads
// that refuse programs (mail filters, mail programs). A 16-byte header, the
// container exactly as a self-decrypting file holds it, and the same 12-byte
// payload trailer, whose length leads back exactly to the end of the header.
//
//   header: 89 4B 59 56 0D 0A 1A 0A, the form's version (32-bit little-endian,
//   1), four zero bytes.
//
// Only this program and its reader open it; its name ends in ".kyvo".
// Byte-level code.
#pragma once
#include <stddef.h>
#include <stdint.h>

enum { DATA_FORM_HEADER_SIZE = 16, DATA_FORM_VERSION = 1, DATA_FORM_SIGNATURE_SIZE = 8 };

void encodeDataFormHeader(unsigned char out[DATA_FORM_HEADER_SIZE]);

// Whether the first bytes carry the form's signature (then the file is
// meant to be of this form, whole or damaged).
bool hasDataFormSignature(const unsigned char* head, size_t size);
// Whether the header is one this program reads: the signature, version 1,
// four zero bytes.
bool isDataFormHeader(const unsigned char* head, size_t size);

// Whether a file name ends in ".kyvo" (ASCII case ignored).
bool isDataFormName(const wchar_t* path);
