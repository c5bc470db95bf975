// A whole generation: from the chosen archive name to "Complete!" or "Uncomplete!".
#pragma once

#include <string>

class Book;
class Messages;

// Runs a generation into the archive `chosenName` (empty: the save dialog was cancelled,
// nothing happens). Files are staged in a private folder that is removed afterwards on
// every path. True on "Complete!". Pages are converted on `workers` threads (see ConvertPages).
bool Generate(Book& book, const std::string& chosenName, Messages& messages);
bool Generate(Book& book, const std::string& chosenName, Messages& messages, unsigned workers);

// The archive and the JAD beside it; false when the archive could not be written.
bool WriteJarAndJad(Book& book, const std::string& staging, Messages& messages);

// The archive name for a chosen name: ".jar" is appended when its file name has no extension.
std::string JarNameFor(const std::string& chosenName);
