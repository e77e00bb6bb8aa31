// Canonical form and parts of URLs as the transport makes requests from them.
#include <gtest/gtest.h>

#include "transport/UrlCracker.h"

namespace {

using RVUtil::transport::CanonicalizeUrl;
using RVUtil::transport::CrackUrl;
using RVUtil::transport::UrlParts;
using RVUtil::transport::UrlScheme;

std::string Canonical(std::string_view url) {
    std::string out;
    EXPECT_TRUE(CanonicalizeUrl(url, &out)) << url;
    return out;
}

TEST(UrlCanonicalTest, ResolvesDotSegmentsWithoutEscaping) {
    EXPECT_EQ(Canonical("HTTP://Host/a/./b/../c?x=../y#f"), "http://Host/a/c?x=../y#f");
    EXPECT_EQ(Canonical("http://h/a/b/.."), "http://h/a/");
    EXPECT_EQ(Canonical("http://h/../../x"), "http://h/x");
    EXPECT_EQ(Canonical("  http://h  "), "http://h/");
    EXPECT_EQ(Canonical("http://h?q=1"), "http://h/?q=1");
    EXPECT_EQ(Canonical("http://h/a b/<c>"), "http://h/a b/<c>");
    EXPECT_EQ(Canonical("mailto:someone@example.com"), "mailto:someone@example.com");
    std::string out = "unchanged";
    EXPECT_FALSE(CanonicalizeUrl("no scheme here", &out));
    EXPECT_FALSE(CanonicalizeUrl("", &out));
    EXPECT_FALSE(CanonicalizeUrl("1http://h/", &out));
    EXPECT_EQ(out, "unchanged");
}

TEST(UrlCrackTest, SplitsHostPortAndPathWithQuery) {
    UrlParts p;
    ASSERT_TRUE(CrackUrl("http://example.com/dir/file.cgi?a=1&b=2", &p));
    EXPECT_EQ(p.scheme, UrlScheme::Http);
    EXPECT_EQ(p.host, "example.com");
    EXPECT_EQ(p.port, 80);
    EXPECT_EQ(p.path, "/dir/file.cgi?a=1&b=2");

    ASSERT_TRUE(CrackUrl("https://user:pw@example.com:8443/x", &p));
    EXPECT_EQ(p.scheme, UrlScheme::Https);
    EXPECT_EQ(p.host, "example.com");
    EXPECT_EQ(p.port, 8443);

    ASSERT_TRUE(CrackUrl("https://[::1]/", &p));
    EXPECT_EQ(p.host, "[::1]");
    EXPECT_EQ(p.port, 443);

    ASSERT_TRUE(CrackUrl("ftp://files.example.com/pub", &p));
    EXPECT_EQ(p.scheme, UrlScheme::Ftp);
    EXPECT_EQ(p.port, 21);

    ASSERT_TRUE(CrackUrl("file:///etc/passwd", &p));
    EXPECT_EQ(p.scheme, UrlScheme::Other);
}

TEST(UrlCrackTest, RefusesUnreadableAuthorities) {
    UrlParts p;
    EXPECT_FALSE(CrackUrl("http://h:0/", &p));
    EXPECT_FALSE(CrackUrl("http://h:65536/", &p));
    EXPECT_FALSE(CrackUrl("http://h:8x/", &p));
    EXPECT_FALSE(CrackUrl("http://[::1/", &p));
    EXPECT_FALSE(CrackUrl("http:/h/", &p));
    ASSERT_TRUE(CrackUrl("http://h:/", &p));
    EXPECT_EQ(p.port, 80);
}

}  // namespace
