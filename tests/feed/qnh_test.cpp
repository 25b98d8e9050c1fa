// The QNH group of a METAR.
#include <gtest/gtest.h>

#include "feed/qnh.h"

TEST(QnhFromMetar, ValuesAndErrors)
{
    const std::pair<const char*, int32_t> values[] = {
        {"EHAM 061225Z 24012KT 9999 FEW020 08/04 Q1013", 1013}, {"KJFK 061251Z M02/M14 A2992", 1013},
        {"KJFK 061251Z 10SM A3000 RMK", 1016}, {"EDDF 061220Z CAVOK 09/03 Q1009=", 1009},
        {"X Q1100", 1100}, {"X\tQ0900\n", 900}};
    for (auto [metar, hpa] : values) {
        auto r = gf_qnhFromMetar(metar);
        ASSERT_TRUE(std::holds_alternative<int32_t>(r)) << metar;
        EXPECT_EQ(std::get<int32_t>(r), hpa) << metar;
    }
    const std::tuple<const char*, int, const char*> errors[] = {
        {"EHAM 061225Z Q0850", 3, "QNH outside limits: 850 (Q0850)"},
        {"EHAM Q1101", 3, "QNH outside limits: 1101 (Q1101)"},
        {"EHAM Q-999", 3, "QNH outside limits: -999 (Q-999)"},
        {"EHAM Q10A3", 2, "invalid QNH code: Q10A3"},
        {"KXYZ 061251Z AUTOX A2992", 2, "invalid QNH code: AUTOX"}, // the first A/Q token of five decides
        {"EHAM 061225Z 9999 Q101 Q10133", 0, "no QNH code found in METAR"},
        {"", 0, "no QNH code found in METAR"}};
    for (auto [metar, code, message] : errors) {
        auto r = gf_qnhFromMetar(metar);
        ASSERT_TRUE(std::holds_alternative<QnhParseError>(r)) << metar;
        EXPECT_EQ(std::get<QnhParseError>(r).code, code) << metar;
        EXPECT_EQ(std::get<QnhParseError>(r).message, message);
    }
}
