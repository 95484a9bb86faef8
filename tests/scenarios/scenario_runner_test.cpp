#include "rig/scenario_runner.h"

#include "rig/unit_rig.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

struct Played {
    int code;
    std::string out;
    std::string err;
};

Played play(const std::string& script) {
    std::istringstream in(script);
    std::ostringstream out, err;
    const int code = rig::runScenario(in, out, err);
    return {code, out.str(), err.str()};
}

struct BadLine {
    const char* script;
    const char* lineAndMessage;
};

class MalformedScenario : public testing::TestWithParam<BadLine> {};

// A bad line anywhere stops the run before anything is played, so nothing
// is printed and no unit is plugged.
TEST_P(MalformedScenario, StopsBeforeAnythingRunsAndNamesTheLine) {
    const Played r = play(GetParam().script);
    EXPECT_NE(r.code, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(GetParam().lineAndMessage), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(Lines, MalformedScenario,
                         testing::Values(BadLine{"unit A\nstart\nfrobnicate\n", "line 3: unknown command 'frobnicate'"},
                                         BadLine{"unit A feature_len=70000\n", "line 1: 'feature_len'"},
                                         BadLine{"unit A report=0:8C\n", "line 1: 'report'"},
                                         BadLine{"unit A colour=red\n", "line 1: unknown key 'colour'"},
                                         BadLine{"# comment\n\nunit A manufacturer=\"open\n",
                                                 "line 3: missing closing quote"},
                                         BadLine{"start\npick Enc9 1\n", "line 2: unknown list 'Enc9'"},
                                         BadLine{"start\npick Enc1 -1\n", "line 2: 'pick' needs an index"},
                                         BadLine{"fail A burn\n", "line 1: unknown operation 'burn'"},
                                         BadLine{"tick now\n", "line 1: 'tick' takes 0 argument(s)"},
                                         BadLine{"unit\n", "line 1: 'unit' needs a serial"}));

TEST(ScenarioRunner, UnknownSerialStopsAtThatLineAfterEarlierLinesRan) {
    const Played r = play("unit A\nhandles\nunplug B\nhandles\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "> unit A\n> handles\nopen=0 events=0\n> unplug B\n");
    EXPECT_NE(r.err.find("line 3: no plugged unit 'B'"), std::string::npos) << r.err;
}

TEST(ScenarioRunner, QuotedTextsKeepBlanksEscapesAndRawCodeUnits) {
    const Played r = play("unit \"S 1\" manufacturer=\"A \\\"B\\\" \\\\ \\u0141x\" product=P\nstart\nshow\n");
    ASSERT_EQ(r.code, 0) << r.err;
    // U+0141 contributes its low byte, 0x41.
    EXPECT_NE(r.out.find("lblManuf enabled=1 visible=1 caption=\" A \\\"B\\\" \\\\ Ax\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("SerNo enabled=0 visible=1 items=1 index=0 text=\"S 1\""), std::string::npos);
}

TEST(ScenarioRunner, DashIsTheEmptySerial) {
    const Played r = play("unit -\nstart\nreports -\nshow\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("SerNo enabled=0 visible=1 items=1 index=0 text=\"\""), std::string::npos);
    EXPECT_NE(r.out.find("DeviceDetected=1"), std::string::npos);
}

// Real devices cannot fail one call: a rig that says so has a script
// that asks for it refused whole, before its first line is played.
TEST(ScenarioRunner, RigThatCannotFailCallsRefusesFailBeforePlaying) {
    class RealDevices final : public rig::UnitRig {
    public:
        device::HidPlatform& platform() override { return m_sim->platform(); }
        rig::RigError plug(const device::sim::DeviceConfig& c) override { return m_sim->plug(c); }
        rig::RigError unplug(std::size_t d) override { return m_sim->unplug(d); }
        rig::RigError replug(std::size_t d) override { return m_sim->replug(d); }
        rig::RigError setFailing(std::size_t, device::sim::Operation, bool) override { return "refused"; }
        rig::RigError takeReports(std::size_t d, std::vector<std::vector<std::uint8_t>>& r) override {
            return m_sim->takeReports(d, r);
        }
        rig::RigError takeWoken(std::vector<bool>& w) override { return m_sim->takeWoken(w); }
        std::size_t openHandles() override { return m_sim->openHandles(); }
        std::size_t openEvents() override { return m_sim->openEvents(); }
        void beforeTick(std::uint32_t) override {}
        bool canFailCalls() const override { return false; }

    private:
        std::unique_ptr<rig::UnitRig> m_sim = rig::makeSimRig();
    };
    std::istringstream in("unit A\nstart\nheal A read\n");
    std::ostringstream out, err;
    EXPECT_EQ(rig::runScenario(in, out, err, std::make_unique<RealDevices>()), 2);
    EXPECT_EQ(out.str(), "");
    EXPECT_NE(err.str().find("line 3: 'heal' cannot be played on real devices"), std::string::npos) << err.str();
}

// The live suite's limits come from these counts: comments, blank lines and
// the words of a ctl's command line are not commands of their own.
TEST(ScenarioCheck, CountsTheCommandsThatTheLiveStackWaitsFor) {
    std::istringstream in(
        "# unit tick\nunit A\nother\n\nstart\ntick\nunplug A\nreplug A\nctl show --serial tick\ntick\n");
    const rig::ScenarioCheck c = rig::checkScenario(in);
    ASSERT_EQ(c.errorLine, 0) << c.error;
    EXPECT_EQ(c.commands, 8u);
    EXPECT_EQ(c.arrivals, 3u);
    EXPECT_EQ(c.departures, 1u);
    EXPECT_EQ(c.ctls, 1u);
    EXPECT_EQ(c.ticks, 2u);
}

}  // namespace
