// Page conversion: every page becomes N.png in the staging folder, and desc.txt lists the
// book for the phone-side viewer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class Book;
class Messages;

// Writes the UTF-16LE code units of a UTF-8 text, without a terminator; false on a write error.
bool WriteLineUtf16(const std::string& text, FILE* file);

// The most threads that convert pages at once.
constexpr unsigned kMaxConversionWorkers = 4;

// Threads for page conversion: one per core, at least 1, at most kMaxConversionWorkers.
unsigned ConversionWorkers();

// Converts every page into `staging`/N.png and writes `staging`/desc.txt. Every failure is
// reported through messages and the generation goes on. Gives the number of pictures the
// book lists: the page count, or with split pages the pages as written. Each page is
// announced through messages.Converting before it is taken; when messages.Cancelled() says
// so, no further page is taken (the book is then the caller's to drop).
int32_t ConvertPages(Book& book, const std::string& staging, Messages& messages);

// The same with `workers` threads loading and saving pages. Whatever their number, messages
// come on the calling thread in page order, and desc.txt, the pictures left in `staging`,
// the pages' measures and currentImage end up as one thread leaves them.
int32_t ConvertPages(Book& book, const std::string& staging, Messages& messages, unsigned workers);
