#include "device/hidraw/input_read.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <vector>

namespace device::hidraw {
namespace {

// A sequenced-packet socket pair keeps message boundaries the way a hidraw
// node keeps report boundaries: one read takes one report, cut to the
// buffer. The test writes reports on one end; the reader polls the other.
class ReportReadNow : public ::testing::Test {
protected:
    int device = -1;
    int host = -1;
    std::array<std::uint8_t, 12> backing{};

    void SetUp() override {
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds), 0);
        device = fds[0];
        host = fds[1];
        backing.fill(0xEE);
    }
    void TearDown() override {
        if (device >= 0) ::close(device);
        ::close(host);
    }

    void send(std::vector<std::uint8_t> report) {
        ASSERT_EQ(::write(device, report.data(), report.size()), static_cast<ssize_t>(report.size()));
    }
    std::span<std::uint8_t> buffer(std::size_t n) { return std::span(backing).first(n); }
    std::vector<std::uint8_t> bytes(std::size_t n) const { return {backing.begin(), backing.begin() + n}; }
};

TEST_F(ReportReadNow, NothingWaitingFailsAtOnce) {
    EXPECT_FALSE(readReportNow(host, buffer(8), false));
    EXPECT_EQ(backing[0], 0xEE);
}

TEST_F(ReportReadNow, UnnumberedReportGetsAZeroIdByte) {
    send({0xA1, 0xA2, 0xA3});
    ASSERT_TRUE(readReportNow(host, buffer(4), false));
    EXPECT_EQ(bytes(5), (std::vector<std::uint8_t>{0x00, 0xA1, 0xA2, 0xA3, 0xEE}));
}

TEST_F(ReportReadNow, NumberedReportKeepsItsIdByte) {
    send({0x02, 0x10, 0x20});
    ASSERT_TRUE(readReportNow(host, buffer(4), true));
    EXPECT_EQ(bytes(4), (std::vector<std::uint8_t>{0x02, 0x10, 0x20, 0xEE}));
}

TEST_F(ReportReadNow, OneReportPerReadCutToTheBuffer) {
    send({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    send({0x55});
    ASSERT_TRUE(readReportNow(host, buffer(4), false));
    EXPECT_EQ(bytes(5), (std::vector<std::uint8_t>{0, 1, 2, 3, 0xEE}));
    ASSERT_TRUE(readReportNow(host, buffer(4), false));
    EXPECT_EQ(bytes(2), (std::vector<std::uint8_t>{0, 0x55}));
    EXPECT_FALSE(readReportNow(host, buffer(4), false));
}

TEST_F(ReportReadNow, TooShortForAnUnnumberedReportLeavesItQueued) {
    send({0x42});
    EXPECT_FALSE(readReportNow(host, buffer(1), false));
    EXPECT_EQ(backing[0], 0xEE);
    EXPECT_TRUE(readReportNow(host, buffer(2), false));
}

TEST_F(ReportReadNow, GoneDeviceFailsEvenWithReportsQueued) {
    send({0x01, 0x02});
    ::close(device);
    device = -1;
    EXPECT_FALSE(readReportNow(host, buffer(8), false));
}

TEST(ReportReadNowBadDescriptor, Fails) {
    std::array<std::uint8_t, 4> b{};
    EXPECT_FALSE(readReportNow(-1, b, true));
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    ::close(fds[1]);
    EXPECT_FALSE(readReportNow(fds[0], b, true));  // closed: POLLNVAL
}

}  // namespace
}  // namespace device::hidraw
