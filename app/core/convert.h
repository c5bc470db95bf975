// Page conversion: every page becomes N.png in the staging folder, and desc.txt lists the
// book for the phone-side viewer.
#pragma once

#include <cstdio>
#include <string>

class Book;
class Messages;

// Writes the UTF-16LE code units of a UTF-8 text, without a terminator; false on a write error.
bool WriteLineUtf16(const std::string& text, FILE* file);

// Converts every page into `staging`/N.png and writes `staging`/desc.txt. Every failure is
// reported through messages and the generation goes on.
void ConvertPages(Book& book, const std::string& staging, Messages& messages);
