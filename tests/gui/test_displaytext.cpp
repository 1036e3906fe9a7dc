// Character references resolved for display: the five predefined entities and numeric
// references become their characters; everything else stays exactly as the device sent it.
#include "DisplayText.h"

#include <gtest/gtest.h>
#include <ostream>

namespace {

struct Case
{
    const char* sent;
    const char* shown;
};

// Names the case by its text rather than by its bytes in memory, which change from run to run.
void PrintTo(const Case& c, std::ostream* out)
{
    *out << '"' << c.sent << '"';
}

class DisplayText : public testing::TestWithParam<Case>
{
};

TEST_P(DisplayText, ResolvesOnlyValidReferences)
{
    EXPECT_EQ(DecodeCharacterReferences(GetParam().sent), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    References, DisplayText,
    testing::Values(Case{"Smith &amp; Sons Backup", "Smith & Sons Backup"}, Case{"&lt;&gt;&quot;&apos;&amp;", "<>\"'&"},
                    Case{"&amp;amp;", "&amp;"}, // one level only, as an XML reader resolves it
                    Case{"&#65;&#x42;&#x43;", "ABC"}, Case{"caf&#233;", "caf\xc3\xa9"},
                    Case{"&#x20AC; &#x1F600;", "\xe2\x82\xac \xf0\x9f\x98\x80"},
                    Case{"&#X41;", "&#X41;"}, // the hex marker is a lower-case x
                    Case{"&#0; &#x8; &#xD800; &#xFFFE;", "&#0; &#x8; &#xD800; &#xFFFE;"}, // not XML characters
                    Case{"&#x110000; &#99999999999;", "&#x110000; &#99999999999;"},       // beyond Unicode
                    Case{"&#; &#x; &#12a; &#xG1;", "&#; &#x; &#12a; &#xG1;"},
                    Case{"&nbsp; &AMP; &bogus; & amp;", "&nbsp; &AMP; &bogus; & amp;"}, // unknown names
                    Case{"R&D", "R&D"}, Case{"a &amp", "a &amp"},                       // unterminated
                    Case{"&&amp;;", "&&;"}, Case{"", ""}, Case{"&", "&"}, Case{"\xc3\xa9 &#9;x", "\xc3\xa9 \tx"}));

} // namespace
