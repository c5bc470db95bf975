#include "support/netpbm.h"

#include <cctype>

namespace testsupport {

namespace {

class Header {
   public:
    Header(const Bytes& data, size_t& pos) : data_(data), pos_(pos) {}

    // Skips white space and comments (from '#' to the end of the line).
    void SkipSpace() {
        for (;;) {
            while (pos_ < data_.size() && std::isspace(data_[pos_])) ++pos_;
            if (pos_ >= data_.size() || data_[pos_] != '#') return;
            while (pos_ < data_.size() && data_[pos_] != '\n') ++pos_;
        }
    }
    std::string Word() {
        SkipSpace();
        std::string w;
        while (pos_ < data_.size() && !std::isspace(data_[pos_])) w += static_cast<char>(data_[pos_++]);
        return w;
    }
    // A decimal number, or -1 when there is none or it is too large to mean anything.
    int64_t Number() {
        SkipSpace();
        int64_t v = -1;
        while (pos_ < data_.size() && std::isdigit(data_[pos_]) && v < (int64_t{1} << 32))
            v = (v < 0 ? 0 : v * 10) + (data_[pos_++] - '0');
        return v;
    }
    // The rest of the line, without the white space around it.
    std::string Line() {
        while (pos_ < data_.size() && (data_[pos_] == ' ' || data_[pos_] == '\t')) ++pos_;
        std::string line;
        while (pos_ < data_.size() && data_[pos_] != '\n') line += static_cast<char>(data_[pos_++]);
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
        return line;
    }

   private:
    const Bytes& data_;
    size_t& pos_;
};

}  // namespace

bool ParseNetpbm(const Bytes& data, size_t& pos, Netpbm& out) {
    out = Netpbm{};
    if (pos + 2 > data.size() || data[pos] != 'P') return false;
    const char kind = static_cast<char>(data[pos + 1]);
    if (kind < '4' || kind > '7') return false;
    pos += 2;
    Header header(data, pos);
    int64_t width = -1, height = -1, depth = kind == '6' ? 3 : 1, maxval = 255;
    if (kind == '7') {
        for (std::string key = header.Word(); key != "ENDHDR"; key = header.Word()) {
            if (key.empty()) return false;
            if (key == "WIDTH")
                width = header.Number();
            else if (key == "HEIGHT")
                height = header.Number();
            else if (key == "DEPTH")
                depth = header.Number();
            else if (key == "MAXVAL")
                maxval = header.Number();
            else if (key == "TUPLTYPE")
                out.tupleType = header.Line();
            else
                header.Line();
        }
    } else {
        width = header.Number();
        height = header.Number();
        if (kind != '4') maxval = header.Number();
    }
    ++pos;  // the one white-space byte before the raster
    if (width < 0 || height < 0 || width > UINT32_MAX || height > UINT32_MAX || depth < 1 || depth > 8 ||
        maxval != 255 || pos > data.size())
        return false;
    const size_t w = static_cast<size_t>(width), h = static_cast<size_t>(height);
    if (kind == '4') {
        const size_t rowBytes = (w + 7) / 8;
        if (h != 0 && rowBytes > (data.size() - pos) / h) return false;
        out.samples.resize(w * h);
        for (size_t y = 0; y < h; ++y)
            for (size_t x = 0; x < w; ++x)
                out.samples[y * w + x] = (data[pos + y * rowBytes + x / 8] >> (7 - x % 8)) & 1 ? 0 : 255;
        pos += rowBytes * h;
    } else {
        const size_t rowBytes = w * static_cast<size_t>(depth);
        if (w != 0 && rowBytes / w != static_cast<size_t>(depth)) return false;
        if (h != 0 && rowBytes > (data.size() - pos) / h) return false;
        out.samples.assign(data.begin() + static_cast<std::ptrdiff_t>(pos),
                           data.begin() + static_cast<std::ptrdiff_t>(pos + rowBytes * h));
        pos += rowBytes * h;
    }
    out.width = static_cast<uint32_t>(width);
    out.height = static_cast<uint32_t>(height);
    out.channels = static_cast<uint32_t>(depth);
    return true;
}

Netpbm ParseNetpbm(const Bytes& data) {
    Netpbm picture;
    size_t pos = 0;
    if (!ParseNetpbm(data, pos, picture) || pos != data.size()) return Netpbm{};
    return picture;
}

Netpbm ReadNetpbm(const std::string& path) { return ParseNetpbm(ReadFile(path)); }

std::vector<Netpbm> ReadNetpbms(const std::string& path) {
    const Bytes data = ReadFile(path);
    std::vector<Netpbm> pictures;
    size_t pos = 0;
    for (Netpbm p; pos < data.size() && ParseNetpbm(data, pos, p);) pictures.push_back(p);
    return pictures;
}

}  // namespace testsupport
