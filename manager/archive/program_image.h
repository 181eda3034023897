// Where the image of a Windows program file ends: its headers, the raw data of
// its sections, and what a program may carry after them and still be whole,
// the certificate table of a signed program and the COFF symbol table with
// its string table. Whatever lies beyond that end was appended to the program
// (in a result: the payloads and their trailers).
#pragma once
#include <stddef.h>
#include <stdint.h>

// The headers and the section table must lie within this many bytes of the
// file's start.
enum { PROGRAM_HEADER_BYTES = 4096 };

struct ProgramImageLayout {
  uint64_t end;            // end of the headers, the sections and the certificate table
  uint64_t stringTableAt;  // where the 4-byte length of the symbols' string table lies; 0: no symbols
};

// Reads the headers at the start of a file (its first headLength bytes). False
// when they are not those of a Windows program.
bool readProgramImageLayout(const unsigned char* head, size_t headLength, ProgramImageLayout* layout);

// The end of the whole image, given the 4 bytes at stringTableAt (null when
// there are no symbols or those bytes could not be read).
uint64_t programImageEnd(const ProgramImageLayout& layout, const unsigned char* stringTableLength);
