// A whole generation: from the chosen archive name to "Complete!" or "Uncomplete!".
#pragma once

#include <cstdint>
#include <string>

class Book;
class Messages;

// Runs a generation into the archive `chosenName` (empty: the save dialog was cancelled,
// nothing happens). Files are staged in a private folder that is removed afterwards on
// every path. True on "Complete!". Pages are converted on `workers` threads (see ConvertPages).
// When messages.Cancelled() turns true the generation stops before the next page or before
// the archive replaces an old one: the staging folder goes, no archive or JAD is written or
// replaced, and "Uncomplete!" follows a detail saying the generation was cancelled.
bool Generate(Book& book, const std::string& chosenName, Messages& messages);
bool Generate(Book& book, const std::string& chosenName, Messages& messages, unsigned workers);

// Why a book cannot be written to `chosenName`, or empty when it can: the archive or its JAD
// would be a folder, the two would be one file, one of them would replace a page's picture or
// a template, or the folder is missing or not writable. Nothing is written or created.
std::string OutputProblem(const Book& book, const std::string& chosenName);

// The archive and the JAD beside it; false when either could not be written, and then an
// existing archive and JAD stay as they were: both replace the old ones only once both are
// complete. The archive takes `pictures` page pictures (-1: one per page).
bool WriteJarAndJad(Book& book, const std::string& staging, Messages& messages, int32_t pictures = -1);

// What the archive at jarPath holds: pages [first, end) of book.written, its size as it is now.
struct JarOutcome;
JarOutcome OutcomeOf(const Book& book, const std::string& jarPath, int32_t first, int32_t end);

// One line naming every written page whose decoded picture (width x height x 4 bytes) is
// larger than the book's heap budget, by its number and size; empty when none is, or
// without a budget.
std::string HeapWarning(const Book& book);

// The archive name for a chosen name: ".jar" is appended when its file name has no extension.
std::string JarNameFor(const std::string& chosenName);
