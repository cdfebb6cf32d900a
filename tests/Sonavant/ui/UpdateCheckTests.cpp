#include "Sonavant/ui/UpdateCheck.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

using namespace update;
using Kind = Decision::Kind;

namespace {

Decision reply(const std::string& body, const std::set<std::string>& skipped = {}) {
    return decide(std::nullopt, body, "1.0", [&](const std::string& key) { return skipped.count(key) > 0; });
}

} // namespace

TEST(UpdateCheckTest, ComparesVersionsAsTextAndHonoursTheSkipFlag) {
    auto newer = reply(R"({"currentVersion": "1.1", "downloadURL": "https://example.org/get", "notes": 3})");
    EXPECT_EQ(newer.kind, Kind::offer);
    EXPECT_EQ(newer.version, "1.1");
    EXPECT_EQ(newer.downloadURL, "https://example.org/get");
    EXPECT_TRUE(newer.versionCheckDone);

    EXPECT_EQ(reply(R"({"currentVersion": "0.9", "downloadURL": "x"})").kind,
              Kind::offer); // lower differs too
    EXPECT_EQ(reply(R"({"currentVersion": "1.0.0", "downloadURL": "x"})").kind, Kind::offer);

    auto same = reply(R"({"currentVersion": "1.0", "downloadURL": "anything"})");
    EXPECT_EQ(same.kind, Kind::upToDate);
    EXPECT_TRUE(same.versionCheckDone);

    auto skipped = reply(R"({"currentVersion": "1.1", "downloadURL": "x"})", {"skipUpdate_1.1"});
    EXPECT_EQ(skipped.kind, Kind::skipped);
    EXPECT_TRUE(skipped.versionCheckDone);
    EXPECT_EQ(reply(R"({"currentVersion": "1.2", "downloadURL": "x"})", {"skipUpdate_1.1"}).kind,
              Kind::offer);
    EXPECT_EQ(skipKey("2.0 beta"), "skipUpdate_2.0 beta");
}

TEST(UpdateCheckTest, FailuresAreConsoleLinesAndOddRepliesAreIgnored) {
    auto error = decide(std::string("Connection refused"), std::nullopt, "1.0", {});
    EXPECT_EQ(error.kind, Kind::failed);
    EXPECT_EQ(error.consoleLine, "Version check error: Connection refused");
    EXPECT_FALSE(error.versionCheckDone);

    EXPECT_EQ(decide(std::nullopt, std::nullopt, "1.0", {}).consoleLine,
              "Version check error: No data received.");

    auto notJSON = reply("<html>busy</html>");
    EXPECT_EQ(notJSON.kind, Kind::failed);
    EXPECT_EQ(notJSON.consoleLine.rfind("Version check error: ", 0), 0u);

    // Missing or mistyped fields: silent, and the check is not done.
    for (const char* body : {R"({"currentVersion": "1.1"})", R"({"currentVersion": 2, "downloadURL": "x"})",
                             R"(["1.1", "x"])", R"("1.1")"}) {
        auto d = reply(body);
        EXPECT_EQ(d.kind, Kind::invalid) << body;
        EXPECT_TRUE(d.consoleLine.empty()) << body;
        EXPECT_FALSE(d.versionCheckDone) << body;
    }

    // Oversized replies and fields never become an alert or a stored key.
    auto huge =
        reply(R"({"currentVersion": ")" + std::string(10 * 1024 * 1024, '9') + R"(", "downloadURL": "x"})");
    EXPECT_EQ(huge.kind, Kind::failed);
    EXPECT_FALSE(huge.consoleLine.empty());
    auto longVersion = reply(R"({"currentVersion": ")" + std::string(500, '9') + R"(", "downloadURL": "x"})");
    EXPECT_EQ(longVersion.kind, Kind::failed);
    auto emptyVersion = reply(R"({"currentVersion": "", "downloadURL": "x"})");
    EXPECT_EQ(emptyVersion.kind, Kind::failed);
    auto longURL =
        reply(R"({"currentVersion": "2", "downloadURL": "https://a/)" + std::string(5000, 'x') + R"("})");
    EXPECT_EQ(longURL.kind, Kind::failed);
}

TEST(UpdateCheckTest, OnlyWebAddressesWithAHostAreOpened) {
    for (const char* good :
         {"https://example.org/sonavant.dmg", "http://example.org", "HTTPS://Example.org:8443/x?y#z",
          "https://user@example.org/", "http://[::1]:8080/"})
        EXPECT_TRUE(isOpenableDownloadAddress(good)) << good;
    for (const char* bad :
         {"file:///etc/passwd", "javascript:alert(1)", "sonavant://update", "ftp://example.org/x",
          "https:example.org", "https://", "https:///path", "example.org/download", "",
          "https://exa mple.org", "https://example.org/\n", "smb://host/share"})
        EXPECT_FALSE(isOpenableDownloadAddress(bad)) << bad;
}

TEST(UpdateCheckTest, AddressVersionLineAndEnvironmentOverride) {
    EXPECT_EQ(requestAddress("http://127.0.0.1:8080/v"), "http://127.0.0.1:8080/v?action=getVersionInfo");
    EXPECT_EQ(requestAddress("http://h/v?lang=en"), "http://h/v?lang=en&action=getVersionInfo");
    EXPECT_EQ(requestAddress("http://h/v?"), "http://h/v?action=getVersionInfo");
    EXPECT_EQ(versionLine({"Sonavant", "2.3", "45"}), "Version 2.3 (45)");

    ::unsetenv(baseAddressVariable);
    EXPECT_EQ(baseAddress(), defaultBaseAddress);
    ::setenv(baseAddressVariable, "http://127.0.0.1:1/check", 1);
    EXPECT_EQ(baseAddress(), "http://127.0.0.1:1/check");
    ::unsetenv(baseAddressVariable);
}
