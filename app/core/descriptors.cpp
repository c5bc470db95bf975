#include "descriptors.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "book.h"
#include "files.h"
#include "messages.h"

std::string ManifestText(const std::string& bookName) {
    std::string out;
    for (const std::string& line : {std::string("Manifest-Version: 1.0"),
                                    std::string("MicroEdition-Configuration: CLDC-1.0"),
                                    "MIDlet-Name: " + bookName,
                                    std::string("MIDlet-Vendor: Kavoo网"),
                                    std::string("MIDlet-Icon: /icon.png"),
                                    "MIDlet-1: " + bookName + ",/icon.png, GameMidlet",
                                    std::string("MIDlet-Version: 1.0"),
                                    std::string("MicroEdition-Profile: MIDP-1.0")})
        out += line + "\r\n";
    return out;
}

std::string JadText(const std::string& bookName, int64_t jarSize, const std::string& jarFileName, int32_t price) {
    const std::string values[JadKeys.size()] = {
        bookName + ", icon.png, GameMidlet",
        "单机应用。",
        "/icon.png",
        std::to_string(jarSize),
        jarFileName,
        bookName,
        "上海Sanlum",
        "1.0",
        "单次下载" + std::to_string(price) + "元",
        "CLDC-1.0",
        "MIDP-1.0"};
    std::string out;
    for (size_t i = 0; i < JadKeys.size(); ++i) out += std::string(JadKeys[i]) + values[i] + "\r\n";
    return out;
}

void WriteManifest(const std::string& manifestPath, const std::string& bookName, Messages& messages) {
    // The staged copy of the template is replaced whole; it must already exist.
    const int fd = open(manifestPath.c_str(), O_WRONLY | O_TRUNC);
    if (fd < 0) {
        messages.Show("open manifest error!");
        return;
    }
    const std::string text = ManifestText(bookName);
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    close(fd);
}

std::string JadPathFor(const std::string& jarPath) {
    const size_t slash = jarPath.find_last_of("\\/");
    const size_t dot = jarPath.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return jarPath + ".jad";
    return jarPath.substr(0, dot) + ".jad";
}

bool WriteJad(const std::string& jarPath, const std::string& bookName, int32_t price, Messages& messages) {
    struct stat st;
    if (stat(jarPath.c_str(), &st) != 0) {
        messages.Show("Write JAD error!");
        return false;
    }
    const std::string jad = JadText(bookName, st.st_size, FileNamePart(jarPath), price);
    if (!WriteFileAtomically(JadPathFor(jarPath), jad)) {
        messages.Show("Write JAD error!");
        return false;
    }
    return true;
}
