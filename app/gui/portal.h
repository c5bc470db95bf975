// The content portal the books are shared on and the developing company's site. Every link
// of the program is one of these two addresses, or the portal's address followed by a path.
#pragma once

#include <array>

// Placeholders in the reserved .example domain until the real addresses are known; nothing
// else in the program spells out an address.
inline constexpr const char* kPortalBase = "http://www.kavoo.example";
inline constexpr const char* kDeveloperSite = "http://www.sanlum.example";

// Where a book is uploaded to take part in the download revenue sharing.
inline constexpr const char* kUploadPath = "/web/user/main.asp?url=/web/user/upload_ebook.asp";
// The portal's help pages ("知道吧").
inline constexpr const char* kHelpPath = "/web/know/";

// One channel of the portal strip: a caption label above a picture button, with a link
// label (a digit) beneath the button.
struct PortalChannel {
    const char* labelName;  // empty: the channel has no caption label
    const char* caption;    // caption label and the button's hint
    const char* buttonName;
    const char* linkName;
    const char* digit;
    int x;
    int size;  // the picture button is size x size at (x, 80), or at (x, 56) when it is 48
    const char* path;
};

inline constexpr std::array<PortalChannel, 8> kPortalChannels = {{
    {"Label11", "主题", "suiImageButton3", "suiURLLabel3", "1", 440, 24, "/web/theme/"},
    {"Label10", "彩图", "suiImageButton4", "suiURLLabel4", "2", 480, 24, "/web/pic/"},
    {"Label9", "铃声", "suiImageButton5", "suiURLLabel5", "3", 520, 24, "/web/ring/"},
    {"Label2", "短片", "suiImageButton6", "suiURLLabel6", "4", 560, 24, "/web/video/"},
    {"Label3", "软件", "suiImageButton7", "suiURLLabel7", "5", 600, 24, "/web/soft/"},
    {"Label6", "游戏", "suiImageButton8", "suiURLLabel8", "6", 640, 24, "/web/game/"},
    {"Label1", "资讯", "suiImageButton2", "suiURLLabel9", "7", 680, 24, "/web/info/"},
    {"", "电子书和杂志", "suiImageButton9", "suiURLLabel10", "0", 386, 48, "/web/ebook/"},
}};
