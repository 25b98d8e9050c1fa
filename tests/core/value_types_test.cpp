// Airport codes, half-hour masks, positions and the user-facing exception.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <fmt/format.h>

#include "core/log.h"
#include "core/value_types.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"

namespace {

std::string readLog()
{
    gf_flushLog();
    return kvr::test::logText();
}

HalfHourMask slots(std::initializer_list<int> list)
{
    HalfHourMask m;
    for (int s : list)
        m.set(static_cast<size_t>(s));
    return m;
}

HalfHourMask run(int a, int b)
{
    HalfHourMask m;
    for (int s = a; s <= b; ++s)
        m.set(static_cast<size_t>(s));
    return m;
}

// The hours-text tests read the log lines they cause.
class HoursTextTest : public ::testing::Test {
protected:
    void SetUp() override { gf_openLog(); }
    void TearDown() override { gf_closeLog(); }
    kvr::test::ScopedTestFolders folders{"hours"};
};

} // namespace

TEST(IcaoCode, FoldsToUpperCaseAndPacksTheCharacters)
{
    const IcaoCode lower("eham");
    const IcaoCode upper("EHAM");
    EXPECT_EQ(lower, upper);
    EXPECT_EQ(upper.code, (uint32_t('E') << 24) | (uint32_t('H') << 16) | (uint32_t('A') << 8) | uint32_t('M'));
    EXPECT_EQ(lower.toString(), "EHAM");
    EXPECT_EQ(fmt::format("[{}]", lower), "[EHAM]");
    EXPECT_EQ(IcaoCode("k2a9").toString(), "K2A9");
}

TEST(IcaoCode, RejectsWrongLengthAndCharacters)
{
    for (const char* bad : {"EHA", "EHAM1", "E-AM", "", "EH M", "EHA\xC3\x84", "eh\x01m"}) {
        try {
            IcaoCode c{std::string_view(bad)};
            ADD_FAILURE() << "accepted " << bad;
        } catch (const std::invalid_argument& e) {
            EXPECT_EQ(std::string(e.what()), fmt::format("'{}' IcaoCode: invalid string", bad));
        }
        EXPECT_FALSE(IcaoCode::tryParse(bad).has_value()) << bad;
    }
}

TEST(IcaoCode, TryParseAndTheUnsetCode)
{
    const auto c = IcaoCode::tryParse("12ab");
    ASSERT_TRUE(c.has_value());
    EXPECT_EQ(c->toString(), "12AB");
    // The parser stores what the constructor stores, member by member.
    EXPECT_EQ(c->code, IcaoCode("12AB").code);
    EXPECT_EQ(c->chars, IcaoCode("12AB").chars);
    const auto iata = IataCode::tryParse("aM5");
    ASSERT_TRUE(iata.has_value());
    EXPECT_EQ(iata->chars, (std::array<char, 3>{'A', 'M', '5'}));
    EXPECT_EQ(iata->code, IataCode("AM5").code);
    EXPECT_FALSE(IataCode::tryParse("A.S").has_value());

    const IcaoCode unset;
    EXPECT_FALSE(unset.isSet());
    EXPECT_EQ(unset.toString(), "");
    EXPECT_EQ(fmt::format("[{}]", unset), "[]");
    EXPECT_LT(IcaoCode("AAAA"), IcaoCode("AAAB"));
}

TEST(IataCode, ValidatesLikeTheIcaoCode)
{
    const IataCode ams("ams");
    EXPECT_EQ(ams.toString(), "AMS");
    EXPECT_EQ(ams.code, (uint32_t('A') << 16) | (uint32_t('M') << 8) | uint32_t('S'));
    EXPECT_EQ(fmt::format("{}", ams), "AMS");
    EXPECT_EQ(fmt::format("[{}]", IataCode()), "[]");
    for (const char* bad : {"AM", "AMST", "A.S", ""}) {
        try {
            IataCode c{std::string_view(bad)};
            ADD_FAILURE() << "accepted " << bad;
        } catch (const std::invalid_argument& e) {
            EXPECT_EQ(std::string(e.what()), fmt::format("'{}' IataCode: invalid string", bad));
        }
    }
}

TEST(AirportCodes, PairFormat)
{
    EXPECT_EQ(fmt::format("{}", AirportCodes{IcaoCode("EHAM"), IataCode("AMS")}), "EHAM (AMS)");
    EXPECT_EQ(fmt::format("{}", AirportCodes{IcaoCode("EHAM"), IataCode()}), "EHAM");
    EXPECT_EQ(fmt::format("{}", AirportCodes{IcaoCode(), IataCode("AMS")}), "? (AMS)");
    EXPECT_EQ(fmt::format("{}", AirportCodes{}), "?");
}

TEST(LatLon, Validity)
{
    struct Case {
        double lat, lon;
        bool valid;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const Case& c : {Case{0.00005, -0.00005, false}, Case{0.0, 0.0, false}, Case{0.0001, 0.0001, false},
                          Case{0.0, 0.001, true}, Case{0.001, 0.0, true}, Case{90.0, 180.0, true},
                          Case{-90.0, -180.0, true}, Case{90.1, 0.0, false}, Case{0.0, -180.01, false},
                          Case{52.3, 4.76, true}, Case{nan, 4.0, false}, Case{52.0, nan, false},
                          Case{inf, 0.0, false}}) {
        EXPECT_EQ(gf_isValidLatLon({c.lat, c.lon}), c.valid) << c.lat << "," << c.lon;
    }
}

TEST(LatLon, Format)
{
    EXPECT_EQ(fmt::format("{}", LatLon{52.308056, 4.764167}), "52.308056,4.764167");
    EXPECT_EQ(fmt::format("{}", LatLon{-1.5, -0.0000004}), "-1.500000,-0.000000");
}

TEST(UserRelatedException, CarriesCodeAndMessage)
{
    try {
        throw kvr::UserRelatedException(42, "Check your licence");
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "42: Check your licence");
        const auto* u = dynamic_cast<const kvr::UserRelatedException*>(&e);
        ASSERT_NE(u, nullptr);
        EXPECT_EQ(u->code, 42);
    }
}

TEST_F(HoursTextTest, RangesAndLists)
{
    struct Case {
        const char* text;
        HalfHourMask mask;
    };
    for (const Case& c : {Case{"4:9", run(4, 9)}, Case{"0:47", run(0, 47)}, Case{"7:7", slots({7})},
                          Case{" 3 : 5 ", run(3, 5)}, Case{"1, 5,7", slots({1, 5, 7})}, Case{" 7 ", slots({7})},
                          Case{"3x", slots({3})}, Case{"47", slots({47})}, Case{"0", slots({0})},
                          Case{"5,5", slots({5})}}) {
        EXPECT_EQ(gf_hours2bitset(c.text), c.mask) << c.text;
    }
    EXPECT_EQ(readLog().find("==> "), std::string::npos) << "valid texts log nothing";
}

TEST_F(HoursTextTest, BadRangesGiveAnEmptyMaskWithALogLine)
{
    EXPECT_TRUE(gf_hours2bitset("9:4").none());
    EXPECT_TRUE(gf_hours2bitset("1:2:3").none());
    EXPECT_TRUE(gf_hours2bitset("1:3,5").none());
    EXPECT_TRUE(gf_hours2bitset("1:48").none());
    EXPECT_TRUE(gf_hours2bitset(":5").none());
    const std::string log = readLog();
    EXPECT_NE(log.find("==> gf_hours2bitset descending range not allowed (9:4 in 9:4)\n"), std::string::npos);
    EXPECT_NE(log.find("==> gf_hours2bitset more than one colon char in: 1:2:3\n"), std::string::npos);
    EXPECT_NE(log.find("==> operator () invalid hour '3,5' in 1:3,5\n"), std::string::npos);
    EXPECT_NE(log.find("==> operator () invalid hour '48' in 1:48\n"), std::string::npos);
    EXPECT_NE(log.find("==> operator () invalid hour '' in :5\n"), std::string::npos);
}

TEST_F(HoursTextTest, BadListPiecesAreSkipped)
{
    EXPECT_TRUE(gf_hours2bitset("48").none());
    EXPECT_TRUE(gf_hours2bitset("-1").none());
    EXPECT_TRUE(gf_hours2bitset("").none());
    EXPECT_TRUE(gf_hours2bitset("99999999999999999999").none());
    EXPECT_EQ(gf_hours2bitset("2, x, 50, 6"), slots({2, 6}));
    const std::string log = readLog();
    EXPECT_NE(log.find("==> operator () invalid hour '48' in 48\n"), std::string::npos);
    EXPECT_NE(log.find("==> operator () invalid hour '-1' in -1\n"), std::string::npos);
    EXPECT_NE(log.find("==> operator () invalid hour 'x' in 2, x, 50, 6; 1 more invalid\n"), std::string::npos);
    EXPECT_EQ(log.find("'50'"), std::string::npos) << "one line per text";
}

TEST_F(HoursTextTest, LongTextsCostOneShortLogLine)
{
    // Hand-made airport files can hold anything: many empty pieces, a huge attribute.
    const std::string commas(1000, ',');
    const std::string huge = "5," + std::string(65536, '7');
    const size_t before = readLog().size();
    EXPECT_TRUE(gf_hours2bitset(commas).none());
    const std::string afterCommas = readLog().substr(before);
    EXPECT_EQ(afterCommas, "==> operator () invalid hour '' in " + commas.substr(0, 100) +
                               "... (1000 characters); 1000 more invalid\n");
    EXPECT_TRUE(gf_hours2bitset(huge).none());
    EXPECT_EQ(readLog().substr(before + afterCommas.size()),
              "==> gf_hours2bitset hours text too long: " + huge.substr(0, 100) + "... (65538 characters)\n");
    // A long but readable list still reads.
    std::string all;
    for (int i = 0; i < 48; ++i)
        all += std::to_string(i) + ", ";
    EXPECT_EQ(gf_hours2bitset(all), run(0, 47)) << all.size();
}

TEST(HoursText, PrintingAMask)
{
    EXPECT_EQ(gf_bitset2hours(slots({5})), "5");
    EXPECT_EQ(gf_bitset2hours(run(5, 9)), "5:9");
    EXPECT_EQ(gf_bitset2hours(run(0, 47)), "0:47");
    EXPECT_EQ(gf_bitset2hours(slots({47})), "47");
    EXPECT_FALSE(gf_bitset2hours(slots({5, 7})).has_value());
    EXPECT_FALSE(gf_bitset2hours(HalfHourMask()).has_value());
    EXPECT_FALSE(gf_bitset2hours(slots({0, 1, 2, 47})).has_value());
}

TEST(HoursText, PrintedMasksReadBack)
{
    for (const HalfHourMask& m : {slots({0}), slots({30}), run(4, 9), run(0, 47), run(46, 47)}) {
        const auto text = gf_bitset2hours(m);
        ASSERT_TRUE(text.has_value());
        EXPECT_EQ(gf_hours2bitset(*text), m) << *text;
    }
}
