#include "descriptors.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "book.h"
#include "files.h"
#include "messages.h"
#include "text.h"

std::string ManifestLine(const std::string& line) {
    std::string out;
    size_t at = 0;
    size_t room = kManifestLineBytes;
    while (line.size() - at > room) {
        // never in front of a UTF-8 continuation byte, so that no character is split
        size_t cut = at + room;
        while (cut > at && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
        if (cut == at) cut = at + room;  // not UTF-8: cut at the byte limit
        out.append(line, at, cut - at);
        out += "\r\n ";
        at = cut;
        room = kManifestLineBytes - 1;  // the leading space counts
    }
    out.append(line, at, std::string::npos);
    out += "\r\n";
    return out;
}

std::string MidletName(const std::string& bookName) {
    std::string out;
    for (char c : bookName) {
        if (c == ',')
            out += "，";
        else
            out.push_back(c);
    }
    return out;
}

std::string ManifestText(const std::string& name) {
    // a control character would end a line early and make a line of its own
    const std::string bookName = ControlsToSpaces(name);
    std::string out;
    for (const std::string& line :
         {std::string("Manifest-Version: 1.0"), std::string("MicroEdition-Configuration: CLDC-1.0"),
          "MIDlet-Name: " + bookName, std::string("MIDlet-Vendor: Kavoo网"),
          std::string("MIDlet-Icon: /icon.png"),
          "MIDlet-1: " + MidletName(bookName) + ",/icon.png, GameMidlet", std::string("MIDlet-Version: 1.0"),
          std::string("MicroEdition-Profile: MIDP-1.0")})
        out += ManifestLine(line);
    return out;
}

std::string JadText(const std::string& name, int64_t jarSize, const std::string& jarFileName, int32_t price) {
    const std::string bookName = ControlsToSpaces(name);
    const std::string values[JadKeys.size()] = {MidletName(bookName) + ", icon.png, GameMidlet",
                                                "单机应用。",
                                                "/icon.png",
                                                std::to_string(jarSize),
                                                ControlsToSpaces(jarFileName),
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
        messages.Detail("cannot read the size of " + jarPath + ": " + std::strerror(errno));
        messages.Show("Write JAD error!");
        return false;
    }
    AtomicFile jad(JadPathFor(jarPath));
    if (!WriteJad(jad, jarPath, st.st_size, bookName, price, messages)) return false;
    if (!jad.Commit()) {
        messages.Detail("cannot replace " + jad.target() + ": " + std::strerror(errno));
        messages.Show("Write JAD error!");
        return false;
    }
    return true;
}

bool WriteJad(AtomicFile& jad, const std::string& jarPath, int64_t jarSize, const std::string& bookName,
              int32_t price, Messages& messages) {
    if (!jad.ok() || !jad.Write(JadText(bookName, jarSize, FileNamePart(jarPath), price))) {
        messages.Detail("cannot write " + jad.target() + ": " + std::strerror(errno));
        messages.Show("Write JAD error!");
        jad.Discard();
        return false;
    }
    return true;
}
