// Which entries of the install folder the uninstall deletes: the rule as a table.
#include <gtest/gtest.h>

#include "support/WineBench.h"
#include "shell/Helpers.h"
#include "uninstall/Uninstall.h"

#include <string>

namespace {

struct RuleCase {
    const char* name;
    bool deleted;
};

const RuleCase RuleCases[] = {
    // Base names, with any extension or none.
    {"QUORIN32.EXE", true},
    {"QUORIN32.HLP", true},
    {"QUORIN32", true},
    {"$UORIN32.DLL", true},
    {"QUORTRAL.EXE", true},
    {"QUORIN.URL", true},
    {"$UORIN", true},
    {"QUORIN.", true},
    {"QUORIN32.EXE.BAK", false},
    {"QUORIN32X.EXE", false},
    {"XQUORIN.URL", false},
    {"QUORIN 32.EXE", false},
    // The extension, taken after the last dot.
    {"DATA.QRO", true},
    {"A.B.QRO", true},
    {".QRO", true},
    {"表.QRO", true},
    {"QRO", false},
    {"DATA.QRO.BAK", false},
    {"DATA.QROX", false},
    {"DATA.QR", false},
    // Whole names.
    {"$ETUP.EXE", true},
    {"HOLIDAY.TXT", true},
    {"TIPS.TXT", true},
    {"$IPS.TXT", true},
    {"HISTRY.TXT", true},
    {"HISTORY.TXT", true},
    {"$ISTRY.TXT", true},
    {"UNSETMV.EXE", true},
    {"STD_MINI.EXE", true},
    {"VIEW.KEY", true},
    {"CALC.KEY", true},
    {"TIPS.TXT.OLD", false},
    {"TIPS", false},
    {"HISTORY.DOC", false},
    {"VIEW.KEYS", false},
    // What the user and this program keep.
    {"SETUP.EXE", false},
    {"MYDATA.QRB", false},
    {"QUORIN.QRB", false}, // the user's accounts, though the base name is one of ours
    {"quorin32.qrb", false},
    {"QUORIN32.INI", true},
    {"README.TXT", false},
    {"ソ.TXT", false},
    {"表QUORIN.URL", false},
};

std::string Lower(const char* name) {
    std::string text = name;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (IsDBCSLeadByte(c) && i + 1 < text.size()) {
            ++i;
        } else if (c >= 'A' && c <= 'Z') {
            text[i] = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

TEST(DeletionRule, EveryNameAsTheTableSaysInUpperAndLowerCase) {
    for (const RuleCase& c : RuleCases) {
        EXPECT_EQ(c.deleted, IsInstalledFileName(c.name)) << c.name;
        const std::string lower = Lower(c.name);
        EXPECT_EQ(c.deleted, IsInstalledFileName(lower.c_str())) << lower;
    }
}

// The trail byte of a double-byte character is never taken for a letter or a dot.
struct UpperCase {
    const char* text;
    const char* upper;
};

const UpperCase UpperCases[] = {
    {"abc.txt", "ABC.TXT"},
    {"ソa", "ソA"},           // 83 5C: the trail byte is "\"
    {"ｱｲa", "ｱｲA"},           // half-width katakana are single bytes
    {"ヂx", "ヂX"},           // 83 61: the trail byte is an "a"
    {"\x82\x81", "\x82\x81"}, // full-width "ａ": double-byte characters stay as they are
    {"", ""},
};

TEST(DeletionRule, UpperCasingStepsOverDoubleByteCharacters) {
    for (const UpperCase& c : UpperCases) {
        char text[64];
        strcpy(text, c.text);
        UpperCaseText(text);
        EXPECT_EQ(std::string(c.upper), std::string(text)) << bench::Hex(c.text);
    }
}

TEST(DeletionRule, PathsCompareWithoutRegardToCase) {
    EXPECT_TRUE(SamePathIgnoringCase("C:\\Bench\\$etup.exe", "c:\\BENCH\\$ETUP.EXE"));
    EXPECT_FALSE(SamePathIgnoringCase("C:\\Bench\\setup.exe", "C:\\Bench\\setup.ex"));
    EXPECT_FALSE(SamePathIgnoringCase("C:\\\x82\x81", "C:\\\x82\x60")); // "ａ" is not "Ａ"
}

} // namespace
