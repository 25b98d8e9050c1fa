// The statically linked libraries start and work inside the Windows program.
#include <gtest/gtest.h>

#include <curl/curl.h>
#include <fmt/format.h>
#include <gsl/gsl>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>
#include <sodium.h>
#include <zip.h>

TEST(Dependencies, EachLibraryRuns)
{
    EXPECT_GE(sodium_init(), 0);
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_string("<a b='1'/>"));
    EXPECT_EQ(doc.child("a").attribute("b").as_int(), 1);
    EXPECT_EQ(fmt::format("{}-{:03}", "x", 7), "x-007");
    EXPECT_EQ(nlohmann::json::parse(R"({"k":[1,2]})")["k"].size(), 2u);
    EXPECT_THROW(gsl::narrow<std::int8_t>(300), gsl::narrowing_error);
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    ASSERT_NE(info, nullptr);
    EXPECT_NE(std::string(info->ssl_version).find("Schannel"), std::string::npos);
    EXPECT_NE(zip_libzip_version(), nullptr);
}
