// The ANSI code page: how it is chosen (environment, the prefix's registry, the host
// locale), the upper-case map and the conversion to Unicode and back that it gives.

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/Ansi.h"
#include "platform/CodePage.h"
#include "platform/Prefix.h"
#include "platform/Registry.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace platform;

// No override and no locale: the tests start from the default.
void CleanLocale(testsupport::ScopedEnv& env) {
    for (const char* name : {"SORVANTI_CODEPAGE", "LC_ALL", "LC_CTYPE", "LANG"})
        env.Set(name, nullptr);
}

// Every test leaves the program's code page as the others expect it: Windows-1252.
class CodePage : public ::testing::Test {
  protected:
    void TearDown() override { ASSERT_TRUE(SetAnsiCodePage(1252)); }
};

void ExpectRoundTrip(int codePage) {
    ASSERT_TRUE(SetAnsiCodePage(codePage));
    std::string all(256, '\0');
    for (int b = 0; b < 256; ++b)
        all[b] = static_cast<char>(b);
    const std::u16string unicode = AnsiToUnicode(all);
    ASSERT_EQ(unicode.size(), 256u);
    EXPECT_EQ(UnicodeToAnsi(unicode), all) << "code page " << codePage;
    // The upper case of a byte is a byte whose character is an upper case letter, or the
    // byte itself.
    for (int b = 0; b < 256; ++b) {
        if (AnsiUpperMap[b] != b) {
            EXPECT_NE(unicode[AnsiUpperMap[b]], unicode[b]) << std::hex << b;
        }
    }
}

TEST_F(CodePage, Windows1252ComesFromIconvWithEveryByteKept) {
    ASSERT_TRUE(SetAnsiCodePage(1252));
    EXPECT_EQ(AnsiCodePage(), 1252);
    EXPECT_EQ(AnsiToUnicode("\x80\x9F\xE9\x81"), std::u16string(u"\u20AC\u0178\u00E9\u0081"));
    EXPECT_EQ(AnsiUpperMap[0xFF], 0x9F);  // y with diaeresis has its capital at 0x9F
    EXPECT_EQ(AnsiUpperMap[0xF2], 0xD2);
    EXPECT_EQ(AnsiUpperMap[0xB5], 0xB5);  // the micro sign's capital is Greek
    // A character the code page lacks is one '?', a pair of surrogates included.
    EXPECT_EQ(UnicodeToAnsi(u"\u20ACa\u03B1\U0001F600\xD800z"),
              "\x80"
              "a???z");
    ExpectRoundTrip(1252);
}

TEST_F(CodePage, GreekUpperCasesAndDisplaysGreek) {
    ASSERT_TRUE(SetAnsiCodePage(1253));
    EXPECT_EQ(AnsiCodePage(), 1253);
    EXPECT_EQ(AnsiUpperMap[0xE1], 0xC1);  // alpha
    EXPECT_EQ(AnsiUpperMap[0xF2], 0xD3);  // final sigma to sigma (in 1252: o grave)
    EXPECT_EQ(AnsiUpperMap[0xDC], 0xA2);  // alpha with tonos
    EXPECT_EQ(AnsiUpperMap['q'], 'Q');
    EXPECT_EQ(AnsiToUnicode("\xE1\xD3"), std::u16string(u"\u03B1\u03A3"));
    EXPECT_EQ(UnicodeToAnsi(u"\u03C9\u00E9"), "\xF9?");  // omega; e acute is not Greek
    EXPECT_TRUE(AnsiSameText("w_\xF3\xF2", "W_\xD3\xD3"));
    EXPECT_EQ(AnsiUpperCase("d_\xE1\xE2"), "D_\xC1\xC2");
    ExpectRoundTrip(1253);
    for (int codePage : {874, 1250, 1251, 1254, 1255, 1256, 1257, 1258})
        ExpectRoundTrip(codePage);
}

TEST_F(CodePage, OnlySingleByteCodePagesIconvKnowsAreTaken) {
    ASSERT_TRUE(SetAnsiCodePage(1253));
    for (int codePage : {932, 936, 949, 0, -5, 99999}) {
        EXPECT_FALSE(SetAnsiCodePage(codePage)) << codePage;
        EXPECT_EQ(AnsiCodePage(), 1253);
    }
    EXPECT_EQ(AnsiUpperMap[0xE1], 0xC1);
}

TEST(CodePageChoice, LocaleIdsAndHostLocales) {
    const std::pair<unsigned, int> lcids[] = {
        {0x0408, 1253}, {0x0409, 1252}, {0x0419, 1251}, {0x0415, 1250}, {0x041F, 1254},
        {0x040D, 1255}, {0x0401, 1256}, {0x0427, 1257}, {0x042A, 1258}, {0x041E, 874},
        {0x041A, 1250}, {0x0C1A, 1251}, {0x081A, 1250}, {0x0411, 1252}, {0x0804, 1252},
        {0x0412, 1252}, {0x0407, 1252}};
    for (auto [lcid, codePage] : lcids)
        EXPECT_EQ(CodePageOfLcid(lcid), codePage) << std::hex << lcid;
    const std::pair<const char*, int> locales[] = {{"el_GR.UTF-8", 1253},   {"el", 1253},
                                                   {"ru_RU", 1251},         {"uk_UA.UTF-8", 1251},
                                                   {"pl_PL", 1250},         {"cs_CZ.UTF-8", 1250},
                                                   {"hu_HU", 1250},         {"tr_TR.UTF-8", 1254},
                                                   {"he_IL", 1255},         {"ar_EG.UTF-8", 1256},
                                                   {"lt_LT", 1257},         {"lv_LV", 1257},
                                                   {"et_EE", 1257},         {"vi_VN", 1258},
                                                   {"th_TH.UTF-8", 874},    {"sr_RS", 1251},
                                                   {"sr_RS@latin", 1250},   {"ja_JP.UTF-8", 1252},
                                                   {"zh_CN.GB18030", 1252}, {"ko_KR", 1252},
                                                   {"de_DE@euro", 1252},    {"C", 1252},
                                                   {"POSIX", 1252},         {"", 1252},
                                                   {"else", 1252}};
    for (auto [locale, codePage] : locales)
        EXPECT_EQ(CodePageOfLocaleName(locale), codePage) << locale;
}

TEST(CodePageChoice, OverrideThenThePrefixsRegistryThenTheHostLocale) {
    testsupport::TempPrefix prefix;
    testsupport::ScopedEnv env;
    CleanLocale(env);
    EXPECT_EQ(ChooseAnsiCodePage(), 1252);

    // The host locale: LC_ALL before LC_CTYPE before LANG.
    env.Set("LANG", "el_GR.UTF-8");
    EXPECT_EQ(ChooseAnsiCodePage(), 1253);
    env.Set("LC_CTYPE", "ru_RU.UTF-8");
    EXPECT_EQ(ChooseAnsiCodePage(), 1251);
    env.Set("LC_ALL", "ja_JP.UTF-8");
    EXPECT_EQ(ChooseAnsiCodePage(), 1252);

    // A Wine prefix's user.reg, then the program's own registry, before the host locale.
    testsupport::WriteFile(PrefixDir() + "/user.reg",
                           "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\n\n"
                           "[Control Panel\\\\Desktop] 1700000000\n\"Locale\"=\"00000419\"\n\n"
                           "[Control Panel\\\\International] 1700000000\n#time=1d9\n"
                           "\"iCountry\"=\"30\"\n\"Locale\"=\"00000408\"\n");
    EXPECT_EQ(ChooseAnsiCodePage(), 1253);
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("Control Panel\\International", true));
    ASSERT_TRUE(registry.WriteString("Locale", "00000415"));
    EXPECT_EQ(ChooseAnsiCodePage(), 1250);
    ASSERT_TRUE(registry.WriteString("Locale", "not hex"));
    EXPECT_EQ(ChooseAnsiCodePage(), 1252);  // unreadable: the host locale (LC_ALL, Japanese)

    // The override wins when it is a single-byte code page; else it is ignored.
    env.Set("SORVANTI_CODEPAGE", "1257");
    EXPECT_EQ(ChooseAnsiCodePage(), 1257);
    env.Set("SORVANTI_CODEPAGE", "932");
    EXPECT_EQ(ChooseAnsiCodePage(), 1252);
    env.Set("SORVANTI_CODEPAGE", "12x");
    env.Set("LC_ALL", "tr_TR");
    EXPECT_EQ(ChooseAnsiCodePage(), 1254);
}

}  // namespace
