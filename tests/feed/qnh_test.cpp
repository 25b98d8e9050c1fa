// The QNH group of a METAR.
#include <gtest/gtest.h>

#include "feed/qnh.h"

namespace {

int32_t qnh(std::string_view metar)
{
    auto r = gf_qnhFromMetar(metar);
    if (auto* e = std::get_if<QnhParseError>(&r))
        ADD_FAILURE() << metar << ": " << e->message;
    return std::holds_alternative<int32_t>(r) ? std::get<int32_t>(r) : -1;
}

QnhParseError error(std::string_view metar)
{
    auto r = gf_qnhFromMetar(metar);
    EXPECT_TRUE(std::holds_alternative<QnhParseError>(r)) << metar;
    return std::holds_alternative<QnhParseError>(r) ? std::get<QnhParseError>(r) : QnhParseError{99, ""};
}

} // namespace

TEST(QnhFromMetar, Values)
{
    EXPECT_EQ(qnh("EHAM 061225Z 24012KT 9999 FEW020 08/04 Q1013"), 1013);
    EXPECT_EQ(qnh("KJFK 061251Z 31015KT 10SM FEW250 M02/M14 A2992"), 1013);
    EXPECT_EQ(qnh("KJFK 061251Z 31015KT 10SM A3000 RMK"), 1016);
    EXPECT_EQ(qnh("EDDF 061220Z 25008KT CAVOK 09/03 Q1009="), 1009);
    EXPECT_EQ(qnh("X Q1100"), 1100);
    EXPECT_EQ(qnh("X\tQ0900\n"), 900);
}

TEST(QnhFromMetar, Errors)
{
    auto e = error("EHAM 061225Z Q0850");
    EXPECT_EQ(e.code, 3);
    EXPECT_EQ(e.message, "QNH outside limits: 850 (Q0850)");
    EXPECT_EQ(error("EHAM Q1101").code, 3);
    e = error("EHAM Q-999");
    EXPECT_EQ(e.message, "QNH outside limits: -999 (Q-999)");
    e = error("EHAM Q10A3");
    EXPECT_EQ(e.code, 2);
    EXPECT_EQ(e.message, "invalid QNH code: Q10A3");
    EXPECT_EQ(error("KXYZ 061251Z AUTOX A2992").code, 2) << "the first A/Q token of five decides";
    e = error("EHAM 061225Z 24012KT 9999 Q101 Q10133");
    EXPECT_EQ(e.code, 0);
    EXPECT_EQ(e.message, "no QNH code found in METAR");
    EXPECT_EQ(error("").code, 0);
}
