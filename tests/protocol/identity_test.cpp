#include "device/hid_string.h"
#include "protocol/identity.h"

#include <gtest/gtest.h>

#include <array>

namespace {

TEST(VersionText, MajorDecimalMinorUpperHex) {
    EXPECT_EQ(protocol::versionText(0x0112), " 1.12");
    EXPECT_EQ(protocol::versionText(0x0105), " 1.5");
    EXPECT_EQ(protocol::versionText(0x010A), " 1.A");
    EXPECT_EQ(protocol::versionText(0x0200), " 2.0");
    EXPECT_EQ(protocol::versionText(0x0000), " 0.0");
    EXPECT_EQ(protocol::versionText(0x8001), " 128.1") << "the version number is unsigned";
    EXPECT_EQ(protocol::versionText(0xFFFF), " 255.FF");
    EXPECT_EQ(protocol::versionMinor(0x0200), 0);
    EXPECT_EQ(protocol::versionMinor(0x8001), 1);
}

std::array<std::uint8_t, 201> utf16(std::u16string_view s) {
    std::array<std::uint8_t, 201> b{};
    for (std::size_t i = 0; i < s.size() && 2 * i + 1 < 100; ++i) {
        b[2 * i] = static_cast<std::uint8_t>(s[i] & 0xFF);
        b[2 * i + 1] = static_cast<std::uint8_t>(s[i] >> 8);
    }
    return b;
}

TEST(HidStringDecoding, LowBytesUpToTheFirstZeroLowByte) {
    EXPECT_EQ(device::decodeHidString(utf16(u"Maker")), "Maker");
    EXPECT_EQ(device::decodeHidString(utf16(u"AB\u0100CD")), "AB");
    EXPECT_EQ(device::decodeHidString(utf16(u"\u0141x")), "Ax");
    EXPECT_EQ(device::decodeHidString(utf16(u"Caf\u00E9")), "Caf\xC3\xA9");
    EXPECT_EQ(device::decodeHidString(utf16(std::u16string(50, u'z'))), std::string(50, 'z'));
    EXPECT_EQ(device::decodeHidString(utf16(u"")), "");
}

}  // namespace
